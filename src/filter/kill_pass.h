#pragma once

#include <cstdint>
#include <string>

#include "base/string_list.h"

class TPop3;
class TRegistry;
class DeletionLog;

// One pass over the mailbox: retrieve messages 1..N (N = lines of pop3.MailText on entry),
// log and delete the condemned ones, lowering mailCount per deletion.
void KillPass(TPop3& pop3, const std::string& logFile, TRegistry& registry, int32_t& mailCount);

// Inserts the stamp line before the message lines and appends them all to the log.
void LogDeletion(DeletionLog& log, TStringList& lines);
