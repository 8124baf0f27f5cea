#include "platform/oauth_pkce.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QRandomGenerator>

namespace {

constexpr auto UrlSafe = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

}  // namespace

QString RandomUrlSafeText(int bytes) {
    QByteArray random(bytes, '\0');
    for (auto& byte : random) byte = static_cast<char>(QRandomGenerator::system()->bounded(256));
    return QString::fromLatin1(random.toBase64(UrlSafe));
}

QString PkceChallenge(const QString& verifier) {
    const QByteArray digest =
        QCryptographicHash::hash(verifier.toLatin1(), QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.toBase64(UrlSafe));
}
