#include "app/check_cycle.h"

#include "app/check_session.h"
#include "app/credential_source.h"
#include "app/settings.h"
#include "app/shown_message.h"
#include "app/timer.h"
#include "app/token_source.h"
#include "base/exception.h"
#include "net/pop3.h"
#include "platform/oauth_config.h"
#include "platform/token_command.h"

namespace {

// Holds a flag (Notifying for one notification, or a session being prepared); lets it go
// however that ends, so a failed box, sound or start can never silence every later one.
class FlagScope {
  public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

  private:
    bool& flag_;
};

template <class E>
bool Is(const Exception& e) {
    return dynamic_cast<const E*>(&e) != nullptr;
}

// A failure only the user can mend: a refused password, a refused certificate, an encryption
// that cannot be used, an OAuth2 sign-in that must be done again. "Not now" is no reason to
// doubt the password.
bool NeedsUser(const Exception& e) {
    if (const auto* protocol = dynamic_cast<const EProtocolError*>(&e))
        return !protocol->TemporaryRefusal;
    return Is<ETlsError>(e) || Is<EEncryptionError>(e) || Is<ESignInAgain>(e) ||
           Is<ENoCredential>(e);
}

}  // namespace

TCheckCycle::TCheckCycle(TSettings& settings, TCredentialSource& credentials, QObject* parent)
    : QObject(parent),
      Timer(new TTimer(this)),
      Pop3(std::make_unique<TPop3>()),
      settings_(settings),
      credentials_(credentials) {
    Timer->SetEnabled(false);
    Timer->SetInterval(1000);
}

TCheckCycle::~TCheckCycle() {
    // Ticks must not reach a cycle that is going away.
    Timer->SetEnabled(false);
}

void TCheckCycle::Start() {
    Timer->SetInterval(MinutesToMs(settings_.Interval));
    Timer->SetEnabled(true);
    CheckMail(true);
}

void TCheckCycle::Stop() {
    Timer->SetEnabled(false);
}

void TCheckCycle::CheckMailbox(int /*index*/, bool Quiet) {
    CheckMail(Quiet);
}

void TCheckCycle::CheckMail(bool Quiet) {
    if (preparing_) return;
    TCheckSession session(*Pop3, *registry_, settings_);
    lastCheckFailed_ = true;  // until it reaches its outcome
    try {
        const FlagScope preparing(preparing_);
        PrepareSession(*Pop3, settings_);
        SignIn(credentials_, *Pop3, settings_, [&] { session.Login(); });
    } catch (const Exception& e) {
        LoginFailed(e);
        return;
    }
    MailCount = session.Listed();
    session.Run(MailCount);
    lastCheckFailed_ = false;
    if (MailCount != 0)
        NotifyMail();
    else
        ShowNoMail(Quiet);
}

// Must be called from a handler: anything else than a failed connection or sign-in, or a
// refusal (by the server, of its certificate, of the encryption, of the OAuth2 tokens), is
// thrown on to CheckMail's caller.
void TCheckCycle::LoginFailed(const Exception& e) {
    // A connection, token command or refresh that failed: the next tick tries again.
    if (Is<ESocketError>(e) || Is<ETokenCommandError>(e) || Is<EOAuthError>(e)) {
        Report(e);
        return;
    }
    if (!Is<EProtocolError>(e) && !NeedsUser(e)) throw;
    if (Is<EPasswordNeedsEncryption>(e)) emit PasswordToType();
    Report(e);
    if (!NeedsUser(e)) return;  // "not now": the next tick tries again
    const auto* again = dynamic_cast<const ESignInAgain*>(&e);
    emit UserNeeded(again ? QString(SignInAgainReasonText(again->Reason)) : QString());
    Stop();
}

void TCheckCycle::ShowNoMail(bool Quiet) {
    emit TipChanged(kNoMailText);
    if (Quiet || Notifying) return;
    const FlagScope scope(Notifying);
    emit NoMail();
}

void TCheckCycle::NotifyMail() {
    emit TipChanged(kYouHaveMailText);
    if (Notifying) return;
    const FlagScope scope(Notifying);
    emit MailWaiting(MailCount);
}

void TCheckCycle::Report(const Exception& e) {
    if (Notifying) return;
    const FlagScope scope(Notifying);
    emit TipChanged(ShownMessage(e));
    if (NeedsUser(e)) emit FailureShown(ShownDetail(e));
}
