#include "SimStandIn.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QNetworkDatagram>
#include <QtEndian>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <QUdpSocket>
#include <QUrlQuery>
#include <QWebSocket>
#include <QWebSocketServer>

#include <cstring>

namespace {

QByteArray json(const QJsonValue &value)
{
    return QJsonDocument(QJsonArray {value}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
}

QByteArray data(const QJsonValue &value)
{
    return "{\"data\":" + json(value) + '}';
}

// An entry of a list with its id in front, written as text: the toolkit writes 64-bit integers as
// doubles, which large ids do not survive.
QByteArray entry(qint64 id, const QJsonObject &fields)
{
    return "{\"id\":" + QByteArray::number(id) + ',' + json(fields).mid(1);
}

// The UDP messages as X-Plane writes and reads them, written here apart from the program's own.
QByteArray little(qint32 number)
{
    char bytes[4];
    qToLittleEndian(number, bytes);
    return QByteArray(bytes, 4);
}

QByteArray little(float number)
{
    char bytes[4];
    qToLittleEndian(number, bytes);
    return QByteArray(bytes, 4);
}

// A NUL-ended name in a field of size bytes.
QByteArray nameIn(const QByteArray &message, int at, int size)
{
    const QByteArray field = message.mid(at, size);
    const int end = field.indexOf('\0');
    return end < 0 ? field : field.left(end);
}

QByteArray beacon(int major, quint32 role, quint16 port, const QByteArray &computer)
{
    char shortPort[2];
    qToLittleEndian(port, shortPort);
    return QByteArray("BECN\0", 5) + char(major) + char(2) + little(qint32(1)) + little(qint32(115501))
        + little(qint32(role)) + QByteArray(shortPort, 2) + computer + '\0';
}

const QByteArray checkName = "sim/time/total_running_time_sec";

SimStandIn::Reply error(int status, const char *code, const QString &message)
{
    return {status, json(QJsonObject {{QStringLiteral("error_code"), QLatin1String(code)},
                                      {QStringLiteral("error_message"), message}})};
}

} // namespace

SimStandIn::SimStandIn(QObject *parent)
    : QObject(parent)
    , server(new QTcpServer(this))
    , sockets(new QWebSocketServer(QStringLiteral("X-Plane"), QWebSocketServer::NonSecureMode, this))
{
    server->listen(QHostAddress::LocalHost, 0);
    connect(server, &QTcpServer::newConnection, this, &SimStandIn::accept);
    connect(sockets, &QWebSocketServer::newConnection, this, &SimStandIn::socketConnected);
    connect(&ticker, &QTimer::timeout, this, &SimStandIn::tick);
    udp = new QUdpSocket(this);
    udp->bind(QHostAddress(QHostAddress::LocalHost), 0);
    // A client asks for hundreds of values at once; none may be lost here.
    udp->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 << 20);
    connect(udp, &QUdpSocket::readyRead, this, &SimStandIn::readUdp);
    connect(&udpTicker, &QTimer::timeout, this, &SimStandIn::answerUdp);
    udpClock.start();
}

SimStandIn::~SimStandIn() = default;

quint16 SimStandIn::port() const
{
    return server->serverPort();
}

void SimStandIn::changeEvery(int ms, int count)
{
    changing = count;
    ticker.start(ms);
}

void SimStandIn::accept()
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (silent)
            continue;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
    }
}

void SimStandIn::readRequest(QTcpSocket *socket)
{
    // The head is only peeked at, so that an upgrade goes to the WebSocket server whole.
    const QByteArray seen = socket->peek(1 << 20);
    const int headEnd = seen.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return;
    const QList<QByteArray> lines = seen.left(headEnd).split('\n');
    qint64 length = 0;
    bool upgrade = false;
    for (const QByteArray &line : lines.mid(1)) {
        const int colon = line.indexOf(':');
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-length")
            length = value.toLongLong();
        else if (name == "upgrade" && value.toLower() == "websocket")
            upgrade = true;
    }
    if (upgrade && !forbidden) {
        socket->disconnect(this);
        sockets->handleConnection(socket);
        return;
    }
    if (socket->bytesAvailable() < headEnd + 4 + length)
        return;
    socket->read(headEnd + 4);
    const QByteArray body = socket->read(length);
    const QList<QByteArray> request = lines.first().trimmed().split(' ');
    const Reply reply = forbidden
        ? Reply {403, "<html><body><h1>403 Forbidden</h1></body></html>", "text/html"}
        : answer(request.value(0), request.value(1), body);
    socket->write("HTTP/1.1 " + QByteArray::number(reply.status) + " Status\r\nContent-Type: " + reply.contentType
                  + "\r\nContent-Length: " + QByteArray::number(reply.body.size()) + "\r\n\r\n" + reply.body);
    if (socket->bytesAvailable() > 0)
        readRequest(socket);
}

