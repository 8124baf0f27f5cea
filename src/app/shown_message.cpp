#include "app/shown_message.h"

#include <string_view>

#include "app/failure_advice.h"
#include "app/token_source.h"
#include "base/exception.h"
#include "net/imap_text.h"
#include "net/net_errors.h"

namespace {

// An IMAP refusal is the server's tagged line; its tag ("A7 ") means nothing to the user.
std::string_view WithoutTag(const Exception& e, std::string_view message) {
    const auto* protocol = dynamic_cast<const EProtocolError*>(&e);
    if (!protocol || protocol->Protocol != "IMAP" || protocol->ErrorCode != kRefusedReply)
        return message;
    return ImapWithoutTag(message);
}

}  // namespace

std::string ShownMessage(const Exception& e) {
    const std::string_view message = WithoutTag(e, e.Message());
    if (message.empty()) {
        if (const auto* protocol = dynamic_cast<const EProtocolError*>(&e))
            return protocol->ConnectionLost ? kConnectionLostText : kEmptyReplyText;
    }
    std::string shown;
    shown.reserve(message.size());
    for (char c : message) {
        if (c == '\0')
            shown += "\xEF\xBF\xBD";
        else
            shown += c;
    }
    return shown + FailureAdvice(e);
}

std::string ShownDetail(const Exception& e) {
    const auto* again = dynamic_cast<const ESignInAgain*>(&e);
    if (!again) return ShownMessage(e);
    return ShownMessage(e) + "\n" + SignInAgainReasonText(again->Reason);
}
