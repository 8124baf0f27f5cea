#include "shell/mailopt.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

#include "app/settings.h"
#include "app/timer.h"
#include "app/token_source.h"
#include "base/str_to_int.h"
#include "platform/app_exceptions.h"
#include "platform/dialog_layout.h"
#include "platform/help_viewer.h"
#include "platform/message_box.h"
#include "shell/connection_page.h"
#include "shell/file_edit.h"

namespace {

const TFileDialogSetup kMailProgSetup{"Choose mail reader",
                                      "Programs (*.exe)|*.exe|All files (*.*)|*.*", "exe", true};
const TFileDialogSetup kLogFileSetup{"Choose log file",
                                     "Text files (*.txt)|*.txt|All files (*.*)|*.*", "txt", false};
const TFileDialogSetup kSoundSetup{"Choose wave file", "Wave files (*.wav)|*.wav", "wav", true};

QString FromStd(const std::string& text) {
    return QString::fromStdString(text);
}
std::string ToStd(const QString& text) {
    return text.toStdString();
}

}  // namespace

TdlgMailOptions::TdlgMailOptions(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName("dlgMailOptions");
    setWindowTitle("Mail options");
    pcOptions = new QTabWidget(this);
    pcOptions->addTab(MakeLoginPage(), " Login Options ");
    pcOptions->addTab(MakeReceivingPage(), " On Receiving Mail ");
    pgConnection = new TConnectionPage;
    pgConnection->HostName = [this] { return ToStd(edHostname->text()); };
    pgConnection->UserName = [this] { return ToStd(edUsername->text()); };
    pcOptions->addTab(pgConnection, " Connection ");
    pcOptions->tabBar()->setAttribute(Qt::WA_Hover);
    pcOptions->setCurrentIndex(0);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 0);
    layout->setSpacing(0);
    layout->addWidget(MakeMailboxLine());
    layout->addWidget(pcOptions, 1);
    layout->addWidget(MakeDialogButtonBar(this, 0, btnHelp, btnOK, btnCancel));
    SetTabOrder();
    edHostname->setFocus();

    const QSize needed = layout->minimumSize();
    setFixedSize(std::max(380, needed.width()), std::max(161, needed.height()));
    ConnectHandlers();
}

QWidget* TdlgMailOptions::MakeMailboxLine() {
    auto* line = new QWidget;
    cbMailbox = new QComboBox(line);
    cbMailbox->setObjectName("cbMailbox");
    cbMailbox->setMinimumWidth(177);
    btnAddMailbox = new QPushButton("Add", line);
    btnRenameMailbox = new QPushButton("Rename", line);
    btnRemoveMailbox = new QPushButton("Remove", line);
    lbUnreadable = new QLabel(line);
    lbUnreadable->setWordWrap(true);
    lbUnreadable->hide();
    auto* grid = new QGridLayout(line);
    grid->setContentsMargins(8, 4, 8, 6);
    grid->addWidget(MakeBuddyLabel("Mailbox", cbMailbox, line), 0, 0);
    grid->addWidget(cbMailbox, 0, 1);
    grid->addWidget(btnAddMailbox, 0, 2);
    grid->addWidget(btnRenameMailbox, 0, 3);
    grid->addWidget(btnRemoveMailbox, 0, 4);
    grid->addWidget(lbUnreadable, 1, 0, 1, 6);
    grid->setColumnStretch(5, 1);
    btnRenameMailbox->hide();
    btnRemoveMailbox->hide();
    return line;
}

// The shown mailbox's own fields in a box titled with its name, the shared ones below it, so
// that it is plain which values each mailbox keeps for itself.
QWidget* TdlgMailOptions::MakeLoginPage() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(8, 6, 8, 4);
    column->setSpacing(6);
    column->addWidget(MakeMailboxGroup(page));
    column->addWidget(MakeSharedGroup(page));
    column->addStretch(1);
    return page;
}

