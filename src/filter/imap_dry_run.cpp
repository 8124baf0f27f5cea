#include "filter/imap_dry_run.h"

#include <algorithm>
#include <ctime>

#include "filter/fetched_message.h"
#include "filter/imap_pass.h"
#include "filter/imap_search.h"
#include "filter/match.h"
#include "net/imap.h"
#include "net/imap_text.h"

namespace {

// "OR UNSEEN SINCE 1-Dec-2026": what a first pass of the check examines.
std::string FirstPassCriteria() {
    const std::time_t days = TImapPassSettings{}.FirstPassDays;
    const std::time_t since = std::time(nullptr) - days * 24 * 60 * 60;
    std::tm day{};
    localtime_r(&since, &day);
    return "OR UNSEEN SINCE " + ImapDate(day.tm_year + 1900, day.tm_mon + 1, day.tm_mday);
}

TImapDryRun ReadAndJudge(TImap& imap, const std::string& folder, const TStringList& killList,
                         const TMatchOptions& options, const TDryRunProgress& progress,
                         size_t maxRows) {
    imap.Examine(ImapFolderName(folder.empty() ? "INBOX" : folder));
    // In windows, as the pass searches, so that a huge folder's answer stays within bounds.
    std::vector<uint32_t> uids =
        ImapSearchAll(imap, FirstPassCriteria(), SIZE_MAX, TImapPassSettings{}.SearchWindow);
    TImapDryRun run;
    if (uids.size() > maxRows) {
        run.NotRead = uids.size() - maxRows;
        uids.erase(uids.begin(), uids.begin() + static_cast<std::ptrdiff_t>(run.NotRead));
    }
    if (progress) progress(0, uids.size());
    TLineBuffer lines;
    if (!uids.empty())
        imap.UidFetchMessages(uids, [&](uint32_t uid, std::string_view message) {
            FetchedLines(message, lines);
            TDryRunRow row;
            row.Number = static_cast<int32_t>(uid);
            row.Size = static_cast<int32_t>(std::min<size_t>(message.size(), INT32_MAX));
            row.Examined = true;
            DisplayHeaders(lines, row.From, row.Subject);
            row.Rule = FirstCondemningRule(lines, killList, options);
            run.Rows.push_back(std::move(row));
            if (progress) progress(run.Rows.size(), uids.size());
        });
    imap.Logout();
    std::sort(run.Rows.begin(), run.Rows.end(),
              [](const TDryRunRow& a, const TDryRunRow& b) { return a.Number < b.Number; });
    std::stable_partition(run.Rows.begin(), run.Rows.end(),
                          [](const TDryRunRow& row) { return row.Rule.has_value(); });
    return run;
}

}  // namespace

TImapDryRun ImapDryRun(TImap& imap, const std::string& folder, const TStringList& killList,
                       const TMatchOptions& options, const TDryRunProgress& progress,
                       size_t maxRows) {
    try {
        return ReadAndJudge(imap, folder, killList, options, progress, maxRows);
    } catch (...) {
        imap.Abort();  // nothing was changed, so nothing is lost by closing at once
        throw;
    }
}
