#include "app/shown_message.h"

#include <string_view>

#include "app/failure_advice.h"
#include "app/token_source.h"
#include "base/exception.h"
#include "net/net_errors.h"

namespace {

// An IMAP refusal is the server's tagged line; its tag ("A7 ") means nothing to the user.
std::string_view WithoutTag(const Exception& e, std::string_view message) {
    const auto* protocol = dynamic_cast<const EProtocolError*>(&e);
    if (!protocol || protocol->Protocol != "IMAP" || protocol->ErrorCode != kRefusedReply ||
        message.size() < 3 || message[0] != 'A')
        return message;
    const size_t blank = message.find(' ');
    if (blank == std::string_view::npos || blank < 2) return message;
    for (size_t i = 1; i < blank; ++i)
        if (message[i] < '0' || message[i] > '9') return message;
    return message.substr(blank + 1);
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
