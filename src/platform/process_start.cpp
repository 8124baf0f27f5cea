#include "platform/process_start.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/trim.h"
#include "platform/document_open.h"
#include "platform/shell_words.h"

uint32_t StartErrorCodeFromErrno(int error) {
    switch (error) {
        case ENOENT:
        case ELOOP:
        case ENAMETOOLONG:
            return 2;
        case ENOTDIR:
            return 3;
        case EACCES:
        case EPERM:
        case ETXTBSY:
            return 5;
        case ENOMEM:
        case E2BIG:
        case EAGAIN:
            return 8;
        case ENOEXEC:
        case ELIBBAD:
            return 11;
        default:
            return 0;
    }
}

namespace {

[[noreturn]] void Fail(uint32_t code, const std::string& what, int error) {
    throw EStartFailed(code, what + ": " + std::strerror(error));
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ParentFolder(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string MakeAbsolute(const std::string& path) {
    if (path.empty() || path.front() == '/') return path;
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return path;
        buffer.resize(buffer.size() * 2);
    }
    return std::string(buffer.data()) + "/" + path;
}

// The executable a shell would run for a bare command name, or empty.
std::string FindInPath(const std::string& name) {
    const char* pathVariable = std::getenv("PATH");
    std::string list = pathVariable ? pathVariable : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        std::string folder = list.substr(start, end - start);
        std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

void CheckWorkingFolder(const std::string& folder) {
    if (folder.empty()) return;
    struct stat st;
    if (stat(folder.c_str(), &st) != 0) Fail(3, "Working folder " + folder, errno);
    if (!S_ISDIR(st.st_mode)) Fail(3, "Working folder " + folder, ENOTDIR);
}

// What the child reports through the pipe when it cannot get to its program.
struct ChildFailure {
    int stage;  // 1 working folder, 2 exec
    int error;
};

[[noreturn]] void ChildFail(int pipe, int stage) {
    const ChildFailure failure{stage, errno};
    [[maybe_unused]] auto written = write(pipe, &failure, sizeof failure);
    _exit(127);
}

// Runs in the forked child; only async-signal-safe calls from here on.
[[noreturn]] void RunChild(int reportPipe, const char* path, char* const* argv,
                           const char* folder) {
    PrepareStartedChild();
    // Sockets or files Vornask holds must not live on in the started program.
    close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    if (folder && chdir(folder) != 0) ChildFail(reportPipe, 1);
    execv(path, argv);
    ChildFail(reportPipe, 2);
}

TChildProcess ForkExec(const std::string& path, const std::vector<std::string>& args,
                       const std::string& folder) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) Fail(StartErrorCodeFromErrno(errno), "pipe", errno);
    const pid_t pid = fork();
    if (pid == 0)
        RunChild(fds[1], path.c_str(), argv.data(), folder.empty() ? nullptr : folder.c_str());
    const int forkError = errno;
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        Fail(8, "fork", forkError);
    }
    ChildFailure failure{};
    ssize_t got;
    do {
        got = read(fds[0], &failure, sizeof failure);
    } while (got < 0 && errno == EINTR);
    close(fds[0]);
    TChildProcess child(pid);
    if (got != static_cast<ssize_t>(sizeof failure)) return child;  // exec closed the pipe
    while (!child.HasEnded()) usleep(1000);  // it exits at once; reap before reporting
    if (failure.stage == 1) Fail(3, "Working folder " + folder, failure.error);
    Fail(StartErrorCodeFromErrno(failure.error), path, failure.error);
}

}  // namespace

TChildProcess StartProgramOrDocument(const TStartRequest& request) {
    const std::string name = StripEnclosingQuotes(request.file);
    if (name.empty()) Fail(2, "No program or document named", ENOENT);
    CheckWorkingFolder(request.directory);

    std::string path = name.find('/') == std::string::npos ? FindInPath(name) : std::string();
    if (path.empty()) path = name;  // not a command on PATH: a file relative to our folder
    path = MakeAbsolute(path);      // the child changes folder before it starts the file

    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        const int error = errno;
        if (error == ENOENT && !IsFolder(ParentFolder(path))) Fail(3, path, error);
        Fail(StartErrorCodeFromErrno(error), path, error);
    }
    if (S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0) {
        std::vector<std::string> args{name};
        for (auto& word : SplitShellWords(request.parameters)) args.push_back(std::move(word));
        return ForkExec(path, args, request.directory);
    }
    return OpenWithDefaultApplication(path, request.directory);
}
