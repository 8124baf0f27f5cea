#include "platform/oauth_sign_in.h"

#include <QDesktopServices>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include "platform/oauth_pkce.h"
#include "platform/oauth_token_request.h"
#include "platform/process_start.h"
#include "platform/redirect_listener.h"

namespace {

const char* const LandingText = "Vornask is signed in. You may close this tab.";

// How long the browser's request is held while the code is exchanged for tokens.
constexpr std::chrono::seconds TokenBound(30);

QString RefusalText(std::string reason) {
    if (!reason.empty() && reason.back() == '.') reason.pop_back();
    return QString::fromStdString("Vornask was not signed in: " + reason +
                                  ". You may close this tab.");
}

// The provider's address with the request's parameters added to any it already has.
QUrl AuthorizationUrl(const TOAuthConfig& config, const QUrlQuery& parameters) {
    QUrl url(QString::fromStdString(config.AuthorizationUrl));
    QUrlQuery query(url);
    for (const auto& [name, value] : parameters.queryItems(QUrl::FullyDecoded))
        query.addQueryItem(name, value);
    url.setQuery(QString::fromLatin1(FormEncoded(query)), QUrl::StrictMode);
    return url;
}

// The desktop's usual way; where Qt's platform offers none (offscreen, a bare session), the
// same xdg-open it would have run, which falls back to $BROWSER.
bool OpenInBrowser(const QUrl& url) {
    if (QDesktopServices::openUrl(url)) return true;
    const std::string address = url.toEncoded().replace('\'', "%27").toStdString();
    try {
        StartProgramOrDocument({"xdg-open", "'" + address + "'", {}});
        return true;
    } catch (const EStartFailed&) {
        return false;
    }
}

}  // namespace

TOAuthSignIn::TOAuthSignIn(TOAuthConfig config, QObject* parent)
    : QObject(parent), config_(std::move(config)) {}

TOAuthSignIn::~TOAuthSignIn() = default;

void TOAuthSignIn::Start() {
    for (const auto& [what, url] : {std::pair{"The authorization URL", config_.AuthorizationUrl},
                                    std::pair{"The token URL", config_.TokenUrl}}) {
        if (auto refusal = OAuthUrlRefusal(what, url)) return Finish(*refusal);
    }
    if (config_.ClientId.empty()) return Finish("The client ID is not set.");

    state_ = RandomUrlSafeText(24);
    verifier_ = RandomUrlSafeText(32);
    listener_ = new TRedirectListener(state_, this);
    if (!listener_->Listen())
        return Finish("No local port could be opened for the browser's answer.");
    connect(listener_, &TRedirectListener::RedirectArrived, this, &TOAuthSignIn::OnRedirect);
    redirectUri_ = QString("http://127.0.0.1:%1/").arg(listener_->Port());

    QUrlQuery parameters;
    parameters.addQueryItem("response_type", "code");
    parameters.addQueryItem("client_id", QString::fromStdString(config_.ClientId));
    parameters.addQueryItem("redirect_uri", redirectUri_);
    if (!config_.Scope.empty())
        parameters.addQueryItem("scope", QString::fromStdString(config_.Scope));
    parameters.addQueryItem("state", state_);
    parameters.addQueryItem("code_challenge", PkceChallenge(verifier_));
    parameters.addQueryItem("code_challenge_method", "S256");
    const QUrl url = AuthorizationUrl(config_, parameters);

    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this,
            [this] { Finish("The sign-in did not finish within " + DurationText(limit_) + "."); });
    timer_->start(limit_);
    if (!OpenInBrowser(url))
        Finish("No web browser could be opened. Open this address yourself: " +
               url.toString().toStdString());
}

void TOAuthSignIn::OnRedirect(const QMap<QString, QString>& values) {
    if (done_) return;
    const QString error = values.value("error");
    if (!error.isEmpty()) {
        const QString description = values.value("error_description");
        return Finish("The provider refused the sign-in: " + error.toStdString() +
                      (description.isEmpty() ? "" : " (" + description.toStdString() + ")"));
    }
    const QString code = values.value("code");
    if (code.isEmpty()) return Finish("The provider's answer carried no authorization code.");

    QUrlQuery form;
    form.addQueryItem("grant_type", "authorization_code");
    form.addQueryItem("code", code);
    form.addQueryItem("redirect_uri", redirectUri_);
    form.addQueryItem("code_verifier", verifier_);
    network_ = new QNetworkAccessManager(this);
    try {
        reply_ = PostTokenRequest(*network_, config_, form);
    } catch (const EOAuthError& e) {
        return Finish(e.Message());
    }
    reply_->setParent(this);
    connect(reply_, &QNetworkReply::finished, this, &TOAuthSignIn::OnTokenReply);
    QTimer::singleShot(TokenBound, reply_, [this] {
        Finish("The token server did not answer within " + DurationText(TokenBound));
    });
}

void TOAuthSignIn::OnTokenReply() {
    try {
        Finish({}, ReadTokenReply(*reply_, {}));
    } catch (const EOAuthError& e) {
        Finish(e.Message());
    }
}

void TOAuthSignIn::Finish(const std::string& failure, const TOAuthTokens& tokens) {
    if (done_) return;
    done_ = true;
    if (timer_) timer_->stop();
    if (reply_ && !reply_->isFinished()) reply_->abort();
    // The browser's page first: a handler of the signals may open a box and wait in it. The
    // result follows from the event loop, outside the socket's and the reply's own signals, so
    // that a handler may also delete this object.
    if (listener_) listener_->Answer(failure.empty() ? QString(LandingText) : RefusalText(failure));
    QTimer::singleShot(0, this, [this, failure, tokens] {
        if (failure.empty())
            emit Succeeded(tokens);
        else
            emit Failed(QString::fromStdString(failure));
    });
}
