#include "shell/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QPushButton>

#include <algorithm>
#include <utility>

#include "app/check_cycle.h"
#include "app/launcher.h"
#include "base/exception.h"
#include "platform/app_exceptions.h"
#include "platform/desktop_notification.h"
#include "platform/dialog_layout.h"
#include "platform/help_viewer.h"
#include "platform/registry.h"
#include "shell/envelope_icon.h"
#include "shell/kill_list_editor.h"
#include "shell/mailopt.h"

namespace {

constexpr int kClientWidth = 240;
constexpr int kClientHeight = 25;
constexpr int kRowPitch = 25;  // from one password row to the next

// Password boxes echo "*" whatever the desktop's style prefers.
class StarEchoStyle : public QProxyStyle {
  public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* ret) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return '*';
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};

QFont DesktopFontAt(int pixels) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(pixels);
    return font;
}

void MakeTextBlack(QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::ButtonText, Qt::black);
    widget->setPalette(palette);
}

QLineEdit* MakePasswordBox(QWidget* client) {
    auto* edit = new QLineEdit(client);
    auto* echo = new StarEchoStyle;
    echo->setParent(edit);
    edit->setStyle(echo);
    edit->setEchoMode(QLineEdit::Password);
    return edit;
}

QLabel* MakeRowLabel(const QString& text, QWidget* client) {
    auto* label = new QLabel(text, client);
    label->setFont(DesktopFontAt(11));
    MakeTextBlack(label);
    return label;
}

QString MenuText(const std::string& name) {
    return QString::fromStdString(name).replace("&", "&&");
}

// How long Exit waits for a session that has deleted to log out.
constexpr std::chrono::milliseconds kExitGrace{800};

}  // namespace

TfrmMain::TfrmMain(std::string hivePath, QWidget* parent)
    : QMainWindow(parent), hivePath_(std::move(hivePath)) {
    BuildForm();
    BuildMenu();
    ShowMailboxes();
    ConnectCredentials();
    ConnectCycle();
}

TfrmMain::~TfrmMain() {
    if (hookInstalled_) SetApplicationExceptionHook(nullptr);
    // Ticks and tray callbacks must not reach a window that is going away.
    cycle_->Stop();
}

void TfrmMain::BuildForm() {
    setWindowTitle("Vornask");
    // An ordinary window, so that it has a taskbar entry while shown; a small caption with only
    // a close box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowStaysOnTopHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowIcon(EnvelopeIcon());

    auto* client = new QWidget(this);
    client->setFont(DesktopFontAt(10));
    setCentralWidget(client);

    Button1 = new QPushButton("Hide", client);
    Button1->setFont(DesktopFontAt(11));
    MakeTextBlack(Button1);
    // Enter on the focused button presses it, as Space does (outside dialogs Qt needs this).
    Button1->setAutoDefault(true);

    cycle_ = new TCheckCycle(Settings, Credentials, this);

    Label4 = MakeRowLabel("Password", client);

    edPassword = MakePasswordBox(client);
    edPassword->installEventFilter(this);

    Launcher = new TLauncher(this);
    Notifier = new TDesktopNotifier(this);
    ConnectGuarded(Notifier, &TDesktopNotifier::ActionTaken, this, [this] { StartMailProgram(); });

    setTabOrder(Button1, edPassword);
    ConnectGuarded(Button1, &QPushButton::clicked, this, [this] { CheckAndHide(); });
}

