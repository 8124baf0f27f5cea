// Signing in to an IMAP server: LOGIN and the SASL exchanges of AUTHENTICATE (RFC 3501,
// 4959 for the initial response, 7628 and Google's XOAUTH2 for tokens).
#include "base/base64.h"
#include "net/imap.h"
#include "net/imap_text.h"
#include "net/sasl.h"

namespace {

const char* const kProtocol = "IMAP";

EProtocolError NotOffered(const std::string& what) {
    return EProtocolError("The server does not offer " + what + "; nothing was sent for it.",
                          kRefusedReply, kProtocol);
}

}  // namespace

// A server that signs in before STARTTLS could be anyone in between keeping TLS away.
void TImap::Open() {
    RefuseUnusableSignIn();
    try {
        const bool preauth = Greet();
        if (preauth && Encryption == TEncryption::Stls) {
            ReleaseSocket(SocketHandle);
            ETlsError refusal(ETlsError::TFault::NoStls,
                              "The server signed in before STARTTLS (PREAUTH); nothing was sent.");
            refusal.Protocol = kProtocol;
            throw refusal;
        }
        if (Encryption == TEncryption::Stls) StartTls();
        if (!preauth) SignIn();
    } catch (...) {
        Disconnect();
        throw;
    }
}

void TImap::SignIn() {
    if (capabilities_.empty()) Capabilities();
    if (Authentication == TAuthentication::UserPass)
        Login();
    else if (Authentication == TAuthentication::SaslPlain)
        AuthenticatePlain();
    else if (Offers("AUTH=OAUTHBEARER"))
        AuthenticateOAuthBearer();
    else
        AuthenticateXOAuth2();
}

void TImap::Login() {
    if (capabilities_.empty()) Capabilities();
    if (Offers("LOGINDISABLED"))
        throw EProtocolError(
            "The server does not allow LOGIN on this connection (LOGINDISABLED); the password "
            "was not sent.",
            kRefusedReply, kProtocol);
    std::vector<std::string> pieces{"LOGIN "};
    ImapAddString(pieces, UserName);
    pieces.back() += ' ';
    ImapAddString(pieces, Password);
    const TImapResponse done = Exchange(pieces, {});
    if (!done.IsStatus("OK")) {
        EProtocolError refusal = Refusal(done);
        refusal.LoginRefused = true;
        throw refusal;
    }
    SignedIn(done);
}

void TImap::SignedIn(const TImapResponse& done) {
    if (!done.HasCode("CAPABILITY")) Capabilities();
}

void TImap::AuthenticatePlain() {
    Authenticate("PLAIN", Password);
}

void TImap::AuthenticateXOAuth2() {
    Authenticate("XOAUTH2", AccessToken);
}

void TImap::AuthenticateOAuthBearer() {
    Authenticate("OAUTHBEARER", AccessToken);
}

void TImap::Authenticate(const std::string& mechanism, const std::string& secret) {
    if (capabilities_.empty()) Capabilities();
    if (!Offers("AUTH=" + mechanism)) throw NotOffered("AUTHENTICATE " + mechanism);
    const Sasl::TCredentials credentials{UserName, secret, Hostname, Port};
    const std::string tag = Begin("AUTHENTICATE");
    const TImapResponse done =
        SaslExchange(tag, mechanism, Base64Encode(Sasl::Response(mechanism, credentials)));
    if (done.IsStatus("OK")) return SignedIn(done);
    EProtocolError refusal = Refusal(done);
    refusal.LoginRefused = true;
    throw refusal;
}

// With SASL-IR the response goes with the command, else after the server's "+". A "+" after
// the response is an error challenge (a refused token): its answer lets the server end the
// exchange with its NO, whose message then carries the challenge's status.
TImapResponse TImap::SaslExchange(const std::string& tag, const std::string& mechanism,
                                  const std::string& response) {
    const std::string command = tag + " AUTHENTICATE " + mechanism;
    if (Offers("SASL-IR")) {
        SendText(command + " " + (response.empty() ? "=" : response) + "\r\n");
    } else {
        SendText(command + "\r\n");
        const TImapResponse go = AwaitTurn(tag, {});
        if (go.Kind == TImapResponse::TKind::Tagged) return go;
        SendText(response + "\r\n");
    }
    TImapResponse outcome = AwaitTurn(tag, {});
    if (outcome.Kind == TImapResponse::TKind::Tagged) return outcome;
    const std::string status = Sasl::ChallengeStatus(outcome.Text);
    SendText(Base64Encode(Sasl::ErrorChallengeAnswer(mechanism)) + "\r\n");
    TImapResponse last = AwaitTurn(tag, {});
    if (last.Kind != TImapResponse::TKind::Tagged)
        throw Broken("A second challenge in the sign-in with " + mechanism + ": " + last.Line);
    if (!status.empty()) last.Line += " (token status: " + status + ")";
    return last;
}
