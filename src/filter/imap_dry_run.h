#pragma once

// A dry run of the kill list on an IMAP mailbox's folder: the messages a check's first pass
// would examine there (the unseen and those of the last days), read without setting \Seen and
// judged by the rules. The folder is opened read-only (EXAMINE): nothing is flagged, expunged,
// moved, logged or recorded as examined. The session ends with LOGOUT.

#include <cstddef>
#include <string>
#include <vector>

#include "base/string_list.h"
#include "filter/dry_run.h"
#include "filter/match_options.h"

class TImap;

// The most messages one dry run reads; the newest are read first.
inline constexpr size_t kMaxImapDryRunRows = 5000;

struct TImapDryRun {
    std::vector<TDryRunRow> Rows;  // Number: the UID; Size: the message's bytes as sent
    size_t NotRead = 0;            // found, but past the bound: not read
};

// imap is signed in; folder as the user wrote it (empty: INBOX). Returns the condemned rows
// first, then the kept ones, each in UID order. Raises what the client raises, with the
// connection closed.
TImapDryRun ImapDryRun(TImap& imap, const std::string& folder, const TStringList& killList,
                       const TMatchOptions& options, const TDryRunProgress& progress = {},
                       size_t maxRows = kMaxImapDryRunRows);
