#pragma once

// The examining part of a fast check, over a session already logged in: retrievals in a bounded
// window, and the condemned messages deleted in batches: the batch's log records are written and
// made durable together, then its deletions go in one write, along with the retrievals that
// refill the window. After a refused retrieval or deletion nothing new is sent; the deletions
// already sent stand. Without pipelining every command waits for its reply before the next one
// is sent, and a condemned message is logged and deleted before the next retrieval.

#include <cstdint>
#include <deque>
#include <exception>
#include <set>
#include <string>
#include <vector>

#include "base/string_list.h"
#include "filter/match_options.h"
#include "net/pop3_pipeline.h"

class TPop3;
class TDeletionLog;

struct TFastCandidate {
    int32_t number = 0;
    int32_t size = 0;
    std::string uid;  // empty when the server gave none
};

class TFastSession {
  public:
    // log may be null (no log kept); mailCount is lowered per deletion answered "+OK".
    TFastSession(TPop3& pop3, const TStringList& killList, const TMatchOptions& options,
                 TDeletionLog* log, bool pipelining, int32_t& mailCount);

    // Examines the candidates in ascending order, then sends the logout (with the last batch of
    // deletions when there is one) and reads every reply. Raises on any failure but a refused
    // retrieval or deletion (see Refusal).
    void Examine(const std::vector<TFastCandidate>& candidates);
    // After Examine raised: reads the replies still owed. True when the session is in step
    // again and can be ended with the logout; false when it cannot (a reply failed to read, or the
    // logout was already sent).
    bool Drain();

    // The ids of the messages retrieved and kept.
    const std::set<std::string>& Kept() const { return kept_; }
    // The first retrieval or deletion that the server refused. From there on nothing new is sent
    // and the replies still owed are read: the deletions in flight stand (each was logged before
    // it went), the messages retrieved or condemned but not yet sent for deletion stay, unlogged.
    std::exception_ptr Refusal() const { return refusal_; }

    // Retrievals in flight at most, and the listed bytes they may stand for. The replies wait in
    // the socket buffers, not in this process; the commands are a few bytes each, so the
    // server never stops reading them while its replies back up.
    static constexpr size_t kWindowCommands = 1024;
    static constexpr int64_t kWindowBytes = 8 << 20;
    // Log records of condemned messages waiting for their batch; past this the batch goes at
    // once, without waiting for the window to refill.
    static constexpr size_t kHeldRecordBytes = 4 << 20;

  private:
    struct TCondemned {
        int32_t number;
        std::string record;  // empty without a log
    };

    void Proceed();
    bool RefillDue() const;
    void QueueRetrievals();
    void QueueDeletions();
    bool AllJudged() const;
    void Flush();
    void ReadNext();
    void TakeRetrieved(const TPop3Pipeline::TReply& reply);
    void TakeDeleted(const TPop3Pipeline::TReply& reply);
    void Refuse(const std::exception_ptr& refusal);
    void Judge(const TFastCandidate& message);

    TPop3& pop3_;
    TPop3Pipeline pipeline_;
    const TStringList& killList_;
    TMatchOptions options_;
    TDeletionLog* log_;
    bool pipelining_;
    int32_t& mailCount_;
    const std::vector<TFastCandidate>* candidates_ = nullptr;
    size_t next_ = 0;      // the next candidate to send a retrieval for
    size_t answered_ = 0;  // retrieval replies read: they come in the order the retrievals went
    int64_t bytesInFlight_ = 0;
    std::deque<TCondemned> condemned_;
    size_t heldBytes_ = 0;
    bool quitQueued_ = false;
    std::set<std::string> kept_;
    std::exception_ptr refusal_;
};
