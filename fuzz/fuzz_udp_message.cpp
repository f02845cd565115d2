// A packet of X-Plane's UDP messages into both readers (values answered to RREF, a beacon), each
// value into the writers of values, and the packet's bytes as a name into the requests.
#include "fuzz/FuzzCheck.h"

#include "live/SimValue.h"
#include "live/UdpMessage.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray packet(reinterpret_cast<const char *>(data), int(size));
    QString reason;

    std::vector<std::pair<qint32, float>> values;
    if (UdpMessage::readValues(packet, values, &reason)) {
        FUZZ_CHECK(values.size() <= size_t(UdpMessage::maxPairs) && size == 5 + 8 * values.size());
        for (const auto &value : values) {
            // Whatever float comes, it is written as JSON that reads back.
            SimValue one;
            one.numbers = {double(value.second)};
            QJsonParseError error;
            QJsonDocument::fromJson("[" + one.toJson(SimValue::Float) + "]", &error);
            FUZZ_CHECK(error.error == QJsonParseError::NoError);
        }
    } else {
        FUZZ_CHECK(values.empty() && !reason.isEmpty());
    }

    UdpMessage::Beacon beacon;
    if (UdpMessage::readBeacon(packet, beacon, &reason)) {
        FUZZ_CHECK(beacon.majorVersion == 1 && beacon.port != 0 && size <= size_t(UdpMessage::maxPacketBytes));
        for (const QChar c : beacon.name)
            FUZZ_CHECK(c.unicode() >= 0x20 && c.unicode() != 0x7f);
        FUZZ_CHECK(!UdpMessage::programText(beacon).isEmpty() && !UdpMessage::roleText(beacon.role).isEmpty());
    } else {
        FUZZ_CHECK(!reason.isEmpty());
    }

    // Requests keep their sizes whatever the name; a name is cut, never spilt into the next field.
    FUZZ_CHECK(UdpMessage::valueRequest(10, 0, packet).size() == 413);
    FUZZ_CHECK(UdpMessage::writeRequest(1.0f, packet).size() == 509);
    FUZZ_CHECK(UdpMessage::commandRequest(packet).endsWith('\0'));
    return 0;
}