QWidget* TdlgMailOptions::MakeMailboxGroup(QWidget* page) {
    gbMailbox = new QGroupBox(page);
    gbMailbox->setObjectName("gbMailbox");
    edHostname = new QLineEdit(gbMailbox);
    edUsername = new QLineEdit(gbMailbox);
    edHostname->setFixedWidth(177);
    edUsername->setFixedWidth(177);
    chbRememberPassword = new QCheckBox("R&emember the password in the desktop keyring", gbMailbox);
    chbRememberPassword->setObjectName("chbRememberPassword");
    chbFastCheck = new QCheckBox("Examine each message only once", gbMailbox);
    chbFastCheck->setObjectName("chbFastCheck");
    auto* own = new QGridLayout(gbMailbox);
    own->setContentsMargins(8, 4, 8, 4);
    own->setVerticalSpacing(4);
    own->addWidget(MakeBuddyLabel("&SMTP Server", edHostname, gbMailbox), 0, 0);
    own->addWidget(edHostname, 0, 1);
    own->addWidget(MakeBuddyLabel("&Login Name", edUsername, gbMailbox), 1, 0);
    own->addWidget(edUsername, 1, 1);
    own->addWidget(chbRememberPassword, 2, 0, 1, 3, Qt::AlignLeft);
    own->addWidget(chbFastCheck, 3, 0, 1, 3, Qt::AlignLeft);
    own->setColumnStretch(2, 1);
    return gbMailbox;
}

QWidget* TdlgMailOptions::MakeSharedGroup(QWidget* page) {
    auto* shared = new QGroupBox("All mailboxes", page);
    edInterval = new QLineEdit(shared);
    edInterval->setFixedWidth(49);
    chbDesktopNotification = new QCheckBox("Use desktop notifications instead of boxes", shared);
    chbCountOnIcon = new QCheckBox("Show the count on the tray icon", shared);
    auto* grid = new QGridLayout(shared);
    grid->setContentsMargins(8, 4, 8, 4);
    grid->setVerticalSpacing(4);
    grid->addWidget(MakeBuddyLabel("&Chek Interval", edInterval, shared), 0, 0);
    grid->addWidget(edInterval, 0, 1);
    grid->addWidget(new QLabel("min", shared), 0, 2);
    grid->addWidget(chbDesktopNotification, 1, 0, 1, 4, Qt::AlignLeft);
    grid->addWidget(chbCountOnIcon, 2, 0, 1, 4, Qt::AlignLeft);
    grid->setColumnStretch(3, 1);
    return shared;
}

QWidget* TdlgMailOptions::MakeReceivingPage() {
    auto* page = new QWidget;
    chbShowMessage = new QCheckBox("&Show Message", page);
    chbMailer = new QCheckBox("&Run mail reader", page);
    chbLogFile = new QCheckBox("&Log file name", page);
    chbSound = new QCheckBox("&Play sound", page);
    feMailProg = new TFileEdit(kMailProgSetup, page);
    feLogFile = new TFileEdit(kLogFileSetup, page);
    feSound = new TFileEdit(kSoundSetup, page);
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(8, 4, 8, 2);
    grid->setVerticalSpacing(1);
    grid->addWidget(chbShowMessage, 0, 0);
    const std::pair<QCheckBox*, TFileEdit*> rows[] = {
        {chbMailer, feMailProg}, {chbLogFile, feLogFile}, {chbSound, feSound}};
    int row = 1;
    for (const auto& [check, box] : rows) {
        grid->addWidget(check, row, 0);
        SetWidthAtLeast(box, 241);
        grid->addWidget(box, row++, 1);
    }
    // Room the connection page's wide field gives the dialog stays right of the paths.
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(row, 1);
    return page;
}

void TdlgMailOptions::SetTabOrder() {
    const QWidget* order[] = {cbMailbox,
                              btnAddMailbox,
                              btnRenameMailbox,
                              btnRemoveMailbox,
                              edHostname,
                              edUsername,
                              chbRememberPassword,
                              chbFastCheck,
                              edInterval,
                              chbDesktopNotification,
                              chbCountOnIcon,
                              chbShowMessage,
                              chbMailer,
                              feMailProg,
                              chbLogFile,
                              feLogFile,
                              chbSound,
                              feSound,
                              btnHelp,
                              btnOK,
                              btnCancel};
    for (size_t i = 0; i + 1 < std::size(order); ++i) {
        setTabOrder(const_cast<QWidget*>(order[i]), const_cast<QWidget*>(order[i + 1]));
    }
    // The connection page's controls come between the second page's and the button bar.
    QWidget* previous = feSound;
    for (QWidget* next : pgConnection->TabOrder()) setTabOrder(std::exchange(previous, next), next);
    setTabOrder(previous, btnHelp);
}