void TfrmMain::BuildMenu() {
    MainMenu1 = menuBar();
    auto on = [this](QAction* item, void (TfrmMain::*handler)()) {
        ConnectGuarded(item, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    Options1 = MainMenu1->addMenu("&Options");
    Killlist1 = Options1->addAction("&Kill list");
    MailOptions1 = Options1->addAction("&Mail Options");
    // In the menu only with several mailboxes (ShowMailboxes).
    CheckMailbox1 = new QMenu("Check mailbox", this);
    N1 = Options1->addSeparator();
    Exit1 = Options1->addAction("&Exit");
    Exit1->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    Exit1->setShortcutContext(Qt::WindowShortcut);
    Help1 = MainMenu1->addMenu("&Help");
    HelpIndex1 = Help1->addAction("Help &Index");
    About1 = Help1->addAction("&What is Vornask");
    Aboutauthor1 = Help1->addAction("&About Author");
    // Shortcuts of menu items work only when the window holds them too.
    addAction(Exit1);

    on(Killlist1, &TfrmMain::Killlist1Click);
    on(MailOptions1, &TfrmMain::MailOptions1Click);
    on(Exit1, &TfrmMain::Exit1Click);
    on(HelpIndex1, &TfrmMain::HelpIndex1Click);
    on(About1, &TfrmMain::About1Click);
    on(Aboutauthor1, &TfrmMain::Aboutauthor1Click);
}

// Places the controls where the form wants them, widening the label, button and window only as
// far as the desktop's font needs so that no text is clipped.
void TfrmMain::LayOutControls() {
    const QFontMetrics small(Label4->font());
    int labelWidth = std::max(46, small.horizontalAdvance(Label4->text()) + 2);
    for (const TPasswordRow& row : rows_) {
        labelWidth = std::max(labelWidth, small.horizontalAdvance(row.Label->text()) + 2);
    }
    const int labelHeight = std::max(13, small.height());
    const int labelTop = std::min(10, kClientHeight - labelHeight);
    Label4->setGeometry(1, labelTop, labelWidth, labelHeight);

    const int buttonWidth = std::max(47, small.horizontalAdvance(Button1->text()) + 16);
    const int editLeft = std::max(52, 1 + labelWidth + 4);
    // The password box gives up width first; the window grows only when it would get too narrow.
    const int editWidth = std::max(100, std::min(134, kClientWidth - editLeft - buttonWidth - 7));
    edPassword->setGeometry(editLeft, 2, editWidth, 21);
    const int buttonLeft = editLeft + editWidth + 6;
    Button1->setGeometry(buttonLeft, 2, buttonWidth, 21);

    int top = 0;
    for (const TPasswordRow& row : rows_) {
        top += kRowPitch;
        row.Label->setGeometry(1, top + labelTop, labelWidth, labelHeight);
        row.Edit->setGeometry(editLeft, top + 2, editWidth, 21);
    }

    const int clientWidth = std::max(kClientWidth, buttonLeft + buttonWidth + 1);
    centralWidget()->setFixedSize(clientWidth, kClientHeight + top);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void TfrmMain::ShowMailboxes() {
    // What was typed in a further row stays with its mailbox's name.
    std::vector<std::pair<QString, QString>> typed;
    for (const TPasswordRow& row : rows_) {
        typed.emplace_back(row.Label->text(), row.Edit->text());
        delete row.Label;
        delete row.Edit;
    }
    rows_.clear();
    const std::vector<TMailbox>& all = Settings.Mailboxes;
    const bool several = all.size() > 1;
    // The first line (the box beside Hide) is the first mailbox's row, whatever it needs.
    firstLine_ = all.front().Id();
    Label4->setText(several ? QString::fromStdString(all.front().ShownName()) : "Password");
    QWidget* previous = edPassword;
    CheckMailbox1->clear();
    for (size_t i = 0; i < all.size(); ++i) {
        QAction* item = CheckMailbox1->addAction(MenuText(all[i].ShownName()));
        ConnectGuarded(item, &QAction::triggered, this,
                       [this, id = all[i].Id()] { cycle_->CheckMailbox(id, false); });
        if (all[i].Id() == firstLine_ || !NeedsTypedPassword(all[i])) continue;
        const TPasswordRow row{
            all[i].Id(), MakeRowLabel(QString::fromStdString(all[i].ShownName()), centralWidget()),
            MakePasswordBox(centralWidget())};
        for (const auto& [name, text] : typed) {
            if (name == row.Label->text()) row.Edit->setText(text);
        }
        row.Edit->installEventFilter(this);
        connect(row.Edit, &QLineEdit::textChanged, this, [this] { SyncTyped(); });
        row.Label->show();
        row.Edit->show();
        setTabOrder(std::exchange(previous, row.Edit), row.Edit);
        rows_.push_back(row);
    }
    if (several)
        Options1->insertMenu(N1, CheckMailbox1);
    else
        Options1->removeAction(CheckMailbox1->menuAction());
    LayOutControls();
    SyncTyped();
}

// A further mailbox has a row of its own only when a check needs what the user types there:
// not for OAuth2, nor for a password the keyring gives and the connection may carry (one it
// cannot give, or one kept for an encrypted connection on a plain one, is typed).
bool TfrmMain::NeedsTypedPassword(const TMailbox& mailbox) {
    if (!mailbox.Unreadable.empty() || mailbox.Connection.Authentication == TAuthentication::OAuth2)
        return false;
    if (!mailbox.RememberPassword) return true;
    const std::optional<TPasswordRecord> record = Credentials.RememberedPassword(mailbox);
    const auto encryption = mailbox.Connection.Encryption;
    const bool plain = !encryption || *encryption == TEncryption::None;
    return !record || (record->Encrypted && plain);
}

QLineEdit* TfrmMain::PasswordRow(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= Settings.Mailboxes.size()) return nullptr;
    return RowOf(Settings.Mailboxes[static_cast<size_t>(index)].Id());
}

QLineEdit* TfrmMain::RowOf(TMailboxId mailbox) const {
    if (mailbox == firstLine_) return edPassword;
    for (const TPasswordRow& row : rows_) {
        if (row.Mailbox == mailbox) return row.Edit;
    }
    return nullptr;
}

std::optional<std::string> TfrmMain::TypedFor(const TMailbox& mailbox) const {
    return Credentials.Typed.For(mailbox);
}

void TfrmMain::FocusMailbox(TMailboxId mailbox) {
    QLineEdit* edit = RowOf(mailbox);
    if (edit != nullptr && edit->isEnabled()) edit->setFocus(Qt::OtherFocusReason);
}

void TfrmMain::FormCreate() {
    TrayIconData = {};
    TrayIconData.cbSize = 88;
    TrayIconData.hWnd = this;
    TrayIconData.uID = kTrayIconId;
    TrayIconData.uFlags = tray::NIF_MESSAGE | tray::NIF_ICON | tray::NIF_TIP;
    TrayIconData.uCallbackMessage = kTrayCallbackMessage;
    TrayIconData.hIcon = windowIcon();
    SetTrayTip(TrayIconData, "Vornask");
    TrayNotifyIcon(tray::NIM_ADD, TrayIconData);
    WatchTray();
    Registry = std::make_unique<TRegistry>(hivePath_);
    cycle_->UseRegistry(Registry.get());
    LoadSettings(*Registry, Settings, settingsLoad_);
    ShowMailboxes();
    startHidden_ = LoadRemembered();
    UpdatePasswordBox();
    SetApplicationExceptionHook([this](QObject*, const Exception& e) { AppException(e); });
    hookInstalled_ = true;
    cycle_->SetNotifying(false);
}

void TfrmMain::FormDestroy() {
    // Sessions that have deleted get a moment to make it final; none holds the end up for long.
    cycle_->Abandon(kExitGrace);
    if (Registry) SaveSettings(*Registry, Settings, settingsLoad_);
    cycle_->WaitUntilIdle(kExitGrace + std::chrono::milliseconds(100));
    cycle_->UseRegistry(nullptr);
    Registry.reset();
    TrayNotifyIcon(tray::NIM_DELETE, TrayIconData);
}

void TfrmMain::FormCloseQuery() {
    QCoreApplication::quit();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    Guarded(this, [&] { FormCloseQuery(); });
    // The main window's close always ends the program, even when its handler failed.
    event->accept();
}

void TfrmMain::Killlist1Click() {
    RunKillListEditor(this, *Registry, Settings, settingsLoad_, &Credentials);
}

void TfrmMain::MailOptions1Click() {
    const TSettings before = Settings;
    RunMailOptions(this, Settings, *cycle_->Timer(), &Tokens, &Credentials);
    // Sessions under way were started with what the user has just changed.
    if (!(Settings == before)) cycle_->Abandon();
    ForgetLeftPasswords(before);
    ShowMailboxes();
    UpdatePasswordBox();
}

void TfrmMain::UpdatePasswordBox() {
    const TMailbox* shown = Settings.Find(firstLine_);
    const TMailbox& mailbox = shown ? *shown : Settings.Mailboxes.front();
    const TConnection& connection = mailbox.Connection;
    const bool oauth = connection.Authentication == TAuthentication::OAuth2;
    edPassword->setEnabled(!oauth);
    QString says;
    if (oauth) {
        edPassword->clear();
        if (!mailbox.OAuth.TokenCommand.empty())
            says = "The token command signs in: press Hide to check.";
        else if (Tokens.Holds(mailbox))
            says = "Signed in: press Hide to check.";
        else
            says = "Press Hide to sign in in the browser.";
    }
    edPassword->setPlaceholderText(says);
    // The narrow box may cut it short; a sign-in to make again says why on a second line.
    const bool signIn = oauth && !Tokens.Holds(mailbox) && !signInAgainReason_.isEmpty();
    edPassword->setToolTip(signIn ? says + "\n" + signInAgainReason_ : says);
}

void TfrmMain::Exit1Click() {
    close();
}

void TfrmMain::HelpIndex1Click() {
    ShowHelpContext(kHelpIndex);
}

void TfrmMain::About1Click() {
    ShowHelpContext(kHelpWhatIs);
}

void TfrmMain::Aboutauthor1Click() {
    ShowHelpContext(kHelpAuthor);
}

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    CentreOnFirstShow(this, centred_);
    // A check may have ended the sign-in since the box was last shown.
    UpdatePasswordBox();
    (edPassword->isEnabled() ? static_cast<QWidget*>(edPassword) : Button1)
        ->setFocus(Qt::ActiveWindowFocusReason);
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    // Restoring the window minimised without a tray shows nothing new, but activates it.
    if (watched == edPassword && event->type() == QEvent::WindowActivate) UpdatePasswordBox();
    if (watched == edPassword && event->type() == QEvent::KeyPress) {
        auto* keyEvent = static_cast<QKeyEvent*>(event);
        const bool enter = keyEvent->key() == Qt::Key_Return || keyEvent->key() == Qt::Key_Enter;
        uint16_t key = enter ? keys::VK_RETURN : static_cast<uint16_t>(keyEvent->key() & 0xFFFF);
        Guarded(edPassword, [&] { edPasswordKeyDown(key); });
        if (key == 0) return true;
    }
    // Enter in a further mailbox's row is Hide too.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const bool row = std::any_of(rows_.begin(), rows_.end(), [watched](const TPasswordRow& r) {
            return r.Edit == watched;
        });
        if (row && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            Guarded(this, [this] { CheckAndHide(); });
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
