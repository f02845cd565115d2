#include "live/UdpLink.h"

#include <QHostInfo>
#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <cmath>
#include <cstring>

const char UdpLink::checkName[] = "sim/time/total_running_time_sec";

namespace {

QString quoted(const QByteArray &name)
{
    return QLatin1Char('"') + QString::fromUtf8(name) + QLatin1Char('"');
}

// The address a datagram came from, an IPv4 one as such even when it came through an IPv6 socket.
QHostAddress plain(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : address;
}

quint32 bitsOf(float value)
{
    quint32 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

} // namespace

UdpLink::UdpLink(const QString &address, quint16 beaconPort)
    : address(address)
    , beaconPort(beaconPort)
{
}

UdpLink::~UdpLink()
{
    // Whatever a way out left asked for is stopped, at once: the simulator would keep sending it.
    if (socket) {
        for (const qint32 index : qAsConst(running))
            send(UdpMessage::valueRequest(0, index, nameOf(index)));
    }
}

bool UdpLink::splitAddress(const QString &address, QString &host, quint16 &port)
{
    host = address;
    port = UdpMessage::simulatorPort;
    const int colon = address.lastIndexOf(QLatin1Char(':'));
    // An IPv6 address holds colons of its own: its port follows a bracket.
    const bool bracketed = address.startsWith(QLatin1Char('['));
    if (colon > 0 && (bracketed ? address.at(colon - 1) == QLatin1Char(']') : address.indexOf(QLatin1Char(':')) == colon)) {
        bool ok = false;
        const uint number = address.mid(colon + 1).toUInt(&ok);
        if (!ok || number < 1 || number > 65535)
            return false;
        port = quint16(number);
        host = address.left(colon);
    }
    if (bracketed) {
        if (!host.endsWith(QLatin1Char(']')))
            return false;
        host = host.mid(1, host.size() - 2);
    }
    static const QString forbidden = QStringLiteral("/@ \t[]");
    return !host.isEmpty() && std::none_of(host.begin(), host.end(), [](QChar c) { return forbidden.contains(c); });
}

bool UdpLink::listen(qint64 ms, const std::function<bool(const QHostAddress &, const UdpMessage::Beacon &)> &heard)
{
    QUdpSocket beacons;
    // Other tools may listen for the same beacons: the port is shared.
    if (!beacons.bind(QHostAddress::AnyIPv4, beaconPort, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        return fail(QStringLiteral("cannot listen for the simulators' beacons on UDP port %1: %2")
                        .arg(beaconPort)
                        .arg(beacons.errorString()));
    }
    groupFault.clear();
    if (!beacons.joinMulticastGroup(QHostAddress(QString::fromLatin1(UdpMessage::beaconGroup))))
        groupFault = beacons.errorString();
    bool enough = false;
    connect(&beacons, &QUdpSocket::readyRead, this, [&] {
        while (beacons.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = beacons.receiveDatagram(UdpMessage::maxPacketBytes + 1);
            UdpMessage::Beacon beacon;
            QString reason;
            if (!enough && UdpMessage::readBeacon(datagram.data(), beacon, &reason))
                enough = !heard(plain(datagram.senderAddress()), beacon);
        }
        wake();
    });
    runUntil([&] { return enough; }, ms, true);
    beacons.disconnect(this);
    return true;
}

bool UdpLink::findMaster()
{
    bool found = false;
    if (!listen(patienceMs, [&](const QHostAddress &from, const UdpMessage::Beacon &beacon) {
            if (beacon.role != UdpMessage::Master || beacon.hostId != 1)
                return true;
            host = from;
            port = beacon.port;
            found = true;
            return false;
        }))
        return false;
    if (stopped)
        return fail(QStringLiteral("interrupted while looking for a simulator"));
    if (!found) {
        return fail(QStringLiteral("no X-Plane announced itself as a master within %1 s on this network: give its "
                                   "address with --udp HOST%2")
                        .arg(patienceMs / 1000)
                        .arg(groupFault.isEmpty() ? QString()
                                                  : QStringLiteral(" (cannot join the beacons' multicast group: %1)").arg(groupFault)));
    }
    return true;
}

bool UdpLink::lookUp(const QString &name)
{
    if (host.setAddress(name))
        return true;
    bool done = false;
    QHostInfo info;
    const int id = QHostInfo::lookupHost(name, this, [&](const QHostInfo &answer) {
        info = answer;
        done = true;
        wake();
    });
    if (!runUntil([&] { return done; }, patienceMs, true)) {
        QHostInfo::abortHostLookup(id);
        return fail(stopped ? QStringLiteral("interrupted while looking up %1").arg(name)
                            : QStringLiteral("cannot look up %1 within %2 s").arg(name).arg(patienceMs / 1000));
    }
    const QList<QHostAddress> found = info.addresses();
    const auto v4 = std::find_if(found.begin(), found.end(),
                                 [](const QHostAddress &each) { return each.protocol() == QAbstractSocket::IPv4Protocol; });
    if (found.isEmpty())
        return fail(QStringLiteral("cannot find the host %1: give the simulator's address with --udp HOST").arg(name));
    host = v4 != found.end() ? *v4 : found.first();
    return true;
}

bool UdpLink::begin()
{
    if (socket)
        return true;
    QString name;
    if (address.isEmpty() ? !findMaster() : !splitAddress(address, name, port) || !lookUp(name))
        return lastError.isEmpty() ? fail(QStringLiteral("%1 is no HOST or HOST:PORT").arg(address)) : false;
    where = (host.protocol() == QAbstractSocket::IPv6Protocol ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2"))
                .arg(host.toString())
                .arg(port);
    socket = std::make_unique<QUdpSocket>();
    if (!socket->bind(QHostAddress(host.protocol() == QAbstractSocket::IPv6Protocol ? QHostAddress::AnyIPv6 : QHostAddress::AnyIPv4), 0))
        return fail(QStringLiteral("cannot open a UDP socket: %1").arg(socket->errorString()));
    // Hundreds of values come ten times a second, some packets at once.
    socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1 << 20);
    connect(socket.get(), &QUdpSocket::readyRead, this, &UdpLink::readPending);
    return true;
}

bool UdpLink::send(const QByteArray &message)
{
    if (socket->writeDatagram(message, host, port) == message.size())
        return true;
    if (socketFault.isEmpty())
        socketFault = QStringLiteral("cannot send to %1: %2").arg(where, socket->errorString());
    return false;
}

void UdpLink::readPending()
{
    std::vector<std::pair<qint32, float>> values;
    QString reason;
    while (socket->hasPendingDatagrams()) {
        // A longer packet is cut here, and refused as no answer.
        const QNetworkDatagram datagram = socket->receiveDatagram(UdpMessage::maxPacketBytes + 1);
        if (!host.isEqual(datagram.senderAddress(), QHostAddress::TolerantConversion)
            || !UdpMessage::readValues(datagram.data(), values, &reason))
            continue;
        for (const auto &value : values) {
            if (!running.contains(value.first))
                continue;
            heard = true;
            if (value.first >= names.size())
                checksAnswered.insert(value.first);
            else if (onValue)
                onValue(value.first, value.second);
        }
    }
    wake();
}

QByteArray UdpLink::nameOf(qint32 index) const
{
    return index < names.size() ? names.at(index) : QByteArray(checkName);
}

qint32 UdpLink::indexOf(const Target &target)
{
    const QByteArray name = target.index < 0 ? target.path : target.path + '[' + QByteArray::number(target.index) + ']';
    const auto known = indexes.constFind(name);
    if (known != indexes.constEnd())
        return *known;
    names << name;
    indexes.insert(name, qint32(names.size() - 1));
    return qint32(names.size() - 1);
}

bool UdpLink::request(const std::vector<qint32> &asked, qint32 frequency)
{
    for (size_t first = 0; first < asked.size(); first += batchSize) {
        for (size_t i = first; i < std::min(asked.size(), first + batchSize); ++i) {
            const qint32 index = asked[i];
            if (frequency > 0)
                running.insert(index);
            if (!send(UdpMessage::valueRequest(frequency, index, names.at(index))))
                return false;
            if (frequency == 0)
                running.remove(index);
        }
        // The simulator reads what it is sent in order: once the check sent after a batch is
        // answered, the batch has been read, and the next cannot overflow what it has not read yet.
        const qint32 check = nextCheck++;
        running.insert(check);
        if (!send(UdpMessage::valueRequest(rate, check, checkName)))
            return false;
        runUntil([&] { return checksAnswered.contains(check) || !socketFault.isEmpty(); }, batchWaitMs, false);
        if (!send(UdpMessage::valueRequest(0, check, checkName)))
            return false;
        running.remove(check);
    }
    return true;
}

bool UdpLink::stopAll()
{
    std::vector<qint32> asked;
    for (const qint32 index : qAsConst(running)) {
        if (index < names.size())
            asked.push_back(index);
    }
    std::sort(asked.begin(), asked.end());
    const bool stoppedAll = request(asked, 0);
    // What a failed send left behind, once more.
    for (const qint32 index : QSet<qint32>(running)) {
        if (send(UdpMessage::valueRequest(0, index, nameOf(index))))
            running.remove(index);
    }
    return stoppedAll && running.isEmpty();
}

QString UdpLink::silence() const
{
    return QStringLiteral("X-Plane at %1 sent nothing within %2 s: is it running there, and does it accept incoming "
                          "connections (its Settings, Network)?")
        .arg(where)
        .arg(patienceMs / 1000);
}

bool UdpLink::resolve(const QList<Target> &targets, std::vector<Reading> &readings)
{
    if (!begin())
        return false;
    readings.assign(size_t(targets.size()), Reading());
    for (int i = 0; i < targets.size(); ++i) {
        Reading &reading = readings[size_t(i)];
        // Every value comes as a float32, whatever the dataref's type; a whole one prints as such.
        reading.type = SimValue::Float;
        if (names.at(indexOf(targets.at(i))).size() > UdpMessage::maxRequestName)
            reading.problem = QStringLiteral("longer than the %1 bytes a UDP request carries").arg(UdpMessage::maxRequestName);
    }
    return true;
}

bool UdpLink::read(const QList<Target> &targets, std::vector<Reading> &readings)
{
    QHash<qint32, float> values;
    std::vector<qint32> asked;
    for (int i = 0; i < targets.size(); ++i) {
        const qint32 index = indexOf(targets.at(i));
        if (readings[size_t(i)].problem.isEmpty() && std::find(asked.begin(), asked.end(), index) == asked.end())
            asked.push_back(index);
    }
    if (asked.empty())
        return true;
    onValue = [&](qint32 index, float value) {
        if (!values.contains(index))
            values.insert(index, value);
    };
    const bool asking = request(asked, rate);
    const bool answered = asking
        && runUntil([&] { return size_t(values.size()) >= asked.size() || !socketFault.isEmpty(); }, patienceMs, true);
    onValue = nullptr;
    const bool ended = stopAll();
    if (!socketFault.isEmpty() || !ended)
        return fail(socketFault.isEmpty() ? QStringLiteral("cannot stop the values asked of %1").arg(where) : socketFault);
    if (!answered && stopped)
        return fail(QStringLiteral("interrupted before every value came"));
    if (!heard)
        return fail(silence());
    for (int i = 0; i < targets.size(); ++i) {
        Reading &reading = readings[size_t(i)];
        const auto value = values.constFind(indexOf(targets.at(i)));
        if (!reading.problem.isEmpty())
            continue;
        if (value == values.constEnd())
            reading.problem = QStringLiteral("no answer within %1 s: not a dataref the simulator knows, or one UDP "
                                             "cannot carry")
                                  .arg(patienceMs / 1000);
        else
            reading.value.numbers = {double(*value)};
    }
    return true;
}

bool UdpLink::watch(const QList<Target> &targets, const std::vector<Reading> &readings, double seconds,
                    const Changed &changed)
{
    QHash<qint32, QList<int>> watchers; // the targets of each request
    std::vector<qint32> asked;
    for (int i = 0; i < targets.size(); ++i) {
        if (!readings[size_t(i)].problem.isEmpty())
            continue;
        const qint32 index = indexOf(targets.at(i));
        if (!watchers.contains(index))
            asked.push_back(index);
        watchers[index] << i;
    }
    if (asked.empty())
        return true;
    std::vector<quint32> last(size_t(targets.size()));
    std::vector<bool> seen(size_t(targets.size()), false);
    bool ended = false;
    onValue = [&](qint32 index, float value) {
        for (const int i : watchers.value(index)) {
            if (ended || (seen[size_t(i)] && last[size_t(i)] == bitsOf(value)))
                continue;
            seen[size_t(i)] = true;
            last[size_t(i)] = bitsOf(value);
            SimValue one;
            one.numbers = {double(value)};
            ended = !changed(i, one);
        }
    };
    // Once the patience is over, the simulator is trouble if it sent nothing, and each name it did
    // not answer is told.
    bool silent = false;
    QTimer patience;
    patience.setSingleShot(true);
    connect(&patience, &QTimer::timeout, this, [&] {
        silent = !heard;
        for (int i = 0; i < targets.size() && !silent; ++i) {
            if (readings[size_t(i)].problem.isEmpty() && !seen[size_t(i)])
                emit unanswered(i);
        }
        wake();
    });
    const bool asking = request(asked, rate);
    if (asking) {
        patience.start(patienceMs);
        runUntil([&] { return ended || silent || !socketFault.isEmpty(); },
                 seconds < 0 ? -1 : qint64(std::ceil(seconds * 1000)), true);
    }
    patience.stop();
    onValue = nullptr;
    const bool endedAll = stopAll();
    if (!socketFault.isEmpty() || !endedAll)
        return fail(socketFault.isEmpty() ? QStringLiteral("cannot stop the values asked of %1").arg(where) : socketFault);
    if (silent || (!heard && !stopped && !ended))
        return fail(silence());
    return true;
}

bool UdpLink::write(const Target &target, const Reading &reading, const QByteArray &text)
{
    Q_UNUSED(reading);
    SimValue value;
    QString reason;
    if (!SimValue::fromText(text, SimValue::Float, -1, 1, value, &reason)) {
        return fail(QStringLiteral("cannot write %1 to %2: %3 (over UDP a value is one number); nothing was written")
                        .arg(quoted(text), quoted(target.given), reason));
    }
    const QByteArray name = names.at(indexOf(target));
    if (name.size() > UdpMessage::maxWriteName)
        return fail(QStringLiteral("%1 is longer than the %2 bytes a UDP write carries").arg(quoted(target.given)).arg(UdpMessage::maxWriteName));
    if (!begin())
        return false;
    return send(UdpMessage::writeRequest(float(value.numbers.front()), name)) || fail(socketFault);
}

bool UdpLink::run(const QByteArray &command, double holdSeconds)
{
    if (holdSeconds > 0) {
        return fail(QStringLiteral("holding a command needs the web API (X-Plane 12.1.4 or later): over UDP a command "
                                   "is pressed and released at once"));
    }
    if (command.isEmpty() || command.contains('\0'))
        return fail(QStringLiteral("%1 is no command").arg(quoted(command)));
    if (!begin())
        return false;
    return send(UdpMessage::commandRequest(command)) || fail(socketFault);
}
