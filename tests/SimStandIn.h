#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <vector>

class QTcpServer;
class QTcpSocket;
class QUdpSocket;
class QWebSocket;
class QWebSocketServer;

// A stand-in for a running X-Plane's web API on 127.0.0.1: REST and WebSocket on one port, as the
// simulator serves them, with a list, values, writes, presses and holds, and the troubles a real one
// can give; and for its UDP messages on a port of their own: values asked for with RREF answered at
// their rate (numbers and array elements; a name it does not know, data and a whole array never),
// DREF and CMND logged, beacons sent where asked. It works on the thread that makes it, whose event
// loop must run.
class SimStandIn : public QObject
{
    Q_OBJECT

public:
    struct DataRef
    {
        qint64 id;
        QByteArray name;
        QString type; // the API's value_type
        QJsonValue value;
        int writable = 1; // 0 read-only, -1 not told
    };
    struct Command
    {
        qint64 id;
        QByteArray name;
        QString description;
    };
    struct Reply
    {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json";
    };

    explicit SimStandIn(QObject *parent = nullptr);
    ~SimStandIn() override;

    quint16 port() const;
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(port()); }

    std::vector<DataRef> dataRefs;
    std::vector<Command> commands;
    // Before 12.1.4: no capabilities, no commands, only /api/v1.
    bool v1Only = false;
    // Incoming traffic disabled: every request a 403 with a web page.
    bool forbidden = false;
    // Accepts connections and never answers.
    bool silent = false;
    // Answers for paths (without query) in place of the simulator's own.
    QHash<QByteArray, Reply> replies;
    // Sent in place of the first update of a subscription.
    QByteArray firstUpdate;
    // Updates sent right after the first one of a subscription: dataref id and new value. Over UDP,
    // one made after each round of answers.
    QList<QList<QPair<qint64, QJsonValue>>> changes;
    // What the simulator was asked to do: "PATCH id json", "activate id duration", "hold id",
    // "release id", "released by close id".
    QStringList log;

    // Changes count values (the first ones of the list; of an array its first element) every ms
    // milliseconds, sending them to every subscriber as the simulator does, 10 times a second.
    void changeEvery(int ms, int count);

    quint16 udpPort() const;
    QString udpAddress() const { return QStringLiteral("127.0.0.1:%1").arg(udpPort()); }
    // Reads every UDP request and answers none.
    bool udpSilent = false;
    // Before its first answers to a client, sends what the client must not take for values: a short,
    // an odd and an oversized answer, one of indexes not asked for, and with fromElsewhere one from
    // another address (127.0.0.2). False when that address cannot be had.
    bool beHostile(bool fromElsewhere);
    struct Beacon
    {
        quint32 role;
        QByteArray computer;
        quint16 port = 0; // where it says the simulator listens; 0 for the UDP port
    };
    // Sends the beacons ten times a second to 127.0.0.1:port, with two that a listener must refuse.
    void announce(quint16 port, const QList<Beacon> &beacons);
    // The values asked for with RREF and not stopped yet, "index name", once every request that
    // waits unread is read.
    QStringList runningValues();
    // The most RREF requests that came between two requests of the UDP link's check dataref.
    int largestBatch = 0;

private:
    void accept();
    void readRequest(QTcpSocket *socket);
    Reply answer(const QByteArray &method, const QByteArray &target, const QByteArray &body);
    void socketConnected();
    void socketMessage(QWebSocket *socket, const QString &text);
    void sendUpdate(QWebSocket *socket, const QList<qint64> &ids);
    DataRef *dataRef(qint64 id);
    void tick();

    QTcpServer *server;
    QWebSocketServer *sockets;
    QHash<QWebSocket *, QSet<qint64>> subscriptions;
    QHash<QWebSocket *, QSet<qint64>> holds;
    QHash<QByteArray, QByteArray> listBodies; // of the unfiltered lists, by path
    QHash<qint64, size_t> places; // of the datarefs in their list, by id
    QTimer ticker;
    int changing = 0;
    qint64 tickCount = 0;

    struct Asked
    {
        QByteArray name;
        qint64 period;
        qint64 due;
    };
    struct Client
    {
        QHostAddress address;
        quint16 port;
        QMap<qint32, Asked> asked; // answered in the order of their indexes
        bool tricked = false;
    };
    // The dataref of path or path[element]; element -1 for the path alone.
    DataRef *dataRefNamed(const QByteArray &name, int &element);
    void readUdp();
    void answerUdp();
    void trick(const Client &client, const QByteArray &wrong);
    bool udpValue(const QByteArray &name, float &value);
    QUdpSocket *udp;
    bool hostile = false;
    QUdpSocket *impostor = nullptr;
    QUdpSocket *beaconSender = nullptr;
    QTimer udpTicker;
    QTimer beaconTicker;
    QElapsedTimer udpClock;
    QHash<QString, Client> clients;
    QHash<QByteArray, size_t> byName; // of the datarefs in their list
    int sinceCheck = 0;
    int udpRounds = 0;
};
