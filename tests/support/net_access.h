#pragma once

// Clients pointed at a loopback test server, with the protected parts of the connection
// classes open to the tests.

#include <cstdint>
#include <string>

#include "net/pop3.h"
#include "net/tcpip.h"

class TestConnection : public TTcpIp {
  public:
    explicit TestConnection(uint16_t port) {
        Hostname = "127.0.0.1";
        Port = port;
    }
    using TTcpIp::MaxLineLength;
    using TTcpIp::ReadLine;
    using TTcpIp::Receive;
    using TTcpIp::ReceiveCalls;
    using TTcpIp::SendText;
};

class TestPop3 : public TPop3 {
  public:
    explicit TestPop3(uint16_t port, const std::string& user = "joe",
                      const std::string& password = "pw") {
        Hostname = "127.0.0.1";
        Port = port;
        UserName = user;
        Password = password;
    }
    using TPop3::Connect;
    using TPop3::MaxReplyBytes;
    using TPop3::ReceiveCalls;
    using TPop3::ReplyTimeoutMs;
    // Ends the connection without QUIT, as a crash or a lost network would.
    void CloseWithoutQuit() { Abort(); }
};
