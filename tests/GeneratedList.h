#pragma once

#include "data/ReferenceList.h"

#include <QByteArray>

#include <algorithm>

// A list shaped like a real datarefs list: a few deep areas, wide and narrow branches, a path that
// is also a prefix, a duplicate, an empty segment and a trailing slash. Sorted like a loaded list.
inline ReferenceList generatedList(int records)
{
    static const char *const areas[]
        = {"aircraft", "cockpit", "cockpit2", "flightmodel", "weather", "operation"};
    static const char *const groups[] = {"autopilot", "engine", "electrical", "gear", "controls"};
    ReferenceList list;
    list.kind = DataRefs;
    for (int i = 0; i < records; ++i) {
        QByteArray path = QByteArray("sim/") + areas[i % 6] + '/' + groups[(i / 6) % 5];
        if (i % 4 != 0)
            path += "/item" + QByteArray::number(i % 97);
        if (i % 11 == 0)
            path += "/deep/er";
        Reference record;
        record.parse(path + "\tfloat\ty\tunits\tDescription " + QByteArray::number(i));
        list.references.push_back(record);
    }
    for (const char *line : {"sim/odd//empty\tint", "sim/odd/trailing/\tint\tn", "sim/aircraft\tbyte"}) {
        Reference record;
        record.parse(line);
        list.references.push_back(record);
    }
    std::sort(list.references.begin(), list.references.end(),
              [](const Reference &a, const Reference &b) { return a.path < b.path; });
    return list;
}