SimStandIn::Reply SimStandIn::answer(const QByteArray &method, const QByteArray &target, const QByteArray &body)
{
    const QUrl url(QString::fromUtf8(target));
    const QByteArray path = url.path().toUtf8();
    if (replies.contains(path))
        return replies.value(path);
    if (path == "/api/capabilities") {
        if (v1Only)
            return {404, "<html><body>Not found</body></html>", "text/html"};
        return {200, R"({"api":{"versions":["v1","v2"]},"x-plane":{"version":"12.1.4-r1"}})"};
    }
    const QByteArray prefix = v1Only ? "/api/v1/" : "/api/v2/";
    if (!path.startsWith(prefix))
        return error(404, "route_not_found", QStringLiteral("no such route"));
    const QList<QByteArray> parts = path.mid(prefix.size()).split('/');
    const QStringList filter = QUrlQuery(url).allQueryItemValues(QStringLiteral("filter[name]"), QUrl::FullyDecoded);
    const auto filtered = [&](const QByteArray &name) { return filter.isEmpty() || filter.contains(QString::fromUtf8(name)); };
    // The whole lists are made once: a simulator answers them at once, and a benchmark times the client.
    if (filter.isEmpty() && listBodies.contains(path))
        return {200, listBodies.value(path)};
    if (parts == QList<QByteArray> {"datarefs"}) {
        QByteArrayList list;
        for (const DataRef &each : dataRefs) {
            if (!filtered(each.name))
                continue;
            QJsonObject object {{QStringLiteral("name"), QString::fromUtf8(each.name)},
                                {QStringLiteral("value_type"), each.type}};
            if (each.writable >= 0)
                object.insert(QStringLiteral("is_writable"), each.writable == 1);
            list << entry(each.id, object);
        }
        const QByteArray body = "{\"data\":[" + list.join(',') + "]}";
        if (filter.isEmpty())
            listBodies.insert(path, body);
        return {200, body};
    }
    if (parts == QList<QByteArray> {"datarefs", "count"})
        return {200, data(qint64(dataRefs.size()))};
    if (parts.size() == 3 && parts[0] == "datarefs" && parts[2] == "value") {
        DataRef *entry = dataRef(parts[1].toLongLong());
        if (!entry)
            return error(404, "dataref_not_found", QStringLiteral("no dataref with that id"));
        if (method == "GET")
            return {200, data(entry->value)};
        const QJsonValue written = QJsonDocument::fromJson(body).object().value(QStringLiteral("data"));
        log << QStringLiteral("PATCH %1%2 %3")
                   .arg(entry->id)
                   .arg(url.hasQuery() ? QLatin1Char('?') + url.query() : QString(), QString::fromUtf8(json(written)));
        if (entry->writable == 0)
            return error(403, "dataref_is_readonly", QStringLiteral("the dataref is read-only"));
        entry->value = written;
        return {200, "null"};
    }
    if (v1Only)
        return error(404, "route_not_found", QStringLiteral("no such route"));
    if (parts == QList<QByteArray> {"commands"}) {
        QByteArrayList list;
        for (const Command &each : commands) {
            if (filtered(each.name)) {
                list << entry(each.id, {{QStringLiteral("name"), QString::fromUtf8(each.name)},
                                        {QStringLiteral("description"), each.description}});
            }
        }
        const QByteArray body = "{\"data\":[" + list.join(',') + "]}";
        if (filter.isEmpty())
            listBodies.insert(path, body);
        return {200, body};
    }
    if (parts.size() == 3 && parts[0] == "command" && parts[2] == "activate" && method == "POST") {
        const QJsonValue duration = QJsonDocument::fromJson(body).object().value(QStringLiteral("duration"));
        log << QStringLiteral("activate %1 %2").arg(QString::fromUtf8(parts[1]), QString::fromUtf8(json(duration)));
        return {200, "null"};
    }
    return error(404, "route_not_found", QStringLiteral("no such route"));
}

