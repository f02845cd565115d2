#include "live/ApiDocument.h"

#include "net/RepeatedKeys.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QVariant>

namespace {

// The JSON object of a body, or false with why.
bool readObject(const QByteArray &body, QJsonObject &object, QString *reason)
{
    QByteArray repeated;
    if (crv_net::findRepeatedKey(body, repeated)) {
        *reason = QStringLiteral("has the key \"%1\" %2")
                      .arg(QString::fromUtf8(repeated.left(64)),
                           repeated.contains('\\') ? QStringLiteral("written with escapes")
                                                   : QStringLiteral("twice in one object"));
        return false;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError) {
        *reason = body.trimmed().startsWith('<')
            ? QStringLiteral("is a web page, not JSON")
            : QStringLiteral("is not JSON (%1 at byte %2)").arg(error.errorString()).arg(error.offset);
        return false;
    }
    if (!document.isObject()) {
        *reason = QStringLiteral("is not a JSON object");
        return false;
    }
    object = document.object();
    return true;
}

// A whole number that fits a qint64, read without a detour through double where the text held one.
bool readWhole(const QJsonValue &json, qint64 &number)
{
    const QVariant variant = json.toVariant();
    if (variant.userType() == QMetaType::LongLong) {
        number = variant.toLongLong();
        return true;
    }
    return false;
}

bool readId(const QJsonObject &entry, int row, qint64 &id, QString *reason)
{
    if (!readWhole(entry.value(QLatin1String("id")), id) || id < 0) {
        *reason = QStringLiteral("has entry %1 without a whole-number \"id\"").arg(row);
        return false;
    }
    return true;
}

bool readName(const QJsonObject &entry, int row, QByteArray &name, QString *reason)
{
    const QJsonValue json = entry.value(QLatin1String("name"));
    if (!json.isString()) {
        *reason = QStringLiteral("has entry %1 without a text \"name\"").arg(row);
        return false;
    }
    name = json.toString().toUtf8();
    return true;
}

// The entries of a list answer: {"data": [{...}, ...]}.
bool readEntries(const QByteArray &body, QJsonArray &entries, QString *reason)
{
    QJsonObject root;
    if (!readObject(body, root, reason))
        return false;
    const QJsonValue data = root.value(QLatin1String("data"));
    if (!data.isArray()) {
        *reason = QStringLiteral("has no \"data\" array");
        return false;
    }
    entries = data.toArray();
    return true;
}

QString errorText(const QJsonObject &object)
{
    const QJsonValue message = object.value(QLatin1String("error_message"));
    const QJsonValue code = object.value(QLatin1String("error_code"));
    QString text = message.isString() ? message.toString().simplified().left(500) : QString();
    const QString codeText = code.isString() ? code.toString().simplified().left(100)
        : code.isDouble()                    ? QString::number(code.toDouble())
                                             : QString();
    if (!codeText.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral(" ")) + QLatin1Char('(') + codeText + QLatin1Char(')');
    return text;
}

} // namespace

bool ApiDocument::isPathName(const QByteArray &name)
{
    if (name.isEmpty())
        return false;
    for (const char c : name) {
        if (uchar(c) <= ' ' || c == 0x7f)
            return false;
    }
    return true;
}

bool ApiDocument::readCapabilities(const QByteArray &body, Capabilities &capabilities, QString *reason)
{
    QJsonObject root;
    if (!readObject(body, root, reason))
        return false;
    const QJsonValue versions = root.value(QLatin1String("api")).toObject().value(QLatin1String("versions"));
    if (!versions.isArray()) {
        *reason = QStringLiteral("has no \"api\" object with a \"versions\" array");
        return false;
    }
    capabilities = Capabilities();
    for (const QJsonValue &version : versions.toArray()) {
        const QString name = version.toString();
        bool ok = false;
        const int number = name.startsWith(QLatin1Char('v')) ? name.mid(1).toInt(&ok) : 0;
        if (!ok || number <= 0) {
            *reason = QStringLiteral("names an API version that is not \"v\" and a number");
            return false;
        }
        capabilities.versions << number;
    }
    const QJsonValue simulator = root.value(QLatin1String("x-plane")).toObject().value(QLatin1String("version"));
    capabilities.simulator = simulator.isString() ? simulator.toString().simplified().left(100) : QString();
    return true;
}

