#include "data/ReferenceList.h"
#include "data/TreeItem.h"

#include <QtTest>

#include <memory>
#include <stdexcept>

namespace {

// Records every destruction by name, so tests can tell which nodes went and in which order.
QStringList destructions;

class NamedItem : public crv_t::TreeItem<NamedItem>
{
public:
    explicit NamedItem(const QString &name = QString())
        : name(name)
    {
    }
    ~NamedItem() override { destructions << name; }
    NamedItem *createItem() override { return new NamedItem(QStringLiteral("created")); }

    NamedItem *add(const QString &childName) { return addChild(new NamedItem(childName)); }

    QString name;
};

QStringList namesOf(NamedItem *node)
{
    QStringList names;
    for (NamedItem *child : node->children())
        names << child->name;
    return names;
}

// The shape of a tree as text: name, fields in brackets when there are any, children in braces.
QString shape(const TreeItem *node)
{
    QString text = node->name;
    if (!node->fields.isEmpty()) {
        QStringList fields;
        for (const ByteString &field : node->fields)
            fields << QString::fromUtf8(field.toByteArray());
        text += '[' + fields.join(',') + ']';
    }
    if (node->hasChildren()) {
        QStringList children;
        for (size_t row = 0; row < node->childCount(); ++row)
            children << shape(node->child(row));
        text += '{' + children.join(' ') + '}';
    }
    return text;
}

// A list in exactly the given order; each entry is a whole line as the file would hold it.
ReferenceList listOf(const QList<QByteArray> &lines)
{
    ReferenceList list;
    for (const QByteArray &line : lines) {
        Reference record;
        record.parse(line);
        list.references.push_back(record);
    }
    return list;
}

const TreeItem *findPath(const TreeItem *root, const QStringList &segments)
{
    const TreeItem *node = root;
    for (const QString &segment : segments) {
        const TreeItem *next = nullptr;
        for (size_t row = 0; row < node->childCount() && !next; ++row) {
            if (node->child(row)->name == segment)
                next = node->child(row);
        }
        if (!next)
            return nullptr;
        node = next;
    }
    return node;
}

} // namespace

using Lines = QList<QByteArray>;

class TestTreeItem : public QObject
{
    Q_OBJECT

private slots:
    void init() { destructions.clear(); }

    void constructors();
    void destroyingInnerNodeTakesSubtree();
    void deletingChildren_data();
    void deletingChildren();
    void addChildMovesNode();
    void setParent_data();
    void setParent();
    void insertChild_data();
    void insertChild();
    void detachAndTakeChild();
    void rangeCheckedAccess_data();
    void rangeCheckedAccess();
    void indexOfSearchesChildren();
    void rootAndLeaf();
    void createItemIsUnlinked();
    void buildTree_data();
    void buildTree();
    void buildTreeManyChildren();
    void fullPath_data();
    void fullPath();
    void deepChainCostsNoStack();
};

void TestTreeItem::constructors()
{
    const TreeItem empty;
    QVERIFY(empty.name.isEmpty());
    QVERIFY(empty.fields.isEmpty());
    QVERIFY(empty.isRoot());
    QVERIFY(empty.isLeaf());

    const TreeItem named(QStringLiteral("alt"), Lines {"float", "y"});
    QCOMPARE(named.name, QStringLiteral("alt"));
    QCOMPARE(named.fields, (Lines {"float", "y"}));
    QVERIFY(named.isRoot());
    QCOMPARE(named.childCount(), size_t(0));

    const TreeItem root {ReferenceList()};
    QVERIFY(root.name.isEmpty());
    QVERIFY(root.fields.isEmpty());
    QVERIFY(!root.hasChildren());
}

void TestTreeItem::destroyingInnerNodeTakesSubtree()
{
    auto root = std::make_unique<NamedItem>("root");
    root->add("a");
    NamedItem *b = root->add("b");
    root->add("c");
    b->add("b1")->add("b1x");
    b->add("b2");

    delete b;
    QCOMPARE(namesOf(root.get()), (QStringList {"a", "c"}));
    QCOMPARE(destructions, (QStringList {"b", "b1", "b1x", "b2"}));

    destructions.clear();
    root.reset();
    QCOMPARE(destructions, (QStringList {"root", "a", "c"}));
}

