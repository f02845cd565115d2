#include "dialogs/ProgramInfo.h"

#include <QRegularExpression>
#include <QtTest>

#include <string>

namespace {

QString text(const std::string &bytes)
{
    return QString::fromStdString(bytes);
}

} // namespace

class TestProgramInfo : public QObject
{
    Q_OBJECT

private slots:
    void versionToString_data();
    void versionToString();
    void eachLayerReplacesItsOwnPlaceholders();
    void freshRecordHasNoVersion();
    void programPatterns();
    void identity();
    void buildStamp();
};

void TestProgramInfo::versionToString_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<uint>("major");
    QTest::addColumn<uint>("minor");
    QTest::addColumn<uint>("patch");
    QTest::addColumn<QString>("revision");
    QTest::addColumn<int>("releaseType");
    QTest::addColumn<QString>("expected");

    const QString full = QStringLiteral("%major.%minor.%patch %reltype [%revision]");
    const uint max = 4294967295u;

    QTest::newRow("no placeholders") << "Refscope (x) 1.0" << 1u << 2u << 3u << "abc" << 4
                                     << "Refscope (x) 1.0";
    QTest::newRow("empty pattern") << "" << 1u << 2u << 3u << "abc" << 4 << "";
    QTest::newRow("release type 0 leaves both blanks")
        << full << 1u << 2u << 3u << "abc" << 0 << "1.2.3  [abc]";
    QTest::newRow("release type 1 has no word") << full << 1u << 2u << 3u << "abc" << 1 << "1.2.3  [abc]";
    QTest::newRow("release type 3 has no word") << full << 1u << 2u << 3u << "abc" << 3 << "1.2.3  [abc]";
    QTest::newRow("release type 16 has no word") << full << 1u << 2u << 3u << "abc" << 16 << "1.2.3  [abc]";
    QTest::newRow("negative release type has no word")
        << "<%reltype|%releasetype>" << 1u << 2u << 3u << "abc" << -4 << "<|>";
    QTest::newRow("alpha") << "%reltype|%releasetype" << 0u << 0u << 0u << "" << 2 << "a|alpha";
    QTest::newRow("beta") << "%reltype|%releasetype" << 0u << 0u << 0u << "" << 4 << "b|beta";
    QTest::newRow("release candidate")
        << "%releasetype/%reltype" << 0u << 0u << 0u << "" << 8 << "release candidate/rc";
    QTest::newRow("full pattern, beta")
        << full << 0u << 9u << 0u << "0123456789ab" << 4 << "0.9.0 b [0123456789ab]";
    QTest::newRow("placeholder twice replaced once")
        << "%major-%major" << 1u << 2u << 3u << "" << 0 << "1-%major";
    QTest::newRow("debug disappears") << "%patch%debug" << 1u << 2u << 7u << "" << 0 << "7";
    QTest::newRow("empty revision leaves brackets") << "[%revision]" << 1u << 2u << 3u << "" << 4 << "[]";
    QTest::newRow("largest numbers in full")
        << "%major.%minor.%patch" << max << max << max << "" << 0 << "4294967295.4294967295.4294967295";
    QTest::newRow("no leading zeros") << "%major.%minor.%patch" << 10u << 0u << 100u << "" << 0 << "10.0.100";
    QTest::newRow("lone percent sign") << "100% % %" << 1u << 2u << 3u << "" << 4 << "100% % %";
    QTest::newRow("unknown word") << "%build %major" << 1u << 2u << 3u << "" << 4 << "%build 1";
    QTest::newRow("placeholders are case-sensitive")
        << "%MAJOR %Reltype" << 1u << 2u << 3u << "" << 4 << "%MAJOR %Reltype";
    QTest::newRow("revision is copied unchanged")
        << "[%revision]" << 1u << 2u << 3u << " R-1 /x " << 0 << "[ R-1 /x ]";
    // Each step runs once on what the previous one produced; nothing is replaced a second time.
    QTest::newRow("values are not read again as placeholders")
        << "%revision %major" << 5u << 2u << 3u << "%major" << 0 << "%major 5";
}

