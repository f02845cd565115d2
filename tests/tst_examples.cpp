#include "data/ReferenceList.h"

#include "data/TreeItem.h"
#include "data/TreeModel.h"

#include <QFile>
#include <QtTest>

#include <algorithm>

// The example lists shipped in examples/ load as their README there says: the right kind, every
// line a record, and each planted unusual line treated as described.

namespace {

QString examplePath(const QString &name)
{
    return QStringLiteral(REFSCOPE_EXAMPLES_DIR "/") + name;
}

QByteArray readAll(const QString &name)
{
    QFile file(examplePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

ReferenceList load(const QString &name)
{
    ReferenceList list;
    list.kind = -1;
    if (!list.load(QFile::encodeName(examplePath(name))))
        list.kind = -2;
    return list;
}

std::vector<const Reference *> recordsWithPath(const ReferenceList &list, const QByteArray &path)
{
    std::vector<const Reference *> found;
    for (const Reference &record : list.references)
        if (record.path == path)
            found.push_back(&record);
    return found;
}

// The index of the node for path, following its segments by the names the tree shows.
QModelIndex nodeFor(const TreeModel &model, const QString &path)
{
    QModelIndex node;
    for (const QString &segment : path.split(QLatin1Char('/'))) {
        QModelIndex next;
        int matches = 0;
        for (int row = 0; row < model.rowCount(node); ++row) {
            QModelIndex child = model.index(row, 0, node);
            if (child.data().toString() == segment) {
                next = child;
                ++matches;
            }
        }
        if (matches != 1)
            return QModelIndex();
        node = next;
    }
    return node;
}

} // namespace

class TestExamples : public QObject
{
    Q_OBJECT

private slots:
    void loadsEveryLine_data();
    void loadsEveryLine();
    void unusualLines_data();
    void unusualLines();
    void treeOfUnusualPaths_data();
    void treeOfUnusualPaths();
};

void TestExamples::loadsEveryLine_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("headerLines");

    // The datarefs list starts with its header line; the empty line after it holds no record.
    QTest::newRow("datarefs") << "DataRefs.txt" << int(DataRefs) << 1;
    QTest::newRow("commands") << "Commands.txt" << int(Commands) << 0;
}

void TestExamples::loadsEveryLine()
{
    QFETCH(QString, file);
    QFETCH(int, kind);
    QFETCH(int, headerLines);

    const QByteArray content = readAll(file);
    QVERIFY2(!content.isEmpty(), qPrintable(examplePath(file)));
    int nonEmptyLines = 0;
    QList<QByteArray> pathsInFileOrder;
    for (QByteArray line : content.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        ++nonEmptyLines;
        pathsInFileOrder << line.left(line.indexOf('\t') >= 0 ? line.indexOf('\t') : line.indexOf(' '));
    }
    // A few hundred lines: big enough to try every feature, small enough to read.
    QVERIFY(nonEmptyLines >= 150);

    const ReferenceList list = load(file);
    QCOMPARE(list.kind, kind);
    QCOMPARE(int(list.references.size()), nonEmptyLines - headerLines);

    const auto byPath = [](const Reference &a, const Reference &b) { return a.path < b.path; };
    QVERIFY(std::is_sorted(list.references.begin(), list.references.end(), byPath));
    // The file itself is grouped, not sorted, so the order above is the loader's work.
    pathsInFileOrder = pathsInFileOrder.mid(headerLines);
    QVERIFY(!std::is_sorted(pathsInFileOrder.begin(), pathsInFileOrder.end()));
}

void TestExamples::unusualLines_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<int>("records");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<bool>("windowsLineEnd");

    const QString datarefs = "DataRefs.txt";
    const QString commands = "Commands.txt";
    QTest::newRow("datarefs CR LF line end")
        << datarefs << QByteArray("sim/cockpit/lights/beacon_on") << 1
        << QStringList {"int", "y", "boolean", "Switch of the beacon lights"} << true;
    QTest::newRow("commands CR LF line end, path only")
        << commands << QByteArray("sim/none/silent") << 1 << QStringList {} << true;
    QTest::newRow("datarefs same path twice") << datarefs << QByteArray("sim/time/paused") << 2
                                              << QStringList {"int", "y-or-n", "boolean", "*"} << false;
    QTest::newRow("commands same path twice")
        << commands << QByteArray("sim/controls/gear_toggle") << 2 << QStringList {"*"} << false;
    QTest::newRow("path that begins other paths")
        << datarefs << QByteArray("sim/cockpit/autopilot") << 1
        << QStringList {"int", "n", "boolean", "Any autopilot mode is active"} << false;
    QTest::newRow("path ending in a slash")
        << datarefs << QByteArray("sim/cockpit/misc/") << 1
        << QStringList {"int", "n", "count", "Path that ends in a slash"} << false;
    QTest::newRow("no units: description moves left")
        << datarefs << QByteArray("sim/cockpit/misc/compass_heading_deg") << 1
        << QStringList {"float", "n", "Heading shown on the wet compass"} << false;
    QTest::newRow("datarefs not plain ASCII")
        << datarefs << QByteArray("sim/weather/dew_point_c") << 1
        << QStringList {"float", "n", QStringLiteral("\u00b0C"),
                        QStringLiteral("Dew point \u2013 the temperature at which the air is saturated "
                                       "(\u2248 100 % humidity)")}
        << false;
    QTest::newRow("commands not plain ASCII")
        << commands << QByteArray("sim/view/rotate_180") << 1
        << QStringList {QStringLiteral("Turn the view by 180\u00b0 \u2013 to look behind you.")} << false;
}

