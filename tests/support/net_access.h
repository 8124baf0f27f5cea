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

// A mail client (TPop3, TImap) signing in to 127.0.0.1:port as user with password.
template <class Client>
class TestClient : public Client {
  public:
    explicit TestClient(uint16_t port, const std::string& user = "joe",
                        const std::string& password = "pw") {
        this->Hostname = "127.0.0.1";
        this->Port = port;
        this->UserName = user;
        this->Password = password;
    }
};

class TestPop3 : public TestClient<TPop3> {
  public:
    using TestClient::TestClient;
    using TPop3::Connect;
    using TPop3::MaxReplyBytes;
    using TPop3::ReceiveCalls;
    using TPop3::ReplyTimeoutMs;
    // Ends the connection without QUIT, as a crash or a lost network would.
    void CloseWithoutQuit() { Abort(); }
};
