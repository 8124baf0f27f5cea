#include "shell/connection_page.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>
#include <optional>

#include "app/connection_test_run.h"
#include "app/settings.h"
#include "app/token_source.h"
#include "net/encryption.h"
#include "platform/app_exceptions.h"
#include "platform/dialog_layout.h"
#include "platform/message_box.h"
#include "shell/oauth_group.h"

namespace {

const char* const kSignInTitle = "Sign in";
constexpr int kOAuth2Index = static_cast<int>(TAuthentication::OAuth2);
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

// The protocol shown; nothing when none is chosen.
std::optional<TMailProtocol> ChosenProtocol(int index) {
    if (index < 0) return kProtocolUnreadable;
    return static_cast<TMailProtocol>(index);
}

// The port usual for what is shown; while nothing is chosen, as for POP3 in plain text (as a
// stored mailbox without a port loads).
uint16_t UsualPortShown(int encryption, int protocol) {
    return UsualPort(ChosenEncryption(encryption).value_or(TEncryption::None),
                     ChosenProtocol(protocol).value_or(TMailProtocol::Pop3));
}

// The choices that name a protocol's commands, as each protocol names them.
const char* StartTlsText(bool imap) {
    return imap ? "STARTTLS (STARTTLS command)" : "STARTTLS (STLS command)";
}
const char* PasswordText(bool imap) {
    return imap ? "Password (LOGIN)" : "Password (USER/PASS)";
}
const char* SaslPlainText(bool imap) {
    return imap ? "Password (AUTHENTICATE PLAIN)" : "Password (SASL PLAIN)";
}

}  // namespace

TConnectionPage::TConnectionPage(QWidget* parent) : QWidget(parent) {
    cbProtocol = new QComboBox(this);
    cbProtocol->addItems({"POP3", "IMAP"});
    cbProtocol->setPlaceholderText("(choose)");  // shown while a stored one cannot be read
    cbEncryption = new QComboBox(this);
    cbEncryption->addItems({"None (plain text)", StartTlsText(false), "TLS on connect"});
    cbEncryption->setPlaceholderText("(choose)");  // shown while a stored one cannot be read
    edPort = new QSpinBox(this);
    edPort->setRange(1, 65535);
    usualPort_ = UsualPort(TEncryption::None);
    edPort->setValue(usualPort_);
    edTrustedCertificate = new QLineEdit(this);
    edTrustedCertificate->setPlaceholderText("none: the system's store decides");
    SetWidthAtLeast(edTrustedCertificate, FingerprintWidth(edTrustedCertificate->fontMetrics()));
    MakeTestButton();
    grid_ = new QGridLayout(this);
    grid_->setContentsMargins(8, 6, 8, 4);
    grid_->setVerticalSpacing(4);
    edFolder = new QLineEdit(this);
    edFolder->setPlaceholderText("INBOX");
    edMoveTo = new QLineEdit(this);
    edMoveTo->setPlaceholderText("empty: deleted; or a folder, e.g. Junk");
    grid_->addWidget(MakeBuddyLabel("Proto&col", cbProtocol, this), 0, 0);
    grid_->addWidget(cbProtocol, 0, 1, 1, 2, Qt::AlignLeft);
    grid_->addWidget(MakeBuddyLabel("&Encryption", cbEncryption, this), 1, 0);
    grid_->addWidget(cbEncryption, 1, 1, 1, 2, Qt::AlignLeft);
    grid_->addWidget(MakeBuddyLabel("&Port", edPort, this), 2, 0);
    grid_->addWidget(edPort, 2, 1);
    grid_->addWidget(btnTestConnection, 2, 2, Qt::AlignRight);
    grid_->addWidget(MakeBuddyLabel("T&rusted certificate", edTrustedCertificate, this), 3, 0);
    grid_->addWidget(edTrustedCertificate, 3, 1, 1, 2);
    lbFolder_ = MakeBuddyLabel("&Folder", edFolder, this);
    grid_->addWidget(lbFolder_, 4, 0);
    grid_->addWidget(edFolder, 4, 1, 1, 2);
    lbMoveTo_ = MakeBuddyLabel("Move condemned mai&l to", edMoveTo, this);
    grid_->addWidget(lbMoveTo_, 5, 0);
    grid_->addWidget(edMoveTo, 5, 1, 1, 2);
    cbAuthentication = new QComboBox(this);
    cbAuthentication->addItems(
        {PasswordText(false), SaslPlainText(false), "OAuth2 (sign in with the provider)"});
    cbAuthentication->setPlaceholderText("(choose)");  // while a stored one cannot be read
    grid_->addWidget(MakeBuddyLabel("&Authentication", cbAuthentication, this), 6, 0);
    grid_->addWidget(cbAuthentication, 6, 1, 1, 2, Qt::AlignLeft);
    gbOAuth = new TOAuthGroup(this);
    grid_->addWidget(gbOAuth, 7, 0, 1, 3);
    grid_->setColumnStretch(2, 1);
    // The fields keep their place when the IMAP rows' long caption comes and goes.
    grid_->setColumnMinimumWidth(0, lbMoveTo_->sizeHint().width());
    freeRow_ = 8;
    grid_->setRowStretch(freeRow_, 1);
    ConnectGuarded(cbProtocol, &QComboBox::currentIndexChanged, this,
                   [this] { cbProtocolChange(); });
    ConnectGuarded(cbEncryption, &QComboBox::currentIndexChanged, this,
                   [this] { cbEncryptionChange(); });
    ConnectGuarded(cbAuthentication, &QComboBox::currentIndexChanged, this,
                   [this] { cbAuthenticationChange(); });
    ConnectGuarded(gbOAuth, &TOAuthGroup::signInClicked, this, [this] { btnSignInClick(); });
    ConnectGuarded(gbOAuth, &TOAuthGroup::signOutClicked, this, [this] { btnSignOutClick(); });
    ConnectGuarded(gbOAuth, &TOAuthGroup::signInEnded, this,
                   [this](const QString& failure) { SignInEnded(failure); });
}