void TdlgMailOptions::ConnectHandlers() {
    edInterval->installEventFilter(this);
    for (QCheckBox* box : {chbMailer, chbLogFile, chbSound}) {
        ConnectGuarded(box, &QCheckBox::toggled, this, [this] { chbClick(); });
    }
    ConnectGuarded(cbMailbox, &QComboBox::currentIndexChanged, this,
                   [this](int index) { cbMailboxChange(index); });
    ConnectGuarded(btnAddMailbox, &QPushButton::clicked, this, [this] { btnAddMailboxClick(); });
    ConnectGuarded(btnRenameMailbox, &QPushButton::clicked, this,
                   [this] { btnRenameMailboxClick(); });
    ConnectGuarded(btnRemoveMailbox, &QPushButton::clicked, this,
                   [this] { btnRemoveMailboxClick(); });
    for (QLineEdit* edit : {edHostname, edUsername})
        connect(edit, &QLineEdit::textEdited, this, [this] { ShowShownName(); });
    ConnectGuarded(pgConnection, &TConnectionPage::protocolChanged, this,
                   [this] { ShowFastCheck(); });
    ConnectGuarded(btnHelp, &QPushButton::clicked, this, [this] { btnHelpClick(); });
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    ConnectGuarded(f1, &QShortcut::activated, this, [this] { btnHelpClick(); });
}

// The help section of the page on top.
void TdlgMailOptions::btnHelpClick() {
    static constexpr HelpContext kPageHelp[] = {kHelpMailLogin, kHelpMailReceiving,
                                                kHelpMailConnection};
    const int page = pcOptions->currentIndex();
    const bool known = page >= 0 && page < static_cast<int>(std::size(kPageHelp));
    ShowHelpContext(known ? kPageHelp[page] : kHelpMailOptions, this);
}

void TdlgMailOptions::LoadFrom(const TSettings& settings) {
    working_ = settings;
    edInterval->setText(QString::number(settings.Interval));
    chbShowMessage->setChecked(settings.ShowMessage);
    chbDesktopNotification->setChecked(settings.DesktopNotification);
    chbCountOnIcon->setChecked(settings.CountOnIcon);
    feMailProg->SetText(FromStd(settings.MailProgram));
    chbMailer->setChecked(!settings.MailProgram.empty());
    feLogFile->SetText(FromStd(settings.LogFile));
    chbLogFile->setChecked(!settings.LogFile.empty());
    feSound->SetText(FromStd(settings.WavSound));
    chbSound->setChecked(!settings.WavSound.empty());
    LoadShown(0);
}

void TdlgMailOptions::StoreTo(TSettings& settings, TTimer& timer) const {
    const int32_t interval = StrToInt(ToStd(edInterval->text()));
    if (!ShownUnreadable()) pgConnection->CheckInput();
    TSettings edited = working_;
    StoreShown(edited.Mailboxes[static_cast<size_t>(mailbox_)]);
    settings.Interval = interval;
    // Computed in 64 bits: a product past the 32-bit range means the longest period the
    // timer supports instead of a wrapped, possibly negative one.
    timer.SetInterval(MinutesToMs(interval));
    settings.Mailboxes = std::move(edited.Mailboxes);
    settings.ShowMessage = chbShowMessage->isChecked();
    settings.DesktopNotification = chbDesktopNotification->isChecked();
    settings.CountOnIcon = chbCountOnIcon->isChecked();
    settings.MailProgram = chbMailer->isChecked() ? ToStd(feMailProg->Text()) : std::string();
    settings.LogFile = chbLogFile->isChecked() ? ToStd(feLogFile->Text()) : std::string();
    settings.WavSound = chbSound->isChecked() ? ToStd(feSound->Text()) : std::string();
}

void TdlgMailOptions::done(int result) {
    if (result == Accepted && !ShownUnreadable() && !pgConnection->InputAcceptable()) {
        pcOptions->setCurrentWidget(pgConnection);
        pgConnection->FocusFault();
        return;
    }
    pgConnection->StopTest();
    QDialog::done(result);
}

