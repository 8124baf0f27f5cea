#include "net/tls_transport.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <climits>

#include "net/net_errors.h"
#include "net/tls_certificate.h"

struct TTlsTransport::Session {
    SSL_CTX* ctx = nullptr;
    SSL* ssl = nullptr;
    ~Session() {
        SSL_free(ssl);  // frees the BIO too
        SSL_CTX_free(ctx);
    }
};

// The BIO under the TLS session: its bytes go through the inner transport.
struct TTlsTransport::Wire {
    static TTlsTransport& Of(BIO* bio) { return *static_cast<TTlsTransport*>(BIO_get_data(bio)); }

    static int Write(BIO* bio, const char* data, int size) {
        TTlsTransport& self = Of(bio);
        const ssize_t n = self.inner_->Send(self.handle_, data, static_cast<size_t>(size));
        return n < 0 ? -1 : static_cast<int>(n);
    }
    static int Read(BIO* bio, char* data, int size) {
        TTlsTransport& self = Of(bio);
        BIO_clear_retry_flags(bio);
        if (self.noWait_) {
            BIO_set_retry_read(bio);  // nothing more is read from the network now
            return -1;
        }
        int timeoutMs = 0;
        if (self.timeoutMs_ > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                self.deadline_ - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                self.inner_->Shutdown(self.handle_);  // the whole wait is over
                self.silent_ = true;
                return 0;
            }
            timeoutMs = static_cast<int>(left.count());
        }
        int error = 0;
        const ssize_t n =
            self.inner_->Receive(self.handle_, data, static_cast<size_t>(size), timeoutMs, error);
        if (n > 0) return static_cast<int>(n);
        self.silent_ = true;  // ended, failed, or silent for the whole bound
        return n < 0 ? -1 : 0;
    }
    static long Control(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH; }
    static int Create(BIO* bio) {
        BIO_set_init(bio, 1);
        return 1;
    }

    static BIO_METHOD* Method() {
        static BIO_METHOD* const method = [] {
            BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "transport");
            BIO_meth_set_write(m, Write);
            BIO_meth_set_read(m, Read);
            BIO_meth_set_ctrl(m, Control);
            BIO_meth_set_create(m, Create);
            return m;
        }();
        return method;
    }
};

namespace {

// Why the handshake failed, from its error queue, with the library's reason in brackets.
struct THandshakeFault {
    ETlsError::TFault fault;
    std::string why;
};

// A receive the kernel ended for its time-out returns a little before the deadline's clock.
constexpr std::chrono::milliseconds kDeadlineSlack{50};

THandshakeFault HandshakeFault(SSL* ssl, int rc, bool silent) {
    using F = ETlsError::TFault;
    const int kind = SSL_get_error(ssl, rc);
    const unsigned long code = ERR_peek_last_error();
    if (kind == SSL_ERROR_SSL && code != 0 && ERR_reason_error_string(code)) {
        const std::string reason = ERR_reason_error_string(code);
        if (reason == "wrong version number" || reason == "packet length too long")
            return {F::NotTls, "the server does not speak TLS on this port (" + reason + ")"};
        if (reason.find("protocol version") != std::string::npos ||
            reason == "unsupported protocol" || reason == "no protocols available")
            return {F::NoCommonVersion,
                    "the server offers no TLS version this computer accepts (" + reason + ")"};
        if (!silent || reason.find("eof") == std::string::npos)
            return {F::BrokenOff, "the server broke off the handshake (" + reason + ")"};
    }
    return {F::BrokenOff, silent ? "the server ended the connection or did not answer in time"
                                 : "the connection failed"};
}

// TLS 1.2 at least. With useStore, OpenSSL's default trust store (so SSL_CERT_FILE and
// SSL_CERT_DIR work); without, a pin decides alone.
SSL_CTX* NewClientContext(bool useStore) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) return nullptr;
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    // A TLS 1.2 server asking to renegotiate is refused: it would change the peer mid-session.
    SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION);
    if (useStore) SSL_CTX_set_default_verify_paths(ctx);
    // The chain is verified during the handshake but judged after it, so that a refused
    // certificate can still be shown to the user. No POP3 byte goes out before the judgement.
    SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
    // Read as much as has arrived in one go, not a record header and then its body.
    SSL_CTX_set_read_ahead(ctx, 1);
    SSL_CTX_set_default_read_buffer_len(ctx, 64 * 1024);
    return ctx;
}

}  // namespace

TTlsTransport::TTlsTransport(std::unique_ptr<TTransport> inner) : inner_(std::move(inner)) {}

TTlsTransport::~TTlsTransport() = default;