void TestTreeItem::deletingChildren_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QStringList>("remaining");
    QTest::addColumn<QStringList>("gone");
    QTest::addColumn<bool>("result");

    QTest::newRow("deleteChildren, first to last")
        << "children" << QStringList() << QStringList {"a", "b", "b1", "c"} << true;
    QTest::newRow("clear, first to last")
        << "clear" << QStringList() << QStringList {"a", "b", "b1", "c"} << true;
    QTest::newRow("deleteChild by pointer")
        << "pointer" << QStringList {"a", "c"} << QStringList {"b", "b1"} << true;
    QTest::newRow("deleteChild of a grandchild")
        << "grandchild" << QStringList {"a", "b", "c"} << QStringList() << false;
    QTest::newRow("deleteChild of a stranger")
        << "stranger" << QStringList {"a", "b", "c"} << QStringList() << false;
    QTest::newRow("deleteChild by index") << "index" << QStringList {"a", "b"} << QStringList {"c"} << true;
    QTest::newRow("deleteChild beyond the last row")
        << "beyond" << QStringList {"a", "b", "c"} << QStringList() << true;
}

void TestTreeItem::deletingChildren()
{
    QFETCH(QString, how);
    QFETCH(QStringList, remaining);
    QFETCH(QStringList, gone);
    QFETCH(bool, result);

    NamedItem root("root");
    root.add("a");
    NamedItem *b = root.add("b");
    NamedItem *b1 = b->add("b1");
    root.add("c");
    NamedItem stranger("stranger");

    bool answer = true;
    if (how == "children")
        root.deleteChildren();
    else if (how == "clear")
        root.clear();
    else if (how == "pointer")
        answer = root.deleteChild(b);
    else if (how == "grandchild")
        answer = root.deleteChild(b1);
    else if (how == "stranger")
        answer = root.deleteChild(&stranger);
    else if (how == "index")
        root.deleteChild(size_t(2));
    else if (how == "beyond")
        root.deleteChild(size_t(3));

    QCOMPARE(answer, result);
    QCOMPARE(namesOf(&root), remaining);
    QCOMPARE(destructions, gone);
}

void TestTreeItem::addChildMovesNode()
{
    NamedItem first("first");
    NamedItem second("second");
    NamedItem *moving = first.add("x");
    first.add("y");
    second.add("z");

    QCOMPARE(second.addChild(moving), moving);
    QCOMPARE(namesOf(&first), QStringList {"y"});
    QCOMPARE(namesOf(&second), (QStringList {"z", "x"}));
    QCOMPARE(moving->parent(), &second);
    QVERIFY(destructions.isEmpty());
}

void TestTreeItem::setParent_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QStringList>("first");
    QTest::addColumn<QStringList>("second");

    QTest::newRow("same parent keeps row") << "same" << QStringList {"x", "y", "z"} << QStringList {"w"};
    QTest::newRow("other parent appends") << "other" << QStringList {"x", "z"} << QStringList {"w", "y"};
    QTest::newRow("null makes a root") << "null" << QStringList {"x", "z"} << QStringList {"w"};
}

void TestTreeItem::setParent()
{
    QFETCH(QString, target);
    QFETCH(QStringList, first);
    QFETCH(QStringList, second);

    NamedItem one("one");
    NamedItem two("two");
    one.add("x");
    NamedItem *y = one.add("y");
    one.add("z");
    two.add("w");

    NamedItem *newParent = target == "same" ? &one : target == "other" ? &two : nullptr;
    y->setParent(newParent);
    QCOMPARE(namesOf(&one), first);
    QCOMPARE(namesOf(&two), second);
    QCOMPARE(y->parent(), newParent);
    QCOMPARE(y->isRoot(), newParent == nullptr);
    if (!newParent)
        delete y;
    QCOMPARE(destructions, newParent ? QStringList() : QStringList {"y"});
}

