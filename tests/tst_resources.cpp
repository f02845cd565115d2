// The compiled-in icons must be reachable under ":/icons32/" in every program that links the library,
// without any registration call of its own.
#include <QIcon>
#include <QImage>
#include <QtTest>

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void iconLoads_data();
    void iconLoads();
};

void TestResources::iconLoads_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("size");

    for (const char *name : {"list.png", "expandAll.png", "collapseAll.png", "folder_open.png", "about.png",
                             "down.png", "tree.png", "world.png"}) {
        QTest::newRow(name) << QString::fromLatin1(name) << 32;
    }
    QTest::newRow("search.png") << QStringLiteral("search.png") << 24;
    QTest::newRow("erase.png") << QStringLiteral("erase.png") << 24;
}

void TestResources::iconLoads()
{
    QFETCH(QString, name);
    QFETCH(int, size);

    const QString path = QStringLiteral(":/icons32/") + name;
    QVERIFY2(QFile::exists(path), qPrintable(path));

    QImage image(path);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), QSize(size, size));
    QVERIFY(image.hasAlphaChannel());

    // A blank image would load and still show nothing on the button.
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 128) {
                ++opaque;
            }
        }
    }
    QVERIFY(opaque > size * size / 8);

    const QIcon icon(path);
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.availableSizes(), QList<QSize> {QSize(size, size)});
    QVERIFY(!icon.pixmap(25, 25).isNull());
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
