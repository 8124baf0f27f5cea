#pragma once

// An OAuth2 sign-in in the user's browser: the authorization-code flow with PKCE (S256) and a
// loopback redirect to http://127.0.0.1:PORT/ on a free port (see TRedirectListener for whom it
// serves). Start() opens the authorization address the desktop's usual way (xdg-open, which
// runs $BROWSER where no desktop is), and returns at once. The code is exchanged for tokens at
// the token URL (within 30 s) while the browser's request waits; the browser then lands on
// "Vornask is signed in. You may close this tab." or "Vornask was not signed in: REASON. You
// may close this tab.", and only once that page is sent is exactly one of Succeeded or Failed
// emitted, from the event loop, never from inside Start(). Failed carries the reason: an
// address the URL rule refuses, a browser that cannot be opened, a refusal by the provider, a
// failed token request, or no result within the time limit (5 minutes unless told). Deleting
// the object abandons the sign-in and closes its port.

#include <QObject>
#include <QString>
#include <chrono>
#include <memory>

#include "platform/oauth_config.h"

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
class TRedirectListener;

class TOAuthSignIn : public QObject {
    Q_OBJECT

  public:
    explicit TOAuthSignIn(TOAuthConfig config, QObject* parent = nullptr);
    ~TOAuthSignIn() override;

    void SetTimeLimit(std::chrono::milliseconds limit) { limit_ = limit; }
    void Start();

  signals:
    void Succeeded(const TOAuthTokens& tokens);
    void Failed(const QString& message);

  private:
    void OnRedirect(const QMap<QString, QString>& values);
    void OnTokenReply();
    void Finish(const std::string& failure, const TOAuthTokens& tokens = {});

    TOAuthConfig config_;
    std::chrono::milliseconds limit_ = std::chrono::minutes(5);
    TRedirectListener* listener_ = nullptr;
    QNetworkAccessManager* network_ = nullptr;
    QNetworkReply* reply_ = nullptr;
    QTimer* timer_ = nullptr;
    QString state_;
    QString verifier_;
    QString redirectUri_;
    bool done_ = false;
};
