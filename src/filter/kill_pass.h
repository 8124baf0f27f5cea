#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include "base/line_buffer.h"
#include "filter/match_options.h"

class TPop3;
class TRegistry;
class TDeletionLog;

// One pass over the mailbox: retrieve messages 1..N (N = lines of pop3.MailText on entry),
// log and delete the condemned ones, lowering mailCount per deletion. The arguments come in
// TFastCheck's order.
void KillPass(TPop3& pop3, TRegistry& registry, const std::string& logFile, int32_t& mailCount,
              const TMatchOptions& options = {});
// As above, with the clock that stamps the log records (tests fix the time).
void KillPass(TPop3& pop3, TRegistry& registry, const std::string& logFile, int32_t& mailCount,
              const std::function<std::time_t()>& clock, const TMatchOptions& options = {});

// Inserts the stamp line before the message lines and appends them all to the log.
void LogDeletion(TDeletionLog& log, TLineBuffer& lines);
// The log record of LogDeletion: the stamp for `when` inserted before the lines, each line
// ended with CR LF.
std::string DeletionRecord(std::time_t when, TLineBuffer& lines);
