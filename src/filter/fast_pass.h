#pragma once

// The fast check: one session that lists the mailbox and examines only the messages not yet
// examined under the current kill list. Matching, log records and the count lowered per
// deletion are those of the kill pass; commands are pipelined when the server allows it.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "base/string_list.h"
#include "filter/deletion_log.h"
#include "filter/match_options.h"
#include "net/pop3.h"

class TFastSession;
struct TFastCandidate;
class TPop3;
class TRegistry;

class TFastCheck {
  public:
    // recordFolder holds the records of examined messages (ExaminedRecord::DefaultFolder()).
    TFastCheck(TPop3& pop3, TRegistry& registry, std::string logFile, std::string recordFolder,
               TDeletionClock clock = {}, TMatchOptions options = {});

    // Loads the kill list and opens the session up to the listing (with an empty kill list:
    // greeting, USER, PASS, LIST as the classic login). Raises what TPop3::Login raises; the
    // session is then left as a failed TPop3::Login leaves it.
    void Login();
    // The number of messages listed by Login.
    int32_t Listed() const { return listed_; }

    // Examines, logs and deletes, ends the session and, once the logout is answered, saves the
    // record. Every log record is on disk before its deletion is sent; deletions go in batches.
    // mailCount is lowered per deletion answered "+OK". A refused retrieval or deletion ends the
    // examining: nothing new is sent, the replies in flight are read but not judged, the
    // deletions already sent stand, nothing more is logged, the session still ends with the
    // logout, then the refusal is raised. Any other failure raises with nothing deleted beyond what
    // was logged and the record left as it was; a session whose replies are out of step is then
    // closed at once, without logging out.
    void Run(int32_t& mailCount);

  private:
    // The messages to examine, in ascending order: those listed that the record does not hold
    // and that fit the reply bound. Leaves in examined only the ids still listed.
    std::vector<TFastCandidate> Candidates(std::set<std::string>& examined) const;
    void End(TFastSession* session);

    TPop3& pop3_;
    TRegistry& registry_;
    std::string logFile_;
    std::string recordFolder_;
    TDeletionClock clock_;
    TMatchOptions options_;
    TStringList killList_;
    bool pipelining_ = false;
    TUidListing uids_;
    std::string recordFile_;
    int32_t listed_ = 0;
};
