#include "shell/connection_page.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>
#include <cstring>
#include <optional>

#include "base/exception.h"
#include "net/connection.h"
#include "net/encryption.h"
#include "net/pop3_probe.h"
#include "platform/app_exceptions.h"
#include "platform/dialog_layout.h"
#include "platform/message_box.h"
#include "shell/connection_report.h"
#include "shell/connection_test_run.h"
#include "shell/settings.h"
#include "shell/shown_message.h"

namespace {

const char* const kTestTitle = "Test connection";
const char* const kTestCaption = "&Test connection";
// The width of the widest fingerprint (32 hex pairs and their colons) in a line edit's font,
// with the box's frame and margins.
int FingerprintWidth(const QFontMetrics& metrics) {
    int digit = 0;
    for (QChar c : QString("0123456789ABCDEF"))
        digit = std::max(digit, metrics.horizontalAdvance(c));
    return 64 * digit + 31 * metrics.horizontalAdvance(':') + 12;
}

// No choice shown (-1) is no encryption at all, never plain text.
TEncryption EncryptionAt(int index) {
    return EncryptionFromNumber(index);
}

// The encryption shown; nothing when none is chosen.
std::optional<TEncryption> ChosenEncryption(int index) {
    if (index < 0) return std::nullopt;
    return EncryptionAt(index);
}

// As a check shows it; a socket error also names the system's reason.
std::string FailureText(const Exception& e) {
    if (const auto* socket = dynamic_cast<const ESocketError*>(&e))
        return ShownMessage(e) + " (" + std::strerror(socket->ErrorCode) + ")";
    return ShownMessage(e);
}

}  // namespace

TConnectionPage::TConnectionPage(QWidget* parent) : QWidget(parent) {
    cbEncryption = new QComboBox(this);
    cbEncryption->addItems({"None (plain text)", "STARTTLS (STLS command)", "TLS on connect"});
    cbEncryption->setPlaceholderText("(choose)");  // shown while a stored one cannot be read
    edPort = new QSpinBox(this);
    edPort->setRange(1, 65535);
    usualPort_ = UsualPort(TEncryption::None);
    edPort->setValue(usualPort_);
    edTrustedCertificate = new QLineEdit(this);
    edTrustedCertificate->setPlaceholderText("none: the system's store decides");
    SetWidthAtLeast(edTrustedCertificate, FingerprintWidth(edTrustedCertificate->fontMetrics()));
    btnTestConnection = new QPushButton(kTestCaption, this);
    // Room for either caption with the padding the dialog's other buttons have.
    SetSizeAtLeast(btnTestConnection,
                   btnTestConnection->fontMetrics().horizontalAdvance("Test connection") + 24, 24);
    test_ = new TConnectionTestRun(this);
    test_->OnEnd = [this](const TConnectionTestResult& result) {
        Guarded(btnTestConnection, [&] { TestEnded(result); });
    };
    grid_ = new QGridLayout(this);
    grid_->setContentsMargins(8, 6, 8, 4);
    grid_->setVerticalSpacing(4);
    grid_->addWidget(MakeBuddyLabel("&Encryption", cbEncryption, this), 0, 0);
    grid_->addWidget(cbEncryption, 0, 1, 1, 2, Qt::AlignLeft);
    grid_->addWidget(MakeBuddyLabel("&Port", edPort, this), 1, 0);
    grid_->addWidget(edPort, 1, 1);
    grid_->addWidget(btnTestConnection, 1, 2, Qt::AlignRight);
    grid_->addWidget(MakeBuddyLabel("T&rusted certificate", edTrustedCertificate, this), 2, 0);
    grid_->addWidget(edTrustedCertificate, 2, 1, 1, 2);
    grid_->setColumnStretch(2, 1);
    freeRow_ = 3;
    grid_->setRowStretch(freeRow_, 1);
    connect(cbEncryption, &QComboBox::currentIndexChanged, this,
            [this] { Guarded(cbEncryption, [this] { cbEncryptionChange(); }); });
    connect(btnTestConnection, &QPushButton::clicked, this,
            [this] { Guarded(btnTestConnection, [this] { btnTestConnectionClick(); }); });
}

