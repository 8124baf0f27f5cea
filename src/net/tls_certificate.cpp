#include "net/tls_certificate.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <memory>
#include <string_view>

#include "base/sha256.h"
#include "net/endpoints.h"
#include "net/ip_misc.h"

namespace {

bool IsIpv6(const std::string& host) {
    in6_addr buffer;
    return inet_pton(AF_INET6, host.c_str(), &buffer) == 1;
}

// The name to check and to send as SNI: a fully qualified "pop.example.com." is the same
// host as "pop.example.com", which is how certificates name it.
std::string CheckedName(const std::string& bare) {
    if (bare.size() > 1 && bare.back() == '.') return bare.substr(0, bare.size() - 1);
    return bare;
}

// The certificate's DNS names and addresses: "DNS:pop.example.com, IP:192.0.2.1".
std::string AltNames(const X509* cert) {
    auto* names =
        static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(cert, NID_subject_alt_name, nullptr, nullptr));
    std::string text;
    for (int i = 0; i < sk_GENERAL_NAME_num(names); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(names, i);
        std::string item;
        if (name->type == GEN_DNS) {
            const ASN1_STRING* dns = name->d.dNSName;
            item = "DNS:" + std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(dns)),
                                        static_cast<size_t>(ASN1_STRING_length(dns)));
        } else if (name->type == GEN_IPADD) {
            const int length = ASN1_STRING_length(name->d.iPAddress);
            char address[INET6_ADDRSTRLEN] = "";
            if (length == 4 || length == 16)
                inet_ntop(length == 4 ? AF_INET : AF_INET6,
                          ASN1_STRING_get0_data(name->d.iPAddress), address, sizeof address);
            item = std::string("IP:") + address;
        }
        if (item.empty()) continue;
        text += (text.empty() ? "" : ", ") + item;
    }
    GENERAL_NAMES_free(names);
    return text;
}

std::string NameText(const X509_NAME* name) {
    std::unique_ptr<BIO, decltype(&BIO_free)> out(BIO_new(BIO_s_mem()), BIO_free);
    X509_NAME_print_ex(out.get(), name, 0, XN_FLAG_RFC2253);
    char* data = nullptr;
    const long size = BIO_get_mem_data(out.get(), &data);
    return std::string(data, static_cast<size_t>(size));
}

std::string TimeText(const ASN1_TIME* time) {
    std::tm tm{};
    if (!time || ASN1_TIME_to_tm(time, &tm) != 1) return "?";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &tm);
    return text;
}

// The SHA-256 digest of the certificate's DER encoding.
std::string FingerprintOf(const X509* cert) {
    unsigned char* der = nullptr;
    const int size = i2d_X509(cert, &der);
    if (size <= 0) return {};
    std::string text =
        Sha256Hex(std::string_view(reinterpret_cast<const char*>(der), static_cast<size_t>(size)),
                  THexStyle::Fingerprint);
    OPENSSL_free(der);
    return text;
}

}  // namespace

// An IPv4 address is read as the connection reads it, then checked by its bytes.
bool SetExpectedIdentity(SSL* ssl, const std::string& host) {
    const std::string bare = BareHost(host);
    uint32_t ipv4 = 0;
    if (ParseIpv4(bare, ipv4))
        return X509_VERIFY_PARAM_set1_ip(SSL_get0_param(ssl),
                                         reinterpret_cast<const unsigned char*>(&ipv4),
                                         sizeof ipv4) == 1;
    if (IsIpv6(bare)) return X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), bare.c_str());
    // Only the certificate's DNS names count, never its subject's common name.
    SSL_set_hostflags(ssl,
                      X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS | X509_CHECK_FLAG_NEVER_CHECK_SUBJECT);
    const std::string name = CheckedName(bare);
    return SSL_set_tlsext_host_name(ssl, name.c_str()) == 1 && SSL_set1_host(ssl, name.c_str());
}

TTlsPeer DescribePeer(SSL* ssl, const std::string& pinnedFingerprint) {
    TTlsPeer peer;
    peer.Protocol = SSL_get_version(ssl);
    peer.Cipher = SSL_get_cipher_name(ssl);
    std::unique_ptr<X509, decltype(&X509_free)> cert(SSL_get1_peer_certificate(ssl), X509_free);
    if (!cert) {
        peer.Verdict = "the server sent no certificate";
        return peer;
    }
    peer.Subject = NameText(X509_get_subject_name(cert.get()));
    peer.Issuer = NameText(X509_get_issuer_name(cert.get()));
    peer.ValidFrom = TimeText(X509_get0_notBefore(cert.get()));
    peer.ValidTo = TimeText(X509_get0_notAfter(cert.get()));
    peer.Fingerprint = FingerprintOf(cert.get());
    peer.Names = AltNames(cert.get());
    if (!pinnedFingerprint.empty()) {
        peer.Trusted = peer.Fingerprint == pinnedFingerprint;
        if (!peer.Trusted) peer.Verdict = "it is not the trusted certificate";
        return peer;
    }
    const long verdict = SSL_get_verify_result(ssl);
    peer.Trusted = verdict == X509_V_OK;
    if (!peer.Trusted) peer.Verdict = X509_verify_cert_error_string(verdict);
    return peer;
}

namespace {

// Why the chain did not lead to a trusted authority: a short key word for the start of the
// message, and plain words for the rest.
struct TUntrustedWords {
    const char* key;
    const char* plain;
};

TUntrustedWords UntrustedWords(long verdict) {
    switch (verdict) {
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
            return {"self-signed", "the server signed it itself"};
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
            return {"unknown authority", "no authority this computer trusts vouches for it"};
        default:
            return {"unverified", "its chain could not be verified"};
    }
}

}  // namespace

ETlsError RefusalOf(const TTlsPeer& peer, long verdict, const TTlsSettings& settings) {
    using F = ETlsError::TFault;
    const std::string& fp = peer.Fingerprint;
    const std::string& host = settings.Host;
    if (fp.empty()) return ETlsError(F::NoCertificate, "No certificate from " + host);
    if (!settings.PinnedFingerprint.empty()) {
        return ETlsError(
            F::PinMismatch,
            "Certificate is not the trusted one for " + host + "; its SHA-256 fingerprint is " + fp,
            fp);
    }
    switch (verdict) {
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return ETlsError(F::NameMismatch,
                             "Certificate not valid for " + host + " (it is for " +
                                 (peer.Names.empty() ? "no name" : peer.Names) + ")",
                             fp);
        case X509_V_ERR_CERT_HAS_EXPIRED:
            return ETlsError(F::Expired, "Certificate expired on " + peer.ValidTo + " for " + host,
                             fp);
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return ETlsError(F::NotYetValid,
                             "Certificate not valid before " + peer.ValidFrom + " for " + host, fp);
        default: {
            const TUntrustedWords words = UntrustedWords(verdict);
            return ETlsError(F::Untrusted,
                             std::string("Certificate not trusted (") + words.key + ") for " +
                                 host + ": " + words.plain + " (" + peer.Verdict +
                                 "); SHA-256 fingerprint " + fp,
                             fp);
        }
    }
}
