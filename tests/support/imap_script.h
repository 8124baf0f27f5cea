#pragma once

// Pieces of the scripts a scripted server plays to an IMAP client: literals, fetched messages,
// and exchanges of tagged commands that give both the server's steps and the exact bytes the
// client must send.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "net/imap_text.h"
#include "support/pop3_script.h"

inline std::string ImapLiteral(const std::string& bytes) {
    return "{" + std::to_string(bytes.size()) + "}\r\n" + bytes;
}

// The untagged answer that hands over message n, its UID and its whole text.
inline std::string ImapFetched(int n, uint32_t uid, const std::string& message) {
    return "* " + std::to_string(n) + " FETCH (UID " + std::to_string(uid) + " BODY[] " +
           ImapLiteral(message) + ")\r\n";
}

// The day a first pass searches from: a week before today, in local time.
inline std::string ImapWeekAgo() {
    const std::time_t since = std::time(nullptr) - 7 * 24 * 60 * 60;
    std::tm day{};
    localtime_r(&since, &day);
    return ImapDate(day.tm_year + 1900, day.tm_mon + 1, day.tm_mday);
}

// A command without its tag, the untagged part of its answer, and the text after the tagged OK.
struct TImapTurn {
    std::string Command;
    std::string Untagged;
    std::string Ok = "";
};
using TImapExchange = std::vector<TImapTurn>;

inline TImapExchange operator+(TImapExchange a, const TImapExchange& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
inline Steps operator+(Steps a, const Steps& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The server's side of an exchange whose first command has tag A<first>; before runs after each
// command is read, before its answer.
inline Steps ImapAnswers(const TImapExchange& exchange, int first,
                         const ScriptedPop3Server::Step& before = ScriptedPop3Server::Call([] {})) {
    using S = ScriptedPop3Server;
    Steps steps;
    for (const TImapTurn& turn : exchange) {
        steps.push_back(S::ReadLine());
        steps.push_back(before);
        steps.push_back(S::Send(turn.Untagged + "A" + std::to_string(first++) + " OK" +
                                (turn.Ok.empty() ? "" : " " + turn.Ok) + "\r\n"));
    }
    return steps;
}

// Every byte the client sends in that exchange.
inline std::string ImapSent(const TImapExchange& exchange, int first) {
    std::string sent;
    for (const TImapTurn& turn : exchange)
        sent += "A" + std::to_string(first++) + " " + turn.Command + "\r\n";
    return sent;
}
