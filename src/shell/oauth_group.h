#pragma once

// The Connection page's OAuth2 group: the provider, its authorization and token addresses and
// scope (fixed for a known provider), this program's registration with it, an optional token
// command, and Sign in / Sign out with a line saying who is signed in. The page decides whether
// a sign-in may start and for which account; the group runs it and remembers that account.

#include <QGroupBox>
#include <QString>
#include <optional>
#include <string>

#include "app/settings.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TOAuthSignIn;
class TTokenSource;

class TOAuthGroup : public QGroupBox {
    Q_OBJECT
  public:
    explicit TOAuthGroup(QWidget* parent = nullptr);

    // Shows the values, with the provider whose addresses they are ("Other" for none).
    void LoadFrom(const TOAuthConfig& oauth);
    // The values shown, trimmed (all but the client secret).
    void StoreTo(TOAuthConfig& oauth) const;

    // What a check would refuse in the group: the text and the field to put the cursor on.
    struct TRefusal {
        std::string Text;
        QLineEdit* Field;
    };
    // Nothing when the addresses are allowed or a token command replaces them.
    std::optional<TRefusal> Refusal() const;

    // The group's controls in keyboard order.
    QList<QWidget*> TabOrder() const;

    // A known provider fills its addresses and scope and fixes them (read-only, and looking
    // so); "Other" leaves them to the user.
    void cbProviderChange();
    // Which of a known provider's scopes it fills: its IMAP scope or its POP3 one. A scope
    // typed for "Other" stays as it is.
    void ShowScopesFor(bool imap);

    // The status line: signed in as user, or not (nothing). Sign out is offered while signed
    // in and no sign-in runs.
    void ShowSignedIn(const std::optional<std::string>& user);
    // Signs account in in the browser; its tokens go to tokens. The buttons say so until
    // signInEnded. Does nothing while a sign-in runs.
    void StartSignIn(TTokenSource& tokens, const TMailbox& account);
    bool SigningIn() const { return signIn_ != nullptr; }
    // The account of the last sign-in this group started, if any (OK may have to forget it).
    const std::optional<TMailbox>& SignInMade() const { return signInMade_; }

    QComboBox* cbProvider;
    QLineEdit* edAuthorizationUrl;
    QLineEdit* edTokenUrl;
    QLineEdit* edScope;
    QLineEdit* edClientId;
    QLineEdit* edClientSecret;
    QLineEdit* edTokenCommand;
    QPushButton* btnSignIn;
    QPushButton* btnSignOut;
    QLabel* lblSignedIn;

  signals:
    // The user pressed Sign in or Sign out.
    void signInClicked();
    void signOutClicked();
    // The sign-in StartSignIn began is over: failure is empty on success, else its message.
    void signInEnded(const QString& failure);

  private:
    void SignInEnded(const QString& failure);

    TOAuthSignIn* signIn_ = nullptr;
    bool imap_ = false;  // the mailbox shown speaks IMAP
    std::optional<TMailbox> signInMade_;
};
