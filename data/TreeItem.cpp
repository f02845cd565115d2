#include "data/TreeItem.h"

#include "data/ReferenceList.h"

#include <QMultiHash>
#include <QVector>

#include <memory>

namespace {

// The first child of each name under each node, met so far while a tree is built. Looked up by a
// hash of parent and name, so that probing needs no copy of the name; names are compared on a match.
class FirstChildTable
{
public:
    explicit FirstChildTable(int expected) { table.reserve(expected); }

    TreeItem *find(const TreeItem *parent, const QStringRef &name) const
    {
        for (auto it = table.constFind(keyOf(parent, name)); it != table.constEnd() && it.key() == keyOf(parent, name);
             ++it) {
            if (it.value()->parent() == parent && it.value()->name == name)
                return it.value();
        }
        return nullptr;
    }

    void insert(const TreeItem *parent, const QStringRef &name, TreeItem *child)
    {
        table.insert(keyOf(parent, name), child);
    }

private:
    static quint64 keyOf(const TreeItem *parent, const QStringRef &name)
    {
        return (quint64(qHash(name)) << 32) ^ quint64(quintptr(parent) * 0x9E3779B97F4A7C15ull);
    }

    QMultiHash<quint64, TreeItem *> table;
};

} // namespace

TreeItem::TreeItem(const QString &name, const QList<QByteArray> &fields)
    : name(name)
    , fields(fields)
{
}

TreeItem::TreeItem(const ReferenceList &list)
{
    // A node's first child of a given name never changes once it exists, so a table of them finds
    // exactly what a search of the siblings in row order would, without the search. The table
    // lives only while the tree is built.
    FirstChildTable firstChild(int(list.references.size()));

    // Consecutive records share leading segments, whose nodes are taken from the previous record.
    // Segments point into their text, so the texts of this and the previous record take turns.
    QString texts[2];
    QVector<QStringRef> segmentLists[2];
    int current = 0;
    QVector<TreeItem *> previousNodes;

    for (const Reference &record : list.references) {
        texts[current] = decodeText(record.path);
        segmentLists[current] = texts[current].splitRef(QLatin1Char('/'));
        const QVector<QStringRef> &segments = segmentLists[current];
        const QVector<QStringRef> &previousSegments = segmentLists[current ^ 1];

        int shared = 0;
        while (shared < segments.size() && shared < previousSegments.size()
               && segments[shared] == previousSegments[shared])
            ++shared;

        TreeItem *node = shared > 0 ? previousNodes[shared - 1] : this;
        previousNodes.resize(shared);
        for (int i = shared; i < segments.size(); ++i) {
            const QStringRef &segment = segments[i];
            if (TreeItem *found = firstChild.find(node, segment)) {
                node = found;
            } else {
                const bool last = i == segments.size() - 1;
                auto created = std::make_unique<TreeItem>(segment.toString(), last ? record.fields : QList<QByteArray>());
                TreeItem *parentNode = node;
                node = parentNode->addChild(created.release());
                firstChild.insert(parentNode, segment, node);
            }
            previousNodes.append(node);
        }
        current ^= 1;
    }
}

TreeItem::~TreeItem() = default;

TreeItem *TreeItem::createItem()
{
    return new TreeItem();
}

QString TreeItem::fullPath() const
{
    QString result;
    for (const TreeItem *node = this; !node->isRoot(); node = node->parent()) {
        if (result.isEmpty())
            result = node->name;
        else
            result.prepend(node->name + QLatin1Char('/'));
    }
    return result;
}
