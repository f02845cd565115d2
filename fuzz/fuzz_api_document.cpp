// An answer or a WebSocket message of the simulator's web API into every reader of its shapes, and
// each value read into the writers of values.
#include "fuzz/FuzzCheck.h"

#include "live/ApiDocument.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include <cstddef>
#include <cstdint>

namespace {

// Whatever a value holds, it is written as JSON that reads back.
void checkValue(const SimValue &value, SimValue::Type type)
{
    const QByteArray json = "[" + value.toJson(type) + "]";
    QJsonParseError error;
    QJsonDocument::fromJson(json, &error);
    FUZZ_CHECK(error.error == QJsonParseError::NoError);
    (void)value.toText(type);
    (void)value.toApiJson(type);
    if (value.count() > 0 && type != SimValue::Data)
        FUZZ_CHECK(value.element(value.count() - 1).count() == 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), int(size));
    QString reason;
    int skipped = 0;

    ApiDocument::Capabilities capabilities;
    if (ApiDocument::readCapabilities(body, capabilities, &reason)) {
        for (const int version : capabilities.versions)
            FUZZ_CHECK(version > 0);
    }
    std::vector<ApiDocument::DataRef> dataRefs;
    if (ApiDocument::readDataRefs(body, dataRefs, skipped, &reason)) {
        for (const ApiDocument::DataRef &dataRef : dataRefs)
            FUZZ_CHECK(dataRef.id >= 0 && ApiDocument::isPathName(dataRef.name));
    } else {
        FUZZ_CHECK(!reason.isEmpty());
    }
    std::vector<ApiDocument::Command> commands;
    if (ApiDocument::readCommands(body, commands, skipped, &reason)) {
        for (const ApiDocument::Command &command : commands)
            FUZZ_CHECK(command.id >= 0 && ApiDocument::isPathName(command.name));
    }
    qint64 count = 0;
    if (ApiDocument::readCount(body, count, &reason))
        FUZZ_CHECK(count >= 0);
    for (int type = SimValue::Int; type <= SimValue::Other; ++type) {
        SimValue value;
        if (ApiDocument::readValue(body, SimValue::Type(type), value, &reason))
            checkValue(value, SimValue::Type(type));
    }
    (void)ApiDocument::readError(body);
    ApiDocument::SocketMessage message;
    if (ApiDocument::readSocketMessage(body, message, &reason)) {
        for (const auto &entry : message.values) {
            FUZZ_CHECK(entry.first >= 0);
            for (int type = SimValue::Int; type <= SimValue::Data; ++type) {
                SimValue value;
                if (SimValue::fromJson(entry.second, SimValue::Type(type), value, &reason))
                    checkValue(value, SimValue::Type(type));
            }
        }
    }
    return 0;
}
