#pragma once

#include <string>

#include "support/scoped_env.h"

// Throw-away certificates, made once per test process with the openssl command and removed at
// its end: a test authority (Ca()) and, by name, "server" (localhost, 127.0.0.1 and ::1,
// signed by it), "expired" (the same, valid only in January 2020), "wrongname" (for
// wrong.example), "cnonly" (subject CN localhost, but names only 127.0.0.1) and "selfsigned"
// (the same names as "server", signed by itself).
class TestCertificates {
  public:
    static const TestCertificates& Get();
    std::string Ca() const { return dir_ + "/ca.pem"; }
    std::string Pem(const std::string& name) const { return dir_ + "/" + name + ".pem"; }
    std::string Key(const std::string& name) const { return dir_ + "/" + name + ".key"; }
    // The SHA-256 fingerprint of a certificate as `openssl x509 -fingerprint -sha256` prints it.
    std::string Fingerprint(const std::string& name) const;

    ~TestCertificates();

  private:
    TestCertificates();
    std::string dir_;
};

// OpenSSL trusts only the certificates in file (the test authority's by default) while the
// guard lives, the way any user can point it at a store.
class TrustOnly {
  public:
    explicit TrustOnly(const std::string& file = TestCertificates::Get().Ca())
        : file_("SSL_CERT_FILE", file), dir_("SSL_CERT_DIR", "/nonexistent") {}

  private:
    ScopedEnv file_;
    ScopedEnv dir_;
};
