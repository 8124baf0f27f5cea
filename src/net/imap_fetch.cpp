// UID FETCH of whole messages, each handed on as it arrives.
#include <algorithm>

#include "net/imap.h"
#include "net/imap_text.h"

namespace {

// The UID and the BODY[] value of a FETCH response's list; either null when missing.
struct TFetched {
    std::optional<uint32_t> Uid;
    const TImapValue* Body = nullptr;
};

TFetched Fetched(const TImapResponse& r) {
    TFetched fetched;
    if (r.Items.size() < 3 || r.Items[2].Kind != TImapValue::TKind::List) return fetched;
    const std::vector<TImapValue>& pairs = r.Items[2].Items;
    for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
        if (pairs[i].Is("UID")) fetched.Uid = pairs[i + 1].Number();
        if (pairs[i].Is("BODY[]")) fetched.Body = &pairs[i + 1];
    }
    return fetched;
}

}  // namespace

// BODY.PEEK leaves \Seen as it is. A FETCH without the body is news (changed flags).
void TImap::UidFetchMessages(const std::vector<uint32_t>& uids, const MessageSink& sink) {
    std::vector<uint32_t> wanted = uids;
    std::sort(wanted.begin(), wanted.end());
    UidCommand("UID FETCH", uids, " (UID BODY.PEEK[])", [&](TImapResponse& r) {
        if (!ImapWordIs(r.DataName(), "FETCH")) return false;
        const TFetched fetched = Fetched(r);
        if (!fetched.Body) return false;
        if (fetched.Uid && fetched.Body->Kind == TImapValue::TKind::String &&
            std::binary_search(wanted.begin(), wanted.end(), *fetched.Uid))
            sink(*fetched.Uid, fetched.Body->Text);
        return true;
    });
}
