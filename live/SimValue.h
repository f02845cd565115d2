#pragma once

#include <QByteArray>
#include <QJsonValue>

#include <vector>

// One value of a dataref as the simulator holds it: a number, an array of numbers, or bytes (a
// `data` dataref, usually text padded with NUL bytes).
class SimValue
{
public:
    // The simulator's value types; Other is a type this program does not know.
    enum Type { Int, Float, Double, IntArray, FloatArray, Data, Other };
    // The type named by the API's value_type.
    static Type typeNamed(const QString &name);
    static bool isArray(Type type) { return type == IntArray || type == FloatArray || type == Data; }

    // Reads a value of type from the JSON the API sends; false, with why, for anything else.
    static bool fromJson(const QJsonValue &json, Type type, SimValue &value, QString *reason);
    // Reads a value that a person typed for a dataref of type with count elements: a number, for an
    // array numbers between commas (every element), for `data` a text. index >= 0 is one element.
    static bool fromText(const QByteArray &text, Type type, int index, int count, SimValue &value,
                         QString *reason);

    // The elements: the numbers, or the bytes of `data`.
    int count() const;
    // The element at index, as a value of its own.
    SimValue element(int index) const;
    // The value as JSON text: numbers as the type writes them (an int never as 7.0, a float as its
    // shortest form), arrays as arrays, `data` as its text up to the first NUL byte.
    QByteArray toJson(Type type) const;
    // The same as a person reads it: `data` as its plain text, the rest as in JSON.
    QString toText(Type type) const;
    // The value as the API takes it in a write: `data` as base64.
    QJsonValue toApiJson(Type type) const;

    bool operator==(const SimValue &other) const
    {
        return array == other.array && numbers == other.numbers && bytes == other.bytes;
    }
    bool operator!=(const SimValue &other) const { return !(*this == other); }

    std::vector<double> numbers;
    QByteArray bytes;
    bool array = false;
};
