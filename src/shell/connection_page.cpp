#include "shell/connection_page.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <cstring>

#include "base/exception.h"
#include "net/encryption.h"
#include "net/pop3_probe.h"
#include "platform/app_exceptions.h"
#include "platform/dialog_layout.h"
#include "shell/connection_report.h"
#include "shell/settings.h"
#include "shell/shown_message.h"

namespace {

const char* const kTestTitle = "Test connection";

// No choice shown (-1) is no encryption at all, never plain text.
TEncryption EncryptionAt(int index) {
    return EncryptionFromNumber(index);
}

// A wait cursor for as long as the test blocks.
class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

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
    edPort->setValue(110);
    edTrustedCertificate = new QLineEdit(this);
    edTrustedCertificate->setPlaceholderText("none: the system's store decides");
    btnTestConnection = new QPushButton("&Test connection", this);
    Grid = new QGridLayout(this);
    Grid->setContentsMargins(8, 6, 8, 4);
    Grid->setVerticalSpacing(4);
    Grid->addWidget(MakeBuddyLabel("&Encryption", cbEncryption, this), 0, 0);
    Grid->addWidget(cbEncryption, 0, 1, 1, 2);
    Grid->addWidget(MakeBuddyLabel("&Port", edPort, this), 1, 0);
    Grid->addWidget(edPort, 1, 1);
    Grid->addWidget(btnTestConnection, 1, 2, Qt::AlignRight);
    Grid->addWidget(MakeBuddyLabel("T&rusted certificate", edTrustedCertificate, this), 2, 0);
    Grid->addWidget(edTrustedCertificate, 2, 1, 1, 2);
    Grid->setColumnStretch(2, 1);
    Grid->setRowStretch(3, 1);
    connect(cbEncryption, &QComboBox::currentIndexChanged, this,
            [this] { Guarded(cbEncryption, [this] { cbEncryptionChange(); }); });
    connect(btnTestConnection, &QPushButton::clicked, this,
            [this] { Guarded(btnTestConnection, [this] { btnTestConnectionClick(); }); });
}

QList<QWidget*> TConnectionPage::TabOrder() const {
    return {cbEncryption, edPort, btnTestConnection, edTrustedCertificate};
}

void TConnectionPage::LoadFrom(const TSettings& settings) {
    const QSignalBlocker quiet(cbEncryption);
    const bool known = IsEncryption(settings.Encryption);
    cbEncryption->setCurrentIndex(known ? settings.Encryption : -1);
    usualPort_ = UsualPort(known ? EncryptionAt(settings.Encryption) : TEncryption::None);
    edPort->setValue(settings.Port);
    edTrustedCertificate->setText(QString::fromStdString(settings.TrustedCertificate));
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

void TConnectionPage::StoreTo(TSettings& settings) const {
    settings.Encryption = cbEncryption->currentIndex();
    settings.Port = edPort->value();
    settings.TrustedCertificate =
        NormalizeFingerprint(edTrustedCertificate->text().toStdString()).value_or("");
}

void TConnectionPage::btnTestConnectionClick() {
    TPop3Probe probe;
    probe.Hostname = HostName ? HostName() : std::string();
    probe.Port = static_cast<uint16_t>(edPort->value());
    probe.TrustedCertificate = edTrustedCertificate->text().toStdString();
    probe.ConnectTimeoutMs = ConnectTimeoutMs;
    probe.ReceiveTimeoutMs = ReceiveTimeoutMs;
    TProbeReport report;
    try {
        CheckInput();  // a check would refuse the pin, so the test must not ignore it
        probe.Encryption = EncryptionAt(cbEncryption->currentIndex());
        WaitCursor wait;
        report = probe.Run();
    } catch (const Exception& e) {
        QMessageBox::warning(this, kTestTitle, QString::fromStdString(FailureText(e)));
        return;
    }
    if (ShowReport(report, probe.Hostname))
        edTrustedCertificate->setText(QString::fromStdString(report.Peer.Fingerprint));
}

bool TConnectionPage::ShowReport(const TProbeReport& report, const std::string& host) {
    QMessageBox box(QMessageBox::Information, kTestTitle,
                    QString::fromStdString(ConnectionReportText(report, host)), QMessageBox::Ok,
                    this);
    box.setObjectName("boxConnectionReport");
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPushButton* trust = nullptr;
    if (report.Encrypted && !report.Peer.Trusted && !report.Peer.Fingerprint.empty()) {
        box.setIcon(QMessageBox::Warning);
        trust = box.addButton("Trust this certificate", QMessageBox::AcceptRole);
    }
    box.exec();
    return trust && box.clickedButton() == trust;
}
