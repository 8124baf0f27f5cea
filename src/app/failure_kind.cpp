#include "app/failure_kind.h"

#include <cerrno>

#include "app/credential_source.h"
#include "app/token_source.h"
#include "filter/deletion_log_error.h"
#include "net/connection.h"
#include "net/net_errors.h"

namespace {

template <class E>
bool Is(const Exception& e) {
    return dynamic_cast<const E*>(&e) != nullptr;
}

// A handshake that failed because of how the server or this computer is set up, not because
// the server went quiet or away for a while.
bool HandshakeNeedsUser(const ETlsError& e) {
    if (e.Reason != ETlsError::TReason::Handshake) return true;
    return e.Fault != ETlsError::TFault::BrokenOff;
}

std::string NoAnswer(const std::string& host, int ms) {
    return "no answer from " + host + " within " + std::to_string((ms + 999) / 1000) + " s";
}

}  // namespace

bool NeedsUser(const Exception& e) {
    if (const auto* protocol = dynamic_cast<const EProtocolError*>(&e))
        return !protocol->TemporaryRefusal && !protocol->ConnectionLost;
    if (const auto* tls = dynamic_cast<const ETlsError*>(&e)) return HandshakeNeedsUser(*tls);
    // A log refused for safety stays refused until the user chooses another; a held one passes.
    if (const auto* log = dynamic_cast<const EDeletionLogError*>(&e))
        return log->Fault != EDeletionLogError::TFault::Locked;
    return Is<EEncryptionError>(e) || Is<ESignInAgain>(e) || Is<ENoCredential>(e) ||
           Is<EMailboxTooLarge>(e);
}

bool NeedsUser(const std::exception_ptr& failure) {
    if (!failure) return false;
    try {
        std::rethrow_exception(failure);
    } catch (const Exception& e) {
        return NeedsUser(e);
    } catch (...) {
        return true;
    }
}

bool IsSignInRefusal(const std::exception_ptr& failure) {
    if (!failure) return false;
    try {
        std::rethrow_exception(failure);
    } catch (const Exception& e) {
        return IsLoginRefusal(e);
    } catch (...) {
        return false;
    }
}

std::optional<std::string> NoAnswerText(const Exception& e, const TConnection& connection) {
    const std::string& host = connection.Host;
    if (const auto* socket = dynamic_cast<const ESocketError*>(&e);
        socket && socket->ErrorCode == ETIMEDOUT)
        return NoAnswer(host, connection.ConnectTimeoutMs);
    if (const auto* protocol = dynamic_cast<const EProtocolError*>(&e);
        protocol && protocol->ConnectionLost &&
        (protocol->Message() == kNoGreetingText || protocol->Message() == kNoImapGreetingText))
        return NoAnswer(host, connection.GreetingTimeoutMs);
    if (const auto* tls = dynamic_cast<const ETlsError*>(&e); tls && tls->TimedOutMs > 0)
        return NoAnswer(host, tls->TimedOutMs);
    return std::nullopt;
}
