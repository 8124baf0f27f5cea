#include "platform/child_process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <thread>
#include <utility>

namespace {

// Waits for one child that nobody watches any more. A thread of its own per child keeps this
// free of signal handlers (which would race with the toolkit's own child handling) and of any
// event loop; it only ever calls waitpid on its own pid and touches no shared state.
void ReapInBackground(pid_t pid) noexcept {
    try {
        std::thread([pid] {
            while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (...) {
        // No thread to spare: a zombie until Vornask ends is better than a crash.
    }
}

}  // namespace

TChildProcess::TChildProcess(TChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)) {}

TChildProcess& TChildProcess::operator=(TChildProcess&& other) noexcept {
    if (this != &other) {
        Release();
        pid_ = std::exchange(other.pid_, -1);
    }
    return *this;
}

TChildProcess::~TChildProcess() {
    Release();
}

void TChildProcess::Release() {
    if (pid_ <= 0) return;
    if (!HasEnded()) ReapInBackground(pid_);
    pid_ = -1;
}

bool TChildProcess::HasEnded() {
    if (pid_ <= 0) return true;
    int status = 0;
    pid_t got;
    do {
        got = waitpid(pid_, &status, WNOHANG);
    } while (got < 0 && errno == EINTR);
    if (got == 0) return false;
    // Reaped now, or already gone (ECHILD: reaped elsewhere or SIGCHLD ignored).
    pid_ = -1;
    return true;
}

void PrepareStartedChild() noexcept {
    setsid();
    signal(SIGPIPE, SIG_DFL);
    signal(SIGCHLD, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    const int nul = open("/dev/null", O_RDONLY);
    if (nul > 0) {
        dup2(nul, 0);
        close(nul);
    }
}
