#include "platform/oauth_config.h"

#include <QHostAddress>
#include <QUrl>

const std::vector<TOAuthProvider>& OAuthProviders() {
    static const std::vector<TOAuthProvider> providers{
        // Google's one mail scope covers both protocols; Microsoft grants each on its own.
        {"Google", "https://accounts.google.com/o/oauth2/v2/auth",
         "https://oauth2.googleapis.com/token", "https://mail.google.com/",
         "https://mail.google.com/"},
        {"Microsoft", "https://login.microsoftonline.com/common/oauth2/v2.0/authorize",
         "https://login.microsoftonline.com/common/oauth2/v2.0/token",
         "https://outlook.office.com/POP.AccessAsUser.All offline_access",
         "https://outlook.office.com/IMAP.AccessAsUser.All offline_access"},
        {"Other", "", "", "", ""},
    };
    return providers;
}

std::optional<std::string> OAuthUrlRefusal(const std::string& what, const std::string& url) {
    const QUrl parsed(QString::fromStdString(url), QUrl::StrictMode);
    if (url.empty()) return what + " is not set.";
    if (!parsed.isValid() || parsed.host().isEmpty())
        return what + " is not a valid web address: " + url;
    const QString scheme = parsed.scheme().toLower();
    if (scheme == "https") return std::nullopt;
    const QHostAddress host(parsed.host());
    if (scheme == "http" && !host.isNull() && host.isLoopback()) return std::nullopt;
    return what + " must start with https:// (plain http only to this computer, such as " +
           "127.0.0.1): " + url;
}

void CheckOAuthUrl(const std::string& what, const std::string& url) {
    if (auto refusal = OAuthUrlRefusal(what, url)) throw EOAuthError(*refusal);
}
