#include "live/UdpMessage.h"

#include <QtEndian>

#include <cstring>

const char UdpMessage::beaconGroup[] = "239.255.1.1";

namespace {

// The label and its byte: "RREF" and a NUL in what this program sends; what arrives may carry any byte.
constexpr int headBytes = 5;
// The fixed fields of a beacon after its head: two version bytes, host, version, role, port.
constexpr int beaconFixedBytes = 1 + 1 + 4 + 4 + 4 + 2;
// The computer's name field of a beacon.
constexpr int beaconNameBytes = 500;

QByteArray head(const char *label)
{
    return QByteArray(label, 4) + '\0';
}

void appendInt(QByteArray &message, qint32 number)
{
    char bytes[4];
    qToLittleEndian(number, bytes);
    message.append(bytes, 4);
}

// A name in a field of its own size, padded with NUL bytes.
void appendField(QByteArray &message, const QByteArray &name, int size)
{
    message += name.left(size - 1);
    message += QByteArray(size - std::min(name.size(), size - 1), '\0');
}

bool refuse(QString *reason, const char *why)
{
    *reason = QString::fromLatin1(why);
    return false;
}

} // namespace

QByteArray UdpMessage::valueRequest(qint32 frequency, qint32 index, const QByteArray &name)
{
    QByteArray message = head("RREF");
    appendInt(message, frequency);
    appendInt(message, index);
    appendField(message, name, maxRequestName + 1);
    return message;
}

QByteArray UdpMessage::writeRequest(float value, const QByteArray &name)
{
    QByteArray message = head("DREF");
    char bytes[4];
    qToLittleEndian(value, bytes);
    message.append(bytes, 4);
    appendField(message, name, maxWriteName + 1);
    return message;
}

QByteArray UdpMessage::commandRequest(const QByteArray &command)
{
    return head("CMND") + command + '\0';
}

bool UdpMessage::readValues(const QByteArray &packet, std::vector<std::pair<qint32, float>> &values, QString *reason)
{
    values.clear();
    if (packet.size() < headBytes || !packet.startsWith("RREF"))
        return refuse(reason, "is no answer to RREF");
    if (packet.size() > headBytes + maxPairs * 8)
        return refuse(reason, "holds more pairs than one answer can");
    if ((packet.size() - headBytes) % 8 != 0)
        return refuse(reason, "ends inside an index and value pair");
    const char *pair = packet.constData() + headBytes;
    values.reserve(size_t((packet.size() - headBytes) / 8));
    for (; pair < packet.constData() + packet.size(); pair += 8)
        values.emplace_back(qFromLittleEndian<qint32>(pair), qFromLittleEndian<float>(pair + 4));
    return true;
}

bool UdpMessage::readBeacon(const QByteArray &packet, Beacon &beacon, QString *reason)
{
    beacon = Beacon();
    if (packet.size() < headBytes || !packet.startsWith("BECN"))
        return refuse(reason, "is no beacon");
    if (packet.size() > maxPacketBytes)
        return refuse(reason, "is longer than a beacon");
    if (packet.size() < headBytes + beaconFixedBytes)
        return refuse(reason, "ends before the beacon's fields");
    const char *field = packet.constData() + headBytes;
    beacon.majorVersion = quint8(field[0]);
    // A beacon of another major version may say anything after its version.
    if (beacon.majorVersion != 1)
        return refuse(reason, "is a beacon of a version this program does not read");
    beacon.minorVersion = quint8(field[1]);
    beacon.hostId = qFromLittleEndian<qint32>(field + 2);
    beacon.version = qFromLittleEndian<qint32>(field + 6);
    beacon.role = qFromLittleEndian<quint32>(field + 10);
    beacon.port = qFromLittleEndian<quint16>(field + 14);
    const char *name = field + beaconFixedBytes;
    const int room = std::min(int(packet.constData() + packet.size() - name), beaconNameBytes);
    const char *end = static_cast<const char *>(std::memchr(name, '\0', size_t(room)));
    if (!end)
        return refuse(reason, "holds a computer's name without its end");
    if (beacon.port == 0)
        return refuse(reason, "names no port");
    beacon.name = QString::fromUtf8(name, int(end - name));
    for (QChar &c : beacon.name) {
        const ushort code = c.unicode();
        if (code < 0x20 || (code >= 0x7f && code < 0xa0) || code == 0x2028 || code == 0x2029)
            c = QChar(QChar::ReplacementCharacter);
    }
    return true;
}

QString UdpMessage::programText(const Beacon &beacon)
{
    const QString program = beacon.hostId == 1 ? QStringLiteral("X-Plane")
        : beacon.hostId == 2                   ? QStringLiteral("PlaneMaker")
                                               : QStringLiteral("program %1").arg(beacon.hostId);
    if (beacon.version <= 0)
        return program + QStringLiteral(" (%1)").arg(beacon.version);
    return QStringLiteral("%1 %2.%3 (%4)")
        .arg(program)
        .arg(beacon.version / 10000)
        .arg(beacon.version / 100 % 100, 2, 10, QLatin1Char('0'))
        .arg(beacon.version);
}

QString UdpMessage::roleText(quint32 role)
{
    switch (role) {
    case Master:
        return QStringLiteral("master");
    case ExternalVisual:
        return QStringLiteral("external visual");
    case Ios:
        return QStringLiteral("IOS");
    default:
        return QStringLiteral("role %1").arg(role);
    }
}