TConnectionPage::~TConnectionPage() {
    disconnect(test_, nullptr, this, nullptr);  // no report into a page that is going
}

QList<QWidget*> TConnectionPage::TabOrder() const {
    return QList<QWidget*>{cbProtocol,           cbEncryption, edPort,   btnTestConnection,
                           edTrustedCertificate, edFolder,     edMoveTo, cbAuthentication} +
           gbOAuth->TabOrder();
}

void TConnectionPage::AddRow(QWidget* widget) {
    grid_->setRowStretch(freeRow_, 0);
    grid_->addWidget(widget, freeRow_, 0, 1, 3);
    grid_->setRowStretch(++freeRow_, 1);
}

void TConnectionPage::LoadFrom(const TMailbox& mailbox) {
    shown_ = mailbox;
    const TConnection& connection = mailbox.Connection;
    {
        const QSignalBlocker quiet(cbEncryption);
        const QSignalBlocker quietToo(cbProtocol);
        const auto encryption = connection.Encryption;
        cbEncryption->setCurrentIndex(encryption ? static_cast<int>(*encryption) : -1);
        const auto protocol = connection.Protocol;
        cbProtocol->setCurrentIndex(protocol ? static_cast<int>(*protocol) : -1);
    }
    usualPort_ = UsualPortShown(cbEncryption->currentIndex(), cbProtocol->currentIndex());
    edPort->setValue(connection.Port);
    edTrustedCertificate->setText(QString::fromStdString(connection.TrustedCertificate));
    edFolder->setText(QString::fromStdString(mailbox.Folder));
    edMoveTo->setText(QString::fromStdString(mailbox.MoveTo));
    ShowProtocol();
    gbOAuth->LoadFrom(mailbox.OAuth);
    const auto authentication = connection.Authentication;
    cbAuthentication->setCurrentIndex(authentication ? static_cast<int>(*authentication) : -1);
    cbAuthenticationChange();
}

void TConnectionPage::cbAuthenticationChange() {
    const bool oauth = OAuthChosen();
    gbOAuth->setVisible(oauth);
    if (oauth) ShowSignedIn();
}