void TestTreeItem::insertChild_data()
{
    QTest::addColumn<QString>("who");
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("new node at front") << "new" << 0 << QStringList {"n", "a", "b", "c"};
    QTest::newRow("new node at end") << "new" << 3 << QStringList {"a", "b", "c", "n"};
    QTest::newRow("own first child to the end") << "a" << 2 << QStringList {"b", "c", "a"};
    QTest::newRow("own last child to the front") << "c" << 0 << QStringList {"c", "a", "b"};
    QTest::newRow("own child to its own row") << "b" << 1 << QStringList {"a", "b", "c"};
    QTest::newRow("node of another parent") << "other" << 1 << QStringList {"a", "o", "b", "c"};
}

void TestTreeItem::insertChild()
{
    QFETCH(QString, who);
    QFETCH(int, index);
    QFETCH(QStringList, rows);

    NamedItem root("root");
    NamedItem other("other");
    NamedItem *o = other.add("o");
    QMap<QString, NamedItem *> own;
    for (const char *name : {"a", "b", "c"})
        own[name] = root.add(name);

    NamedItem *node = who == "new" ? new NamedItem("n") : who == "other" ? o : own.value(who);
    root.insertChild(size_t(index), node);
    QCOMPARE(namesOf(&root), rows);
    QCOMPARE(node->parent(), &root);
    QCOMPARE(other.childCount(), size_t(who == "other" ? 0 : 1));
}

void TestTreeItem::detachAndTakeChild()
{
    NamedItem root("root");
    root.add("a");
    NamedItem *b = root.add("b");
    root.add("c");

    b->detach();
    QCOMPARE(namesOf(&root), (QStringList {"a", "c"}));
    QVERIFY(b->isRoot());
    std::unique_ptr<NamedItem> owned(b);

    root.detach(); // a root has no parent to leave
    QCOMPARE(namesOf(&root), (QStringList {"a", "c"}));

    std::unique_ptr<NamedItem> taken(root.takeChild(1));
    QCOMPARE(taken->name, QStringLiteral("c"));
    QVERIFY(taken->isRoot());
    QCOMPARE(namesOf(&root), QStringList {"a"});
    QVERIFY(destructions.isEmpty());
}

void TestTreeItem::rangeCheckedAccess_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("throws");

    QTest::newRow("child in range") << "child" << 1 << false;
    QTest::newRow("child at count") << "child" << 2 << true;
    QTest::newRow("child far beyond") << "child" << 1000 << true;
    QTest::newRow("const child at count") << "constChild" << 2 << true;
    QTest::newRow("const child in range") << "constChild" << 0 << false;
    QTest::newRow("takeChild at count") << "takeChild" << 2 << true;
    QTest::newRow("takeChild in range") << "takeChild" << 0 << false;
}

void TestTreeItem::rangeCheckedAccess()
{
    QFETCH(QString, operation);
    QFETCH(int, index);
    QFETCH(bool, throws);

    NamedItem root("root");
    root.add("a");
    root.add("b");
    const NamedItem &constRoot = root;

    QString message;
    const NamedItem *result = nullptr;
    try {
        if (operation == "child")
            result = root.child(size_t(index));
        else if (operation == "constChild")
            result = constRoot.child(size_t(index));
        else
            result = root.takeChild(size_t(index));
    } catch (const std::out_of_range &error) {
        message = QString::fromLatin1(error.what());
    }
    QCOMPARE(message, throws ? QStringLiteral("invalid vector<T> subscript") : QString());
    QCOMPARE(root.childCount(), size_t(throws || operation != "takeChild" ? 2 : 1));
    if (!throws)
        QCOMPARE(result->name, index == 0 ? QStringLiteral("a") : QStringLiteral("b"));
    if (!throws && operation == "takeChild")
        delete result;
}

void TestTreeItem::indexOfSearchesChildren()
{
    NamedItem root("root");
    NamedItem *a = root.add("a");
    NamedItem *b = root.add("b");
    NamedItem *grandchild = b->add("b1");
    NamedItem stranger("stranger");

    size_t index = 7;
    QVERIFY(root.indexOf(b, index));
    QCOMPARE(index, size_t(1));
    QVERIFY(root.indexOf(a, index));
    QCOMPARE(index, size_t(0));

    index = 7;
    QVERIFY(!root.indexOf(grandchild, index));
    QCOMPARE(index, size_t(0));
    index = 7;
    QVERIFY(!root.indexOf(&stranger, index));
    QCOMPARE(index, size_t(0));
    index = 7;
    QVERIFY(!root.indexOf(nullptr, index));
    QCOMPARE(index, size_t(0));
}

