// The SASL sign-in of a POP3 session (RFC 5034). Always in two steps, AUTH first and the
// response on its own line after the server's "+": some servers refuse the initial response.
#include "base/base64.h"
#include "net/pop3.h"
#include "net/sasl.h"

namespace {

bool IsContinuation(const std::string& line) {
    return line == "+" || line.starts_with("+ ");
}

}  // namespace

void TPop3::SignInSasl() {
    const std::optional<std::string> mechanism = Sasl::Choose(Authentication, saslMechanisms_);
    if (!mechanism)
        throw EProtocolError(Sasl::NotOfferedText(Authentication, saslMechanisms_), kRefusedReply,
                             "POP3");
    SendText("AUTH " + *mechanism + "\r\n");
    const std::string go = ReadSaslLine();
    if (!IsContinuation(go)) FailSasl(go);
    const bool token = Authentication == TAuthentication::OAuth2;
    const Sasl::TCredentials credentials{UserName, token ? AccessToken : Password, Hostname, Port};
    SendText(Base64Encode(Sasl::Response(*mechanism, credentials)) + "\r\n");
    const std::string outcome = ReadSaslLine();
    if (outcome.starts_with("+OK")) return;
    if (!token || !IsContinuation(outcome)) FailSasl(outcome);
    // An error challenge: its answer lets the server end the exchange with its -ERR.
    const std::string status = Sasl::ChallengeStatus(outcome.size() > 2 ? outcome.substr(2) : "");
    SendText(Base64Encode(Sasl::ErrorChallengeAnswer(*mechanism)) + "\r\n");
    const std::string last = ReadSaslLine();
    if (last.starts_with("+OK")) return;
    FailSasl(last, status);
}

std::string TPop3::ReadSaslLine() {
    BeginReply();
    std::string line;
    if (!ReadLine(line)) throw LostReply();
    return line;
}

void TPop3::FailSasl(const std::string& line, const std::string& status) {
    if (line.starts_with("-ERR"))
        throw LoginRefusal(line, status.empty() ? "" : " (token status: " + status + ")");
    throw EProtocolError(ReplyMessage(line), kBrokenReply, "POP3");
}
