#include "platform/bounded_http_reply.h"

#include <QNetworkAccessManager>
#include <QSslSocket>
#include <QTimer>
#include <cstring>
#include <optional>

namespace {

constexpr qint64 SocketBufferBytes = 64 * 1024;

struct THeadParts {
    int Status = 0;
    qsizetype BodyStart = 0;
    QList<QPair<QByteArray, QByteArray>> Fields;
};

// The status line and fields of the first final (not 1xx) answer in raw; nullopt while its
// header block is incomplete; Status 0 when it is not HTTP.
std::optional<THeadParts> ParseHead(const QByteArray& raw) {
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = raw.indexOf("\r\n\r\n", start);
        if (end < 0) return std::nullopt;
        const QList<QByteArray> lines = raw.mid(start, end - start).split('\n');
        THeadParts head;
        head.BodyStart = end + 4;
        const QList<QByteArray> words = lines[0].trimmed().split(' ');
        bool number = false;
        if (words.size() >= 2 && words[0].startsWith("HTTP/1."))
            head.Status = words[1].toInt(&number);
        if (!number || head.Status < 100 || head.Status > 999) return THeadParts{};
        if (head.Status < 200) {
            start = head.BodyStart;
            continue;
        }
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon <= 0) continue;
            head.Fields.append({lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
        }
        return head;
    }
}

QByteArray FieldOf(const THeadParts& head, const char* name) {
    for (const auto& [field, value] : head.Fields)
        if (field.compare(name, Qt::CaseInsensitive) == 0) return value;
    return {};
}

enum class TChunks { Incomplete, Whole, Broken };

// Decodes a chunked body into out.
TChunks Dechunk(const QByteArray& raw, qsizetype at, QByteArray& out) {
    out.clear();
    for (;;) {
        const qsizetype lineEnd = raw.indexOf("\r\n", at);
        if (lineEnd < 0) return TChunks::Incomplete;
        QByteArray sizeText = raw.mid(at, lineEnd - at);
        if (const qsizetype semicolon = sizeText.indexOf(';'); semicolon >= 0)
            sizeText.truncate(semicolon);
        bool number = false;
        const qint64 size = sizeText.trimmed().toLongLong(&number, 16);
        if (!number || size < 0) return TChunks::Broken;
        at = lineEnd + 2;
        if (size == 0) return raw.indexOf("\r\n", at) >= 0 ? TChunks::Whole : TChunks::Incomplete;
        if (raw.size() - at < size + 2) return TChunks::Incomplete;
        out += raw.mid(at, size);
        at += size + 2;
    }
}

}  // namespace

TBoundedHttpReply::TBoundedHttpReply(const QNetworkRequest& request, const QByteArray& body,
                                     qint64 maxAnswerBytes, const QNetworkProxy& proxy,
                                     QObject* parent)
    : QNetworkReply(parent), bound_(maxAnswerBytes) {
    setRequest(request);
    setUrl(request.url());
    setOperation(QNetworkAccessManager::PostOperation);
    open(QIODevice::ReadOnly);
    const QUrl url = request.url();
    const bool tls = url.scheme().compare("https", Qt::CaseInsensitive) == 0;
    const quint16 port = url.port(tls ? 443 : 80);

    QByteArray target =
        url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (!target.startsWith('/')) target.prepend('/');
    const QByteArray host =
        url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveUserInfo | QUrl::RemovePath |
                      QUrl::RemoveQuery | QUrl::RemoveFragment);
    QByteArray head = "POST " + target + " HTTP/1.1\r\nHost: " + host.mid(2) + "\r\n";
    for (const QByteArray& name : request.rawHeaderList())
        head += name + ": " + request.rawHeader(name) + "\r\n";
    head += "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n";
    request_ = head + body;

    if (tls) {
        auto* socket = new QSslSocket(this);
        socket->setSslConfiguration(request.sslConfiguration());
        connect(socket, &QSslSocket::encrypted, this, &TBoundedHttpReply::SendRequest);
        socket_ = socket;
    } else {
        socket_ = new QTcpSocket(this);
        connect(socket_, &QTcpSocket::connected, this, &TBoundedHttpReply::SendRequest);
    }
    socket_->setProxy(proxy);
    socket_->setReadBufferSize(SocketBufferBytes);
    connect(socket_, &QTcpSocket::readyRead, this, &TBoundedHttpReply::OnReadable);
    connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        if (e == QAbstractSocket::RemoteHostClosedError) return OnClosed();
        const NetworkError code =
            e == QAbstractSocket::ConnectionRefusedError    ? ConnectionRefusedError
            : e == QAbstractSocket::HostNotFoundError       ? HostNotFoundError
            : e == QAbstractSocket::SslHandshakeFailedError ? SslHandshakeFailedError
                                                            : UnknownNetworkError;
        Fail(code, socket_->errorString());
    });
    connect(socket_, &QTcpSocket::disconnected, this, &TBoundedHttpReply::OnClosed);
    if (tls)
        static_cast<QSslSocket*>(socket_)->connectToHostEncrypted(url.host(), port);
    else
        socket_->connectToHost(url.host(), port);
}

