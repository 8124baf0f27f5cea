// The connection value: what TTcpIp::Use hands the client and the TLS settings made from it.
#include <gtest/gtest.h>

#include "net/connection.h"
#include "net/tcpip.h"
#include "net/tls_transport.h"

namespace {

const TConnection kChosen{"pop.example.org",
                          1995,
                          TEncryption::Stls,
                          " ab" + std::string(62, 'c') + " ",
                          1,
                          2,
                          3,
                          4,
                          TAuthentication::SaslPlain};

// Every value reaches the client and comes back, so a value added to the type cannot be
// forgotten on the way; an encryption that could not be read is refused and changes nothing.
TEST(ConnectionValueTest, UseTakesEveryValueOrNone) {
    TTcpIp client;
    client.Use(kChosen);
    EXPECT_EQ(client.CurrentConnection(), kChosen);
    TConnection unreadable = kChosen;
    unreadable.Host = "elsewhere.example.org";
    unreadable.Encryption.reset();
    EXPECT_THROW(client.Use(unreadable), EEncryptionError);
    EXPECT_EQ(client.CurrentConnection(), kChosen);
    unreadable.Encryption = TEncryption::None;
    unreadable.Authentication.reset();
    EXPECT_THROW(client.Use(unreadable), EEncryptionError);
    EXPECT_EQ(client.CurrentConnection(), kChosen);
}

TEST(ConnectionValueTest, TlsSettingsComeFromTheConnection) {
    const TTlsSettings tls = TlsSettingsOf(kChosen, false);
    EXPECT_EQ(tls.Host, kChosen.Host);
    std::string pairs = "AB";
    for (int i = 1; i < 32; ++i) pairs += ":CC";
    EXPECT_EQ(tls.PinnedFingerprint, pairs);
    EXPECT_FALSE(tls.RefuseUntrusted);
    EXPECT_EQ(tls.ReceiveTimeoutMs, kChosen.ReceiveTimeoutMs);
    TConnection notAPin = kChosen;
    notAPin.TrustedCertificate = "AB:CD";
    EXPECT_EQ(TlsSettingsOf(notAPin, true).PinnedFingerprint, "");
}

}  // namespace