SimStandIn::DataRef *SimStandIn::dataRef(qint64 id)
{
    // The list does not change while it is served: its places are found once.
    if (size_t(places.size()) != dataRefs.size()) {
        places.clear();
        for (size_t i = 0; i < dataRefs.size(); ++i)
            places.insert(dataRefs[i].id, i);
    }
    const auto place = places.constFind(id);
    return place == places.constEnd() ? nullptr : &dataRefs[*place];
}

void SimStandIn::socketConnected()
{
    while (QWebSocket *socket = sockets->nextPendingConnection()) {
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, socket](const QString &text) { socketMessage(socket, text); });
        connect(socket, &QWebSocket::disconnected, this, [this, socket] {
            for (const qint64 id : holds.value(socket))
                log << QStringLiteral("released by close %1").arg(id);
            holds.remove(socket);
            subscriptions.remove(socket);
            socket->deleteLater();
        });
    }
}

void SimStandIn::socketMessage(QWebSocket *socket, const QString &text)
{
    const QJsonObject request = QJsonDocument::fromJson(text.toUtf8()).object();
    const QString type = request.value(QStringLiteral("type")).toString();
    const QJsonObject params = request.value(QStringLiteral("params")).toObject();
    QJsonObject result {{QStringLiteral("req_id"), request.value(QStringLiteral("req_id"))},
                        {QStringLiteral("type"), QStringLiteral("result")},
                        {QStringLiteral("success"), true}};
    QList<qint64> subscribed;
    if (type == QLatin1String("dataref_subscribe_values")) {
        for (const QJsonValue &entry : params.value(QStringLiteral("datarefs")).toArray()) {
            const qint64 id = entry.toObject().value(QStringLiteral("id")).toVariant().toLongLong();
            if (!dataRef(id)) {
                result.insert(QStringLiteral("success"), false);
                result.insert(QStringLiteral("error_message"), QStringLiteral("no dataref with id %1").arg(id));
                break;
            }
            subscribed << id;
        }
        if (result.value(QStringLiteral("success")).toBool()) {
            for (const qint64 id : subscribed)
                subscriptions[socket].insert(id);
        }
    } else if (type == QLatin1String("command_set_is_active")) {
        for (const QJsonValue &entry : params.value(QStringLiteral("commands")).toArray()) {
            const qint64 id = entry.toObject().value(QStringLiteral("id")).toVariant().toLongLong();
            if (entry.toObject().value(QStringLiteral("is_active")).toBool()) {
                holds[socket].insert(id);
                log << QStringLiteral("hold %1").arg(id);
            } else if (holds[socket].remove(id)) {
                log << QStringLiteral("release %1").arg(id);
            }
        }
    } else {
        result.insert(QStringLiteral("success"), false);
        result.insert(QStringLiteral("error_message"), QStringLiteral("unknown request type"));
    }
    socket->sendTextMessage(QString::fromUtf8(json(result)));
    if (subscribed.isEmpty() || !result.value(QStringLiteral("success")).toBool())
        return;
    if (!firstUpdate.isEmpty())
        socket->sendTextMessage(QString::fromUtf8(firstUpdate));
    else
        sendUpdate(socket, subscribed);
    for (const auto &change : changes) {
        QList<qint64> ids;
        for (const auto &value : change) {
            if (DataRef *entry = dataRef(value.first)) {
                entry->value = value.second;
                ids << value.first;
            }
        }
        sendUpdate(socket, ids);
    }
}

