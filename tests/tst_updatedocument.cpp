#include "net/UpdateDocument.h"

#include <QTest>

#include <string>

namespace {

// A valid document around the given version object and extra top-level members.
QByteArray document(const QByteArray &version = R"({"major":1,"minor":2,"patch":4})",
                    const QByteArray &extra = QByteArray())
{
    return R"({"programId":"TESTPROG","version":)" + version
        + R"(,"releaseType":"final","downloadUrl":"https://downloads.example.invalid/t.zip")" + extra + "}";
}

} // namespace

// The reader of the update document on its own, as the fuzz target drives it: repeated and escaped
// keys, which the toolkit's JSON reader handles by losing memory, are refused before it sees them.
class TestUpdateDocument : public QObject
{
    Q_OBJECT

private slots:
    void keys_data();
    void keys();
};

void TestUpdateDocument::keys_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("read");
    QTest::addColumn<QString>("errorPart");

    QTest::newRow("plain document") << document() << true << "";
    QTest::newRow("same key in two objects")
        << document(R"({"major":1,"minor":2,"patch":4,"notes":"x"})", R"(,"notes":"y")") << true << "";
    QTest::newRow("key text inside values")
        << document(R"({"major":1,"minor":2,"patch":4})", R"(,"notes":"\"version\": {,\\}[\"")") << true
        << "";
    QTest::newRow("repeated top-level key")
        << document(R"({"major":1,"minor":2,"patch":4})", R"(,"version":{"major":9,"minor":0,"patch":0})")
        << false << "has the key \"version\" twice in one object";
    QTest::newRow("repeated key in the version") << document(R"({"major":1,"minor":2,"patch":4,"major":7})")
                                                 << false << "has the key \"major\" twice in one object";
    QTest::newRow("repeated key in an array's object")
        << document(R"({"major":1,"minor":2,"patch":4})", R"(,"list":[{"a":1},{"a":2,"a":3}])") << false
        << "has the key \"a\" twice";
    QTest::newRow("escaped key") << document(R"({"major":1,"minor":2,"patch":4})", R"(,"vers\u0069on":1)")
                                 << false << "written with escapes";
    QTest::newRow("fuzz finding: repeated objects")
        << QByteArray(R"({"programId":"CORVREFSCOPE","version":{"major":1},"version":{"major":1}})") << false
        << "twice in one object";
    QTest::newRow("unterminated key") << QByteArray(R"({"programId)") << false << "is not valid JSON";
}

void TestUpdateDocument::keys()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, read);
    QFETCH(QString, errorPart);

    crv_net::UpdateInfo::UpdateProgramInfo published;
    std::string error;
    QCOMPARE(crv_net::readUpdateDocument(body, "TESTPROG", published, error), read);
    QVERIFY2(QString::fromStdString(error).contains(errorPart), error.c_str());
    if (read) {
        QCOMPARE(published.version.major, 1u);
        QCOMPARE(published.version.patch, 4u);
    }
}

QTEST_GUILESS_MAIN(TestUpdateDocument)
#include "tst_updatedocument.moc"
