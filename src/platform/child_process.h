#pragma once

#include <sys/types.h>

// One started child process, owned until it is reaped. Dropping a child that still runs hands
// it to a background reaper, so an unwatched program keeps running and still leaves no zombie
// when it ends. A child with no process (a start that handed back none) counts as ended.
class TChildProcess {
  public:
    TChildProcess() = default;
    explicit TChildProcess(pid_t pid) : pid_(pid) {}
    TChildProcess(TChildProcess&& other) noexcept;
    TChildProcess& operator=(TChildProcess&& other) noexcept;
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;
    ~TChildProcess();

    pid_t Pid() const { return pid_; }

    // Asks without waiting whether the process has ended, and reaps it when it has.
    bool HasEnded();

  private:
    void Release();

    pid_t pid_ = -1;
};

// Runs in a freshly forked child before it starts its program (async-signal-safe only): its
// own session, so a terminal's hang-up or Ctrl+C meant for Vornask spares it; default SIGPIPE
// and SIGCHLD handling, because Vornask ignores SIGPIPE and an ignored signal survives exec;
// no blocked signals; no input from Vornask's terminal.
void PrepareStartedChild() noexcept;
