#pragma once

// The token endpoint, shared by the sign-in (authorization_code grant) and the refresh
// (refresh_token grant): the POST and the reading of its answer.

#include <QSslConfiguration>
#include <QUrlQuery>

#include "platform/oauth_config.h"

#include <chrono>
#include <string>

class QNetworkAccessManager;
class QNetworkReply;

// Name=value pairs with everything but unreserved characters percent-encoded (QUrlQuery
// itself leaves '+', which a form reader takes for a blank).
QByteArray FormEncoded(const QUrlQuery& items);

// What the mail connection trusts: the system's store, plus the certificates in
// SSL_CERT_FILE and the folders of SSL_CERT_DIR (colon-separated) as OpenSSL reads them.
QSslConfiguration OAuthTlsConfiguration();

// Checks the token URL, then posts the form (client_id and, when set, client_secret added)
// with the TLS configuration above and no redirects followed, through the manager's proxy; the
// reply is the manager's child. Raises EOAuthError. The reply holds at most about 1 MiB,
// headers and body together: a longer answer (by its Content-Length or by the bytes so far)
// is cut off as it arrives, and ReadTokenReply then says so.
QNetworkReply* PostTokenRequest(QNetworkAccessManager& network, const TOAuthConfig& config,
                                QUrlQuery form);

// The tokens of a finished reply; a refresh token the answer leaves out stays keptRefresh, and
// expires_in is held to 0 s .. 1 year. Raises EOAuthSignInAgain for "invalid_grant",
// EOAuthError for any other failure, with the server's error and description, for an answer
// over 1 MiB, and for a token over 16 KiB.
TOAuthTokens ReadTokenReply(QNetworkReply& reply, const std::string& keptRefresh);

// A bound as the user reads it: "5 minutes", "30 s", "300 ms".
std::string DurationText(std::chrono::milliseconds bound);
