#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <QThread>

class QObject;
class QTcpServer;

// A small HTTP server on 127.0.0.1 with its own thread, so that it answers while the test thread
// blocks. Request n gets the n-th scripted answer; the last one repeats.
class LocalUpdateServer
{
public:
    struct Answer
    {
        enum Kind {
            Reply, // status and body, with Content-Length
            NoLength, // status and body, ended by closing the connection
            Truncated, // announces more bytes than it sends, then closes
            RedirectToSelf, // 302 back to the same address, for ever
            Hold, // no answer until releaseHeld(), then as Reply
            Flood, // length bytes with Content-Length, handed out as the client takes them
        };
        Kind kind = Reply;
        int status = 200;
        QByteArray body;
        qint64 length = 0;
    };

    static Answer reply(const QByteArray &body, int status = 200)
    {
        return Answer {Answer::Reply, status, body};
    }
    static Answer hold(const QByteArray &body) { return Answer {Answer::Hold, 200, body}; }
    static Answer flood(qint64 length) { return Answer {Answer::Flood, 200, {}, length}; }

    LocalUpdateServer();
    ~LocalUpdateServer();

    // An address on this machine where nothing listens: a query there is refused at once.
    static QString closedPortAddress();

    // The address to give the client as its host: "http://127.0.0.1:<port>".
    QString address() const;
    void setAnswers(const QList<Answer> &answers);
    int requestCount() const;
    QStringList requestPaths() const;
    QList<QByteArray> userAgents() const;
    // Body bytes of Flood answers handed to the connections so far.
    qint64 floodBytesSent() const;
    // Held requests get their answer now: all of them, or only request number n (counted from 0).
    void releaseHeld(int n = -1);

private:
    void accept();
    void answer(QTcpSocket *socket, const QString &path, const Answer &answer);
    void flood(QTcpSocket *socket, qint64 length);

    QThread thread;
    QObject *context = nullptr;
    QTcpServer *server = nullptr;
    quint16 port = 0;
    mutable QMutex mutex;
    QList<Answer> answers;
    QStringList paths;
    QList<QByteArray> agents;
    qint64 floodSent = 0;
    QList<QPointer<QTcpSocket>> heldSockets; // a client that gives up closes its socket
};
