#include "net/sasl.h"

#include <algorithm>

#include "base/base64.h"

namespace Sasl {

namespace {

bool Has(const std::vector<std::string>& offered, const std::string& name) {
    return std::find(offered.begin(), offered.end(), name) != offered.end();
}

std::vector<std::string> Wanted(TAuthentication authentication) {
    if (authentication == TAuthentication::OAuth2) return {"OAUTHBEARER", "XOAUTH2"};
    return {"PLAIN"};
}

std::string Joined(const std::vector<std::string>& words, const std::string& glue) {
    std::string text;
    for (const std::string& word : words) text += (text.empty() ? "" : glue) + word;
    return text;
}

// The value after `"key"` and its colon: a JSON string's characters or a bare number.
std::string JsonValue(const std::string& json, const std::string& key) {
    size_t at = json.find("\"" + key + "\"");
    if (at == std::string::npos) return {};
    at = json.find_first_not_of(" \t\r\n", at + key.size() + 2);
    if (at == std::string::npos || json[at] != ':') return {};
    at = json.find_first_not_of(" \t\r\n", at + 1);
    if (at == std::string::npos) return {};
    if (json[at] == '"') {
        const size_t end = json.find('"', at + 1);
        return end == std::string::npos ? std::string() : json.substr(at + 1, end - at - 1);
    }
    const size_t end = json.find_first_of(",} \t\r\n", at);
    return json.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

}  // namespace

std::optional<std::string> Choose(TAuthentication authentication,
                                  const std::vector<std::string>& offered) {
    for (const std::string& mechanism : Wanted(authentication))
        if (Has(offered, mechanism)) return mechanism;
    return std::nullopt;
}

std::string NotOfferedText(TAuthentication authentication,
                           const std::vector<std::string>& offered) {
    const std::string offers =
        offered.empty() ? "it offers no SASL sign-in" : "it offers: " + Joined(offered, " ");
    return "The server does not offer sign-in with " + Joined(Wanted(authentication), " or ") +
           " (" + offers + ").";
}

std::string Response(const std::string& mechanism, const TCredentials& credentials) {
    const std::string bearer = "auth=Bearer " + credentials.Secret + "\x01\x01";
    if (mechanism == "XOAUTH2") return "user=" + credentials.User + "\x01" + bearer;
    if (mechanism == "OAUTHBEARER")
        return "n,a=" + credentials.User + ",\x01host=" + credentials.Host +
               "\x01port=" + std::to_string(credentials.Port) + "\x01" + bearer;
    return std::string(1, '\0') + credentials.User + '\0' + credentials.Secret;
}

std::string ErrorChallengeAnswer(const std::string& mechanism) {
    return mechanism == "OAUTHBEARER" ? "\x01" : "";
}

std::string ChallengeStatus(const std::string& base64Challenge) {
    const std::optional<std::string> json = Base64Decode(base64Challenge);
    if (!json) return {};
    std::string status = JsonValue(*json, "status");
    std::erase_if(status, [](char c) { return c < 0x20 || c > 0x7E; });
    return status.substr(0, 64);
}

}  // namespace Sasl
