#pragma once

// Pieces of the scripts a scripted POP3 server plays.

#include <initializer_list>
#include <string>
#include <vector>

#include "support/scripted_pop3_server.h"

using Steps = std::vector<ScriptedPop3Server::Step>;

// The server's side of a login: the greeting, USER and PASS accepted, then LIST read.
inline Steps LoginSteps() {
    using S = ScriptedPop3Server;
    return {S::Send("+OK ready\r\n"), S::ReadLine(), S::Send("+OK\r\n"), S::ReadLine(),
            S::Send("+OK\r\n"),       S::ReadLine()};
}

// The same with LIST answered: the entries ("1 120\r\n2 300\r\n") and the end of the listing.
inline Steps LoginSteps(const std::string& entries) {
    Steps steps = LoginSteps();
    steps.push_back(ScriptedPop3Server::Send("+OK\r\n" + entries + ".\r\n"));
    return steps;
}

inline Steps Then(Steps steps, std::initializer_list<ScriptedPop3Server::Step> more) {
    steps.insert(steps.end(), more);
    return steps;
}
