#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Display text of bytes from a reference file: UTF-8, ending at the first NUL byte.
QString decodeText(const QByteArray &bytes);

// One line of a reference list: the path and the tab-separated columns after it, as read.
class Reference
{
public:
    // Returns false for an empty line and then leaves the record as it was.
    bool parse(const QByteArray &line);

    QByteArray path;
    QList<QByteArray> fields;
};
