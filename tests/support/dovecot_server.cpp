#include "support/dovecot_server.h"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/files.h"
#include "support/free_port.h"
#include "support/support_paths.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// The environment of this process plus the owner id, so a crashed test stops its server.
std::vector<std::string> ChildEnvironment() {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    env.push_back("VORNASK_DOVECOT_OWNER=" + std::to_string(getpid()));
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> ptrs;
    for (auto& t : texts) ptrs.push_back(t.data());
    ptrs.push_back(nullptr);
    return ptrs;
}

std::string ReadAll(int fd) {
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    return out;
}

std::string MakeTempDir() {
    std::string pattern = (fs::temp_directory_path() / "vornask-dovecot-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

}  // namespace

std::string RunDovecotScript(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"/bin/bash", DovecotScriptPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env = ChildEnvironment();
    auto argp = Pointers(argv);
    auto envp = Pointers(env);
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close_range(3, ~0u, 0);  // no test socket may live on in the server
        execve(argp[0], argp.data(), envp.data());
        _exit(127);
    }
    close(out[1]);
    std::string text = ReadAll(out[0]);
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (pid < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("dovecot-instance.sh " + args.at(0) + " failed");
    return text;
}

DovecotServer::DovecotServer(std::string user, std::string password, DovecotOptions options)
    : dir_(MakeTempDir()), user_(std::move(user)), password_(std::move(password)) {
    // The port is free when picked but may be taken before Dovecot binds it: try again.
    for (int attempt = 0;; ++attempt) {
        port_ = FreeLoopbackPort();
        std::vector<std::string> args{"start", dir_, std::to_string(port_), user_, password_};
        if (!options.certFile.empty()) {
            do tlsPort_ = FreeLoopbackPort();
            while (tlsPort_ == port_);
            args.insert(args.end(),
                        {"--tls", std::to_string(tlsPort_), options.certFile, options.keyFile});
        }
        if (options.ipv6) args.push_back("--ipv6");
        if (options.imap) {
            do imapPort_ = FreeLoopbackPort();
            while (imapPort_ == port_ || imapPort_ == tlsPort_);
            args.insert(args.end(), {"--imap", std::to_string(imapPort_)});
        }
        if (!options.oauth2IntrospectionUrl.empty())
            args.insert(args.end(),
                        {"--oauth2", options.oauth2IntrospectionUrl, options.oauth2Mechanisms});
        try {
            RunDovecotScript(args);
            return;
        } catch (const std::runtime_error&) {
            if (attempt == 2) {
                fs::remove_all(dir_);
                throw;
            }
        }
    }
}

DovecotServer::~DovecotServer() {
    try {
        RunDovecotScript({"stop", dir_});
    } catch (...) {
    }
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

std::string DovecotServer::Deliver(const std::string& messageBytes) {
    std::string file = dir_ + "/outgoing.eml";
    std::ofstream(file, std::ios::binary) << messageBytes;
    std::string path = RunDovecotScript({"deliver", dir_, user_, file});
    fs::remove(file);
    while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
    return path;
}

std::vector<std::string> DovecotServer::MessageFiles() const {
    std::vector<std::string> files;
    fs::path maildir = fs::path(dir_) / "mail" / user_ / "Maildir";
    for (const char* sub : {"new", "cur"}) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(maildir / sub, ec)) {
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
                files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string DovecotServer::Log() const {
    return ReadFileBytes(dir_ + "/dovecot.log");
}

std::vector<std::string> DovecotServer::LogLines(const std::string& part) const {
    std::istringstream log(Log());
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);)
        if (line.find(part) != std::string::npos) lines.push_back(line);
    return lines;
}

std::vector<std::string> DovecotServer::AwaitLogLines(const std::string& part, size_t count,
                                                      std::chrono::milliseconds limit) const {
    // Watching the folder, not the file: the log may not exist yet.
    const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (watch >= 0) ::inotify_add_watch(watch, dir_.c_str(), IN_MODIFY | IN_CREATE);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::vector<std::string> lines;
    while ((lines = LogLines(part)).size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (watch < 0 || left.count() <= 0) break;
        pollfd changed{watch, POLLIN, 0};
        if (::poll(&changed, 1, static_cast<int>(left.count())) <= 0) break;
        char events[4096];
        while (::read(watch, events, sizeof events) > 0) {
        }
    }
    if (watch >= 0) ::close(watch);
    return lines;
}
