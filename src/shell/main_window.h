#pragma once

// The main window: the password box, its menu, the tray icon, and what is shown of the check
// cycle's outcomes.

#include <QMainWindow>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/credential_source.h"
#include "app/settings.h"
#include "app/token_source.h"
#include "platform/keyring.h"
#include "platform/tray_icon.h"

class ETcpIpError;
class Exception;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QTimer;
class TCheckCycle;
class TDesktopNotifier;
class TLauncher;
class TOAuthSignIn;
class TRegistry;

inline constexpr uint32_t kTrayIconId = 1973;
inline constexpr uint32_t kTrayCallbackMessage = 2997;
// Said once in the tooltip when the keyring cannot keep or give the password.
inline constexpr const char* kKeyringUnavailableText =
    "The desktop keyring is not available; type the password.";
// The key code edPasswordKeyDown sees for Enter and Return.
namespace keys {
inline constexpr uint16_t VK_RETURN = 13;
}

class TfrmMain : public QMainWindow {
    Q_OBJECT
  public:
    // hivePath empty: the user's own registry hive.
    explicit TfrmMain(std::string hivePath = {}, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // Form components, owned by the window.
    QPushButton* Button1;
    QLabel* Label4;
    QLineEdit* edPassword;
    QMenuBar* MainMenu1;
    QMenu* Help1;
    QAction* About1;
    QMenu* Options1;
    QAction* Killlist1;
    QAction* MailOptions1;
    // One item per mailbox, each checking that mailbox; shown only with several.
    QMenu* CheckMailbox1;
    QAction* N1;
    QAction* Exit1;
    TLauncher* Launcher;
    QAction* HelpIndex1;
    QAction* Aboutauthor1;

    TSettings Settings;
    TNotifyIconData TrayIconData;
    std::unique_ptr<TRegistry> Registry;
    // The OAuth2 tokens of the account checked.
    TTokenSource Tokens;
    // What every check, dry run and connection test signs in with.
    TCredentialSource Credentials{Tokens};

    // The checks, their ticks and their outcomes; the window shows what they report.
    TCheckCycle& Cycle() { return *cycle_; }
    const TCheckCycle& Cycle() const { return *cycle_; }

    // Start and end. FormCreate fills in a remembered password; Start then shows the window,
    // or, with a password or an OAuth2 refresh token remembered, hides it and checks at once.
    void FormCreate();
    void Start();
    void FormDestroy();
    // The window's close ends the program.
    void FormCloseQuery();

    // Menu commands.
    void Killlist1Click();
    void MailOptions1Click();
    void Exit1Click();
    void HelpIndex1Click();
    void About1Click();
    void Aboutauthor1Click();

    // The tray callback; acts only while the window is hidden.
    void TrayIconNotify(const TTrayCallbackEvent& Message);
    // Looks whether the tray came or went since last time (a timer asks every two seconds): a
    // tray that came gets the icon, and a hidden window goes into it from the taskbar; without
    // the tray a hidden window is minimised, never lost.
    void FollowTray();
    // A second start of the program asks for the window: back as after a left click on the
    // icon while hidden, else only raised.
    void AnotherStartAsked();

    // Every failure a handler let escape: reported as the cycle reports its own.
    void AppException(const Exception& E);
    // Each OAuth2 mailbox without a token held signs in in the browser first, one after the
    // other; the check follows once they succeeded, a failure is shown in a box and the window
    // stays.
    void CheckAndHide();
    // Enter checks and hides; a key it handles comes back as 0.
    void edPasswordKeyDown(uint16_t& Key);
    // A tick: a quiet check.
    void TimerTimer();

    // Hidden, or minimised on a desktop without a tray.
    bool IsWindowHidden() const;
    // With OAuth2 the password box means nothing: disabled and empty, it says what Hide does.
    void UpdatePasswordBox();
    bool TaskbarEntryVisible() const { return taskbarEntryVisible_; }
    // With several mailboxes each further one needing a typed password (not OAuth2, no
    // remembered password) has a password row below the first, labelled with its name; the
    // first row is labelled with its name too. Null: mailbox index has no row of its own.
    QLineEdit* PasswordRow(int index) const;
    // The rows, the first row's label and the Check mailbox menu as the settings now are.
    void ShowMailboxes();
    // Whether a further mailbox gets a password row (see main_window.cpp).
    bool NeedsTypedPassword(const TMailbox& mailbox);
    // What the mailbox's row holds as the credential source takes it, by the mailbox's
    // identity; nothing for a mailbox without a row or whose row holds its remembered password.
    std::optional<std::string> TypedFor(const TMailbox& mailbox) const;

  protected:
    // Platform calls of the notifications, replaceable so tests can watch their order.
    virtual void ShowInformationBox(const std::string& text);
    virtual void ShowErrorBox(const std::string& text);
    virtual void PlaySound(const std::string& fileName);
    virtual bool TrayIsAvailable() const;
    // The tooltip update every outcome goes through.
    virtual void UpdateTip(const std::string& text);

    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    struct TPasswordRow {
        TMailboxId Mailbox;
        QLabel* Label;
        QLineEdit* Edit;
    };
    // Puts the cursor in the mailbox's password row.
    void FocusMailbox(TMailboxId mailbox);
    // The mailbox's remembered password may not go out on its connection: its row (made when
    // it has none) is emptied for the user to type it.
    void ClearPasswordRow(TMailboxId mailbox);
    // Tells the credential source what each mailbox's row holds.
    void SyncTyped();
    // The password row of the mailbox (the first line's box for the first mailbox); null when
    // it has none.
    QLineEdit* RowOf(TMailboxId mailbox) const;
    void BuildForm();
    void BuildMenu();
    void LayOutControls();
    void SetTaskbarEntryVisible(bool visible);
    // The window back and the ticks stopped, as a left click on the icon does.
    void ComeBack();
    // Starts asking FollowTray.
    void WatchTray();
    // "Vornask", or while minimised in place of the tray "Vornask - " and the tooltip's text.
    void UpdateTitle();
    void HideMainWindow();
    // Minimised where the tray would be, placed first when it was never shown.
    void MinimiseInPlaceOfTray();
    void BringWindowBack();
    // Makes the window show what the cycle reports.
    void ConnectCycle();
    // Sound, box and reader in turn, never overlapping: the box waits for the sound to finish
    // and the reader for the box to be dismissed. A notification instead of
    // the box offers the reader, which then starts only when the user takes that action.
    void ShowMailWaiting(int32_t count);
    void ShowNoMailBox();
    // A failure only the user can mend: back to the window, saying why a sign-in is to be
    // made again when it is one.
    void UserNeeded(const QString& signInAgainReason);
    // Shows text as a desktop notification when the user chose those and a notification
    // service answers; false means the box is still to be shown.
    // aboutMail: the mail waiting, which names only the mailboxes that have some.
    bool ShowNotification(const std::string& text, bool offerMailProgram, bool aboutMail = false);
    // The mailboxes a notification is about, for its body: with mail, only those that have
    // some (as the last check found); else all. One mailbox is named USER@HOST.
    std::string NotifiedMailboxes(bool withMail) const;
    void StartMailProgram();
    // The envelope, with the count and a warning mark when the user wants them on the icon.
    QIcon TrayIcon() const;
    // Hides the window, starts the ticks and checks.
    void HideAndCheck();
    // Where the credential source finds the typed password and tells of the keyring.
    void ConnectCredentials();
    // The remembered password (or refresh token) at the start: whether to start hidden.
    bool LoadRemembered();
    // Hide: each mailbox that remembers its password keeps what was typed in its row.
    void KeepPassword();
    void KeepPasswordOf(const TMailbox& mailbox);
    // After Mail Options: the remembered passwords of the mailboxes removed or no longer
    // remembering theirs are forgotten, unless a remaining mailbox remembers the same account.
    void ForgetLeftPasswords(const TSettings& before);
    // Whether the mailbox's check can sign in without the user (a readable remembered
    // password, a held OAuth2 sign-in); an unreadable mailbox is not checked and needs nothing.
    bool SignsInAlone(const TMailbox& mailbox);
    // The password box as the credential source takes it: nothing while it holds the password
    // remembered for the account, else what it holds.
    std::optional<std::string> TypedPassword(const TMailbox& account) const;
    // Says once in the tooltip that the keyring cannot be used.
    void NoteKeyringUnavailable();
    // The first mailbox, in order, whose check needs a browser sign-in that Hide has not
    // tried yet; null when none does.
    const TMailbox* NeedingSignIn();
    void SignInEnded(const QString& failure);
    // The next sign-in Hide asks for, or once none is left the check.
    void SignInOrCheck();

    std::string hivePath_;
    TSettingsLoad settingsLoad_;  // what LoadSettings left, for the save at the end
    bool hookInstalled_ = false;
    bool taskbarEntryVisible_ = true;
    bool centred_ = false;
    TDesktopNotifier* Notifier = nullptr;
    TCheckCycle* cycle_ = nullptr;
    // The account whose remembered password the box holds, until the user edits it.
    std::string rememberedInBox_;
    TOAuthSignIn* signIn_ = nullptr;           // the sign-in Hide started, while it runs
    std::vector<TMailboxId> signInsTried_;     // by this Hide, one after the other
    TMailboxId firstLine_ = TMailboxId::None;  // the mailbox whose row is the first line
    bool keyringNoted_ = false;
    QString signInAgainReason_;  // why the last check asked to sign in again

    bool startHidden_ = false;
    bool hidden_ = false;             // see IsWindowHidden
    bool trayAvailable_ = false;      // as FollowTray last saw it
    QTimer* trayWatch_ = nullptr;     // asks FollowTray
    std::vector<TPasswordRow> rows_;  // the further mailboxes' rows
};
