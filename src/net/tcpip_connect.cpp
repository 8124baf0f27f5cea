// The connecting side of TTcpIp beyond a dotted IPv4 address: every address of a name, IPv6
// included, and the switch to TLS.
#include <arpa/inet.h>
#include <netinet/in.h>

#include <chrono>
#include <memory>

#include "net/endpoints.h"
#include "net/tcpip.h"
#include "net/tls_transport.h"

void TTcpIp::OpenByName() {
    const std::vector<TEndpoint> endpoints = HostResolver(Hostname, Port);
    if (endpoints.empty()) throw ETcpIpError("Couldn't resolve hostname " + Hostname);
    for (const TEndpoint& endpoint : endpoints) {
        if (endpoint.Address.ss_family == AF_INET) {
            Address = reinterpret_cast<const sockaddr_in&>(endpoint.Address).sin_addr.s_addr;
            break;
        }
    }
    ReleaseSocket(SocketHandle);
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ConnectTimeoutMs);
    int error = ETIMEDOUT;
    for (const TEndpoint& endpoint : endpoints) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            error = ETIMEDOUT;
            break;
        }
        error = OpenEndpoint(endpoint, static_cast<int>(left.count()));
        if (error == 0) {
            PeerAddress = endpoint.Text;
            return;
        }
    }
    throw ESocketError(static_cast<int16_t>(error));
}

int TTcpIp::OpenEndpoint(const TEndpoint& endpoint, int timeoutMs) {
    return ConnectTraced(Port, endpoint.Text, [&](int& error) {
        return Transport->ConnectTo(reinterpret_cast<const sockaddr*>(&endpoint.Address),
                                    endpoint.Length, timeoutMs, error);
    });
}

void TTcpIp::StartTls() {
    if (Buffered() != 0) {
        // Plain bytes queued behind the STLS answer would pass as if they came encrypted.
        ReleaseSocket(SocketHandle);
        throw ETlsError(ETlsError::TFault::DataBeforeHandshake,
                        HandshakeFailedText(Hostname, "the server sent data before the handshake"));
    }
    auto* tls = dynamic_cast<TTlsTransport*>(Transport.get());
    if (!tls) {
        auto wrapped = std::make_unique<TTlsTransport>(std::move(Transport));
        tls = wrapped.get();
        Transport = std::move(wrapped);
    }
    TTlsSettings settings = TlsSettingsOf(CurrentConnection(), RefuseUntrusted);
    // With TLS on connect the handshake stands where the greeting would: a silent server is
    // given up as soon as a silent plain one would be.
    if (Encryption == TEncryption::TlsOnConnect && GreetingTimeoutMs > 0 &&
        (settings.ReceiveTimeoutMs <= 0 || GreetingTimeoutMs < settings.ReceiveTimeoutMs))
        settings.ReceiveTimeoutMs = GreetingTimeoutMs;
    try {
        tls->Handshake(SocketHandle, settings);
    } catch (const ETlsError&) {
        ReleaseSocket(SocketHandle);
        throw;
    }
    Trace([&] {
        return "TLS " + tls->Peer().Protocol + " on socket ID " + std::to_string(SocketHandle);
    });
}

const TTlsPeer* TTcpIp::TlsPeer() const {
    const auto* tls = dynamic_cast<const TTlsTransport*>(Transport.get());
    return tls ? &tls->Peer() : nullptr;
}
