#include "filter/dry_run.h"

#include <algorithm>
#include <exception>

#include "base/trim.h"
#include "filter/case_fold.h"
#include "filter/fast_session.h"
#include "filter/match.h"
#include "filter/seen_lines.h"
#include "net/pop3.h"
#include "net/pop3_pipeline.h"

namespace {

using TOutcome = TPop3Pipeline::TOutcome;

std::vector<TDryRunRow> ListedRows(const TPop3& pop3) {
    std::vector<TDryRunRow> rows;
    for (const t_reply& entry : pop3.Messages) {
        TDryRunRow row;
        row.Number = entry.Number;
        row.Size = entry.Size;
        row.Examined = pop3.FitsReplyBound(entry.Size);
        rows.push_back(std::move(row));
    }
    std::ranges::sort(rows, {}, &TDryRunRow::Number);
    return rows;
}

// Retrieves the rows in order within the fast check's window and hands each retrieved message
// to judge. Returns the refusal of a retrieval, after which the replies still owed are read
// and nothing more is judged; null when every message was read.
class TReader {
  public:
    TReader(TPop3& pop3, bool pipelining, std::vector<TDryRunRow*> rows)
        : pop3_(pop3),
          pipeline_(pop3),
          pipelining_(pipelining),
          window_(pipelining),
          rows_(std::move(rows)) {}

    template <class Judge>
    std::exception_ptr ReadAll(Judge&& judge) {
        for (size_t answered = 0; answered < rows_.size(); ++answered) {
            TopUp(answered);
            const TPop3Pipeline::TReply reply = pipeline_.ReadNext();
            window_.Answered(rows_[answered]->Size);
            if (reply.Outcome == TOutcome::Refused) {
                if (!pipeline_.Drain([](const TPop3Pipeline::TReply&) {})) pop3_.Abort();
                return reply.Refusal;
            }
            judge(*rows_[answered], answered + 1);
        }
        return nullptr;
    }
    // QUIT, once every reply has been read.
    void Quit() {
        pipeline_.Quit();
        pipeline_.Flush();
        pipeline_.ReadNext();
    }

  private:
    void TopUp(size_t answered) {
        if (!window_.RefillDue(answered, rows_.size())) return;
        window_.Fill(
            answered, rows_.size(), [&](size_t i) { return rows_[i]->Size; },
            [&](size_t i) { pipeline_.Retrieve(rows_[i]->Number); });
        if (pipeline_.Queued() == 0) return;
        if (pipelining_)
            pipeline_.Flush();
        else
            pipeline_.FlushOne();
    }

    TPop3& pop3_;
    TPop3Pipeline pipeline_;
    bool pipelining_;
    TRetrievalWindow window_;
    std::vector<TDryRunRow*> rows_;
};

std::vector<TDryRunRow> ReadAndJudge(TPop3& pop3, const TStringList& killList,
                                     const TMatchOptions& options,
                                     const TDryRunProgress& progress) {
    const bool pipelining = FastSignIn(pop3, false).Pipelining;
    std::vector<TDryRunRow> rows = ListedRows(pop3);
    std::vector<TDryRunRow*> toRead;
    for (TDryRunRow& row : rows) {
        if (row.Examined) toRead.push_back(&row);
    }
    if (progress) progress(0, toRead.size());
    TReader reader(pop3, pipelining, toRead);
    const std::exception_ptr refusal = reader.ReadAll([&](TDryRunRow& row, size_t read) {
        DisplayHeaders(pop3.MailText, row.From, row.Subject);
        row.Rule = FirstCondemningRule(pop3.MailText, killList, options);
        if (progress) progress(read, toRead.size());
    });
    if (refusal) {
        // As the kill pass: the session still ends with its logout, but the refusal is what
        // the user is told.
        try {
            if (pop3.HasSocket()) reader.Quit();
        } catch (...) {
            pop3.Abort();
        }
        std::rethrow_exception(refusal);
    }
    reader.Quit();
    // The iterator form: clang 14 cannot build the subrange the ranges form returns.
    std::stable_partition(rows.begin(), rows.end(),
                          [](const TDryRunRow& row) { return row.Rule.has_value(); });
    return rows;
}

// The value of the first header line that starts with name (compared folded), trimmed.
std::string HeaderValue(const TLineBuffer& headers, std::string_view foldedName) {
    for (const std::string_view line : headers) {
        if (FoldedStartsWith(line, foldedName)) return Trim(line.substr(foldedName.size()));
    }
    return {};
}

}  // namespace

std::vector<TDryRunRow> DryRun(TPop3& pop3, const TStringList& killList,
                               const TMatchOptions& options, const TDryRunProgress& progress) {
    try {
        return ReadAndJudge(pop3, killList, options, progress);
    } catch (...) {
        // Nothing was deleted, so nothing is lost by closing at once; the server must not keep
        // the mailbox locked.
        pop3.Abort();
        throw;
    }
}

std::string DryRunSummary(const std::vector<TDryRunRow>& rows, size_t notRead) {
    const auto condemned =
        std::ranges::count_if(rows, [](const auto& r) { return r.Rule.has_value(); });
    std::string summary = std::to_string(condemned) + " of " + std::to_string(rows.size()) +
                          (rows.size() == 1 ? " message" : " messages") + " would be deleted";
    if (notRead != 0)
        summary += "; " + std::to_string(notRead) +
                   (notRead == 1 ? " older message was" : " older messages were") + " not read";
    return summary;
}

void DisplayHeaders(const TLineBuffer& lines, std::string& from, std::string& subject) {
    size_t bodyStart = 0;
    const TLineBuffer headers = DecodedHeaders(lines, bodyStart);
    from = HeaderValue(headers, "from:");
    subject = HeaderValue(headers, "subject:");
}
