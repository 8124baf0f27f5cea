#include "base/sha256.h"

#include <openssl/evp.h>

std::string Sha256Hex(std::string_view bytes, THexStyle style) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr) != 1)
        return {};
    const bool pairs = style == THexStyle::Fingerprint;
    const char* const hex = pairs ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < size; ++i) {
        if (pairs && i != 0) text += ':';
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 15];
    }
    return text;
}
