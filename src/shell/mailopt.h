#pragma once

// The mail options dialog: the one place where the user changes the settings.

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class TConnectionPage;
class TFileEdit;
struct TSettings;
class TTimer;
class TCredentialSource;
class TTokenSource;

class TdlgMailOptions : public QDialog {
    Q_OBJECT
  public:
    explicit TdlgMailOptions(QWidget* owner);

    // Copies the settings into the controls.
    void LoadFrom(const TSettings& settings);
    // Copies the controls back and gives the timer the new period. An unreadable interval or
    // trusted certificate raises EConvertError before anything is changed.
    void StoreTo(TSettings& settings, TTimer& timer) const;

    void edIntervalExit();
    void chbClick();
    // Help (the button or F1) opens the section of help for the page shown.
    void btnHelpClick();
    void FormShow();

    QTabWidget* pcOptions;
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
    QWidget* MakeLoginPage();
    QWidget* MakeReceivingPage();
    QCheckBox* MakeFastCheckBox(QWidget* page);
    void ConnectHandlers();
    void SetTabOrder();
    void FocusInterval();

    bool shown_ = false;
};

// The whole exchange of the "&Mail Options" menu command: copy the settings in, show the
// dialog modally, copy back on OK and give the timer the new period. An unreadable interval
// on OK raises EConvertError to the caller with nothing copied back. The Connection page's
// sign-in hands its tokens to tokens, when given; leaving OAuth2 at OK signs the account out.
// Test connection signs in with credentials, when given.
void RunMailOptions(QWidget* owner, TSettings& settings, TTimer& timer,
                    TTokenSource* tokens = nullptr, TCredentialSource* credentials = nullptr);
