#pragma once

// An IMAP client pointed at a loopback test server, with its bounds open to the tests.

#include <cstdint>
#include <string>

#include "net/imap.h"

class TestImap : public TImap {
  public:
    explicit TestImap(uint16_t port, const std::string& user = "joe",
                      const std::string& password = "pw") {
        Hostname = "127.0.0.1";
        Port = port;
        UserName = user;
        Password = password;
    }
    using TImap::MaxLineLength;
    using TImap::ReceiveTimeoutMs;
    using TImap::ReplyTimeoutMs;
};
