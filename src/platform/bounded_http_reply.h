#pragma once

// One HTTP/1.1 POST whose whole answer (status line, headers and body together) is held to a
// bound while it arrives: the socket's buffer is small, and the exchange ends as soon as the
// answer passes the bound. Qt's own network access reads a header block of any size, and
// buffers a body faster than its progress reports arrive, before a caller can judge either.

#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>

class QTcpSocket;

class TBoundedHttpReply : public QNetworkReply {
    Q_OBJECT

  public:
    // Connects (TLS with the request's configuration for https) and posts body. Past
    // maxAnswerBytes the reply finishes with UnknownContentError and TooLarge() true.
    TBoundedHttpReply(const QNetworkRequest& request, const QByteArray& body, qint64 maxAnswerBytes,
                      const QNetworkProxy& proxy, QObject* parent);

    bool TooLarge() const { return tooLarge_; }

    void abort() override;
    qint64 bytesAvailable() const override;
    bool isSequential() const override { return true; }

  protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

  private:
    void SendRequest();
    void OnReadable();
    void OnClosed();
    // Parses what has come; true once the answer is whole (closed: the peer has closed).
    bool TryParse(bool closed);
    void Succeed();
    void Fail(NetworkError code, const QString& text);
    void End();

    QTcpSocket* socket_ = nullptr;
    QByteArray request_;
    QByteArray raw_;
    QByteArray body_;
    qint64 bodyRead_ = 0;
    qint64 bound_;
    bool tooLarge_ = false;
    bool done_ = false;
};
