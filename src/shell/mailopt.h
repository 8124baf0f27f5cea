#pragma once

// The mail options dialog: the one place where the user changes the settings.

#include <QDialog>

#include "app/settings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class TConnectionPage;
class TFileEdit;
class TTimer;
class TCredentialSource;
class TTokenSource;

class TdlgMailOptions : public QDialog {
    Q_OBJECT
  public:
    explicit TdlgMailOptions(QWidget* owner);

    // Copies the settings into a working copy and the controls, the first mailbox shown.
    void LoadFrom(const TSettings& settings);
    // Copies the controls and the working copy's mailboxes back and gives the timer the new
    // period. An unreadable interval or trusted certificate raises EConvertError before
    // anything is changed.
    void StoreTo(TSettings& settings, TTimer& timer) const;

    // The mailbox line. Choosing another mailbox keeps the shown one's edits in the working
    // copy first; one the Connection page refuses stays shown, its fault pointed out.
    void cbMailboxChange(int index);
    // Asks for a name and shows a new, empty mailbox.
    void btnAddMailboxClick();
    void btnRenameMailboxClick();
    // Asks first; the last mailbox cannot be removed.
    void btnRemoveMailboxClick();
    // The index (in the settings' Mailboxes) of the mailbox the pages show.
    int ShownMailbox() const { return mailbox_; }

    void edIntervalExit();
    void chbClick();
    // Help (the button or F1) opens the section of help for the page shown.
    void btnHelpClick();
    void FormShow();

    QComboBox* cbMailbox;
    QPushButton* btnAddMailbox;
    QPushButton* btnRenameMailbox;
    QPushButton* btnRemoveMailbox;
    QLabel* lbUnreadable;  // why the shown mailbox cannot be edited
    QTabWidget* pcOptions;
    QGroupBox* gbMailbox;  // the shown mailbox's own fields, titled with its name
    QLineEdit* edHostname;
    QLineEdit* edUsername;
    QLineEdit* edInterval;
    QCheckBox* chbDesktopNotification;
    QCheckBox* chbCountOnIcon;
    QCheckBox* chbFastCheck;
    QCheckBox* chbRememberPassword;
    QCheckBox* chbShowMessage;
    QCheckBox* chbMailer;
    TFileEdit* feMailProg;
    QCheckBox* chbLogFile;
    TFileEdit* feLogFile;
    QCheckBox* chbSound;
    TFileEdit* feSound;
    TConnectionPage* pgConnection;
    QPushButton* btnHelp;
    QPushButton* btnOK;
    QPushButton* btnCancel;

    // OK with a trusted certificate that is not a fingerprint keeps the dialog open with its
    // edits and says what is wrong. Closing stops a running connection test.
    void done(int result) override;

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* MakeMailboxLine();
    // The mailbox the pages show, in the working copy.
    TMailbox& Shown();
    const TMailbox& Shown() const;
    // The shown mailbox's own controls into mailbox; an unreadable one is left as it is.
    void StoreShown(TMailbox& mailbox) const;
    // Shows mailbox index of the working copy.
    void LoadShown(int index);
    // The names in the drop-down; Rename and Remove only with several mailboxes.
    void ShowMailboxLine();
    // The shown mailbox's name, in the drop-down and its box, as its fields now read.
    void ShowShownName();
    // Stores the shown mailbox into the working copy unless the Connection page refuses it
    // (then false, after saying why).
    bool LeaveShown();
    bool ShownUnreadable() const;
    // "Examine each message only once" is POP3's choice: IMAP always does.
    void ShowFastCheck();
    QWidget* MakeLoginPage();
    QWidget* MakeMailboxGroup(QWidget* page);
    QWidget* MakeSharedGroup(QWidget* page);
    QWidget* MakeReceivingPage();
    void ConnectHandlers();
    void SetTabOrder();
    void FocusInterval();

    bool shown_ = false;
    TSettings working_;  // the mailboxes as edited so far
    int mailbox_ = 0;    // shown
};

// The whole exchange of the "&Mail Options" menu command: copy the settings in, show the
// dialog modally, copy back on OK and give the timer the new period. An unreadable interval
// on OK raises EConvertError to the caller with nothing copied back. The Connection page's
// sign-in hands its tokens to tokens, when given; leaving OAuth2 at OK signs the account out.
// Test connection signs in with credentials, when given.
void RunMailOptions(QWidget* owner, TSettings& settings, TTimer& timer,
                    TTokenSource* tokens = nullptr, TCredentialSource* credentials = nullptr);
