#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

// A small POP3 server on loopback that writes each RETR reply in two writes, the status line
// and then the text, as some real servers do; Nagle stays on, so the second write waits for
// the client's acknowledgement of the first. Serves one session at a time.
class TwoWriteServer {
  public:
    explicit TwoWriteServer(int messages);
    ~TwoWriteServer();
    TwoWriteServer(const TwoWriteServer&) = delete;
    TwoWriteServer& operator=(const TwoWriteServer&) = delete;

    uint16_t Port() const { return port_; }

  private:
    void Run();
    void Serve(int conn);

    int messages_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