void TdlgMailOptions::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (CentreOnFirstShow(this, shown_)) Guarded(this, [this] { FormShow(); });
}

void TdlgMailOptions::FormShow() {
    chbClick();
}

// Leaving the box for another control converts it; losing the focus to another window or to
// a popup is not leaving it.
bool TdlgMailOptions::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edInterval && event->type() == QEvent::FocusOut && isVisible()) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
            reason != Qt::MenuBarFocusReason) {
            Guarded(edInterval, [this] { edIntervalExit(); });
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TdlgMailOptions::edIntervalExit() {
    const std::optional<int32_t> value = TryStrToInt(ToStd(edInterval->text()));
    edInterval->setText(QString::number(value.value_or(5)));
    if (!value) FocusInterval();
}

// Queued: the focus change that triggered the exit must finish before the focus comes back.
void TdlgMailOptions::FocusInterval() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            pcOptions->setCurrentIndex(0);
            edInterval->setFocus(Qt::OtherFocusReason);
        },
        Qt::QueuedConnection);
}

void TdlgMailOptions::ShowFastCheck() {
    const bool imap = pgConnection->ImapChosen();
    chbFastCheck->setEnabled(!imap);
    chbFastCheck->setToolTip(imap ? "An IMAP mailbox examines each message only once in any case."
                                  : QString());
}

void TdlgMailOptions::chbClick() {
    feMailProg->setEnabled(chbMailer->isChecked());
    feLogFile->setEnabled(chbLogFile->isChecked());
    feSound->setEnabled(chbSound->isChecked());
}

namespace {

bool UsesOAuth(const TMailbox& mailbox) {
    return mailbox.Connection.Authentication == TAuthentication::OAuth2;
}

bool SameAccount(const TMailbox& a, const TMailbox& b) {
    return a.Connection.Host == b.Connection.Host && a.User == b.User;
}

// Whether some mailbox of settings still signs in as account with OAuth2, for the same scope:
// tokens granted for another (a POP3 scope for a mailbox now IMAP) would only be refused.
bool StillSignedIn(const TSettings& settings, const TMailbox& account) {
    return std::ranges::any_of(settings.Mailboxes, [&account](const TMailbox& m) {
        return UsesOAuth(m) && SameAccount(m, account) && m.OAuth.Scope == account.OAuth.Scope;
    });
}

// Removing a mailbox, leaving OAuth2 or changing the scope signs its account out, and so does
// giving up a sign-in made in the dialog: the tokens would otherwise wait in the keyring for a
// check that never uses them. An account a remaining mailbox still signs in as keeps its tokens.
void SignOutLeft(TTokenSource& tokens, const TSettings& before, const TSettings& after,
                 const std::optional<TMailbox>& signInMade) {
    std::vector<TMailbox> left;
    for (const TMailbox& mailbox : before.Mailboxes)
        if (UsesOAuth(mailbox)) left.push_back(mailbox);
    if (signInMade) left.push_back(*signInMade);
    std::vector<TMailbox> signedOut;
    for (TMailbox account : left) {
        // A sign-in made in the dialog replaced the account's tokens with ones for its scope.
        if (signInMade && SameAccount(*signInMade, account))
            account.OAuth.Scope = signInMade->OAuth.Scope;
        if (StillSignedIn(after, account)) continue;
        if (std::ranges::any_of(signedOut,
                                [&](const TMailbox& m) { return SameAccount(m, account); }))
            continue;  // once per account
        tokens.SignOut(account);
        signedOut.push_back(account);
    }
}

}  // namespace

void RunMailOptions(QWidget* owner, TSettings& settings, TTimer& timer, TTokenSource* tokens,
                    TCredentialSource* credentials) {
    auto dialog = std::make_unique<TdlgMailOptions>(owner);
    dialog->pgConnection->Tokens = tokens;
    dialog->pgConnection->Credentials = credentials;
    dialog->LoadFrom(settings);
    // Modal to the main window only: the help window and the tray icon stay usable.
    dialog->setWindowModality(Qt::WindowModal);
    if (dialog->exec() != QDialog::Accepted) return;
    const TSettings before = settings;
    dialog->StoreTo(settings, timer);
    if (tokens) SignOutLeft(*tokens, before, settings, dialog->pgConnection->SignInMade());
}
