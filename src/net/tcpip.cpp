#include "net/tcpip.h"

#include <cerrno>

#include "net/ip_misc.h"

TTcpIp::TTcpIp() : Transport(std::make_unique<TSocketTransport>()) {}

TTcpIp::~TTcpIp() {
    if (SocketHandle != -1) Disconnect();
}

void TTcpIp::Login() {
    Connect();
}

void TTcpIp::Logout() {
    Disconnect();
}

// A dotted IPv4 address goes straight to its socket; a name or an IPv6 address is looked up
// and each of its addresses tried in turn.
void TTcpIp::Connect() {
    EncryptionFromNumber(static_cast<int32_t>(Encryption));  // an unknown one is never plain
    RefuseUnreadablePin();
    Address = ResolveDotted(Hostname);
    if (Address != 0xFFFFFFFFu) {
        const int error = OpenSocket(Port, Address);
        if (SocketHandle == -1) throw ESocketError(static_cast<int16_t>(error));
        PeerAddress = IpToStr(Address);
    } else {
        OpenByName();
    }
    Closed = false;
    if (Encryption == TEncryption::TlsOnConnect) StartTls();
    BeginReply();  // the greeting
    awaitingGreeting_ = true;
}

// Dropping a pin that does not parse would let the system's store decide, which may trust a
// certificate the user's pin was meant to keep out.
void TTcpIp::RefuseUnreadablePin() const {
    if (IsBlank(TrustedCertificate) || NormalizeFingerprint(TrustedCertificate)) return;
    throw ETlsError(ETlsError::TFault::UnreadablePin,
                    "The trusted certificate is not a SHA-256 fingerprint");
}

void TTcpIp::RefuseUnusableSignIn() const {
    const auto way = static_cast<int32_t>(Authentication);
    using F = EEncryptionError::TFault;
    if (way < 0 || way > static_cast<int32_t>(TAuthentication::OAuth2))
        throw EEncryptionError(F::UnreadableAuthentication, kUnreadableAuthenticationFault);
    if (Authentication == TAuthentication::OAuth2 && Encryption == TEncryption::None)
        throw EEncryptionError(F::TokenInClear, "OAuth2 sign-in needs an encrypted connection");
}

void TTcpIp::Disconnect() {
    ReleaseSocket(SocketHandle);
}

bool TTcpIp::IsClosed() {
    // Buffered bytes are still to be delivered, so the peer query is only needed without them.
    return Closed || (Buffered() == 0 && SocketState(SocketHandle) != TSocketState::Connected);
}

void TTcpIp::Fetch() {
    Login();
    Stream.clear();
    BeginReply();
    char block[4096];
    while (!IsClosed()) {
        int count = 0;
        Receive(block, sizeof block, count);
        if (count <= 0) continue;
        if (Stream.size() + static_cast<size_t>(count) > MaxReplyBytes) {
            DropConnection();
            break;
        }
        Stream.append(block, static_cast<size_t>(count));
    }
}

int TTcpIp::OpenSocket(uint16_t port, uint32_t address) {
    ReleaseSocket(SocketHandle);
    return ConnectTraced(port, IpToStr(address), [&](int& error) {
        return Transport->Connect(address, port, ConnectTimeoutMs, error);
    });
}

int TTcpIp::ConnectTraced(uint16_t port, const std::string& host,
                          const std::function<int(int& error)>& connect) {
    int error = 0;
    SocketHandle = connect(error);
    if (error != 0) {
        ReleaseSocket(SocketHandle);  // the socket whose connect failed, with its trace
        Trace([&] {
            return "Failed to open output socket " + std::to_string(port) + " to host " + host;
        });
        return error;
    }
    Trace([&] {
        return "Opened output socket " + std::to_string(port) + " to host " + host +
               " successfully; ID " + std::to_string(SocketHandle);
    });
    return 0;
}

void TTcpIp::ReleaseSocket(int& handle) {
    if (handle == -1) return;
    Transport->Close(handle);
    if (&handle == &SocketHandle) readPos_ = readEnd_ = 0;  // unread bytes die with the socket
    Trace([&] { return "Closed socket ID " + std::to_string(handle); });
    handle = -1;
}

TTcpIp::TSocketState TTcpIp::SocketState(int handle) {
    if (handle == -1) return TSocketState::NoSocket;
    const int error = Transport->PeerError(handle);
    if (error == 0) return TSocketState::Connected;
    return error == ENOTCONN ? TSocketState::NotConnected : TSocketState::Failed;
}

void TTcpIp::SendBuffer(const char* data, int count) {
    BeforeSend(std::string_view(data, static_cast<size_t>(count)));
    // A failed send is not reported: it shows as the missing reply that follows.
    const ssize_t sent = Transport->Send(SocketHandle, data, static_cast<size_t>(count));
    if (sent == -1) return;
    Trace([&] {
        return "Sent " + std::to_string(count) + " bytes on socket ID " +
               std::to_string(SocketHandle);
    });
}

void TTcpIp::SendText(const std::string& text) {
    SendBuffer(text.data(), static_cast<int>(text.size()));
}

void TTcpIp::DropConnection() {
    if (SocketHandle != -1) Transport->Shutdown(SocketHandle);
    readPos_ = readEnd_ = 0;
    Closed = true;
}
