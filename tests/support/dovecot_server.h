#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// What the server greets with after "+OK " (dovecot-instance.sh sets it), so that tests do not
// depend on the words of one distribution's build.
inline constexpr const char* kDovecotGreeting = "Vornask test server ready.";

// What a server offers beyond plain POP3 on 127.0.0.1.
struct DovecotOptions {
    DovecotOptions() = default;
    DovecotOptions(std::string cert, std::string key, bool withIpv6 = false)
        : certFile(std::move(cert)), keyFile(std::move(key)), ipv6(withIpv6) {}

    std::string certFile;  // with keyFile: STLS on Port() and TLS on connect on TlsPort()
    std::string keyFile;
    bool ipv6 = false;  // also listen on ::1
    // Set: the token mechanisms too, each token checked by POSTing it here (Dovecot's
    // introspection, as oauth_server.py answers it).
    std::string oauth2IntrospectionUrl;
    std::string oauth2Mechanisms = "xoauth2 oauthbearer";
    bool imap = false;  // also IMAP on ImapPort() (STARTTLS with the certificate)
};

// A private Dovecot POP3 server for one test: its own temporary directory, a free loopback
// port, one passwd-file user with an empty maildir. Stopped and removed on destruction.
class DovecotServer {
  public:
    explicit DovecotServer(std::string user = "vornask", std::string password = "secret",
                           DovecotOptions options = {});
    ~DovecotServer();
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    uint16_t Port() const { return port_; }
    uint16_t TlsPort() const { return tlsPort_; }    // 0 without TLS
    uint16_t ImapPort() const { return imapPort_; }  // 0 without IMAP
    const std::string& Dir() const { return dir_; }
    const std::string& User() const { return user_; }
    const std::string& Password() const { return password_; }

    // Drops one message (bytes as stored, LF line ends are fine) into Maildir/new and
    // returns the path of its file.
    std::string Deliver(const std::string& messageBytes);

    // The message files now in the maildir (new and cur), sorted by path.
    std::vector<std::string> MessageFiles() const;

    // The server's log as it stands, and its lines that contain part.
    std::string Log() const;
    std::vector<std::string> LogLines(const std::string& part) const;
    // The log lines holding part once there are at least count of them. Dovecot writes some
    // lines (the logout's) after the session has ended, so this waits for the log to change,
    // within limit; fewer lines when the limit passes.
    std::vector<std::string> AwaitLogLines(
        const std::string& part, size_t count,
        std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

  private:
    std::string dir_;
    std::string user_;
    std::string password_;
    uint16_t port_ = 0;
    uint16_t tlsPort_ = 0;
    uint16_t imapPort_ = 0;
};

// Runs the Dovecot script with the given arguments; returns its standard output and throws
// std::runtime_error when it fails.
std::string RunDovecotScript(const std::vector<std::string>& args);
