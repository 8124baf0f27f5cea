#pragma once

#include <cstdint>
#include <string>

struct PoplibTimes {
    double headers = 0;   // LIST + TOP n 1 for every message + QUIT
    double retrieve = 0;  // LIST + RETR 1..N + QUIT
};

// Runs python3's poplib through the same two passes against the server; with tls, over TLS
// on connect (POP3_SSL) to that port.
PoplibTimes RunPoplib(uint16_t port, const std::string& user, const std::string& password,
                      bool tls = false);