void TConnectionPage::ShowSignedIn() {
    const TMailbox account = ShownAccount();
    const bool signedIn = Tokens && Tokens->Holds(account);
    gbOAuth->ShowSignedIn(signedIn ? std::optional(account.User) : std::nullopt);
}

void TConnectionPage::cbEncryptionChange() {
    FollowUsualPort();
}

void TConnectionPage::cbProtocolChange() {
    FollowUsualPort();
    ShowProtocol();
    emit protocolChanged();
}

bool TConnectionPage::ImapChosen() const {
    return ChosenProtocol(cbProtocol->currentIndex()) == TMailProtocol::Imap;
}

bool TConnectionPage::OAuthChosen() const {
    return cbAuthentication->currentIndex() == kOAuth2Index;
}

void TConnectionPage::FollowUsualPort() {
    const int usual = UsualPortShown(cbEncryption->currentIndex(), cbProtocol->currentIndex());
    if (edPort->value() == usualPort_) edPort->setValue(usual);
    usualPort_ = usual;
}

void TConnectionPage::ShowProtocol() {
    const bool imap = ImapChosen();
    cbEncryption->setItemText(static_cast<int>(TEncryption::Stls), StartTlsText(imap));
    cbAuthentication->setItemText(static_cast<int>(TAuthentication::UserPass), PasswordText(imap));
    cbAuthentication->setItemText(static_cast<int>(TAuthentication::SaslPlain),
                                  SaslPlainText(imap));
    for (QWidget* widget :
         {lbFolder_, static_cast<QWidget*>(edFolder), lbMoveTo_, static_cast<QWidget*>(edMoveTo)})
        widget->setVisible(imap);
    gbOAuth->ShowScopesFor(imap);
}

void TConnectionPage::StoreTo(TMailbox& mailbox) const {
    StoreShownTo(mailbox.Connection);
    // Kept for POP3 too, as typed: switching back to IMAP finds them again.
    mailbox.Folder = edFolder->text().trimmed().toStdString();
    mailbox.MoveTo = edMoveTo->text().trimmed().toStdString();
    gbOAuth->StoreTo(mailbox.OAuth);
}

void TConnectionPage::StoreShownTo(TConnection& connection) const {
    connection.Protocol = ChosenProtocol(cbProtocol->currentIndex());
    connection.Encryption = ChosenEncryption(cbEncryption->currentIndex());
    connection.Port = static_cast<uint16_t>(edPort->value());
    // A text that is not a fingerprint is kept, not dropped: a check then refuses it.
    const std::string text = edTrustedCertificate->text().trimmed().toStdString();
    connection.TrustedCertificate = NormalizeFingerprint(text).value_or(text);
    const int authentication = cbAuthentication->currentIndex();
    connection.Authentication = authentication < 0
                                    ? kAuthenticationUnreadable
                                    : std::optional(static_cast<TAuthentication>(authentication));
}

TMailbox TConnectionPage::ShownAccount() const {
    TMailbox mailbox = shown_;
    StoreTo(mailbox);
    mailbox.Connection.Host = HostName ? HostName() : std::string();
    mailbox.User = UserName ? UserName() : std::string();
    return mailbox;
}

const std::optional<TMailbox>& TConnectionPage::SignInMade() const {
    return gbOAuth->SignInMade();
}

void TConnectionPage::btnSignInClick() {
    if (gbOAuth->SigningIn() || !Tokens) return;
    std::string text;
    const TFault fault = Fault(text);
    if (fault != TFault::None && fault != TFault::Pin) {
        ShowFailure(QString::fromStdString(text), kSignInTitle);
        FocusFault();
        return;
    }
    gbOAuth->StartSignIn(*Tokens, ShownAccount());
}

void TConnectionPage::SignInEnded(const QString& failure) {
    ShowSignedIn();
    if (!failure.isEmpty()) ShowFailure(failure, kSignInTitle);
}

void TConnectionPage::btnSignOutClick() {
    if (gbOAuth->SigningIn() || !Tokens) return;
    Tokens->SignOut(ShownAccount());
    ShowSignedIn();
}

// Plain text: the failure may quote the server, whose words must not draw anything.
void TConnectionPage::ShowFailure(const QString& text, const char* title) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    ExecMessageBox(box, window());
}
