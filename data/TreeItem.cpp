#include "data/TreeItem.h"

#include "data/ReferenceList.h"

#include <QHash>
#include <QVector>

#include <memory>

namespace {

struct ChildKey
{
    const TreeItem *parent;
    QString name;

    bool operator==(const ChildKey &other) const { return parent == other.parent && name == other.name; }
};

uint qHash(const ChildKey &key, uint seed = 0)
{
    return ::qHash(key.name, seed) ^ ::qHash(key.parent, seed);
}

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
    QHash<ChildKey, TreeItem *> firstChild;
    firstChild.reserve(int(list.references.size()));

    // Consecutive records share leading segments, whose nodes are taken from the previous record.
    QVector<QStringRef> previousSegments;
    QVector<TreeItem *> previousNodes;
    QString previousText;

    for (const Reference &record : list.references) {
        QString text = decodeText(record.path);
        const QVector<QStringRef> segments = text.splitRef(QLatin1Char('/'));

        int shared = 0;
        while (shared < segments.size() && shared < previousSegments.size()
               && segments[shared] == previousSegments[shared])
            ++shared;

        TreeItem *node = shared > 0 ? previousNodes[shared - 1] : this;
        previousNodes.resize(shared);
        for (int i = shared; i < segments.size(); ++i) {
            ChildKey key{node, segments[i].toString()};
            auto found = firstChild.constFind(key);
            if (found != firstChild.constEnd()) {
                node = found.value();
            } else {
                const bool last = i == segments.size() - 1;
                auto created = std::make_unique<TreeItem>(key.name, last ? record.fields : QList<QByteArray>());
                node = node->addChild(created.release());
                firstChild.insert(key, node);
            }
            previousNodes.append(node);
        }
        previousText = std::move(text);
        previousSegments = previousText.splitRef(QLatin1Char('/'));
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