bool ApiDocument::readDataRefs(const QByteArray &body, std::vector<DataRef> &dataRefs, int &skipped, QString *reason)
{
    QJsonArray entries;
    if (!readEntries(body, entries, reason))
        return false;
    dataRefs.clear();
    dataRefs.reserve(size_t(entries.size()));
    skipped = 0;
    for (int row = 0; row < entries.size(); ++row) {
        const QJsonObject entry = entries.at(row).toObject();
        DataRef dataRef;
        if (!readId(entry, row, dataRef.id, reason) || !readName(entry, row, dataRef.name, reason))
            return false;
        const QJsonValue type = entry.value(QLatin1String("value_type"));
        if (!type.isString()) {
            *reason = QStringLiteral("has entry %1 without a text \"value_type\"").arg(row);
            return false;
        }
        dataRef.type = SimValue::typeNamed(type.toString());
        if (dataRef.type == SimValue::Other)
            dataRef.typeName = type.toString().left(100);
        const QJsonValue writable = entry.value(QLatin1String("is_writable"));
        if (!writable.isUndefined() && !writable.isBool()) {
            *reason = QStringLiteral("has entry %1 whose \"is_writable\" is not true or false").arg(row);
            return false;
        }
        dataRef.writable = writable.isUndefined() ? WritableUnknown : writable.toBool() ? IsWritable : NotWritable;
        if (!isPathName(dataRef.name)) {
            ++skipped;
            continue;
        }
        dataRefs.push_back(std::move(dataRef));
    }
    return true;
}

bool ApiDocument::readCommands(const QByteArray &body, std::vector<Command> &commands, int &skipped, QString *reason)
{
    QJsonArray entries;
    if (!readEntries(body, entries, reason))
        return false;
    commands.clear();
    commands.reserve(size_t(entries.size()));
    skipped = 0;
    for (int row = 0; row < entries.size(); ++row) {
        const QJsonObject entry = entries.at(row).toObject();
        Command command;
        if (!readId(entry, row, command.id, reason) || !readName(entry, row, command.name, reason))
            return false;
        const QJsonValue description = entry.value(QLatin1String("description"));
        if (!description.isUndefined() && !description.isString() && !description.isNull()) {
            *reason = QStringLiteral("has entry %1 whose \"description\" is not a text").arg(row);
            return false;
        }
        command.description = description.toString();
        if (!isPathName(command.name)) {
            ++skipped;
            continue;
        }
        commands.push_back(std::move(command));
    }
    return true;
}

bool ApiDocument::readCount(const QByteArray &body, qint64 &count, QString *reason)
{
    QJsonObject root;
    if (!readObject(body, root, reason))
        return false;
    if (!readWhole(root.value(QLatin1String("data")), count) || count < 0) {
        *reason = QStringLiteral("has no \"data\" count");
        return false;
    }
    return true;
}

bool ApiDocument::readValue(const QByteArray &body, SimValue::Type type, SimValue &value, QString *reason)
{
    QJsonObject root;
    if (!readObject(body, root, reason))
        return false;
    const QJsonValue data = root.value(QLatin1String("data"));
    if (data.isUndefined()) {
        *reason = QStringLiteral("has no \"data\" value");
        return false;
    }
    if (!SimValue::fromJson(data, type, value, reason)) {
        *reason = QStringLiteral("holds ") + *reason;
        return false;
    }
    return true;
}

QString ApiDocument::readError(const QByteArray &body)
{
    QJsonObject root;
    QString reason;
    return readObject(body, root, &reason) ? errorText(root) : QString();
}

bool ApiDocument::readSocketMessage(const QByteArray &text, SocketMessage &message, QString *reason)
{
    QJsonObject root;
    if (!readObject(text, root, reason))
        return false;
    message = SocketMessage();
    const QString type = root.value(QLatin1String("type")).toString();
    if (type == QLatin1String("result")) {
        message.kind = SocketMessage::Result;
        const QJsonValue success = root.value(QLatin1String("success"));
        if (!readWhole(root.value(QLatin1String("req_id")), message.requestId) || !success.isBool()) {
            *reason = QStringLiteral("is a result without a whole-number \"req_id\" and a true or false \"success\"");
            return false;
        }
        message.success = success.toBool();
        if (!message.success)
            message.error = errorText(root);
        return true;
    }
    if (type != QLatin1String("dataref_update_values"))
        return true;
    message.kind = SocketMessage::Update;
    const QJsonValue data = root.value(QLatin1String("data"));
    if (!data.isObject()) {
        *reason = QStringLiteral("is an update without a \"data\" object");
        return false;
    }
    const QJsonObject values = data.toObject();
    message.values.reserve(size_t(values.size()));
    for (auto it = values.begin(); it != values.end(); ++it) {
        bool ok = false;
        const qint64 id = it.key().toLongLong(&ok);
        if (!ok || id < 0) {
            *reason = QStringLiteral("is an update whose key \"%1\" is not a dataref id").arg(it.key().left(64));
            return false;
        }
        message.values.emplace_back(id, it.value());
    }
    return true;
}
