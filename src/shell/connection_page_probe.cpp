// The connection page's Test connection: the button, the probe of the server on a worker
// thread with the settings on screen, and the report of what it found.

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <cstring>
#include <optional>

#include "app/connection_test_run.h"
#include "app/credential_source.h"
#include "app/shown_message.h"
#include "base/exception.h"
#include "net/connection.h"
#include "net/net_errors.h"
#include "net/pop3_probe.h"
#include "platform/app_exceptions.h"
#include "platform/dialog_layout.h"
#include "platform/message_box.h"
#include "shell/connection_page.h"
#include "shell/connection_report.h"

namespace {

const char* const kTestCaption = "&Test connection";

// As a check shows it; a socket error also names the system's reason.
std::string FailureText(const Exception& e) {
    if (const auto* socket = dynamic_cast<const ESocketError*>(&e))
        return ShownMessage(e) + " (" + std::strerror(socket->ErrorCode) + ")";
    return ShownMessage(e);
}

}  // namespace

void TConnectionPage::MakeTestButton() {
    btnTestConnection = new QPushButton(kTestCaption, this);
    // Room for either caption with the padding the dialog's other buttons have.
    SetSizeAtLeast(btnTestConnection,
                   btnTestConnection->fontMetrics().horizontalAdvance("Test connection") + 24, 24);
    test_ = new TConnectionTestRun(this);
    ConnectGuarded(test_, &TConnectionTestRun::Ended, this,
                   [this](const TConnectionTestResult& result) { TestEnded(result); });
    ConnectGuarded(btnTestConnection, &QPushButton::clicked, this,
                   [this] { btnTestConnectionClick(); });
}

void TConnectionPage::btnTestConnectionClick() {
    if (test_->Running()) return;
    TConnection connection;
    try {
        CheckInput();  // a check would refuse the pin, so the test must not ignore it
        StoreShownTo(connection);
    } catch (const Exception& e) {
        ShowFailure(QString::fromStdString(FailureText(e)), kTestTitle);
        return;
    }
    const TMailbox account = ShownAccount();
    std::optional<TCredential> credential;
    signInFailure_.clear();
    try {
        if (Credentials) credential = Credentials->AtHand(account);
    } catch (const Exception& e) {
        signInFailure_ = ShownDetail(e);
        std::replace(signInFailure_.begin(), signInFailure_.end(), '\n', ' ');
    }
    test_->Start(account, credential);  // its connection is the one just checked
    SetTesting(true);
}

void TConnectionPage::StopTest() {
    test_->Stop();
}

bool TConnectionPage::TestRunning() const {
    return test_->Running();
}

void TConnectionPage::SetTesting(bool testing) {
    btnTestConnection->setEnabled(!testing);
    btnTestConnection->setText(testing ? "Testing..." : kTestCaption);
    if (testing)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

void TConnectionPage::TestEnded(const TConnectionTestResult& result) {
    SetTesting(false);
    if (result.Stopped) return;
    if (result.Failure) {
        try {
            std::rethrow_exception(result.Failure);
        } catch (const Exception& e) {
            ShowFailure(QString::fromStdString(FailureText(e)), kTestTitle);
        }
        return;
    }
    TProbeReport report = result.Report;
    if (!signInFailure_.empty() && !report.Refusal) {
        report.SignInTried = true;
        report.SignInRefusal = signInFailure_;
    }
    if (ShowReport(report, result.Host))
        edTrustedCertificate->setText(QString::fromStdString(result.Report.Peer.Fingerprint));
}

bool TConnectionPage::ShowReport(const TProbeReport& report, const std::string& host) {
    QMessageBox box(QMessageBox::Information, kTestTitle,
                    ConnectionReportHtml(report, host, UtcNowText()), QMessageBox::Ok, this);
    box.setObjectName("boxConnectionReport");
    box.setTextFormat(Qt::RichText);  // built escaped: no server text is markup
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (report.Encrypted && !report.Peer.Trusted) box.setIcon(QMessageBox::Warning);
    QPushButton* trust = nullptr;
    if (OffersTrust(report))
        trust = box.addButton("Trust this certificate", QMessageBox::AcceptRole);
    ExecMessageBox(box, window());
    return trust && box.clickedButton() == trust;
}
