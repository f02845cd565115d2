#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// "settings.ini" may be something other than a file, or have been edited by hand, cut short or
// planted. The toolkit decodes a value written as "@Variant(…)" or "@DateTime(…)" from its binary
// stream as soon as any key of its group is read, and a stream that claims a huge count ends the
// program there; this program never writes such a value.

// Removes from ini every entry whose value, or an element of whose list, the toolkit would decode
// from a stream, found as the toolkit cuts the text into lines and unescapes values; their keys go to
// dropped. Returns false, with ini left alone, when there is none.
bool dropStreamedValues(QByteArray &ini, QStringList &dropped);

// Looks at the file at path, following links, before the store reads or writes it, and returns why
// the store must leave it alone in this run, or an empty text when the store may use it. No file at
// all is fine (the store creates it). A regular file is read once and, when it holds values that
// would be decoded from a stream, rewritten without them. Anything else is never opened.
QString prepareStoreFile(const QString &path);
