#include "platform/oauth_refresh.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <memory>

#include "platform/oauth_token_request.h"

TOAuthTokens RefreshAccessToken(const TOAuthConfig& config, const std::string& refreshToken,
                                std::chrono::milliseconds bound) {
    if (refreshToken.empty()) throw EOAuthSignInAgain("No sign-in is held. Sign in again.");
    QNetworkAccessManager network;
    QUrlQuery form;
    form.addQueryItem("grant_type", "refresh_token");
    form.addQueryItem("refresh_token", QString::fromStdString(refreshToken));
    const std::unique_ptr<QNetworkReply> reply(PostTokenRequest(network, config, form));

    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(bound, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) loop.exec();
    if (!reply->isFinished()) {
        reply->abort();
        throw EOAuthError("The token server did not answer within " + DurationText(bound));
    }
    return ReadTokenReply(*reply, refreshToken);
}
