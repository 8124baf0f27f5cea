#include "net/connection.h"

#include "net/tcpip.h"
#include "net/tls_transport.h"

TTlsSettings TlsSettingsOf(const TConnection& connection, bool refuseUntrusted) {
    return TTlsSettings{connection.Host,
                        NormalizeFingerprint(connection.TrustedCertificate).value_or(""),
                        refuseUntrusted, connection.ReceiveTimeoutMs};
}

void TTcpIp::Use(const TConnection& connection) {
    using F = EEncryptionError::TFault;
    if (!connection.Protocol)
        throw EEncryptionError(F::UnreadableProtocol, kUnreadableProtocolFault);
    if (!connection.Encryption)
        throw EEncryptionError(F::UnreadableEncryption, kUnreadableEncryptionFault);
    if (!connection.Authentication)
        throw EEncryptionError(F::UnreadableAuthentication, kUnreadableAuthenticationFault);
    Hostname = connection.Host;
    Port = connection.Port;
    Encryption = *connection.Encryption;
    TrustedCertificate = connection.TrustedCertificate;
    ConnectTimeoutMs = connection.ConnectTimeoutMs;
    ReceiveTimeoutMs = connection.ReceiveTimeoutMs;
    ReplyTimeoutMs = connection.ReplyTimeoutMs;
    GreetingTimeoutMs = connection.GreetingTimeoutMs;
    Authentication = *connection.Authentication;
}

TConnection TTcpIp::CurrentConnection() const {
    return TConnection{
        Hostname,         Port,           Encryption,        TrustedCertificate, ConnectTimeoutMs,
        ReceiveTimeoutMs, ReplyTimeoutMs, GreetingTimeoutMs, Authentication};
}