// A field of "*" stands for any text, "y-or-n" for either flag: the two records of a doubled path
// come out of the sort in either order.
void TestExamples::unusualLines()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, path);
    QFETCH(int, records);
    QFETCH(QStringList, fields);
    QFETCH(bool, windowsLineEnd);

    if (windowsLineEnd) {
        const QByteArray content = readAll(file);
        const int start = content.indexOf("\n" + path) + 1;
        QVERIFY(start > 0);
        QCOMPARE(content.mid(content.indexOf('\n', start) - 1, 2), QByteArray("\r\n"));
    }
    const ReferenceList list = load(file);
    const std::vector<const Reference *> found = recordsWithPath(list, path);
    QCOMPARE(int(found.size()), records);
    for (const Reference *record : found) {
        QCOMPARE(record->fields.size(), fields.size());
        for (int i = 0; i < fields.size(); ++i) {
            const QString text = decodeText(record->fields[i]);
            QVERIFY2(!record->fields[i].contains('\r'), qPrintable(text));
            if (fields[i] == "*")
                QVERIFY(!text.isEmpty());
            else if (fields[i] == "y-or-n")
                QVERIFY(text == "y" || text == "n");
            else
                QCOMPARE(text, fields[i]);
        }
    }
    if (records == 2)
        QVERIFY(found[0]->fields != found[1]->fields);
}

void TestExamples::treeOfUnusualPaths_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("hasChildren");
    QTest::addColumn<QString>("fullPath");
    QTest::addColumn<QString>("firstColumn");

    // A reference that other paths extend is a branch, and a branch shows no columns.
    QTest::newRow("path that begins other paths, datarefs")
        << "DataRefs.txt"
        << "sim/cockpit/autopilot" << true << "sim/cockpit/autopilot"
        << "";
    QTest::newRow("path that begins other paths, commands") << "Commands.txt"
                                                            << "sim/autopilot" << true << "sim/autopilot"
                                                            << "";
    // The empty segment after the slash is a leaf that carries the record; its path has no slash.
    QTest::newRow("path ending in a slash, datarefs") << "DataRefs.txt"
                                                      << "sim/cockpit/misc/" << false << "sim/cockpit/misc"
                                                      << "int";
    QTest::newRow("path ending in a slash, commands") << "Commands.txt"
                                                      << "sim/view/" << false << "sim/view"
                                                      << "Path that ends in a slash.";
    QTest::newRow("same path twice is one node") << "DataRefs.txt"
                                                 << "sim/time/paused" << false << "sim/time/paused"
                                                 << "int";
    QTest::newRow("long description in one cell")
        << "Commands.txt"
        << "sim/operation/regenerate_everything" << false << "sim/operation/regenerate_everything"
        << "Rebuild every cached file the simulator keeps: scenery indexes, aircraft icons, the navigation "
           "database in its fast-loading form, the shader cache for the current graphics card and driver, "
           "and the list of installed plugins with their signatures. This can take several minutes on a "
           "large installation and the simulator does not respond meanwhile.";
}

void TestExamples::treeOfUnusualPaths()
{
    QFETCH(QString, file);
    QFETCH(QString, path);
    QFETCH(bool, hasChildren);
    QFETCH(QString, fullPath);
    QFETCH(QString, firstColumn);

    const ReferenceList list = load(file);
    const TreeModel model(&list);
    const QModelIndex node = nodeFor(model, path);
    QVERIFY2(node.isValid(), qPrintable(path));
    QCOMPARE(model.hasChildren(node), hasChildren);
    const auto *item = static_cast<const TreeItem *>(node.internalPointer());
    QCOMPARE(item->fullPath(), fullPath);
    QCOMPARE(model.index(node.row(), 1, node.parent()).data().toString(), firstColumn);
}

QTEST_GUILESS_MAIN(TestExamples)
#include "tst_examples.moc"
