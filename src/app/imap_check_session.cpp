#include "app/imap_check_session.h"

#include "app/imap_session.h"
#include "filter/imap_pass.h"
#include "net/imap.h"

void RunImapCheckSession(TImap& imap, TRegistry& registry, const TSettings& settings,
                         const TMailbox& mailbox, const TCredential& credential,
                         TMailboxCheckResult& result) {
    result.SignedIn = false;
    OpenImapSession(imap, mailbox, credential);
    result.SignedIn = true;
    try {
        TImapPass pass(imap, registry, ImapPassSettingsOf(settings, mailbox));
        pass.Open();
        const TImapPassCounts counts = pass.Run();
        result.Counts.Left = static_cast<int32_t>(counts.UnseenLeft);
        result.Counts.Listed = static_cast<int32_t>(counts.UnseenLeft + counts.Removed);
        result.LeftFlagged = counts.LeftFlagged;
    } catch (...) {
        // What was removed is already gone by UID; nothing waits on a logout.
        imap.Abort();
        throw;
    }
    // Unlike POP3's QUIT, the logout commits nothing: a server that fumbles it has still done
    // all the pass asked, and the check's outcome stands.
    try {
        imap.Logout();
    } catch (const Exception&) {
        imap.Abort();
    }
}