void TestTreeItem::rootAndLeaf()
{
    NamedItem root("root");
    NamedItem *a = root.add("a");
    NamedItem *deep = a->add("a1")->add("a2");
    const NamedItem *constDeep = deep;

    QCOMPARE(deep->root(), &root);
    QCOMPARE(constDeep->root(), &root);
    QCOMPARE(root.root(), &root);
    QCOMPARE(constDeep->parent()->name, QStringLiteral("a1"));
    QVERIFY(root.isRoot() && !a->isRoot());
    QVERIFY(deep->isLeaf() && !deep->hasChildren());
    QVERIFY(!a->isLeaf() && a->hasChildren());
}

void TestTreeItem::createItemIsUnlinked()
{
    TreeItem root(QStringLiteral("root"), Lines {"x"});
    root.addChild(new TreeItem(QStringLiteral("a"), Lines()));
    std::unique_ptr<TreeItem> created(root.createItem());
    QVERIFY(created->isRoot());
    QVERIFY(created->isLeaf());
    QVERIFY(created->name.isEmpty());
    QVERIFY(created->fields.isEmpty());
    QCOMPARE(root.childCount(), size_t(1));
}

void TestTreeItem::buildTree_data()
{
    QTest::addColumn<Lines>("lines");
    QTest::addColumn<QString>("tree");

    QTest::newRow("shared prefixes") << Lines {"a/b/c\tint", "a/b/d\tfloat", "a/e\tdouble"}
                                     << "{a{b{c[int] d[float]} e[double]}}";
    QTest::newRow("siblings in order of first record")
        << Lines {"a.b/x\tint", "a/y\tint"} << "{a.b{x[int]} a{y[int]}}";
    QTest::newRow("duplicate path, first record wins")
        << Lines {"a/b\tfirst", "a/b\tsecond"} << "{a{b[first]}}";
    QTest::newRow("path that is also a prefix keeps its fields")
        << Lines {"a/b\tint\ty", "a/b/c\tfloat"} << "{a{b[int,y]{c[float]}}}";
    QTest::newRow("inner segment first, record later adds nothing")
        << Lines {"a/b/c\tfloat", "a/b\tint"} << "{a{b{c[float]}}}";
    QTest::newRow("trailing slash") << Lines {"a/b/\tint"} << "{a{b{[int]}}}";
    QTest::newRow("leading slash") << Lines {"/a\tint"} << "{{a[int]}}";
    QTest::newRow("empty inner segment") << Lines {"a//b\tint"} << "{a{{b[int]}}}";
    QTest::newRow("empty path reuses one node") << Lines {"\tint", "\tfloat", "x"} << "{[int] x}";
    QTest::newRow("case-sensitive segments") << Lines {"A/x", "a/x"} << "{A{x} a{x}}";
    QTest::newRow("unsorted list keeps first occurrence")
        << Lines {"b/x", "a/y", "b/z", "a/y/w"} << "{b{x z} a{y{w}}}";
    QTest::newRow("same name at another level") << Lines {"a/a/a", "a/b/a", "b/a"} << "{a{a{a} b{a}} b{a}}";
    QTest::newRow("name again after a different branch") << Lines {"a", "a!b/x", "a/x"} << "{a{x} a!b{x}}";
    QTest::newRow("utf-8 segments") << Lines {"\xce\xb1/\xce\xb2\tint"} << QString::fromUtf8("{α{β[int]}}");
    // Decoding drops a byte order mark at the start of a path only.
    QTest::newRow("byte order marks") << Lines {"\xEF\xBB\xBF"
                                                "a/\xEF\xBB\xBF\xEF\xBB\xBF"
                                                "b"}
                                      << QString("{a{" + QString(2, QChar(0xFEFF)) + "b}}");
    QTest::newRow("nul ends the path") << Lines {QByteArray("a/b\0/c\tint", 10)} << "{a{b[int]}}";
}

