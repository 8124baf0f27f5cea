#include "app/shown_message.h"

#include "app/failure_advice.h"
#include "app/token_source.h"
#include "base/exception.h"
#include "net/net_errors.h"

std::string ShownMessage(const Exception& e) {
    const std::string& message = e.Message();
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
