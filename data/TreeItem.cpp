#include "data/TreeItem.h"

#include "data/ReferenceList.h"

#include <QHash>
#include <QVector>

#include <memory>
#include <vector>

namespace {

// The first child of each name under each node, met so far while a tree is built. An open table
// keyed by a hash of parent and name: probing needs no copy of the name, names are compared only
// when the hashes match, and the slots sit side by side instead of one allocation per node.
class FirstChildTable
{
public:
    explicit FirstChildTable(size_t expected) { slots.resize(capacityFor(expected)); }

    TreeItem *find(const TreeItem *parent, const QStringRef &name) const
    {
        const quint64 key = keyOf(parent, name);
        for (size_t i = key & (slots.size() - 1); slots[i].item; i = (i + 1) & (slots.size() - 1)) {
            const Slot &slot = slots[i];
            if (slot.key == key && slot.item->parent() == parent && slot.item->name == name)
                return slot.item;
        }
        return nullptr;
    }

    void insert(const TreeItem *parent, const QStringRef &name, TreeItem *child)
    {
        if (2 * (used + 1) > slots.size())
            grow();
        place(Slot {keyOf(parent, name), child});
        ++used;
    }

private:
    struct Slot
    {
        quint64 key = 0;
        TreeItem *item = nullptr;
    };

    static size_t capacityFor(size_t count)
    {
        size_t capacity = 64;
        while (capacity < 2 * count)
            capacity *= 2;
        return capacity;
    }

    static quint64 keyOf(const TreeItem *parent, const QStringRef &name)
    {
        const quint64 mixed
            = (quint64(quintptr(parent)) ^ (quint64(qHash(name)) << 32)) * 0x9E3779B97F4A7C15ull;
        return mixed ^ (mixed >> 29);
    }

    void place(const Slot &slot)
    {
        size_t i = slot.key & (slots.size() - 1);
        while (slots[i].item)
            i = (i + 1) & (slots.size() - 1);
        slots[i] = slot;
    }

    void grow()
    {
        std::vector<Slot> old(slots.size() * 2);
        old.swap(slots);
        for (const Slot &slot : old) {
            if (slot.item)
                place(slot);
        }
    }

    std::vector<Slot> slots;
    size_t used = 0;
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
    FirstChildTable firstChild(list.references.size());

    // Consecutive records share leading segments, whose nodes are taken from the previous record.
    // Segments point into their text, so the texts of this and the previous record take turns.
    QString texts[2];
    QVector<QStringRef> segmentLists[2];
    int current = 0;
    QVector<TreeItem *> previousNodes;

    for (const Reference &record : list.references) {
        texts[current] = decodeText(record.path);
        QVector<QStringRef> &cut = segmentLists[current];
        cut = texts[current].splitRef(QLatin1Char('/'));
        if (cut.size() > maxDepth) {
            cut[maxDepth - 1] = texts[current].midRef(cut[maxDepth - 1].position());
            cut.resize(maxDepth);
        }
        const QVector<QStringRef> &segments = cut;
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
                auto created = std::make_unique<TreeItem>(segment.toString(),
                                                          last ? record.fields : QList<QByteArray>());
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

// The names from the top down to this node, joined with "/". Names at the bottom that are empty add
// nothing, as long as nothing has been added yet. Measured first and written once, so a deep node
// costs its length, not its length times its depth.
QString TreeItem::fullPath() const
{
    std::vector<const TreeItem *> chain;
    int length = 0;
    for (const TreeItem *node = this; !node->isRoot(); node = node->parent()) {
        if (chain.empty() && node->name.isEmpty())
            continue;
        length += node->name.size() + (chain.empty() ? 0 : 1);
        chain.push_back(node);
    }
    QString result;
    result.reserve(length);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        result += (*it)->name;
        if (it + 1 != chain.rend())
            result += QLatin1Char('/');
    }
    return result;
}
