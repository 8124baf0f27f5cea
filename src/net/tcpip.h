#pragma once

// One blocking TCP client connection with a line reader, a raw receive and a raw send.
// (Contract header: public members are fixed; the net work may add protected/private members.)

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/net_errors.h"

class TTcpIp {
public:
    using LogSink = std::function<void(const std::string& text, bool flag)>;

    TTcpIp();
    virtual ~TTcpIp();
    TTcpIp(const TTcpIp&) = delete;
    TTcpIp& operator=(const TTcpIp&) = delete;

    virtual void Fetch();
    virtual void Login();
    virtual void Logout();
    virtual bool IsClosed();

    int SocketHandle = -1;
    std::string Hostname;
    LogSink OnLog;
    uint16_t Port = 0;
    uint32_t Address = 0xFFFFFFFFu;  // network byte order; all bits set means unresolved
    bool Closed = false;
    std::string Stream;  // filled by Fetch

    // Bounds on waiting for a silent peer (milliseconds).
    int ConnectTimeoutMs = 30000;
    int ReceiveTimeoutMs = 60000;
};
