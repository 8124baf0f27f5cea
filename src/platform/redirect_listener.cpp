#include "platform/redirect_listener.h"

#include <unistd.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <optional>

#include "platform/socket_owner.h"

namespace {

constexpr int ListenQueue = 1024;
const char* const DeadlineName = "request deadline";
const char* const NotTheRedirect = "This is not the sign-in answer Vornask is waiting for.";

QByteArray HttpResponse(int status, const char* reason, const QString& text) {
    const QByteArray body =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Vornask</title></head>"
        "<body><p>" +
        text.toHtmlEscaped().toUtf8() + "</p></body></html>\n";
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
           "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
           QByteArray::number(body.size()) +
           "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body;
}

// A query's values as a form sends them: '+' is a blank, then percent escapes.
QMap<QString, QString> QueryValues(const QByteArray& query) {
    QMap<QString, QString> values;
    for (QByteArray item : query.split('&')) {
        item.replace('+', ' ');
        const qsizetype equals = item.indexOf('=');
        const QString name =
            QUrl::fromPercentEncoding(item.left(equals < 0 ? item.size() : equals));
        if (!values.contains(name))
            values.insert(name,
                          equals < 0 ? QString() : QUrl::fromPercentEncoding(item.mid(equals + 1)));
    }
    return values;
}

// The query of a request "GET /?QUERY HTTP/1.x" (its first line), or nothing for any other.
std::optional<QByteArray> RedirectQuery(const QByteArray& line) {
    const QList<QByteArray> words = line.split(' ');
    if (words.size() != 3 || words[0] != "GET" || !words[2].startsWith("HTTP/1.")) return {};
    const QByteArray& target = words[1];
    const qsizetype question = target.indexOf('?');
    if (target.left(question < 0 ? target.size() : question) != "/") return {};
    return question < 0 ? QByteArray() : target.mid(question + 1);
}

}  // namespace

TRedirectListener::TRedirectListener(QString state, QObject* parent)
    : QObject(parent), state_(std::move(state)), server_(new QTcpServer(this)) {
    connect(server_, &QTcpServer::newConnection, this, &TRedirectListener::OnNewConnections);
}

TRedirectListener::~TRedirectListener() = default;

bool TRedirectListener::Listen() {
    // A flood is taken off the system's queue and closed at once: with Qt's usual queue of 50
    // the rest would wait unanswered, the browser's redirect among them.
    server_->setListenBacklogSize(ListenQueue);
    server_->setMaxPendingConnections(ListenQueue);
    return server_->listen(QHostAddress::LocalHost, 0);
}

quint16 TRedirectListener::Port() const {
    return server_->serverPort();
}

void TRedirectListener::OnNewConnections() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        if (open_.size() >= MaxConnections ||
            TcpPeerOwner({socket->peerAddress(), socket->peerPort()},
                         {socket->localAddress(), socket->localPort()}) != getuid()) {
            socket->abort();
            delete socket;
            continue;
        }
        open_.push_back(socket);
        socket->setReadBufferSize(MaxRequestBytes + 1);
        auto* deadline = new QTimer(socket);
        deadline->setObjectName(DeadlineName);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, this, [this, socket] { Drop(socket); });
        deadline->start(deadline_);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { Drop(socket); });
    }
}

void TRedirectListener::OnReadyRead(QTcpSocket* socket) {
    const QByteArray head = socket->peek(MaxRequestBytes);
    if (!head.contains("\r\n\r\n")) {
        if (socket->bytesAvailable() > MaxRequestBytes)
            Respond(socket, HttpResponse(400, "Bad Request", NotTheRedirect));
        return;
    }
    const auto query = RedirectQuery(head.left(head.indexOf("\r\n")));
    const auto values = query ? QueryValues(*query) : QMap<QString, QString>();
    if (!query || taken_ || values.value("state") != state_)
        return Respond(socket, HttpResponse(400, "Bad Request", NotTheRedirect));
    taken_ = true;
    held_ = socket;
    delete socket->findChild<QTimer*>(DeadlineName, Qt::FindDirectChildrenOnly);
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    emit RedirectArrived(values);
}

void TRedirectListener::Answer(const QString& text) {
    server_->close();
    for (QTcpSocket* socket : std::vector(open_)) {
        if (socket != held_) Drop(socket);
    }
    QTcpSocket* held = held_;
    if (!held) return;
    if (held->state() == QAbstractSocket::ConnectedState)
        Respond(held, HttpResponse(200, "OK", text));
    else
        Drop(held);
}

bool TRedirectListener::Forget(QTcpSocket* socket) {
    const auto found = std::find(open_.begin(), open_.end(), socket);
    if (found == open_.end()) return false;
    open_.erase(found);
    if (held_ == socket) held_ = nullptr;
    disconnect(socket, nullptr, this, nullptr);
    delete socket->findChild<QTimer*>(DeadlineName, Qt::FindDirectChildrenOnly);
    return true;
}

void TRedirectListener::Drop(QTcpSocket* socket) {
    if (!Forget(socket)) return;
    socket->abort();
    socket->deleteLater();
}

// The page goes to the system before this returns; the socket closes once it is sent, and
// is cut off should the browser not take it within the deadline.
void TRedirectListener::Respond(QTcpSocket* socket, const QByteArray& response) {
    if (!Forget(socket)) return;
    socket->write(response);
    socket->flush();
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState) return socket->deleteLater();
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(deadline_, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}
