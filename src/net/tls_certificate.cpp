#include "net/tls_certificate.h"

#include <arpa/inet.h>
#include <openssl/evp.h>
#include <openssl/x509v3.h>

#include <ctime>
#include <memory>

#include "net/endpoints.h"

namespace {

bool IsAddress(const std::string& host) {
    unsigned char buffer[sizeof(in6_addr)];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
           inet_pton(AF_INET6, host.c_str(), buffer) == 1;
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

std::string FingerprintOf(const X509* cert) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (X509_digest(cert, EVP_sha256(), digest, &size) != 1) return {};
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned int i = 0; i < size; ++i) {
        if (i != 0) text += ':';
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}

}  // namespace

bool SetExpectedIdentity(SSL* ssl, const std::string& host) {
    const std::string bare = BareHost(host);
    if (IsAddress(bare)) return X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), bare.c_str());
    SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    return SSL_set_tlsext_host_name(ssl, bare.c_str()) == 1 && SSL_set1_host(ssl, bare.c_str());
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

ETlsError RefusalOf(const TTlsPeer& peer, long verdict, const TTlsSettings& settings) {
    using R = ETlsError::TReason;
    const std::string& fp = peer.Fingerprint;
    if (peer.Fingerprint.empty()) return ETlsError(R::Untrusted, "The server sent no certificate");
    if (!settings.PinnedFingerprint.empty()) {
        return ETlsError(R::PinMismatch,
                         "The server's certificate is not the trusted certificate; its SHA-256 "
                         "fingerprint is " +
                             fp,
                         fp);
    }
    switch (verdict) {
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return ETlsError(R::NameMismatch,
                             "The server's certificate is not valid for " + settings.Host +
                                 " (it is for " + peer.Subject + ")",
                             fp);
        case X509_V_ERR_CERT_HAS_EXPIRED:
            return ETlsError(R::Expired, "The server's certificate expired on " + peer.ValidTo, fp);
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return ETlsError(R::Expired,
                             "The server's certificate is not valid before " + peer.ValidFrom, fp);
        default:
            return ETlsError(R::Untrusted,
                             "The server's certificate is not trusted (" + peer.Verdict +
                                 "); SHA-256 fingerprint " + fp,
                             fp);
    }
}
