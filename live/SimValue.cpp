#include "live/SimValue.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QString>

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

// The largest magnitude up to which every whole double is exact, and so prints as an integer.
constexpr double exactWhole = 9007199254740992.0;

QByteArray numberText(double number, SimValue::Type type)
{
    // JSON has no NaN or infinity, which a float32 from UDP may hold.
    if (!std::isfinite(number))
        return "null";
    char buffer[64];
    std::to_chars_result end {};
    if ((type == SimValue::Int || type == SimValue::IntArray) && std::floor(number) == number
        && std::fabs(number) <= exactWhole) {
        end = std::to_chars(buffer, buffer + sizeof buffer, static_cast<long long>(number));
    } else if ((type == SimValue::Float || type == SimValue::FloatArray) && std::isfinite(float(number))) {
        // The simulator keeps a float; its shortest form is what a person typed or reads in a file.
        end = std::to_chars(buffer, buffer + sizeof buffer, float(number));
    } else {
        end = std::to_chars(buffer, buffer + sizeof buffer, number);
    }
    return QByteArray(buffer, int(end.ptr - buffer));
}

// A JSON number the simulator sent, checked against the type it promised.
bool readNumber(const QJsonValue &json, SimValue::Type type, double &number, QString *reason)
{
    if (!json.isDouble()) {
        *reason = QStringLiteral("a value that is not a number");
        return false;
    }
    number = json.toDouble();
    if ((type == SimValue::Int || type == SimValue::IntArray)
        && (std::floor(number) != number || std::fabs(number) > exactWhole)) {
        *reason = QStringLiteral("an int value that is not a whole number");
        return false;
    }
    return true;
}

bool readTypedNumber(const QByteArray &text, SimValue::Type type, double &number, QString *reason)
{
    bool ok = false;
    number = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(number)) {
        *reason = QStringLiteral("\"%1\" is not a number").arg(QString::fromUtf8(text));
        return false;
    }
    if (type == SimValue::Int || type == SimValue::IntArray) {
        if (std::floor(number) != number || number < -2147483648.0 || number > 2147483647.0) {
            *reason = QStringLiteral("\"%1\" is not a whole number an int holds").arg(QString::fromUtf8(text));
            return false;
        }
    } else if ((type == SimValue::Float || type == SimValue::FloatArray) && !std::isfinite(float(number))) {
        *reason = QStringLiteral("\"%1\" is too large for a float").arg(QString::fromUtf8(text));
        return false;
    }
    return true;
}

} // namespace

SimValue::Type SimValue::typeNamed(const QString &name)
{
    static const char *const names[] = {"int", "float", "double", "int_array", "float_array", "data"};
    for (int i = 0; i < 6; ++i) {
        if (name == QLatin1String(names[i]))
            return Type(i);
    }
    return Other;
}

bool SimValue::fromJson(const QJsonValue &json, Type type, SimValue &value, QString *reason)
{
    value = SimValue();
    switch (type) {
    case Other:
        *reason = QStringLiteral("a value of a type this program does not know");
        return false;
    case Int:
    case Float:
    case Double: {
        double number = 0;
        if (!readNumber(json, type, number, reason))
            return false;
        value.numbers.push_back(number);
        return true;
    }
    case IntArray:
    case FloatArray: {
        if (!json.isArray()) {
            *reason = QStringLiteral("an array value that is not an array");
            return false;
        }
        const QJsonArray elements = json.toArray();
        value.array = true;
        value.numbers.reserve(size_t(elements.size()));
        for (const QJsonValue &element : elements) {
            double number = 0;
            if (!readNumber(element, type, number, reason))
                return false;
            value.numbers.push_back(number);
        }
        return true;
    }
    case Data: {
        if (!json.isString()) {
            *reason = QStringLiteral("a data value that is not a text");
            return false;
        }
        const auto decoded = QByteArray::fromBase64Encoding(json.toString().toLatin1(),
                                                            QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) {
            *reason = QStringLiteral("a data value that is not base64");
            return false;
        }
        value.bytes = *decoded;
        value.array = true;
        return true;
    }
    }
    return false;
}

bool SimValue::fromText(const QByteArray &text, Type type, int index, int count, SimValue &value, QString *reason)
{
    value = SimValue();
    if (type == Data) {
        if (index >= 0) {
            *reason = QStringLiteral("a data dataref takes a text, without an index");
            return false;
        }
        value.bytes = text;
        value.array = true;
        return true;
    }
    if (type == Other) {
        *reason = QStringLiteral("its type is not one this program can write");
        return false;
    }
    const QList<QByteArray> parts = isArray(type) && index < 0 ? text.split(',') : QList<QByteArray> {text};
    if (isArray(type) && index < 0 && parts.size() != count) {
        *reason = QStringLiteral("it holds %1 elements, and %2 were given").arg(count).arg(parts.size());
        return false;
    }
    for (const QByteArray &part : parts) {
        double number = 0;
        if (!readTypedNumber(part, type, number, reason))
            return false;
        value.numbers.push_back(number);
    }
    value.array = isArray(type) && index < 0;
    return true;
}

int SimValue::count() const
{
    return bytes.isEmpty() ? int(numbers.size()) : bytes.size();
}

SimValue SimValue::element(int index) const
{
    SimValue one;
    if (index >= 0 && size_t(index) < numbers.size())
        one.numbers.push_back(numbers[size_t(index)]);
    return one;
}

QByteArray SimValue::toJson(Type type) const
{
    if (type == Data) {
        const QByteArray array = QJsonDocument(QJsonArray {QJsonValue(toText(Data))}).toJson(QJsonDocument::Compact);
        return array.mid(1, array.size() - 2);
    }
    if (!array)
        return numbers.empty() ? QByteArray("null") : numberText(numbers.front(), type);
    QByteArray json = "[";
    for (size_t i = 0; i < numbers.size(); ++i) {
        if (i > 0)
            json += ',';
        json += numberText(numbers[i], type);
    }
    return json + ']';
}

QString SimValue::toText(Type type) const
{
    if (type != Data)
        return QString::fromLatin1(toJson(type));
    const char *nul = static_cast<const char *>(std::memchr(bytes.constData(), '\0', size_t(bytes.size())));
    return QString::fromUtf8(bytes.constData(), nul ? int(nul - bytes.constData()) : bytes.size());
}

QJsonValue SimValue::toApiJson(Type type) const
{
    if (type == Data)
        return QJsonValue(QString::fromLatin1(bytes.toBase64()));
    if (!array)
        return numbers.empty() ? QJsonValue() : QJsonValue(numbers.front());
    QJsonArray elements;
    for (const double number : numbers)
        elements.append(number);
    return elements;
}
