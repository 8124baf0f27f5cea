#include "platform/oauth_token_request.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <algorithm>
#include <cmath>

#include "platform/bounded_http_reply.h"

namespace {

constexpr qint64 MaxAnswerBytes = 1024 * 1024;
constexpr size_t MaxTokenBytes = 16 * 1024;
constexpr double MaxLifetimeSeconds = 365.0 * 24 * 3600;

void AddFromEnvironment(QList<QSslCertificate>& certificates) {
    const QByteArray file = qgetenv("SSL_CERT_FILE");
    if (!file.isEmpty()) certificates += QSslCertificate::fromPath(QString::fromLocal8Bit(file));
    const QByteArray dirs = qgetenv("SSL_CERT_DIR");
    for (const auto& dir : dirs.split(':')) {
        if (dir.isEmpty()) continue;
        certificates += QSslCertificate::fromPath(QString::fromLocal8Bit(dir) + "/*", QSsl::Pem,
                                                  QSslCertificate::PatternSyntax::Wildcard);
    }
}

std::string Text(const QJsonObject& object, const char* name) {
    return object.value(QLatin1String(name)).toString().toStdString();
}

[[noreturn]] void Refused(const QJsonObject& answer, int httpStatus) {
    const std::string error = Text(answer, "error");
    const std::string description = Text(answer, "error_description");
    std::string detail = error.empty() ? "HTTP status " + std::to_string(httpStatus) : error;
    if (!description.empty()) detail += " (" + description + ")";
    if (error == "invalid_grant")
        throw EOAuthSignInAgain("The provider no longer accepts this sign-in: " + detail +
                                ". Sign in again.");
    throw EOAuthError("The token server refused the request: " + detail);
}

TOAuthTokens TokensOf(const QJsonObject& answer, const std::string& keptRefresh) {
    TOAuthTokens tokens;
    tokens.AccessToken = Text(answer, "access_token");
    if (tokens.AccessToken.empty())
        throw EOAuthError("The token server answered without an access token");
    tokens.RefreshToken = Text(answer, "refresh_token");
    if (tokens.AccessToken.size() > MaxTokenBytes || tokens.RefreshToken.size() > MaxTokenBytes)
        throw EOAuthError("The token URL sent a token larger than 16 KiB.");
    if (tokens.RefreshToken.empty()) tokens.RefreshToken = keptRefresh;
    // A number, or a number in a string as some servers send it; held to 0 s .. 1 year.
    const QJsonValue expiresIn = answer.value("expires_in");
    bool isNumber = expiresIn.isDouble();
    const double seconds =
        expiresIn.isString() ? expiresIn.toString().toDouble(&isNumber) : expiresIn.toDouble();
    if (isNumber && !std::isnan(seconds)) {
        const auto held = std::llround(std::clamp(seconds, 0.0, MaxLifetimeSeconds));
        tokens.ExpiresAt = std::chrono::system_clock::now() + std::chrono::seconds(held);
    }
    return tokens;
}

}  // namespace

QByteArray FormEncoded(const QUrlQuery& items) {
    QByteArray text;
    for (const auto& [name, value] : items.queryItems(QUrl::FullyDecoded)) {
        if (!text.isEmpty()) text += '&';
        text += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
    }
    return text;
}

QSslConfiguration OAuthTlsConfiguration() {
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    QList<QSslCertificate> certificates = QSslConfiguration::systemCaCertificates();
    AddFromEnvironment(certificates);
    configuration.setCaCertificates(certificates);
    return configuration;
}

QNetworkReply* PostTokenRequest(QNetworkAccessManager& network, const TOAuthConfig& config,
                                QUrlQuery form) {
    CheckOAuthUrl("The token URL", config.TokenUrl);
    form.addQueryItem("client_id", QString::fromStdString(config.ClientId));
    if (!config.ClientSecret.empty())
        form.addQueryItem("client_secret", QString::fromStdString(config.ClientSecret));
    QNetworkRequest request(QUrl(QString::fromStdString(config.TokenUrl)));
    request.setSslConfiguration(OAuthTlsConfiguration());
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    request.setRawHeader("Accept", "application/json");
    // Qt's own network access cannot hold the header block to a bound, so the exchange is
    // done here, through the manager's proxy, as a reply of the manager's.
    return new TBoundedHttpReply(request, FormEncoded(form), MaxAnswerBytes, network.proxy(),
                                 &network);
}

TOAuthTokens ReadTokenReply(QNetworkReply& reply, const std::string& keptRefresh) {
    const char* const tooLarge = "The token URL's answer is larger than 1 MiB.";
    const auto* bounded = qobject_cast<const TBoundedHttpReply*>(&reply);
    if (bounded && bounded->TooLarge()) throw EOAuthError(tooLarge);
    const QByteArray body = reply.read(MaxAnswerBytes + 1);
    if (body.size() > MaxAnswerBytes) throw EOAuthError(tooLarge);
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonObject answer = document.object();
    if (status == 200 && document.isObject()) return TokensOf(answer, keptRefresh);
    if (status != 0 && document.isObject()) Refused(answer, status);
    if (status != 0)
        throw EOAuthError("The token server answered HTTP status " + std::to_string(status) +
                          " without a readable reason");
    throw EOAuthError("The token server could not be reached: " +
                      reply.errorString().toStdString());
}

std::string DurationText(std::chrono::milliseconds bound) {
    const auto count = bound.count();
    if (count % 60000 == 0 && count >= 120000) return std::to_string(count / 60000) + " minutes";
    if (count % 1000 == 0) return std::to_string(count / 1000) + " s";
    return std::to_string(count) + " ms";
}
