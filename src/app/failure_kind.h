#pragma once

// What a failed check asks of the user. Most failures pass by themselves (a server that does
// not answer, a refused or lost connection): the next check tries again and nothing interrupts
// the user. Only what the user must mend (a refused login, an untrusted certificate, a sign-in
// to make again, a setting that cannot be used) asks for the user's attention.

#include <exception>
#include <optional>
#include <string>

class Exception;
struct TConnection;

// Whether only the user can mend the failure: an error box says so.
bool NeedsUser(const Exception& e);
// The same for a caught failure; anything but this program's Exception needs the user too, as
// trying again would only meet it again. False for none.
bool NeedsUser(const std::exception_ptr& failure);
// Whether the caught failure is the server's refusal of the sign-in itself; false for none.
bool IsSignInRefusal(const std::exception_ptr& failure);
// For a server that did not answer within a bound (the connect, the greeting, the TLS
// handshake) of the connection: "no answer from HOST within N s". Nothing for any other
// failure.
std::optional<std::string> NoAnswerText(const Exception& e, const TConnection& connection);
