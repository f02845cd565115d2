#include "SimStandIn.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <QUrlQuery>
#include <QWebSocket>
#include <QWebSocketServer>

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
