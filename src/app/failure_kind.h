#pragma once

// What a failed check asks of the user. Most failures pass by themselves (a server that does
// not answer, a refused or lost connection): the next check tries again and nothing interrupts
// the user. Only what the user must mend (a refused login, an untrusted certificate, a sign-in
// to make again, a setting that cannot be used) asks for the user's attention.

#include <optional>
#include <string>

class Exception;
struct TConnection;

// Whether only the user can mend the failure: an error box says so.
bool NeedsUser(const Exception& e);
// For a server that did not answer within a bound (the connect, the greeting, the TLS
// handshake) of the connection: "no answer from HOST within N s". Nothing for any other
// failure.
std::optional<std::string> NoAnswerText(const Exception& e, const TConnection& connection);
