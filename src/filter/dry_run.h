#pragma once

// A dry run of the kill list: the whole mailbox read as the kill pass reads it (the same
// retrievals, pipelined when the server allows it, a message too large for the reply bound
// skipped) and judged by the rules, with nothing deleted, logged or recorded as examined. The
// session never sends DELE and ends with QUIT.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/line_buffer.h"
#include "base/string_list.h"
#include "filter/match_options.h"

class TPop3;

struct TDryRunRow {
    int32_t Number = 0;
    int32_t Size = 0;            // as listed
    std::string From;            // unfolded and decoded, for display; empty when not examined
    std::string Subject;         // likewise
    bool Examined = false;       // false: listed larger than any reply the connection takes
    std::optional<size_t> Rule;  // the first rule that condemns it; none: kept
};

// Called after the login and after each retrieval: messages read so far, messages to read.
using TDryRunProgress = std::function<void(size_t read, size_t toRead)>;

// Signs in with pop3's server, user and password, reads and judges every listed message and
// logs out. Returns the condemned rows first, then the kept ones, each in mailbox order.
// Raises what the fast check's login and retrievals raise; a refused retrieval ends the session
// with QUIT, any other failure closes it at once.
std::vector<TDryRunRow> DryRun(TPop3& pop3, const TStringList& killList,
                               const TMatchOptions& options, const TDryRunProgress& progress = {});

// "3 of 41 messages would be deleted", and when a bound left some unread, how many
// ("; 120 older messages were not read").
std::string DryRunSummary(const std::vector<TDryRunRow>& rows, size_t notRead = 0);

// The message's From and Subject as a reader shows them: unfolded and decoded.
void DisplayHeaders(const TLineBuffer& lines, std::string& from, std::string& subject);