void SimStandIn::sendUpdate(QWebSocket *socket, const QList<qint64> &ids)
{
    // Written entry by entry: a JSON object of the toolkit takes quadratic time to fill.
    const QSet<qint64> &subscribed = subscriptions[socket];
    QByteArray values;
    for (const qint64 id : ids) {
        if (subscribed.contains(id))
            values += (values.isEmpty() ? "\"" : ",\"") + QByteArray::number(id) + "\":" + json(dataRef(id)->value);
    }
    if (!values.isEmpty())
        socket->sendTextMessage(QString::fromUtf8("{\"type\":\"dataref_update_values\",\"data\":{" + values + "}}"));
}

void SimStandIn::tick()
{
    ++tickCount;
    QList<qint64> ids;
    for (int i = 0; i < changing && size_t(i) < dataRefs.size(); ++i) {
        DataRef &entry = dataRefs[size_t(i)];
        if (entry.type == QLatin1String("float") || entry.type == QLatin1String("double")) {
            entry.value = double(tickCount) / 8 + i;
        } else if (entry.type == QLatin1String("int")) {
            entry.value = qint64(tickCount + i);
        } else if (entry.value.isArray()) {
            // The first element moves; the others stay.
            QJsonArray array = entry.value.toArray();
            if (!array.isEmpty())
                array[0] = double(tickCount) / 4 + i;
            entry.value = array;
        }
        ids << entry.id;
    }
    for (auto it = subscriptions.cbegin(); it != subscriptions.cend(); ++it)
        sendUpdate(it.key(), ids);
}

quint16 SimStandIn::udpPort() const
{
    return udp->localPort();
}

bool SimStandIn::beHostile(bool fromElsewhere)
{
    hostile = true;
    if (!fromElsewhere)
        return true;
    impostor = new QUdpSocket(this);
    return impostor->bind(QHostAddress(QStringLiteral("127.0.0.2")), 0);
}

void SimStandIn::announce(quint16 port, const QList<Beacon> &beacons)
{
    beaconSender = new QUdpSocket(this);
    beaconSender->bind(QHostAddress(QHostAddress::LocalHost), 0);
    connect(&beaconTicker, &QTimer::timeout, this, [this, port, beacons] {
        QList<QByteArray> sent {beacon(2, 1, udpPort(), "a later version"), QByteArray("BECN\0\1\2", 7)};
        for (const Beacon &each : beacons)
            sent << beacon(1, each.role, each.port ? each.port : udpPort(), each.computer);
        for (const QByteArray &datagram : sent)
            beaconSender->writeDatagram(datagram, QHostAddress::LocalHost, port);
    });
    beaconTicker.start(100);
}

QStringList SimStandIn::runningValues()
{
    readUdp();
    QStringList running;
    for (const Client &client : qAsConst(clients)) {
        for (auto it = client.asked.cbegin(); it != client.asked.cend(); ++it)
            running << QStringLiteral("%1 %2").arg(it.key()).arg(QString::fromUtf8(it->name));
    }
    running.sort();
    return running;
}

void SimStandIn::readUdp()
{
    while (udp->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = udp->receiveDatagram();
        const QByteArray message = datagram.data();
        const QString key = datagram.senderAddress().toString() + QLatin1Char(':') + QString::number(datagram.senderPort());
        Client &client = clients[key];
        client.address = datagram.senderAddress();
        client.port = quint16(datagram.senderPort());
        if (message.startsWith(QByteArray("RREF\0", 5)) && message.size() == 413) {
            const qint32 frequency = qFromLittleEndian<qint32>(message.constData() + 5);
            const qint32 index = qFromLittleEndian<qint32>(message.constData() + 9);
            const QByteArray name = nameIn(message, 13, 400);
            sinceCheck = name == checkName ? 0 : sinceCheck + 1;
            largestBatch = std::max(largestBatch, sinceCheck);
            if (frequency > 0)
                client.asked.insert(index, {name, 1000 / std::min(frequency, 1000), udpClock.elapsed()});
            else
                client.asked.remove(index);
        } else if (message.startsWith(QByteArray("DREF\0", 5)) && message.size() == 509) {
            const float value = qFromLittleEndian<float>(message.constData() + 5);
            const QByteArray name = nameIn(message, 9, 500);
            log << QStringLiteral("DREF %1 %2").arg(QString::fromUtf8(name)).arg(double(value));
            int element = -1;
            DataRef *entry = dataRefNamed(name, element);
            // A read-only dataref stays as it is, and nothing says so.
            if (entry && entry->writable != 0 && element < 0) {
                entry->value = double(value);
            } else if (entry && entry->writable != 0 && entry->value.isArray()) {
                QJsonArray array = entry->value.toArray();
                if (element < array.size())
                    array[element] = double(value);
                entry->value = array;
            }
        } else if (message.startsWith(QByteArray("CMND\0", 5))) {
            log << QStringLiteral("CMND %1").arg(QString::fromUtf8(nameIn(message, 5, message.size())));
        }
    }
    if (!udpTicker.isActive())
        udpTicker.start(20);
    answerUdp();
}

