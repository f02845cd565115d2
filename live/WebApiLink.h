#pragma once

#include "live/ApiDocument.h"
#include "live/SimLink.h"

#include <QEventLoop>
#include <QHash>
#include <QNetworkAccessManager>
#include <QString>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QWebSocket;

// The simulator's web API (X-Plane 12.1.1 and later): REST for lists, values, writes and presses,
// a WebSocket for watching values and holding commands, both on one port of one host. The API
// version and every name's id are learnt once per link. No request waits longer than a few seconds
// for a sign of life, and no answer is read past a bound on its size.
class WebApiLink : public SimLink
{
    Q_OBJECT

public:
    // address is HOST:PORT.
    explicit WebApiLink(const QString &address);
    ~WebApiLink() override;

    // Seconds a request may wait without a byte arriving, and a WebSocket request for its result.
    static constexpr int patienceMs = 5000;
    // The largest answer or message read.
    static constexpr qint64 maxAnswerBytes = qint64(64) << 20;

    // The simulator's lists.
    bool dataRefs(std::vector<ApiDocument::DataRef> &list, int &skipped);
    bool commands(std::vector<ApiDocument::Command> &list, int &skipped);
    // The number of elements of each array dataref (an id and its type), as the simulator holds them
    // now, read from the first update of one subscription; an array whose value does not come, or
    // comes in another shape, is left out.
    bool arrayLengths(const std::vector<std::pair<qint64, SimValue::Type>> &arrays, QHash<qint64, int> &lengths);
    // The simulator's version as it names it, once the link has spoken to it.
    QString simulatorVersion() const { return simulator; }

    bool resolve(const QList<Target> &targets, std::vector<Reading> &readings) override;
    bool read(const QList<Target> &targets, std::vector<Reading> &readings) override;
    bool watch(const QList<Target> &targets, const std::vector<Reading> &readings, double seconds,
               const Changed &changed) override;
    bool write(const Target &target, const Reading &reading, const QByteArray &text) override;
    bool run(const QByteArray &command, double holdSeconds) override;

private:
    struct Answer
    {
        int status = 0;
        QByteArray body;
    };
    // Learns the API version; commands need version 2.
    bool begin(bool needsCommands);
    // Asked when a list is empty or a name unknown: false, with a message, when the simulator has
    // no flight loaded, which empties its lists.
    bool flightLoaded();
    // One REST request; false on trouble. An HTTP error status is trouble unless allowed.
    bool request(const QByteArray &verb, const QString &path, const QByteArray &body, Answer &answer,
                 bool allowErrors = false);
    QString apiPath(const QString &rest) const;
    bool answerFault(const QString &what, const QString &reason);
    // Names to ids, by the list's name filter, a batch at a time.
    template<typename Entry>
    bool lookUp(const QString &list, const QList<QByteArray> &names, QHash<QByteArray, Entry> &found);
    bool readValue(qint64 id, SimValue::Type type, SimValue &value);

    // The WebSocket: open, send a request, wait for its result; updates go to onUpdate meanwhile.
    // Starts opening the WebSocket without waiting; openSocket() waits until it is open.
    void startSocket();
    bool openSocket();
    void closeSocket();
    // params is the JSON text of the request's parameters.
    bool socketRequest(const char *type, const QByteArray &params);
    // Runs the event loop until done() holds, the socket fails, ms pass (never when negative) or, when
    // stoppable, stop() is called. False only on trouble.
    bool waitUntil(const std::function<bool()> &done, qint64 ms, bool *timedOut = nullptr, bool stoppable = false);
    void socketMessage(const QString &text);

    const QString address;
    QNetworkAccessManager manager;
    int apiVersion = 0;
    bool canCommand = false;
    QString simulator;
    QHash<QByteArray, ApiDocument::DataRef> knownDataRefs;

    std::unique_ptr<QWebSocket> socket;
    qint64 nextRequestId = 1;
    QHash<qint64, ApiDocument::SocketMessage> results;
    QString socketFault;
    std::function<void(const ApiDocument::SocketMessage &)> onUpdate;
};
