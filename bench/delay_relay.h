#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// A loopback TCP relay that holds every chunk it receives for a set time before passing it
// on, in each direction: with 25 ms each way, loopback looks like a 50 ms round trip. One
// connection at a time is enough for the benchmarks, but any number is served.
class DelayRelay {
  public:
    DelayRelay(uint16_t targetPort, int delayMsEachWay);
    ~DelayRelay();
    DelayRelay(const DelayRelay&) = delete;
    DelayRelay& operator=(const DelayRelay&) = delete;

    uint16_t Port() const { return port_; }

  private:
    void Accept();
    void Serve(int client);

    uint16_t targetPort_;
    int delayMs_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::thread> sessions_;
    std::thread acceptor_;
};
