#pragma once

// The loopback end of a sign-in's redirect: http://127.0.0.1:PORT/ on a free port, hardened
// against other users and floods. A connection is closed unread unless the socket at its other
// end is open (established) and belongs to this process's uid, and at once while
// MaxConnections are open. A request must be complete within the deadline (5 s) of its
// connection and at most MaxRequestBytes long, else it is closed. Every request but a GET of
// "/" whose state is the expected one gets 400 and is closed; the first right one is handed
// over by RedirectArrived and its connection held (without deadline) until Answer() writes its
// page. Deleting the object closes everything.

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <chrono>
#include <vector>

class QTcpServer;
class QTcpSocket;

class TRedirectListener : public QObject {
    Q_OBJECT

  public:
    static constexpr qsizetype MaxRequestBytes = 8 * 1024;
    static constexpr size_t MaxConnections = 8;

    TRedirectListener(QString state, QObject* parent = nullptr);
    ~TRedirectListener() override;

    // Listens on 127.0.0.1 at a free port; false when none could be opened.
    bool Listen();
    quint16 Port() const;
    void SetRequestDeadline(std::chrono::milliseconds deadline) { deadline_ = deadline; }

    // Stops listening, closes every connection but the held one, and writes the page (200,
    // `text` as its one paragraph, HTML-escaped) to that one and flushes it to the system
    // before returning. Without a held connection (none came, or the browser left) only the
    // former.
    void Answer(const QString& text);

  signals:
    // The right redirect's query, its values decoded.
    void RedirectArrived(const QMap<QString, QString>& values);

  private:
    void OnNewConnections();
    void OnReadyRead(QTcpSocket* socket);
    void Respond(QTcpSocket* socket, const QByteArray& response);
    void Drop(QTcpSocket* socket);
    bool Forget(QTcpSocket* socket);

    QString state_;
    QTcpServer* server_;
    std::chrono::milliseconds deadline_ = std::chrono::seconds(5);
    std::vector<QTcpSocket*> open_;
    QPointer<QTcpSocket> held_;
    bool taken_ = false;
};
