#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// tests/support/oauth_server.py running on a free loopback port for one test, with the given
// options (see the script); ended and reaped on destruction. Throws std::runtime_error when it
// does not report its port within ten seconds.
class OAuthServer {
  public:
    explicit OAuthServer(const std::vector<std::string>& options = {});
    ~OAuthServer();
    OAuthServer(const OAuthServer&) = delete;
    OAuthServer& operator=(const OAuthServer&) = delete;

    uint16_t Port() const { return port_; }
    // http://127.0.0.1:PORT/path, or https:// when started with --tls.
    std::string Url(const std::string& path) const;

  private:
    pid_t pid_ = -1;
    uint16_t port_ = 0;
    bool tls_ = false;
};

// Absolute path of tests/support/stand_in_browser.py, for $BROWSER.
std::string StandInBrowserPath();
