#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A private Dovecot POP3 server for one test: its own temporary directory, a free loopback
// port, one passwd-file user with an empty maildir. Stopped and removed on destruction.
class DovecotServer {
  public:
    explicit DovecotServer(std::string user = "vornask", std::string password = "secret");
    ~DovecotServer();
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    uint16_t Port() const { return port_; }
    const std::string& Dir() const { return dir_; }
    const std::string& User() const { return user_; }
    const std::string& Password() const { return password_; }

    // Drops one message (bytes as stored, LF line ends are fine) into Maildir/new and
    // returns the path of its file.
    std::string Deliver(const std::string& messageBytes);

    // The message files now in the maildir (new and cur), sorted by path.
    std::vector<std::string> MessageFiles() const;

  private:
    std::string dir_;
    std::string user_;
    std::string password_;
    uint16_t port_ = 0;
};

// Runs the Dovecot script with the given arguments; returns its standard output and throws
// std::runtime_error when it fails.
std::string RunDovecotScript(const std::vector<std::string>& args);
