#include "LocalUpdateServer.h"

#include <QHostAddress>
#include <QMetaObject>
#include <QMutexLocker>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <memory>

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    }
    return "Status";
}

QByteArray statusLine(int status)
{
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
}

} // namespace

LocalUpdateServer::LocalUpdateServer()
{
    answers.append(reply("{}"));
    context = new QObject;
    context->moveToThread(&thread);
    thread.start();
    QMetaObject::invokeMethod(
        context,
        [this] {
            server = new QTcpServer(context);
            server->listen(QHostAddress::LocalHost, 0);
            port = server->serverPort();
            QObject::connect(server, &QTcpServer::newConnection, context, [this] { accept(); });
        },
        Qt::BlockingQueuedConnection);
}

LocalUpdateServer::~LocalUpdateServer()
{
    QMetaObject::invokeMethod(
        context, [this] { delete server; }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
    delete context;
}

QString LocalUpdateServer::address() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port);
}

void LocalUpdateServer::setAnswers(const QList<Answer> &answers)
{
    QMutexLocker locker(&mutex);
    this->answers = answers;
}

int LocalUpdateServer::requestCount() const
{
    QMutexLocker locker(&mutex);
    return paths.size();
}

QStringList LocalUpdateServer::requestPaths() const
{
    QMutexLocker locker(&mutex);
    return paths;
}

QList<QByteArray> LocalUpdateServer::userAgents() const
{
    QMutexLocker locker(&mutex);
    return agents;
}

qint64 LocalUpdateServer::floodBytesSent() const
{
    QMutexLocker locker(&mutex);
    return floodSent;
}

void LocalUpdateServer::releaseHeld(int n)
{
    QMetaObject::invokeMethod(
        context,
        [this, n] {
            QList<QPointer<QTcpSocket>> sockets;
            {
                QMutexLocker locker(&mutex);
                for (auto it = heldSockets.begin(); it != heldSockets.end();) {
                    if (n < 0 || (*it && (*it)->property("heldIndex").toInt() == n)) {
                        sockets.append(*it);
                        it = heldSockets.erase(it);
                    } else {
                        ++it;
                    }
                }
            }
            for (QTcpSocket *socket : sockets) {
                if (socket)
                    answer(socket, socket->property("heldPath").toString(),
                           reply(socket->property("heldBody").toByteArray()));
            }
        },
        Qt::BlockingQueuedConnection);
}

void LocalUpdateServer::accept()
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto request = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, request] {
            if (request->contains("\r\n\r\n"))
                return;
            *request += socket->readAll();
            const int headerEnd = request->indexOf("\r\n\r\n");
            if (headerEnd < 0)
                return;
            const QList<QByteArray> lines = request->left(headerEnd).split('\n');
            const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
            const QString path = QString::fromLatin1(requestLine.value(1));
            QByteArray agent;
            for (const QByteArray &line : lines) {
                if (line.toLower().startsWith("user-agent:"))
                    agent = line.mid(11).trimmed();
            }
            Answer next;
            {
                QMutexLocker locker(&mutex);
                paths.append(path);
                agents.append(agent);
                next = answers.value(std::min(paths.size(), answers.size()) - 1);
                if (next.kind == Answer::Hold) {
                    socket->setProperty("heldBody", next.body);
                    socket->setProperty("heldPath", path);
                    socket->setProperty("heldIndex", paths.size() - 1);
                    heldSockets.append(socket);
                    return;
                }
            }
            answer(socket, path, next);
        });
    }
}

void LocalUpdateServer::answer(QTcpSocket *socket, const QString &path, const Answer &answer)
{
    QByteArray head = statusLine(answer.status) + "Content-Type: application/json\r\nConnection: close\r\n";
    QByteArray body = answer.body;
    switch (answer.kind) {
    case Answer::Reply:
    case Answer::Hold:
        head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        break;
    case Answer::NoLength:
        break;
    case Answer::Truncated:
        head += "Content-Length: " + QByteArray::number(body.size() + 1000) + "\r\n";
        break;
    case Answer::RedirectToSelf:
        head = statusLine(302) + "Location: " + address().toLatin1() + path.toLatin1()
            + "\r\nContent-Length: 0\r\nConnection: close\r\n";
        body.clear();
        break;
    case Answer::Flood:
        head += "Content-Length: " + QByteArray::number(answer.length) + "\r\n";
        socket->write(head + "\r\n");
        flood(socket, answer.length);
        return;
    }
    socket->write(head + "\r\n" + body);
    socket->disconnectFromHost();
}

QString LocalUpdateServer::closedPortAddress()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return QStringLiteral("http://127.0.0.1:%1").arg(port);
}

// Keeps only a little ahead of the client, so that the count says how much the client took.
void LocalUpdateServer::flood(QTcpSocket *socket, qint64 length)
{
    const QByteArray chunk(64 * 1024, 'x');
    auto remaining = std::make_shared<qint64>(length);
    auto refill = [this, socket, chunk, remaining] {
        while (*remaining > 0 && socket->state() == QAbstractSocket::ConnectedState
               && socket->bytesToWrite() < 4 * chunk.size()) {
            const qint64 size = std::min<qint64>(*remaining, chunk.size());
            socket->write(chunk.constData(), size);
            *remaining -= size;
            QMutexLocker locker(&mutex);
            floodSent += size;
        }
        if (*remaining == 0)
            socket->disconnectFromHost();
    };
    QObject::connect(socket, &QTcpSocket::bytesWritten, socket, refill);
    refill();
}
