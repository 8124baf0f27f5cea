#include "app/failure_advice.h"

#include "filter/deletion_log_error.h"
#include "net/net_errors.h"

namespace {

const char* const kCheckPortStep =
    "; check Encryption and Port with Test connection in Mail Options.";

// The port named is the protocol's: 993 for IMAP, 995 for POP3.
std::string TlsAdvice(ETlsError::TFault fault, bool imap) {
    const std::string tlsPort = imap ? "993" : "995";
    using F = ETlsError::TFault;
    switch (fault) {
        case F::NoLibrary:
            return "; reinstall its OpenSSL library.";
        case F::UncheckableName:
            return "; correct the server name in Mail Options.";
        case F::DataBeforeHandshake:
            return "; choose TLS on connect (usually port " + tlsPort + ") in Mail Options.";
        case F::NotTls:
            return "; choose STARTTLS, or the TLS port (usually " + tlsPort + "), in Mail Options.";
        case F::NoCommonVersion:
            return "; ask your provider for TLS 1.2 or later.";
        case F::BrokenOff:
        case F::NoCertificate:
            return kCheckPortStep;
        case F::Untrusted:
            return "; use Test connection in Mail Options to compare the fingerprint and trust "
                   "this certificate.";
        case F::NameMismatch:
            return "; enter one of its names as the server in Mail Options.";
        case F::Expired:
            return "; check this computer's clock, or ask the provider to renew it.";
        case F::NotYetValid:
            return "; check this computer's clock.";
        case F::PinMismatch:
            return "; compare this new fingerprint with your provider's, then trust it with Test "
                   "connection in Mail Options.";
        case F::UnreadablePin:
            return "; correct it in Mail Options.";
        case F::NoStls:
            return " Choose TLS on connect (usually port " + tlsPort + ") in Mail Options.";
    }
    return "";
}

const char* EncryptionAdvice(EEncryptionError::TFault fault) {
    using F = EEncryptionError::TFault;
    switch (fault) {
        case F::UnreadableEncryption:
        case F::UnreadableAuthentication:
        case F::UnreadableProtocol:
            return "; choose it again in Mail Options.";
        case F::TokenInClear:
            return "; choose STARTTLS or TLS on connect in Mail Options.";
        case F::UnknownNumber:
        case F::PasswordInClear:  // its message says what to do
            break;
    }
    return "";
}

const char* DeletionLogAdvice(EDeletionLogError::TFault fault) {
    using F = EDeletionLogError::TFault;
    switch (fault) {
        case F::ForeignOwner:
        case F::ForeignLink:
            return "; choose another file in Mail Options.";
        case F::OthersMayWrite:
            return "; make it writable by you alone (chmod go-w), or choose another file in Mail "
                   "Options.";
        case F::Locked:
            return "; nothing more was deleted, and the next check tries again.";
    }
    return "";
}

}  // namespace

std::string FailureAdvice(const Exception& e) {
    if (const auto* tls = dynamic_cast<const ETlsError*>(&e))
        return TlsAdvice(tls->Fault, tls->Protocol == "IMAP");
    if (const auto* encryption = dynamic_cast<const EEncryptionError*>(&e))
        return EncryptionAdvice(encryption->Fault);
    if (const auto* log = dynamic_cast<const EDeletionLogError*>(&e))
        return DeletionLogAdvice(log->Fault);
    if (dynamic_cast<const EMailboxTooLarge*>(&e))
        return " Nothing was deleted; delete or move messages with your mail program until "
               "fewer remain.";
    return {};
}