SimStandIn::DataRef *SimStandIn::dataRefNamed(const QByteArray &name, int &element)
{
    if (size_t(byName.size()) != dataRefs.size()) {
        byName.clear();
        for (size_t i = 0; i < dataRefs.size(); ++i)
            byName.insert(dataRefs[i].name, i);
    }
    QByteArray path = name;
    element = -1;
    const int open = name.lastIndexOf('[');
    if (open > 0 && name.endsWith(']')) {
        bool ok = false;
        element = name.mid(open + 1, name.size() - open - 2).toInt(&ok);
        if (!ok || element < 0)
            return nullptr;
        path = name.left(open);
    }
    const auto place = byName.constFind(path);
    return place == byName.constEnd() ? nullptr : &dataRefs[*place];
}

bool SimStandIn::udpValue(const QByteArray &name, float &value)
{
    if (name == checkName) {
        value = float(udpClock.elapsed()) / 1000;
        return true;
    }
    int element = -1;
    const DataRef *entry = dataRefNamed(name, element);
    if (!entry)
        return false;
    if (element < 0 && entry->value.isDouble()) {
        value = float(entry->value.toDouble());
        return true;
    }
    const QJsonArray array = entry->value.toArray();
    if (element < 0 || element >= array.size())
        return false;
    value = float(array.at(element).toDouble());
    return true;
}

void SimStandIn::answerUdp()
{
    if (udpSilent)
        return;
    const qint64 now = udpClock.elapsed();
    for (Client &client : clients) {
        QByteArray pairs;
        QByteArray wrong; // the same indexes with a value no dataref holds
        bool values = false; // answered more than the check
        for (auto it = client.asked.begin(); it != client.asked.end(); ++it) {
            float value = 0;
            if (it->due > now || !udpValue(it->name, value))
                continue;
            values = values || it->name != checkName;
            it->due += it->period;
            if (it->due <= now)
                it->due = now + it->period;
            pairs += little(it.key()) + little(value);
            wrong += little(it.key()) + little(666.0f);
        }
        if (pairs.isEmpty())
            continue;
        if (hostile && !client.tricked) {
            trick(client, wrong.left(183 * 8));
            client.tricked = true;
        }
        // At most 183 pairs a packet, as X-Plane sends them.
        for (int at = 0; at < pairs.size(); at += 183 * 8)
            udp->writeDatagram(QByteArray("RREF,", 5) + pairs.mid(at, 183 * 8), client.address, client.port);
        if (values && udpRounds < changes.size()) {
            for (const auto &change : changes.at(udpRounds)) {
                if (DataRef *entry = dataRef(change.first))
                    entry->value = change.second;
            }
            ++udpRounds;
        }
    }
}

void SimStandIn::trick(const Client &client, const QByteArray &wrong)
{
    if (impostor)
        impostor->writeDatagram(QByteArray("RREF,", 5) + wrong, client.address, client.port);
    const QList<QByteArray> hostile {
        QByteArray("RRE"),
        QByteArray("RREF,", 5) + wrong + "odd",
        QByteArray("RREF,", 5) + (wrong + wrong.left(8).repeated(184)).left(184 * 8),
        QByteArray("RREF,", 5) + little(qint32(123456)) + little(1.0f) + little(qint32(-1)) + little(2.0f),
        QByteArray("DATA*", 5) + wrong,
    };
    for (const QByteArray &datagram : hostile)
        udp->writeDatagram(datagram, client.address, client.port);
}