void TTlsTransport::Handshake(int handle, const TTlsSettings& settings) {
    EndSession();
    peer_ = {};
    auto session = std::make_unique<Session>();
    session->ctx = NewClientContext(settings.PinnedFingerprint.empty());
    session->ssl = session->ctx ? SSL_new(session->ctx) : nullptr;
    BIO* bio = session->ssl ? BIO_new(Wire::Method()) : nullptr;
    if (!bio)
        throw ETlsError(ETlsError::TFault::NoLibrary, "TLS is not available on this computer");
    BIO_set_data(bio, this);
    SSL_set_bio(session->ssl, bio, bio);
    // Fail closed: a handshake that could not check the identity must not happen at all.
    if (!SetExpectedIdentity(session->ssl, settings.Host))
        throw ETlsError(ETlsError::TFault::UncheckableName,
                        HandshakeFailedText(settings.Host,
                                            "the certificate cannot be checked against this name"));

    handle_ = handle;
    timeoutMs_ = settings.ReceiveTimeoutMs;
    deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs_);
    silent_ = false;
    session_ = std::move(session);
    ERR_clear_error();
    const int rc = SSL_connect(session_->ssl);
    if (rc != 1) {
        const THandshakeFault failure = HandshakeFault(session_->ssl, rc, silent_);
        const bool timedOut = silent_ && timeoutMs_ > 0 &&
                              std::chrono::steady_clock::now() + kDeadlineSlack >= deadline_;
        ERR_clear_error();
        EndSession();
        ETlsError error(failure.fault, HandshakeFailedText(settings.Host, failure.why));
        error.TimedOutMs = timedOut ? timeoutMs_ : 0;
        throw error;
    }
    peer_ = DescribePeer(session_->ssl, settings.PinnedFingerprint);
    if (peer_.Trusted || !settings.RefuseUntrusted) return;
    const long verdict = SSL_get_verify_result(session_->ssl);
    EndSession();
    throw RefusalOf(peer_, verdict, settings);
}

void TTlsTransport::EndSession() {
    session_.reset();
    handle_ = -1;
}

int TTlsTransport::Connect(uint32_t address, uint16_t port, int timeoutMs, int& error) {
    return inner_->Connect(address, port, timeoutMs, error);
}

int TTlsTransport::ConnectTo(const sockaddr* address, socklen_t length, int timeoutMs, int& error) {
    return inner_->ConnectTo(address, length, timeoutMs, error);
}

void TTlsTransport::Close(int handle) {
    if (OnSession(handle)) {
        if (!silent_) SSL_shutdown(session_->ssl);  // says goodbye; does not wait for the answer
        ERR_clear_error();
        EndSession();
    }
    inner_->Close(handle);
}

ssize_t TTlsTransport::Send(int handle, const char* data, size_t size) {
    if (!OnSession(handle)) return inner_->Send(handle, data, size);
    // A write may have to read (a renegotiation): it gets a wait of its own.
    deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs_);
    size_t sent = 0;
    while (sent < size) {
        const int n = SSL_write(session_->ssl, data + sent,
                                static_cast<int>(std::min<size_t>(size - sent, INT_MAX)));
        if (n <= 0) {
            ERR_clear_error();
            return sent > 0 ? static_cast<ssize_t>(sent) : -1;
        }
        sent += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(sent);
}

// A close_notify, a dropped or silent peer and a corrupt record all end the connection.
ssize_t TTlsTransport::Receive(int handle, char* buffer, size_t size, int timeoutMs, int& error) {
    if (!OnSession(handle)) return inner_->Receive(handle, buffer, size, timeoutMs, error);
    timeoutMs_ = timeoutMs;
    deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs_);
    const int n =
        SSL_read(session_->ssl, buffer, static_cast<int>(std::min<size_t>(size, INT_MAX)));
    if (n > 0) return n + TakePending(buffer + n, size - static_cast<size_t>(n));
    ERR_clear_error();
    if (!silent_) inner_->Shutdown(handle);
    silent_ = true;
    return 0;
}

// Records that came with the last read are decrypted into the rest of the buffer at once,
// which saves the caller a call per record. Nothing here waits for the network: a record that
// carries no data (a key update, a session ticket) must not hold back what has arrived.
ssize_t TTlsTransport::TakePending(char* buffer, size_t size) {
    size_t taken = 0;
    noWait_ = true;
    while (taken < size && SSL_has_pending(session_->ssl)) {
        size_t n = 0;
        if (SSL_read_ex(session_->ssl, buffer + taken, size - taken, &n) != 1 || n == 0) break;
        taken += n;
    }
    noWait_ = false;
    ERR_clear_error();
    return static_cast<ssize_t>(taken);
}

void TTlsTransport::Shutdown(int handle) {
    if (OnSession(handle)) silent_ = true;
    inner_->Shutdown(handle);
}

int TTlsTransport::PeerError(int handle) {
    return inner_->PeerError(handle);
}