void TestTreeItem::buildTree()
{
    QFETCH(Lines, lines);
    QFETCH(QString, tree);

    const ReferenceList list = listOf(lines);
    const TreeItem root(list);
    QCOMPARE(shape(&root), tree);
}

// One node with very many children: every child is found again, in the order of first occurrence.
void TestTreeItem::buildTreeManyChildren()
{
    ReferenceList list;
    const int count = 20000;
    for (int i = 0; i < count; ++i) {
        Reference record;
        record.parse("wide/n" + QByteArray::number((i * 7919) % count) + "\tint\t" + QByteArray::number(i));
        list.references.push_back(record);
    }
    // Every name again, later in the list: these add nothing.
    for (int i = 0; i < count; ++i) {
        Reference record;
        record.parse("wide/n" + QByteArray::number(i) + "\tlater");
        list.references.push_back(record);
    }

    const TreeItem root(list);
    QCOMPARE(root.childCount(), size_t(1));
    const TreeItem *wide = root.child(0);
    QCOMPARE(wide->childCount(), size_t(count));
    for (int i = 0; i < count; ++i) {
        const TreeItem *child = wide->child(size_t(i));
        QCOMPARE(child->name, "n" + QString::number((i * 7919) % count));
        QCOMPARE(child->fields, (Lines {"int", QByteArray::number(i)}));
    }
}

void TestTreeItem::fullPath_data()
{
    QTest::addColumn<Lines>("lines");
    QTest::addColumn<QStringList>("node");
    QTest::addColumn<QString>("path");

    QTest::newRow("leaf") << Lines {"a/b/c"} << QStringList {"a", "b", "c"} << "a/b/c";
    QTest::newRow("inner node") << Lines {"a/b/c"} << QStringList {"a", "b"} << "a/b";
    QTest::newRow("top-level node has no slash") << Lines {"a/b"} << QStringList {"a"} << "a";
    QTest::newRow("empty last segment adds nothing") << Lines {"a/b/"} << QStringList {"a", "b", ""} << "a/b";
    QTest::newRow("empty inner segment appears") << Lines {"a//b"} << QStringList {"a", "", "b"} << "a//b";
    QTest::newRow("leading slash") << Lines {"/a"} << QStringList {"", "a"} << "/a";
    QTest::newRow("empty path") << Lines {"\tint"} << QStringList {""} << "";
    QTest::newRow("root") << Lines {"a"} << QStringList() << "";
    // Past the deepest level, one node holds the rest of the path.
    QStringList top;
    for (int i = 0; i < TreeItem::maxDepth - 1; ++i)
        top << "s";
    QTest::newRow("deeper than the tree")
        << Lines {"s/" + QByteArray(TreeItem::maxDepth - 1, 's').replace("s", "s/") + "t/u\tint"}
        << (top + QStringList {"s/t/u"}) << (QStringLiteral("s/").repeated(TreeItem::maxDepth) + "t/u");
}

void TestTreeItem::fullPath()
{
    QFETCH(Lines, lines);
    QFETCH(QStringList, node);
    QFETCH(QString, path);

    const ReferenceList list = listOf(lines);
    const TreeItem root(list);
    const TreeItem *found = findPath(&root, node);
    QVERIFY(found);
    QCOMPARE(found->fullPath(), path);
}

// A path far deeper than any list's tree, made node by node: its full path and its teardown take
// no stack in proportion to the depth.
void TestTreeItem::deepChainCostsNoStack()
{
    const int depth = 300000;
    auto root = std::make_unique<TreeItem>();
    TreeItem *node = root.get();
    for (int i = 0; i < depth; ++i) {
        node = node->addChild(node->createItem());
        node->name = QStringLiteral("s");
    }
    QCOMPARE(node->fullPath(), QStringLiteral("s/").repeated(depth - 1) + "s");
    root.reset();
}

QTEST_GUILESS_MAIN(TestTreeItem)
#include "tst_treeitem.moc"
