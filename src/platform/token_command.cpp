#include "platform/token_command.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include "base/trim.h"
#include "platform/child_process.h"
#include "platform/shell_words.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t OutputCap = 64 * 1024;

[[noreturn]] void Fail(const std::string& what, const std::string& errorLine) {
    throw ETokenCommandError("The token command " + what +
                             (errorLine.empty() ? std::string() : ": " + errorLine));
}

std::string FirstLine(const std::string& text) {
    return Trim(text.substr(0, text.find('\n')));
}

// A pipe whose two ends close on their own.
struct TPipe {
    int Fd[2] = {-1, -1};
    explicit TPipe(bool readWithoutBlocking) {
        if (pipe2(Fd, O_CLOEXEC) != 0) Fail("could not be started", std::strerror(errno));
        if (readWithoutBlocking) fcntl(Fd[0], F_SETFL, O_NONBLOCK);
    }
    ~TPipe() {
        for (int fd : Fd)
            if (fd >= 0) close(fd);
    }
    void CloseWriteEnd() {
        close(Fd[1]);
        Fd[1] = -1;
    }
};

// The started command: killed with its process group and reaped when dropped unfinished.
struct TRunningCommand {
    pid_t Pid = -1;
    int Status = 0;
    bool Reaped = false;
    bool HasEnded() {
        if (Reaped) return true;
        pid_t got;
        do {
            got = waitpid(Pid, &Status, WNOHANG);
        } while (got < 0 && errno == EINTR);
        Reaped = got != 0;
        return Reaped;
    }
    ~TRunningCommand() {
        if (Pid <= 0 || Reaped) return;
        kill(-Pid, SIGKILL);  // its own session, so the group is the command and its children
        while (waitpid(Pid, &Status, 0) < 0 && errno == EINTR) {
        }
    }
};

[[noreturn]] void RunChild(const std::vector<std::string>& words, int out, int err, int report) {
    PrepareStartedChild();
    dup2(out, 1);
    dup2(err, 2);
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (const auto& word : words) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    const int error = errno;
    [[maybe_unused]] auto written = write(report, &error, sizeof error);
    _exit(127);
}

// Reads what is there now; false once the stream has ended.
bool Drain(int fd, std::string& into) {
    char buffer[4096];
    while (true) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0) {
            const size_t room = into.size() < OutputCap ? OutputCap - into.size() : 0;
            into.append(buffer, std::min(static_cast<size_t>(got), room));
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        return got < 0 && errno == EAGAIN;
    }
}

// Collects both streams until the command ends or the deadline passes; false on time-out.
bool Collect(TRunningCommand& command, int out, int err, Clock::time_point deadline,
             std::string& output, std::string& errors) {
    bool outOpen = true, errOpen = true;
    while (!command.HasEnded()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd fds[2] = {{outOpen ? out : -1, POLLIN, 0}, {errOpen ? err : -1, POLLIN, 0}};
        poll(fds, 2, static_cast<int>(std::min<int64_t>(left.count(), 20)));
        if (outOpen) outOpen = Drain(out, output);
        if (errOpen) errOpen = Drain(err, errors);
    }
    // Ended: what it wrote is in the pipes; a child it left behind may hold them open.
    Drain(out, output);
    Drain(err, errors);
    return true;
}

std::string ExitText(int status) {
    if (WIFEXITED(status)) return "exit " + std::to_string(WEXITSTATUS(status));
    return "signal " + std::to_string(WTERMSIG(status));
}

std::string BoundText(std::chrono::milliseconds bound) {
    if (bound.count() % 1000 == 0) return std::to_string(bound.count() / 1000) + " s";
    return std::to_string(bound.count()) + " ms";
}

}  // namespace

std::string RunTokenCommand(const std::string& commandLine, std::chrono::milliseconds bound) {
    const auto words = SplitShellWords(commandLine);
    if (words.empty()) throw ETokenCommandError("No token command is set");
    const auto deadline = Clock::now() + bound;
    TPipe out(true), err(true), report(false);
    TRunningCommand command;
    command.Pid = fork();
    if (command.Pid == 0) RunChild(words, out.Fd[1], err.Fd[1], report.Fd[1]);
    if (command.Pid < 0) Fail("could not be started", std::strerror(errno));
    out.CloseWriteEnd();
    err.CloseWriteEnd();
    report.CloseWriteEnd();

    int startError = 0;
    ssize_t got;
    // The pipe closes at exec, or carries exec's error.
    while ((got = read(report.Fd[0], &startError, sizeof startError)) < 0 && errno == EINTR) {
    }
    if (got == static_cast<ssize_t>(sizeof startError))
        Fail("could not be started", words[0] + ": " + std::strerror(startError));

    std::string output, errors;
    if (!Collect(command, out.Fd[0], err.Fd[0], deadline, output, errors))
        Fail("did not finish within " + BoundText(bound), FirstLine(errors));
    if (!WIFEXITED(command.Status) || WEXITSTATUS(command.Status) != 0)
        Fail("failed (" + ExitText(command.Status) + ")", FirstLine(errors));
    std::string token = FirstLine(output);
    if (token.empty()) Fail("printed no token", FirstLine(errors));
    return token;
}