void TestProgramInfo::versionToString()
{
    QFETCH(QString, pattern);
    QFETCH(uint, major);
    QFETCH(uint, minor);
    QFETCH(uint, patch);
    QFETCH(QString, revision);
    QFETCH(int, releaseType);
    QFETCH(QString, expected);

    crv::ProgramInfoA info;
    info.version.major = major;
    info.version.minor = minor;
    info.version.patch = patch;
    info.version.revision = revision.toStdString();
    info.releaseType = crv::ReleaseType(releaseType);

    QCOMPARE(text(info.versionToString(pattern.toStdString())), expected);
}

void TestProgramInfo::eachLayerReplacesItsOwnPlaceholders()
{
    crv::ProgramVersion version;
    version.major = 1;
    version.minor = 2;
    version.patch = 3;
    version.revision = "abc";
    const std::string pattern = "%major.%minor.%patch [%revision] %reltype%debug";

    QCOMPARE(text(version.Version::toString(pattern)), QStringLiteral("1.2.3 [%revision] %reltype%debug"));
    QCOMPARE(text(version.toString(pattern)), QStringLiteral("1.2.3 [abc] %reltype%debug"));
}

void TestProgramInfo::freshRecordHasNoVersion()
{
    const crv::ProgramInfoA info;
    QCOMPARE(text(info.companyName), QStringLiteral("Corvane"));
    QVERIFY(info.longName.empty());
    QVERIFY(info.webSite.empty());
    QCOMPARE(text(info.versionToString("%major.%minor.%patch %reltype [%revision]")),
             QStringLiteral("0.0.0  []"));
}

void TestProgramInfo::programPatterns()
{
    const QString revision = text(gProgramInfo.version.revision);
    QCOMPARE(text(gProgramInfo.versionToString("%major.%minor.%patch %reltype [%revision]")),
             QStringLiteral("0.9.0 b [%1]").arg(revision));
    QCOMPARE(text(gProgramInfo.versionToString("%major.%minor.%patch %reltype")), QStringLiteral("0.9.0 b"));
}

void TestProgramInfo::identity()
{
    QCOMPARE(text(gProgramInfo.longName), QStringLiteral("Corvane Refscope"));
    QCOMPARE(text(gProgramInfo.shortName), QStringLiteral("Refscope"));
    QCOMPARE(text(gProgramInfo.companyName), QStringLiteral("Corvane"));
    QCOMPARE(text(gProgramInfo.programId), QStringLiteral("CORVREFSCOPE"));
    QCOMPARE(gProgramInfo.releaseType, crv::Beta);
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{12}$"))
                .match(text(gProgramInfo.version.revision))
                .hasMatch());

    // Addresses are stored without a scheme; the site is a bare host name.
    const QString site = text(gProgramInfo.webSite);
    QVERIFY(!site.isEmpty());
    QVERIFY(!site.contains(QLatin1Char('/')) && !site.contains(QLatin1Char(' ')));
    const QString page = text(gProgramInfo.productPage);
    QVERIFY(!page.isEmpty());
    QVERIFY(!page.contains(QStringLiteral("://")));
    const QString copyright = text(gProgramInfo.copyright);
    QVERIFY(!copyright.isEmpty());
    QVERIFY(!copyright.contains(QLatin1Char('\n')));

    // The fields this program does not use stay at their defaults.
    QVERIFY(gProgramInfo.reservedText1.empty() && gProgramInfo.reservedText2.empty()
            && gProgramInfo.reservedText3.empty());
    QCOMPARE(gProgramInfo.reservedNumber1, int64_t(0));
    QCOMPARE(gProgramInfo.reservedNumber2, int32_t(0));
}

void TestProgramInfo::buildStamp()
{
    // "Dec  7 2026": the day right-aligned in two characters.
    const QRegularExpression date(QStringLiteral(
        "^(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) ( [1-9]|[12][0-9]|3[01]) [0-9]{4}$"));
    QVERIFY2(date.match(text(gProgramInfo.buildDate)).hasMatch(), gProgramInfo.buildDate.c_str());

    const QRegularExpression time(QStringLiteral("^([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]$"));
    QVERIFY2(time.match(text(gProgramInfo.buildTime)).hasMatch(), gProgramInfo.buildTime.c_str());
}

QTEST_MAIN(TestProgramInfo)
#include "tst_programinfo.moc"
