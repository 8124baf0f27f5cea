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
#include <string_view>
#include <vector>

#include "base/string_list.h"
#include "filter/match_options.h"
#include "net/pop3.h"
#include "net/pop3_pipeline.h"

class TPop3;
class TDeletionLog;

struct TFastCandidate {
    int32_t number = 0;
    int32_t size = 0;
    std::string_view uid;  // into the session's id listing; empty when the server gave none
};

// The fast check's window of retrievals in flight: at most kCommands of them (one without
// pipelining), standing for at most kBytes listed bytes unless a single message is larger. The
// replies wait in the socket buffers, not in this process; the commands are a few bytes each,
// so the server never stops reading them while its replies back up.
class TRetrievalWindow {
  public:
    static constexpr size_t kCommands = 1024;
    static constexpr int64_t kBytes = 8 << 20;

    explicit TRetrievalWindow(bool pipelining) : limit_(pipelining ? kCommands : 1) {}

    // The index of the next message to retrieve.
    size_t Next() const { return next_; }
    // Whether a refill is due with answered of total messages read: once the window is half
    // empty, so that commands go out in batches while replies keep coming.
    bool RefillDue(size_t answered, size_t total) const {
        return next_ < total && next_ - answered <= limit_ / 2 && bytesInFlight_ <= kBytes / 2;
    }
    // Calls retrieve(index) for the next messages while the window has room; size(index) is a
    // message's listed size.
    template <class Size, class Retrieve>
    void Fill(size_t answered, size_t total, const Size& size, const Retrieve& retrieve) {
        while (next_ < total && next_ - answered < limit_) {
            const int64_t bytes = Listed(size(next_));
            if (next_ > answered && bytesInFlight_ + bytes > kBytes) break;
            retrieve(next_);
            ++next_;
            bytesInFlight_ += bytes;
        }
    }
    // A retrieval of a message of the listed size was answered.
    void Answered(int64_t size) { bytesInFlight_ -= Listed(size); }

  private:
    static int64_t Listed(int64_t size) { return size > 0 ? size : 0; }

    size_t limit_;
    size_t next_ = 0;
    int64_t bytesInFlight_ = 0;
};

// The fast check's sign-in: the greeting, the capabilities, then the login, pipelined when the
// server offers it, with the unique ids when withUids and the server offers them.
struct TFastSignIn {
    bool Pipelining = false;
    TUidListing Uids;
};
TFastSignIn FastSignIn(TPop3& pop3, bool withUids);

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

    // Retrievals in flight at most, and the listed bytes they may stand for (TRetrievalWindow).
    static constexpr size_t kWindowCommands = TRetrievalWindow::kCommands;
    static constexpr int64_t kWindowBytes = TRetrievalWindow::kBytes;
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
    TRetrievalWindow window_;
    size_t answered_ = 0;  // retrieval replies read: they come in the order the retrievals went
    std::deque<TCondemned> condemned_;
    size_t heldBytes_ = 0;
    bool quitQueued_ = false;
    std::set<std::string> kept_;
    std::exception_ptr refusal_;
};
