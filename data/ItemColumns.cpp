#include "data/ItemColumns.h"

#include "data/ReferenceList.h"

#include <QString>

namespace ItemColumns {

int count(int32_t kind)
{
    switch (kind) {
    case DataRefs:
        return 5;
    case Commands:
        return 2;
    default:
        return 1;
    }
}

QVariant headerText(int32_t kind, int section)
{
    static const char *const dataRefs[] = {"Data ref", "Type", "Writable", "Units", "Description"};
    static const char *const commands[] = {"Command", "Description"};
    if (section < 0 || section >= count(kind))
        return QVariant();
    if (kind == DataRefs)
        return QString::fromLatin1(dataRefs[section]);
    if (kind == Commands)
        return QString::fromLatin1(commands[section]);
    return QVariant();
}

} // namespace ItemColumns
