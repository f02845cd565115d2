#pragma once

#include "live/SimValue.h"

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <utility>
#include <vector>

// Reads every JSON shape of the simulator's web API: the REST answers (capabilities, the lists of
// datarefs and commands, a count, a value, an error) and the WebSocket messages (a request's
// result, an update of values). Nothing a reply says is trusted: each reader returns false with a
// reason, the end of a sentence that begins "the answer ...", for anything but the promised shape.
class ApiDocument
{
public:
    struct Capabilities
    {
        QList<int> versions; // the API versions offered: 2 for "v2"
        QString simulator; // the simulator's version, as it names it
    };
    enum Writable { NotWritable, IsWritable, WritableUnknown };
    struct DataRef
    {
        qint64 id = 0;
        QByteArray name;
        SimValue::Type type = SimValue::Other;
        QString typeName; // as the API names it, when it is no type this program knows
        Writable writable = WritableUnknown;
    };
    struct Command
    {
        qint64 id = 0;
        QByteArray name;
        QString description;
    };
    struct SocketMessage
    {
        enum Kind { Result, Update, Other };
        Kind kind = Other;
        qint64 requestId = -1;
        bool success = false;
        QString error; // the API's error text of a failed request
        std::vector<std::pair<qint64, QJsonValue>> values; // of an update, by dataref id
    };

    static bool readCapabilities(const QByteArray &body, Capabilities &capabilities, QString *reason);
    // Entries whose names cannot be paths of a list (empty, or holding a blank or a control character)
    // are left out and counted in skipped.
    static bool readDataRefs(const QByteArray &body, std::vector<DataRef> &dataRefs, int &skipped, QString *reason);
    static bool readCommands(const QByteArray &body, std::vector<Command> &commands, int &skipped, QString *reason);
    static bool readCount(const QByteArray &body, qint64 &count, QString *reason);
    static bool readValue(const QByteArray &body, SimValue::Type type, SimValue &value, QString *reason);
    // The error text of an error answer, "message (code)", or empty when the body is not one.
    static QString readError(const QByteArray &body);
    static bool readSocketMessage(const QByteArray &text, SocketMessage &message, QString *reason);

    // Whether name can be the path of a record in a list file.
    static bool isPathName(const QByteArray &name);
};
