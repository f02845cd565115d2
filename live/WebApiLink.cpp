#include "live/WebApiLink.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSet>
#include <QTimer>
#include <QUrl>
#include <QWebSocket>

#include <algorithm>
#include <cmath>

namespace {

// Names asked for in one list request: a URL stays well within what any server takes.
constexpr int namesPerRequest = 40;

QByteArray compactJson(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// The entries of a WebSocket request, [{"id":1,...},...], written here because the toolkit's JSON
// writer turns a 64-bit integer into a double and so loses the low digits of large ids. Only
// numbers and fixed names go in, so nothing needs escaping.
QByteArray idEntries(const QList<qint64> &ids, const QByteArray &more = QByteArray())
{
    QByteArray entries = "[";
    for (const qint64 id : ids)
        entries += (entries.size() > 1 ? ",{\"id\":" : "{\"id\":") + QByteArray::number(id) + more + '}';
    return entries + ']';
}

QString quoted(const QByteArray &name)
{
    return QLatin1Char('"') + QString::fromUtf8(name) + QLatin1Char('"');
}

} // namespace

WebApiLink::WebApiLink(const QString &address)
    : address(address)
{
    manager.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

WebApiLink::~WebApiLink()
{
    if (socket) {
        socket->disconnect(this);
        socket->abort();
    }
}

QString WebApiLink::apiPath(const QString &rest) const
{
    return QStringLiteral("/api/v%1/").arg(apiVersion) + rest;
}

bool WebApiLink::answerFault(const QString &what, const QString &reason)
{
    return fail(QStringLiteral("X-Plane at %1 answered %2 with what the web API does not promise: the answer %3")
                    .arg(address, what, reason));
}

bool WebApiLink::request(const QByteArray &verb, const QString &path, const QByteArray &body, Answer &answer,
                         bool allowErrors)
{
    const QString what = QString::fromLatin1(verb) + QLatin1Char(' ') + path.section(QLatin1Char('?'), 0, 0);
    QNetworkRequest request(QUrl(QStringLiteral("http://") + address + path));
    // The API asks for both headers on every request.
    request.setRawHeader("Accept", "application/json");
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
    std::unique_ptr<QNetworkReply> reply(verb == "GET" ? manager.get(request)
                                                       : manager.sendCustomRequest(request, verb, body));
    // The network thread stops reading once this much waits unread, so a flood is refused as fast
    // as it comes; an answer that announces its excess is refused at its headers.
    reply->setReadBufferSize(maxAnswerBytes + 1);
    enum Stop { Running, TimedOut, TooLarge };
    Stop stop = Running;
    answer = Answer();
    QEventLoop wait;
    QTimer patience;
    patience.setSingleShot(true);
    patience.setInterval(patienceMs);
    const auto halt = [&](Stop why) {
        if (stop == Running)
            stop = why;
        reply->abort();
    };
    connect(reply.get(), &QNetworkReply::metaDataChanged, &wait, [&] {
        if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > maxAnswerBytes)
            halt(TooLarge);
    });
    connect(reply.get(), &QNetworkReply::readyRead, &wait, [&] {
        patience.start();
        answer.body += reply->read(maxAnswerBytes + 1 - answer.body.size());
        if (answer.body.size() > maxAnswerBytes)
            halt(TooLarge);
    });
    connect(reply.get(), &QNetworkReply::finished, &wait, &QEventLoop::quit);
    connect(&patience, &QTimer::timeout, &wait, [&] { halt(TimedOut); });
    patience.start();
    if (reply->isRunning())
        wait.exec();
    patience.stop();

    if (stop == TimedOut) {
        return fail(QStringLiteral("X-Plane at %1 did not answer %2 within %3 s: is it busy loading, or stopped?")
                        .arg(address, what)
                        .arg(patienceMs / 1000));
    }
    if (stop == TooLarge) {
        return fail(QStringLiteral("X-Plane at %1 answered %2 with more than %3 MiB: that is no answer of the web API")
                        .arg(address, what)
                        .arg(maxAnswerBytes >> 20));
    }
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.body += reply->read(maxAnswerBytes + 1 - answer.body.size());
    if (answer.body.size() > maxAnswerBytes)
        return fail(QStringLiteral("X-Plane at %1 answered %2 with more than %3 MiB").arg(address, what).arg(maxAnswerBytes >> 20));
    if (answer.status == 0) {
        switch (reply->error()) {
        case QNetworkReply::ConnectionRefusedError:
            return fail(QStringLiteral("nothing listens at %1: is X-Plane 12.1.1 or later running there? "
                                       "(give another address with --sim HOST:PORT)")
                            .arg(address));
        case QNetworkReply::HostNotFoundError:
            return fail(QStringLiteral("cannot find the host of %1: give the simulator's address with --sim HOST:PORT")
                            .arg(address));
        default:
            return fail(QStringLiteral("cannot reach X-Plane at %1 (%2): %3").arg(address, what, reply->errorString()));
        }
    }
    if (answer.status == 403) {
        return fail(QStringLiteral("X-Plane at %1 refuses the web API: its incoming traffic is disabled. Allow it "
                                   "in X-Plane's Settings, Network, and try again")
                        .arg(address));
    }
    if (answer.status != 200 && !allowErrors) {
        const QString error = ApiDocument::readError(answer.body);
        return fail(QStringLiteral("X-Plane at %1 answered %2 with HTTP status %3%4")
                        .arg(address, what)
                        .arg(answer.status)
                        .arg(error.isEmpty() ? QString() : QStringLiteral(": ") + error));
    }
    return true;
}

bool WebApiLink::begin(bool needsCommands)
{
    if (apiVersion == 0) {
        Answer answer;
        if (!request("GET", QStringLiteral("/api/capabilities"), {}, answer, true))
            return false;
        if (answer.status == 404) {
            // X-Plane 12.1.1 to 12.1.3 know no capabilities: only the first version of the API.
            apiVersion = 1;
        } else if (answer.status == 200) {
            ApiDocument::Capabilities capabilities;
            QString reason;
            if (!ApiDocument::readCapabilities(answer.body, capabilities, &reason))
                return answerFault(QStringLiteral("GET /api/capabilities"), reason);
            simulator = capabilities.simulator;
            apiVersion = capabilities.versions.contains(2) ? 2 : capabilities.versions.contains(1) ? 1 : 0;
            if (apiVersion == 0) {
                return fail(QStringLiteral("X-Plane at %1 offers none of the web API versions this program speaks "
                                           "(v1 and v2)")
                                .arg(address));
            }
        } else {
            return fail(QStringLiteral("X-Plane at %1 answered GET /api/capabilities with HTTP status %2")
                            .arg(address)
                            .arg(answer.status));
        }
    }
    if (needsCommands && apiVersion < 2) {
        return fail(QStringLiteral("X-Plane at %1 offers its web API without commands (before X-Plane 12.1.4): "
                                   "commands need 12.1.4 or later; datarefs work as they are")
                        .arg(address));
    }
    return true;
}

bool WebApiLink::flightLoaded()
{
    const QString path = apiPath(QStringLiteral("datarefs/count"));
    Answer answer;
    qint64 count = 0;
    QString reason;
    if (!request("GET", path, {}, answer))
        return false;
    if (!ApiDocument::readCount(answer.body, count, &reason))
        return answerFault(QStringLiteral("GET ") + path, reason);
    if (count == 0)
        return fail(QStringLiteral("X-Plane at %1 has no flight loaded yet: start a flight and try again").arg(address));
    return true;
}

bool WebApiLink::dataRefs(std::vector<ApiDocument::DataRef> &list, int &skipped)
{
    Answer answer;
    QString reason;
    if (!begin(false))
        return false;
    // The lengths of the arrays come through the WebSocket next: it opens while the list comes.
    startSocket();
    if (!request("GET", apiPath(QStringLiteral("datarefs")), {}, answer))
        return false;
    if (!ApiDocument::readDataRefs(answer.body, list, skipped, &reason))
        return answerFault(QStringLiteral("GET ") + apiPath(QStringLiteral("datarefs")), reason);
    return !list.empty() || flightLoaded();
}

bool WebApiLink::commands(std::vector<ApiDocument::Command> &list, int &skipped)
{
    Answer answer;
    QString reason;
    if (!begin(true) || !request("GET", apiPath(QStringLiteral("commands")), {}, answer))
        return false;
    if (!ApiDocument::readCommands(answer.body, list, skipped, &reason))
        return answerFault(QStringLiteral("GET ") + apiPath(QStringLiteral("commands")), reason);
    return !list.empty() || flightLoaded();
}

template<typename Entry>
bool WebApiLink::lookUp(const QString &list, const QList<QByteArray> &names, QHash<QByteArray, Entry> &found)
{
    const QSet<QByteArray> wanted(names.begin(), names.end());
    for (int first = 0; first < names.size(); first += namesPerRequest) {
        QString query;
        for (const QByteArray &name : names.mid(first, namesPerRequest))
            query += (query.isEmpty() ? QStringLiteral("?") : QStringLiteral("&")) + QStringLiteral("filter[name]=")
                + QString::fromLatin1(QUrl::toPercentEncoding(QString::fromUtf8(name), "/"));
        Answer answer;
        if (!request("GET", apiPath(list) + query, {}, answer))
            return false;
        std::vector<Entry> entries;
        int skipped = 0;
        QString reason;
        bool read = false;
        if constexpr (std::is_same_v<Entry, ApiDocument::DataRef>)
            read = ApiDocument::readDataRefs(answer.body, entries, skipped, &reason);
        else
            read = ApiDocument::readCommands(answer.body, entries, skipped, &reason);
        if (!read)
            return answerFault(QStringLiteral("GET ") + apiPath(list), reason);
        // A simulator that ignores the filter answers with its whole list: only the names asked for count.
        for (Entry &entry : entries) {
            if (wanted.contains(entry.name) && !found.contains(entry.name))
                found.insert(entry.name, std::move(entry));
        }
    }
    return true;
}

bool WebApiLink::resolve(const QList<Target> &targets, std::vector<Reading> &readings)
{
    if (!begin(false))
        return false;
    QList<QByteArray> names;
    for (const Target &target : targets) {
        if (!knownDataRefs.contains(target.path) && !names.contains(target.path))
            names << target.path;
    }
    if (!lookUp(QStringLiteral("datarefs"), names, knownDataRefs))
        return false;
    const bool allKnown = std::all_of(targets.begin(), targets.end(),
                                      [this](const Target &target) { return knownDataRefs.contains(target.path); });
    if (!allKnown && !flightLoaded())
        return false;
    readings.assign(size_t(targets.size()), Reading());
    for (int i = 0; i < targets.size(); ++i) {
        const Target &target = targets.at(i);
        Reading &reading = readings[size_t(i)];
        const auto known = knownDataRefs.constFind(target.path);
        if (known == knownDataRefs.constEnd()) {
            reading.problem = QStringLiteral("no such dataref in the simulator");
            continue;
        }
        reading.type = known->type;
        if (reading.type == SimValue::Other) {
            reading.problem = QStringLiteral("its value type \"%1\" is not one this program reads").arg(known->typeName);
        } else if (target.index >= 0 && reading.type == SimValue::Data) {
            reading.problem = QStringLiteral("a data dataref is read and written whole, without an index");
        } else if (target.index >= 0 && !SimValue::isArray(reading.type)) {
            reading.problem = QStringLiteral("not an array: give it without an index");
        }
    }
    return true;
}

bool WebApiLink::readValue(qint64 id, SimValue::Type type, SimValue &value)
{
    const QString path = apiPath(QStringLiteral("datarefs/%1/value").arg(id));
    Answer answer;
    QString reason;
    if (!request("GET", path, {}, answer))
        return false;
    if (!ApiDocument::readValue(answer.body, type, value, &reason))
        return answerFault(QStringLiteral("GET ") + path, reason);
    return true;
}

bool WebApiLink::read(const QList<Target> &targets, std::vector<Reading> &readings)
{
    QHash<qint64, SimValue> values;
    for (int i = 0; i < targets.size(); ++i) {
        const Target &target = targets.at(i);
        Reading &reading = readings[size_t(i)];
        if (!reading.problem.isEmpty())
            continue;
        const qint64 id = knownDataRefs.value(target.path).id;
        if (!values.contains(id) && !readValue(id, reading.type, values[id]))
            return false;
        const SimValue &whole = values[id];
        if (target.index < 0) {
            reading.value = whole;
        } else if (target.index < whole.count()) {
            reading.value = whole.element(target.index);
        } else {
            reading.problem = QStringLiteral("past the end of its %1 elements").arg(whole.count());
        }
    }
    return true;
}

bool WebApiLink::write(const Target &target, const Reading &reading, const QByteArray &text)
{
    const ApiDocument::DataRef dataRef = knownDataRefs.value(target.path);
    if (dataRef.writable == ApiDocument::NotWritable)
        return fail(QStringLiteral("%1 is read-only: nothing was written").arg(quoted(target.path)));
    int count = 0;
    if (SimValue::isArray(reading.type) && reading.type != SimValue::Data) {
        SimValue current;
        if (!readValue(dataRef.id, reading.type, current))
            return false;
        count = current.count();
        if (target.index >= count) {
            return fail(QStringLiteral("%1 is past the end of its %2 elements: nothing was written")
                            .arg(quoted(target.given))
                            .arg(count));
        }
    }
    SimValue value;
    QString reason;
    if (!SimValue::fromText(text, reading.type, target.index, count, value, &reason))
        return fail(QStringLiteral("cannot write %1 to %2: %3; nothing was written").arg(quoted(text), quoted(target.given), reason));
    QString path = apiPath(QStringLiteral("datarefs/%1/value").arg(dataRef.id));
    if (target.index >= 0)
        path += QStringLiteral("?index=%1").arg(target.index);
    Answer answer;
    return request("PATCH", path, compactJson(QJsonObject {{QStringLiteral("data"), value.toApiJson(reading.type)}}),
                   answer);
}

bool WebApiLink::run(const QByteArray &command, double holdSeconds)
{
    QHash<QByteArray, ApiDocument::Command> found;
    if (!begin(true) || !lookUp(QStringLiteral("commands"), {command}, found))
        return false;
    if (!found.contains(command) && !flightLoaded())
        return false;
    if (!found.contains(command))
        return fail(QStringLiteral("no such command in the simulator: %1").arg(quoted(command)));
    const qint64 id = found.value(command).id;
    if (holdSeconds <= 0) {
        Answer answer;
        return request("POST", apiPath(QStringLiteral("command/%1/activate").arg(id)),
                       compactJson(QJsonObject {{QStringLiteral("duration"), 0}}), answer);
    }
    // Held through the WebSocket, without a duration: released when the hold ends, when the program is
    // interrupted, and by the simulator itself should the connection close first.
    const auto activate = [&](bool active) {
        return socketRequest("command_set_is_active",
                             "{\"commands\":" + idEntries({id}, active ? ",\"is_active\":true" : ",\"is_active\":false") + '}');
    };
    if (!openSocket() || !activate(true))
        return false;
    if (!waitUntil([] { return false; }, qint64(holdSeconds * 1000), nullptr, true))
        return false;
    return activate(false);
}

bool WebApiLink::arrayLengths(const std::vector<std::pair<qint64, SimValue::Type>> &arrays, QHash<qint64, int> &lengths)
{
    if (arrays.empty())
        return true;
    QHash<qint64, SimValue::Type> wanted;
    QList<qint64> subscribed;
    for (const auto &array : arrays) {
        if (!wanted.contains(array.first))
            subscribed << array.first;
        wanted.insert(array.first, array.second);
    }
    if (!openSocket())
        return false;
    onUpdate = [&](const ApiDocument::SocketMessage &message) {
        for (const auto &entry : message.values) {
            const auto type = wanted.constFind(entry.first);
            SimValue value;
            QString reason;
            // A value that is not of its type leaves its length unknown, as one that never comes.
            if (type != wanted.constEnd() && SimValue::fromJson(entry.second, *type, value, &reason))
                lengths.insert(entry.first, value.count());
        }
    };
    // A simulator that refuses the subscription leaves the lengths unknown, as one whose values do
    // not come; only a broken connection is trouble.
    const bool subscribedAll = socketRequest("dataref_subscribe_values", "{\"datarefs\":" + idEntries(subscribed) + '}');
    const bool waited = (subscribedAll || socketFault.isEmpty())
        && (!subscribedAll || waitUntil([&] { return lengths.size() >= wanted.size(); }, patienceMs));
    onUpdate = nullptr;
    closeSocket();
    return waited;
}

bool WebApiLink::watch(const QList<Target> &targets, const std::vector<Reading> &readings, double seconds,
                       const Changed &changed)
{
    QList<qint64> subscribed;
    for (int i = 0; i < targets.size(); ++i) {
        const qint64 id = knownDataRefs.value(targets.at(i).path).id;
        if (readings[size_t(i)].problem.isEmpty() && !subscribed.contains(id))
            subscribed << id;
    }
    if (!openSocket())
        return false;
    std::vector<SimValue> last(size_t(targets.size()));
    std::vector<bool> seen(size_t(targets.size()), false);
    bool ended = false;
    onUpdate = [&](const ApiDocument::SocketMessage &message) {
        QHash<qint64, const QJsonValue *> values;
        for (const auto &entry : message.values)
            values.insert(entry.first, &entry.second);
        for (int i = 0; i < targets.size() && !ended && socketFault.isEmpty(); ++i) {
            const Target &target = targets.at(i);
            const Reading &reading = readings[size_t(i)];
            const QJsonValue *json = reading.problem.isEmpty() ? values.value(knownDataRefs.value(target.path).id) : nullptr;
            if (!json)
                continue;
            SimValue value;
            QString reason;
            if (!SimValue::fromJson(*json, reading.type, value, &reason)) {
                socketFault = QStringLiteral("sent an update of %1 with %2").arg(quoted(target.path), reason);
                return;
            }
            if (target.index >= 0) {
                if (target.index >= value.count()) {
                    socketFault = QStringLiteral("holds %1 past the end of its %2 elements").arg(quoted(target.given)).arg(value.count());
                    return;
                }
                value = value.element(target.index);
            }
            if (seen[size_t(i)] && value == last[size_t(i)])
                continue;
            seen[size_t(i)] = true;
            last[size_t(i)] = value;
            ended = !changed(i, value);
        }
    };
    const bool watched
        = socketRequest("dataref_subscribe_values", "{\"datarefs\":" + idEntries(subscribed) + '}')
        && waitUntil([&] { return ended; }, seconds < 0 ? -1 : qint64(std::ceil(seconds * 1000)), nullptr, true);
    onUpdate = nullptr;
    closeSocket();
    return watched;
}

void WebApiLink::startSocket()
{
    if (socket)
        return;
    socket = std::make_unique<QWebSocket>();
    socket->setMaxAllowedIncomingMessageSize(quint64(maxAnswerBytes));
    socket->setMaxAllowedIncomingFrameSize(quint64(maxAnswerBytes));
    socketFault.clear();
    const auto wake = [this] { this->wake(); };
    connect(socket.get(), &QWebSocket::connected, this, wake);
    connect(socket.get(), &QWebSocket::textMessageReceived, this, &WebApiLink::socketMessage);
    connect(socket.get(), &QWebSocket::binaryMessageReceived, this, [this, wake] {
        if (socketFault.isEmpty())
            socketFault = QStringLiteral("sent a binary WebSocket message, which the web API does not promise");
        wake();
    });
    connect(socket.get(), &QWebSocket::disconnected, this, [this, wake] {
        if (socketFault.isEmpty()) {
            socketFault = socket->closeReason().isEmpty()
                ? QStringLiteral("closed the WebSocket")
                : QStringLiteral("closed the WebSocket: ") + socket->closeReason().left(200);
        }
        wake();
    });
    socket->open(QUrl(QStringLiteral("ws://%1/api/v%2").arg(address).arg(apiVersion)));
}

bool WebApiLink::openSocket()
{
    startSocket();
    bool timedOut = false;
    if (!waitUntil([this] { return socket->state() == QAbstractSocket::ConnectedState; }, patienceMs, &timedOut))
        return false;
    if (timedOut)
        return fail(QStringLiteral("X-Plane at %1 did not open its WebSocket within %2 s").arg(address).arg(patienceMs / 1000));
    return true;
}

void WebApiLink::closeSocket()
{
    if (!socket)
        return;
    socket->disconnect(this);
    // A polite close, briefly awaited; the simulator drops what the connection held either way.
    if (socket->state() == QAbstractSocket::ConnectedState) {
        QEventLoop wait;
        connect(socket.get(), &QWebSocket::disconnected, &wait, &QEventLoop::quit);
        QTimer::singleShot(1000, &wait, &QEventLoop::quit);
        socket->close();
        if (socket->state() != QAbstractSocket::UnconnectedState)
            wait.exec();
    }
    socket.reset();
}

void WebApiLink::socketMessage(const QString &text)
{
    ApiDocument::SocketMessage message;
    QString reason;
    if (!ApiDocument::readSocketMessage(text.toUtf8(), message, &reason)) {
        if (socketFault.isEmpty())
            socketFault = QStringLiteral("sent a WebSocket message that the web API does not promise: it ") + reason;
    } else if (message.kind == ApiDocument::SocketMessage::Result) {
        results.insert(message.requestId, message);
    } else if (message.kind == ApiDocument::SocketMessage::Update && onUpdate) {
        onUpdate(message);
    }
    wake();
}

bool WebApiLink::socketRequest(const char *type, const QByteArray &params)
{
    const qint64 id = nextRequestId++;
    socket->sendTextMessage(QString::fromLatin1("{\"req_id\":" + QByteArray::number(id) + ",\"type\":\"" + type
                                                + "\",\"params\":" + params + '}'));
    bool timedOut = false;
    if (!waitUntil([&] { return results.contains(id); }, patienceMs, &timedOut))
        return false;
    if (timedOut)
        return fail(QStringLiteral("X-Plane at %1 did not answer %2 within %3 s").arg(address, QLatin1String(type)).arg(patienceMs / 1000));
    const ApiDocument::SocketMessage result = results.take(id);
    if (!result.success) {
        return fail(QStringLiteral("X-Plane at %1 refused %2%3")
                        .arg(address, QLatin1String(type),
                             result.error.isEmpty() ? QString() : QStringLiteral(": ") + result.error));
    }
    return true;
}

bool WebApiLink::waitUntil(const std::function<bool()> &done, qint64 ms, bool *timedOut, bool stoppable)
{
    const bool held = runUntil([&] { return !socketFault.isEmpty() || done(); }, ms, stoppable);
    if (!socketFault.isEmpty())
        return fail(QStringLiteral("X-Plane at %1 %2").arg(address, socketFault));
    if (timedOut)
        *timedOut = !held && !(stoppable && stopped);
    return true;
}
