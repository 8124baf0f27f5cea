#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A loopback peer that plays a fixed script against the client under test and records every
// byte it receives. The script is a flat list of steps; Close ends the current connection and
// the steps after it apply to the next accepted connection. The connection is also closed when
// the script runs out.
class ScriptedPop3Server {
  public:
    struct Step {
        enum class Kind { Send, Trickle, ReadLine, ReadToEnd, Close, Call };
        Kind kind;
        std::string bytes;
        int intervalMs = 0;
        std::function<void()> call = nullptr;
    };
    static Step Send(std::string bytes) { return {Step::Kind::Send, std::move(bytes)}; }
    // Sends the bytes one at a time, intervalMs apart, as a stalling server would.
    static Step Trickle(std::string bytes, int intervalMs) {
        return {Step::Kind::Trickle, std::move(bytes), intervalMs};
    }
    // Waits for one line (up to LF) from the client and records it.
    static Step ReadLine() { return {Step::Kind::ReadLine, {}}; }
    // Records everything until the client closes its side.
    static Step ReadToEnd() { return {Step::Kind::ReadToEnd, {}}; }
    static Step Close() { return {Step::Kind::Close, {}}; }
    // Runs fn in the server's thread at this point of the script (to look at what the client
    // has done by then).
    static Step Call(std::function<void()> fn) { return {Step::Kind::Call, {}, 0, std::move(fn)}; }

    explicit ScriptedPop3Server(std::vector<Step> script);
    ~ScriptedPop3Server();
    ScriptedPop3Server(const ScriptedPop3Server&) = delete;
    ScriptedPop3Server& operator=(const ScriptedPop3Server&) = delete;

    uint16_t Port() const { return port_; }

    // Waits until the script has run to its end (or given up), then returns what came in.
    std::string Received();
    // The lines that ReadLine steps recorded, CR LF removed.
    std::vector<std::string> Lines();
    // The lines recorded so far, without waiting for the script's end.
    std::vector<std::string> LinesSoFar();
    // Per recorded line: whether more bytes from the client were already waiting when it was
    // read (the client had sent ahead of the reply).
    std::vector<bool> Ahead();
    // Connections accepted so far.
    int Connections() const { return connections_; }

    // How long one step waits for the client before the script gives up.
    static constexpr int kStepTimeoutMs = 10000;

  private:
    void Run();
    bool AcceptNext(int& conn);
    bool Play(const Step& step, int conn);
    bool ReadInto(int conn, bool untilNewline);
    bool Trickle(int conn, const Step& step);
    void Join();

    std::vector<Step> script_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::mutex mutex_;
    std::string received_;
    std::vector<std::string> lines_;
    std::vector<bool> ahead_;
    std::string pending_;  // bytes of the line being read
    std::thread thread_;
};