void TBoundedHttpReply::SendRequest() {
    socket_->write(request_);
    request_.clear();
}

void TBoundedHttpReply::OnReadable() {
    if (done_) return;
    while (socket_->bytesAvailable() > 0) {
        const qint64 room = bound_ + 1 - raw_.size();
        raw_ += socket_->read(std::min(room, SocketBufferBytes));
        if (raw_.size() > bound_) {
            tooLarge_ = true;
            return Fail(UnknownContentError, "The answer is larger than the bound");
        }
    }
    if (TryParse(false)) Succeed();
}

// The server's close ends an answer without a length; any other is cut short.
void TBoundedHttpReply::OnClosed() {
    OnReadable();
    if (done_) return;
    if (TryParse(true))
        Succeed();
    else
        Fail(RemoteHostClosedError, "The connection was closed before the whole answer came");
}

bool TBoundedHttpReply::TryParse(bool closed) {
    const auto head = ParseHead(raw_);
    if (!head) return false;
    if (head->Status == 0) {
        Fail(ProtocolFailure, "The server's answer is not HTTP");
        return false;
    }
    const QByteArray length = FieldOf(*head, "Content-Length");
    if (FieldOf(*head, "Transfer-Encoding").toLower().contains("chunked")) {
        const TChunks state = Dechunk(raw_, head->BodyStart, body_);
        if (state == TChunks::Broken) Fail(ProtocolFailure, "The server's answer is malformed");
        if (state != TChunks::Whole) return false;
    } else if (!length.isEmpty()) {
        bool number = false;
        const qint64 size = length.toLongLong(&number);
        if (!number || size < 0) {
            Fail(ProtocolFailure, "The server's answer has a malformed length");
            return false;
        }
        if (size > bound_) {
            tooLarge_ = true;
            Fail(UnknownContentError, "The answer is larger than the bound");
            return false;
        }
        if (raw_.size() - head->BodyStart < size) return false;
        body_ = raw_.mid(head->BodyStart, size);
    } else {
        if (!closed) return false;
        body_ = raw_.mid(head->BodyStart);
    }
    setAttribute(QNetworkRequest::HttpStatusCodeAttribute, head->Status);
    for (const auto& [name, value] : head->Fields) setRawHeader(name, value);
    return true;
}

void TBoundedHttpReply::Succeed() {
    raw_.clear();
    End();
}

void TBoundedHttpReply::Fail(NetworkError code, const QString& text) {
    if (done_) return;
    setError(code, text);
    End();
}

// The socket goes at once; the signals follow from the event loop, outside the socket's own.
void TBoundedHttpReply::End() {
    if (done_) return;
    done_ = true;
    socket_->abort();
    QTimer::singleShot(0, this, [this] {
        if (isFinished()) return;
        setFinished(true);
        if (error() != NoError) emit errorOccurred(error());
        emit finished();
    });
}

void TBoundedHttpReply::abort() {
    if (isFinished()) return;
    done_ = true;
    socket_->abort();
    if (error() == NoError) setError(OperationCanceledError, "Operation canceled");
    setFinished(true);
    emit errorOccurred(error());
    emit finished();
}

qint64 TBoundedHttpReply::bytesAvailable() const {
    return body_.size() - bodyRead_ + QNetworkReply::bytesAvailable();
}

qint64 TBoundedHttpReply::readData(char* data, qint64 maxSize) {
    const qint64 count = std::min(maxSize, body_.size() - bodyRead_);
    if (count <= 0) return isFinished() ? -1 : 0;
    std::memcpy(data, body_.constData() + bodyRead_, count);
    bodyRead_ += count;
    return count;
}
