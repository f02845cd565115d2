#include "data/TreeItem.h"

#include "data/ReferenceList.h"

#include <QHash>

#include <cstring>
#include <memory>
#include <vector>

namespace {

// The first child of each name under each node. An open table keyed by a hash of parent and name:
// names are compared only when the hashes match, and the slots sit side by side instead of one
// allocation per node.
class FirstChildTable
{
public:
    explicit FirstChildTable(size_t expected) { slots.resize(capacityFor(expected)); }

    TreeItem *find(const TreeItem *parent, const QString &name) const
    {
        const quint64 key = keyOf(parent, name);
        for (size_t i = key & (slots.size() - 1); slots[i].item; i = (i + 1) & (slots.size() - 1)) {
            const Slot &slot = slots[i];
            if (slot.key == key && slot.item->parent() == parent && slot.item->name == name)
                return slot.item;
        }
        return nullptr;
    }

    // child must be the first of its name under parent.
    void insert(const TreeItem *parent, TreeItem *child)
    {
        if (2 * (used + 1) > slots.size())
            grow();
        place(Slot {keyOf(parent, child->name), child});
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

    static quint64 keyOf(const TreeItem *parent, const QString &name)
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

// The text of the path bytes [begin, end) as a node shows it: what decoding the whole path as UTF-8
// gives for them. That strips a byte order mark only at the start of the path.
QString segmentName(const char *path, int begin, int end, bool ascii)
{
    const char *bytes = path + begin;
    const int size = end - begin;
    if (ascii)
        return QString::fromLatin1(bytes, size);
    if (begin == 0)
        return QString::fromUtf8(bytes, size);
    QString marks;
    int skipped = 0;
    while (size - skipped >= 3 && std::memcmp(bytes + skipped, "\xEF\xBB\xBF", 3) == 0) {
        marks += QChar(0xFEFF);
        skipped += 3;
    }
    return marks + QString::fromUtf8(bytes + skipped, size - skipped);
}

// Builds the tree of a list's paths under a root, record by record.
//
// A node's first child of a given name never changes once it exists, so finding it another way
// than a search of the siblings in row order gives the same tree. Consecutive records share leading
// segments, whose nodes are taken from the previous record. For a segment that is new there, a
// list sorted by bytes says more: records under one node whose path so far is plain ASCII come one
// after the other, and once a child's name is done with, only siblings that extend it by a byte
// below "/" ("a-b", "a.c" after "a") can follow before it comes back. So such a segment is looked
// for among the last siblings only. When the list turns out unsorted, a path holds other bytes
// (whose texts may coincide: invalid UTF-8 decodes to U+FFFD), or the last siblings go on too long,
// every node goes into a table of first children, and from then on names are found there.
class TreeBuilder
{
public:
    TreeBuilder(TreeItem *root, size_t expected)
        : root(root)
        , expected(expected)
    {
    }

    void add(const Reference &record)
    {
        const char *path = record.path.constData();
        const void *nul = std::memchr(path, '\0', size_t(record.path.size()));
        const int length = nul ? int(static_cast<const char *>(nul) - path) : record.path.size();
        cut(path, length);

        if (!table && compareBytes(previousPath, previousLength, path, length) > 0)
            index();
        size_t shared = 0;
        while (shared < segments.size() && shared < previousSegments.size()
               && equalBytes(path, segments[shared], previousPath, previousSegments[shared]))
            ++shared;
        TreeItem *node = shared > 0 ? previousNodes[shared - 1] : root;
        previousNodes.resize(shared);

        int asciiEnd = 0; // the path is plain ASCII up to here
        while (asciiEnd < length && uchar(path[asciiEnd]) < 0x80)
            ++asciiEnd;
        for (size_t i = shared; i < segments.size(); ++i) {
            const Segment &segment = segments[i];
            const bool ascii = segment.end <= asciiEnd;
            QString name = segmentName(path, segment.begin, segment.end, ascii);
            TreeItem *found = nullptr;
            if (!table && ascii)
                found = lastSiblingNamed(node, name);
            else {
                if (!table)
                    index();
                found = table->find(node, name);
            }
            if (!found) {
                auto *created = new TreeItem();
                created->name = std::move(name);
                if (i == segments.size() - 1)
                    created->fields = record.fields;
                found = node->addChild(created);
                if (table)
                    table->insert(node, found);
            }
            node = found;
            previousNodes.push_back(node);
        }
        previousPath = path;
        previousLength = length;
        previousSegments.swap(segments);
    }

private:
    struct Segment
    {
        int begin;
        int end;
    };

    static bool equalBytes(const char *a, const Segment &aSegment, const char *b, const Segment &bSegment)
    {
        const int size = aSegment.end - aSegment.begin;
        return size == bSegment.end - bSegment.begin
            && std::memcmp(a + aSegment.begin, b + bSegment.begin, size_t(size)) == 0;
    }

    // Cuts the path at every "/", keeping empty pieces; the last level takes the rest of the path.
    void cut(const char *path, int length)
    {
        segments.clear();
        int begin = 0;
        for (;;) {
            const void *slash = std::memchr(path + begin, '/', size_t(length - begin));
            if (!slash || int(segments.size()) == TreeItem::maxDepth - 1) {
                segments.push_back({begin, length});
                return;
            }
            const int end = int(static_cast<const char *>(slash) - path);
            segments.push_back({begin, end});
            begin = end + 1;
        }
    }

    // The child of node named name, looked for among the last children as the sorted order allows.
    TreeItem *lastSiblingNamed(const TreeItem *node, const QString &name)
    {
        const std::vector<TreeItem *> &children = node->children();
        int steps = 0;
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            const QString &other = (*it)->name;
            if (other == name)
                return *it;
            if (other.size() <= name.size() || !other.startsWith(name)
                || other.at(name.size()) >= QLatin1Char('/'))
                return nullptr;
            if (++steps == 64) {
                index();
                return table->find(node, name);
            }
        }
        return nullptr;
    }

    // Puts every node built so far into the table; names are unique among siblings until now.
    void index()
    {
        table = std::make_unique<FirstChildTable>(expected);
        std::vector<TreeItem *> pending {root};
        while (!pending.empty()) {
            TreeItem *node = pending.back();
            pending.pop_back();
            for (TreeItem *child : node->children()) {
                table->insert(node, child);
                pending.push_back(child);
            }
        }
    }

    TreeItem *root;
    size_t expected;
    std::unique_ptr<FirstChildTable> table;
    std::vector<Segment> segments;
    const char *previousPath = "";
    int previousLength = 0;
    std::vector<Segment> previousSegments;
    std::vector<TreeItem *> previousNodes;
};

} // namespace

TreeItem::TreeItem(const QString &name, const FieldList &fields)
    : name(name)
    , fields(fields)
{
}

TreeItem::TreeItem(const ReferenceList &list)
{
    TreeBuilder builder(this, list.references.size());
    for (const Reference &record : list.references)
        builder.add(record);
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