TConnectionPage::~TConnectionPage() {
    test_->OnEnd = nullptr;  // no report into a page that is going
}

QList<QWidget*> TConnectionPage::TabOrder() const {
    return {cbEncryption, edPort, btnTestConnection, edTrustedCertificate};
}

void TConnectionPage::AddRow(QWidget* widget) {
    grid_->setRowStretch(freeRow_, 0);
    grid_->addWidget(widget, freeRow_, 0, 1, 3);
    grid_->setRowStretch(++freeRow_, 1);
}

void TConnectionPage::LoadFrom(const TSettings& settings) {
    const QSignalBlocker quiet(cbEncryption);
    const TConnection& connection = settings.Connection;
    const auto encryption = connection.Encryption;
    cbEncryption->setCurrentIndex(encryption ? static_cast<int>(*encryption) : -1);
    usualPort_ = UsualPort(encryption.value_or(TEncryption::None));
    edPort->setValue(connection.Port);
    edTrustedCertificate->setText(QString::fromStdString(connection.TrustedCertificate));
}

void TConnectionPage::cbEncryptionChange() {
    const int usual = UsualPort(EncryptionAt(cbEncryption->currentIndex()));
    if (edPort->value() == usualPort_) edPort->setValue(usual);
    usualPort_ = usual;
}

void TConnectionPage::CheckInput() const {
    if (cbEncryption->currentIndex() < 0)
        throw EConvertError("Choose the encryption on the Connection page");
    const std::string text = edTrustedCertificate->text().trimmed().toStdString();
    if (!text.empty() && !NormalizeFingerprint(text))
        throw EConvertError("'" + text + "' is not a SHA-256 fingerprint");
}

bool TConnectionPage::InputAcceptable() {
    try {
        CheckInput();
        return true;
    } catch (const EConvertError& e) {
        QString text = QString::fromStdString(e.Message());
        if (cbEncryption->currentIndex() < 0)
            text += '.';
        else
            text +=
                "\n\nEnter the 32 hex pairs of the certificate's SHA-256 fingerprint, as openssl "
                "x509 -fingerprint -sha256 prints them, or leave the field empty.";
        ShowFailure(text);
        return false;
    }
}

void TConnectionPage::FocusFault() {
    if (cbEncryption->currentIndex() < 0) {
        cbEncryption->setFocus(Qt::OtherFocusReason);
        return;
    }
    edTrustedCertificate->setFocus(Qt::OtherFocusReason);
    edTrustedCertificate->selectAll();
}

void TConnectionPage::StoreTo(TSettings& settings) const {
    StoreShownTo(settings.Connection);
}

void TConnectionPage::StoreShownTo(TConnection& connection) const {
    connection.Encryption = ChosenEncryption(cbEncryption->currentIndex());
    connection.Port = static_cast<uint16_t>(edPort->value());
    // A text that is not a fingerprint is kept, not dropped: a check then refuses it.
    const std::string text = edTrustedCertificate->text().trimmed().toStdString();
    connection.TrustedCertificate = NormalizeFingerprint(text).value_or(text);
}

void TConnectionPage::btnTestConnectionClick() {
    if (test_->Running()) return;
    TConnection connection;
    try {
        CheckInput();  // a check would refuse the pin, so the test must not ignore it
        StoreShownTo(connection);
    } catch (const Exception& e) {
        ShowFailure(QString::fromStdString(FailureText(e)));
        return;
    }
    connection.Host = HostName ? HostName() : std::string();
    test_->Start([&](TPop3Probe& probe) { probe.Use(connection); });
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
            ShowFailure(QString::fromStdString(FailureText(e)));
        }
        return;
    }
    if (ShowReport(result.Report, result.Host))
        edTrustedCertificate->setText(QString::fromStdString(result.Report.Peer.Fingerprint));
}

// Plain text: the failure may quote the server, whose words must not draw anything.
void TConnectionPage::ShowFailure(const QString& text) {
    QMessageBox box(QMessageBox::Warning, kTestTitle, text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    ExecMessageBox(box, window());
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
