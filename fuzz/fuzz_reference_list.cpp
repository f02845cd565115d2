// A whole reference file: read as the loader reads it, built into the tree, every node's full path,
// and both models walked as a view walks them.
#include "fuzz/FuzzCheck.h"
#include "fuzz/ModelWalk.h"

#include "data/ListModel.h"
#include "data/ReferenceList.h"
#include "data/TreeItem.h"
#include "data/TreeModel.h"

#include <QByteArray>
#include <QSet>
#include <QStringList>
#include <QVector>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// The full path as the segments from the top say it: empty names at the end add nothing.
QString expectedPath(QStringList segments)
{
    while (!segments.isEmpty() && segments.last().isEmpty())
        segments.removeLast();
    return segments.join(QLatin1Char('/'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), int(size));
    ReferenceList list;
    list.parse(content);
    FUZZ_CHECK(list.kind == DataRefs || list.kind == Commands);
    FUZZ_CHECK(list.references.size() <= size_t(content.count('\n')) + 1);
    for (size_t i = 1; i < list.references.size(); ++i)
        FUZZ_CHECK(!(list.references[i].path < list.references[i - 1].path));

    // The search finds exactly the records whose path or one field holds the text, in list order.
    const QByteArray text = content.left(1 + int(size % 4));
    const std::vector<const Reference *> found = list.matching(text);
    size_t next = 0;
    for (const Reference &record : list.references) {
        bool holds = record.path.contains(text);
        for (const ByteString &field : record.fields)
            holds = holds || field.contains(text);
        if (holds && !text.isEmpty()) {
            FUZZ_CHECK(next < found.size() && found[next] == &record);
            ++next;
        }
    }
    FUZZ_CHECK(next == found.size());

    TreeModel treeModel(&list);
    QSet<QString> fullPaths;
    struct Pending
    {
        const TreeItem *node;
        QStringList segments;
    };
    QVector<Pending> pending {{treeModel.rootItem.get(), {}}};
    while (!pending.isEmpty()) {
        const Pending next = pending.takeLast();
        QSet<QString> names; // a name is found again, never made twice under one node
        for (size_t row = 0; row < next.node->childCount(); ++row) {
            const TreeItem *child = next.node->child(row);
            FUZZ_CHECK(child->parent() == next.node);
            FUZZ_CHECK(!names.contains(child->name));
            names.insert(child->name);
            QStringList segments = next.segments;
            segments.append(child->name);
            const QString path = child->fullPath();
            FUZZ_CHECK(path == expectedPath(segments));
            fullPaths.insert(path);
            pending.append({child, segments});
        }
    }
    // Every record has the node its path ends at; past the deepest level, that node's name holds the
    // rest of the path as it is.
    for (const Reference &record : list.references) {
        const QString text = decodeText(record.path);
        const QStringList segments = text.split(QLatin1Char('/'));
        FUZZ_CHECK(fullPaths.contains(segments.size() > TreeItem::maxDepth ? text : expectedPath(segments)));
    }

    const int treeIndexes = walkModel(treeModel);
    ListModel listModel(&list);
    const int listIndexes = walkModel(listModel);
    FUZZ_CHECK(size_t(listIndexes) == list.references.size() * size_t(listModel.columnCount()));
    FUZZ_CHECK(treeIndexes >= (list.references.empty() ? 0 : treeModel.columnCount()));
    return 0;
}
