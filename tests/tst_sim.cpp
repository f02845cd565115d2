#include "CliRun.h"
#include "SimStandIn.h"

#include "data/ReferenceList.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QTimer>
#include <QtTest>

#include <functional>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace {

// A file that names what the simulator ships, with units and descriptions; the simulator adds one.
const QByteArray shipped = "2 1214 Mon Mar  2 10:00:00 2026\n"
                           "sim/flightmodel/position/latitude\tdouble\tn\tdegrees\tThe latitude of the aircraft\n"
                           "sim/cockpit2/engine/indicators/N1_percent\tfloat[8]\tn\tpercent\tN1 speed, as a percent\tof max\n"
                           "sim/cockpit2/radios/actuators/com1_frequency_hz\tint\ty\t10hz\tCom 1\n"
                           "sim/aircraft/view/acf_tailnum\tbyte[40]\ty\tstring\tTail number\n"
                           "sim/cockpit2/controls/flap_ratio\tfloat\ty\n"
                           "sim/old/removed\tint\tn\tboolean\tGone in this version\n";

void fill(SimStandIn &sim)
{
    sim.dataRefs = {
        {1253033683792, "sim/flightmodel/position/latitude", "double", 47.4621, 0},
        // An id beyond what a double holds exactly.
        {4611686018427387905, "sim/cockpit2/engine/indicators/N1_percent", "float_array",
         QJsonArray {20.5, 0.1, 0, 0}, 0},
        {1253033683808, "sim/cockpit2/radios/actuators/com1_frequency_hz", "int", 11800, 1},
        {1253033683824, "sim/aircraft/view/acf_tailnum", "data", QStringLiteral("TjE3MlNQAAAAAA=="), 1},
        {1253033683840, "laminar/c172/fuel/selector_pos", "int", 2, -1},
        {1253033683856, "sim/cockpit2/controls/flap_ratio", "float", 0.10000000149011612, 1},
        {1253033683872, "bad name", "int", 1, 1},
    };
    sim.commands = {{1253033690000, "sim/none/none", QStringLiteral("Do nothing.")},
                    {1253033690016, "laminar/c172/shutters/toggle", QStringLiteral("Open or close\nthe shutters. ")}};
}

// A UDP port that nothing listens on, for now.
quint16 freeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress(QHostAddress::AnyIPv4), 0);
    return probe.localPort();
}

} // namespace

class TestSim : public QObject
{
    Q_OBJECT

private slots:
    void eachCommand_data();
    void eachCommand();
    void listOpensAsTheWindowReads();
    void udpAsksInBatches();
#ifdef Q_OS_UNIX
    void interruptEndsCleanly_data();
    void interruptEndsCleanly();
#endif

private:
    // Runs refscope-cli while this thread's event loop serves the stand-in; SIM in the arguments
    // stands for its address, UDP for its UDP address, FILE for the shipped list. The program hears
    // beacons on beaconPort. It is asked to end once interruptWhen holds for its output so far.
    CliRun run(SimStandIn &sim, QStringList arguments,
               const std::function<bool(const QByteArray &)> &interruptWhen = nullptr,
               const QString &program = cliProgram());

    QTemporaryDir dir;
    quint16 beaconPort = freeUdpPort();
};

CliRun TestSim::run(SimStandIn &sim, QStringList arguments, const std::function<bool(const QByteArray &)> &interruptWhen,
                    const QString &program)
{
    QFile file(dir.filePath(QStringLiteral("DataRefs.txt")));
    if (file.open(QIODevice::WriteOnly))
        file.write(shipped);
    file.close();
    for (QString &argument : arguments) {
        argument.replace(QLatin1String("SIM"), sim.address());
        argument.replace(QLatin1String("UDP"), sim.udpAddress());
        argument.replace(QLatin1String("FILE"), file.fileName());
    }
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("REFSCOPE_BEACON_PORT"), QString::number(beaconPort));
    process.setProcessEnvironment(environment);
    QEventLoop loop;
    CliRun result;
    connect(&process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &loop, &QEventLoop::quit);
    bool interrupted = false;
    const auto look = [&] {
        result.out += process.readAllStandardOutput();
        if (interruptWhen && !interrupted && interruptWhen(result.out)) {
            interrupted = true;
#ifdef Q_OS_UNIX
            // As Ctrl+C in a terminal does.
            ::kill(pid_t(process.processId()), SIGINT);
#else
            process.terminate();
#endif
        }
    };
    connect(&process, &QProcess::readyReadStandardOutput, &loop, look);
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, look);
    if (interruptWhen)
        poll.start(50);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    process.start(program, arguments);
    loop.exec();
    if (process.state() != QProcess::NotRunning || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.status = process.exitCode();
    result.out += process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

void TestSim::eachCommand_data()
{
    QTest::addColumn<QString>("trouble"); // what is wrong with the simulator, if anything
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err"); // the start of what stderr says
    QTest::addColumn<QString>("log"); // what the simulator was asked to do

    const QString none;
    QTest::newRow("list, types and lengths as the simulator holds them")
        << none << QStringList {"sim", "list", "--sim", "SIM", "--format", "tsv"} << 0
        << QByteArray("Data ref\tType\tWritable\tUnits\tDescription\n"
                      "laminar/c172/fuel/selector_pos\tint\t?\t\t\n"
                      "sim/aircraft/view/acf_tailnum\tbyte[10]\ty\t\t\n"
                      "sim/cockpit2/controls/flap_ratio\tfloat\ty\t\t\n"
                      "sim/cockpit2/engine/indicators/N1_percent\tfloat[4]\tn\t\t\n"
                      "sim/cockpit2/radios/actuators/com1_frequency_hz\tint\ty\t\t\n"
                      "sim/flightmodel/position/latitude\tdouble\tn\t\t\n")
        << QByteArray("refscope-cli: left out the simulator's datarefs whose names a list cannot hold (a blank or a "
                      "control character in them): 1\n")
        << none;
    QTest::newRow("list: arrays whose values never come")
        << QStringLiteral("no values") << QStringList {"sim", "list", "--sim", "SIM", "--format", "csv"} << 0
        << QByteArray("Data ref,Type,Writable,Units,Description\r\n"
                      "laminar/c172/fuel/selector_pos,int,?,,\r\n"
                      "sim/aircraft/view/acf_tailnum,byte[],y,,\r\n"
                      "sim/cockpit2/controls/flap_ratio,float,y,,\r\n"
                      "sim/cockpit2/engine/indicators/N1_percent,float[],n,,\r\n"
                      "sim/cockpit2/radios/actuators/com1_frequency_hz,int,y,,\r\n"
                      "sim/flightmodel/position/latitude,double,n,,\r\n")
        << QByteArray("refscope-cli: the simulator sent no value of 2 arrays") << none;
    QTest::newRow("list of commands, one line each")
        << none << QStringList {"sim", "list", "--commands", "--sim", "SIM", "--format", "csv"} << 0
        << QByteArray("Command,Description\r\nlaminar/c172/shutters/toggle,Open or close the shutters.\r\n"
                      "sim/none/none,Do nothing.\r\n")
        << QByteArray() << none;
    QTest::newRow("diff: made by the aircraft, gone from the simulator")
        << none << QStringList {"sim", "diff", "FILE", "--sim", "SIM"} << 1
        << QByteArray("+ laminar/c172/fuel/selector_pos  int  ?\n- sim/old/removed  int  n  boolean  Gone in this version\n"
                      "1 added, 1 removed, 0 changed\n")
        << QByteArray("refscope-cli: left out the simulator's datarefs") << none;
    QTest::newRow("get: each kind of value, an element, an unknown name")
        << none
        << QStringList {"sim", "get", "sim/cockpit2/controls/flap_ratio", "sim/cockpit2/engine/indicators/N1_percent",
                        "sim/cockpit2/engine/indicators/N1_percent[1]", "sim/aircraft/view/acf_tailnum",
                        "sim/cockpit2/radios/actuators/com1_frequency_hz", "sim/no/such", "--sim", "SIM"}
        << 1
        << QByteArray("sim/cockpit2/controls/flap_ratio                 0.1\n"
                      "sim/cockpit2/engine/indicators/N1_percent        [20.5,0.1,0,0]\n"
                      "sim/cockpit2/engine/indicators/N1_percent[1]     0.1\n"
                      "sim/aircraft/view/acf_tailnum                    N172SP\n"
                      "sim/cockpit2/radios/actuators/com1_frequency_hz  11800\n")
        << QByteArray("refscope-cli: sim/no/such: no such dataref in the simulator\n") << none;
    QTest::newRow("get, jsonl, an index past the end")
        << none
        << QStringList {"sim", "get", "sim/aircraft/view/acf_tailnum", "sim/flightmodel/position/latitude",
                        "sim/cockpit2/engine/indicators/N1_percent[4]", "--format", "jsonl", "--sim", "SIM"}
        << 1
        << QByteArray("{\"path\":\"sim/aircraft/view/acf_tailnum\",\"value\":\"N172SP\"}\n"
                      "{\"path\":\"sim/flightmodel/position/latitude\",\"value\":47.4621}\n")
        << QByteArray("refscope-cli: sim/cockpit2/engine/indicators/N1_percent[4]: past the end of its 4 elements\n") << none;
    QTest::newRow("watch: the values, then each change")
        << QStringLiteral("changes")
        << QStringList {"sim", "watch", "sim/cockpit2/radios/actuators/com1_frequency_hz",
                        "sim/cockpit2/engine/indicators/N1_percent[0]", "--for", "2", "--sim", "SIM"}
        << 0
        << QByteArray("sim/cockpit2/radios/actuators/com1_frequency_hz  11800\n"
                      "sim/cockpit2/engine/indicators/N1_percent[0]     20.5\n"
                      "sim/cockpit2/radios/actuators/com1_frequency_hz  11805\n"
                      "sim/cockpit2/engine/indicators/N1_percent[0]     21\n")
        << QByteArray() << none;
    QTest::newRow("watch an unknown name: nothing watched")
        << none << QStringList {"sim", "watch", "sim/no/such", "--sim", "SIM"} << 1 << QByteArray()
        << QByteArray("refscope-cli: sim/no/such: no such dataref") << none;
    QTest::newRow("set a number")
        << none << QStringList {"sim", "set", "sim/cockpit2/radios/actuators/com1_frequency_hz", "12190", "--sim", "SIM"}
        << 0 << QByteArray() << QByteArray() << QStringLiteral("PATCH 1253033683808 12190");
    QTest::newRow("set a negative number, not an option")
        << none << QStringList {"sim", "set", "sim/cockpit2/radios/actuators/com1_frequency_hz", "-5", "--sim", "SIM"}
        << 0 << QByteArray() << QByteArray() << QStringLiteral("PATCH 1253033683808 -5");
    QTest::newRow("set a text")
        << none << QStringList {"sim", "set", "sim/aircraft/view/acf_tailnum", "D-EFGH", "--sim", "SIM"} << 0
        << QByteArray() << QByteArray() << QStringLiteral("PATCH 1253033683824 \"RC1FRkdI\"");
    QTest::newRow("set an element of an array whose writability is not told")
        << QStringLiteral("writable") << QStringList {"sim", "set", "sim/cockpit2/engine/indicators/N1_percent[2]", "7.5", "--sim", "SIM"} << 0
        << QByteArray() << QByteArray() << QStringLiteral("PATCH 4611686018427387905?index=2 7.5");
    QTest::newRow("set a read-only dataref: nothing written")
        << none << QStringList {"sim", "set", "sim/flightmodel/position/latitude", "1", "--sim", "SIM"} << 2 << QByteArray()
        << QByteArray("refscope-cli: \"sim/flightmodel/position/latitude\" is read-only") << none;
    QTest::newRow("set the wrong count: nothing written")
        << QStringLiteral("writable") << QStringList {"sim", "set", "sim/cockpit2/engine/indicators/N1_percent", "1,2", "--sim", "SIM"} << 2
        << QByteArray() << QByteArray("refscope-cli: cannot write \"1,2\"") << none;
    QTest::newRow("set a fraction to an int: nothing written")
        << none << QStringList {"sim", "set", "sim/cockpit2/radios/actuators/com1_frequency_hz", "1.5", "--sim", "SIM"} << 2
        << QByteArray() << QByteArray("refscope-cli: cannot write \"1.5\"") << none;
    QTest::newRow("run: press and release")
        << none << QStringList {"sim", "run", "sim/none/none", "--sim", "SIM"} << 0 << QByteArray() << QByteArray()
        << QStringLiteral("activate 1253033690000 0");
    QTest::newRow("run held, then released")
        << none << QStringList {"sim", "run", "laminar/c172/shutters/toggle", "--hold", "0.2", "--sim", "SIM"} << 0
        << QByteArray() << QByteArray() << QStringLiteral("hold 1253033690016; release 1253033690016");
    QTest::newRow("run an unknown command")
        << none << QStringList {"sim", "run", "sim/no/such", "--sim", "SIM"} << 2 << QByteArray()
        << QByteArray("refscope-cli: no such command in the simulator") << none;

    const QStringList get {"sim", "get", "--udp", "UDP"};
    QTest::newRow("get over UDP: every value a float, an int whole")
        << none
        << get + QStringList {"sim/cockpit2/controls/flap_ratio", "sim/cockpit2/radios/actuators/com1_frequency_hz",
                              "sim/cockpit2/engine/indicators/N1_percent[1]"}
        << 0
        << QByteArray("sim/cockpit2/controls/flap_ratio                 0.1\n"
                      "sim/cockpit2/radios/actuators/com1_frequency_hz  11800\n"
                      "sim/cockpit2/engine/indicators/N1_percent[1]     0.1\n")
        << QByteArray() << none;
    QTest::newRow("get over UDP: no answer for an unknown name, data or a whole array")
        << none
        << get + QStringList {"sim/no/such", "sim/cockpit2/radios/actuators/com1_frequency_hz",
                              "sim/aircraft/view/acf_tailnum", "sim/cockpit2/engine/indicators/N1_percent"}
        << 1 << QByteArray("sim/cockpit2/radios/actuators/com1_frequency_hz  11800\n")
        << QByteArray("refscope-cli: sim/no/such: no answer within 3 s") << none;
    QTest::newRow("get over UDP: what is no answer of the simulator is not read")
        << QStringLiteral("hostile")
        << get + QStringList {"sim/cockpit2/radios/actuators/com1_frequency_hz", "sim/cockpit2/engine/indicators/N1_percent[0]",
                              "--format", "csv"}
        << 0
        << QByteArray("Data ref,Value\r\nsim/cockpit2/radios/actuators/com1_frequency_hz,11800\r\n"
                      "sim/cockpit2/engine/indicators/N1_percent[0],20.5\r\n")
        << QByteArray() << none;
    QTest::newRow("get over UDP: a silent simulator is trouble")
        << QStringLiteral("udp silent") << get + QStringList {"sim/cockpit2/radios/actuators/com1_frequency_hz"} << 2
        << QByteArray() << QByteArray("refscope-cli: X-Plane at 127.0.0.1:") << none;
    QTest::newRow("get over UDP from the master that announces itself")
        << QStringLiteral("beacons") << QStringList {"sim", "get", "--udp", "sim/cockpit2/radios/actuators/com1_frequency_hz"}
        << 0 << QByteArray("sim/cockpit2/radios/actuators/com1_frequency_hz  11800\n") << QByteArray() << none;
    QTest::newRow("watch over UDP: the values, then each change; an unknown name told")
        << QStringLiteral("changes")
        << QStringList {"sim", "watch", "--udp", "UDP", "sim/cockpit2/radios/actuators/com1_frequency_hz",
                        "sim/cockpit2/engine/indicators/N1_percent[0]", "sim/no/such", "--for", "3.5"}
        << 1
        << QByteArray("sim/cockpit2/radios/actuators/com1_frequency_hz  11800\n"
                      "sim/cockpit2/engine/indicators/N1_percent[0]     20.5\n"
                      "sim/cockpit2/radios/actuators/com1_frequency_hz  11805\n"
                      "sim/cockpit2/engine/indicators/N1_percent[0]     21\n")
        << QByteArray("refscope-cli: sim/no/such: no answer within 3 s") << none;
    QTest::newRow("set over UDP")
        << none << QStringList {"sim", "set", "--udp", "UDP", "sim/cockpit2/radios/actuators/com1_frequency_hz", "12190"}
        << 0 << QByteArray() << QByteArray() << QStringLiteral("DREF sim/cockpit2/radios/actuators/com1_frequency_hz 12190");
    QTest::newRow("set an element over UDP")
        << none << QStringList {"sim", "set", "sim/cockpit2/engine/indicators/N1_percent[2]", "7.5", "--udp", "UDP"} << 0
        << QByteArray() << QByteArray() << QStringLiteral("DREF sim/cockpit2/engine/indicators/N1_percent[2] 7.5");
    QTest::newRow("set over UDP: more than one number, nothing written")
        << none << QStringList {"sim", "set", "--udp", "UDP", "sim/cockpit2/engine/indicators/N1_percent", "1,2"} << 2
        << QByteArray() << QByteArray("refscope-cli: cannot write \"1,2\"") << none;
    QTest::newRow("run over UDP") << none << QStringList {"sim", "run", "--udp", "UDP", "sim/none/none"} << 0 << QByteArray()
                                  << QByteArray() << QStringLiteral("CMND sim/none/none");
    QTest::newRow("run over UDP: no hold")
        << none << QStringList {"sim", "run", "--udp", "UDP", "sim/none/none", "--hold", "1"} << 2 << QByteArray()
        << QByteArray("refscope-cli: holding a command needs the web API") << none;
    QTest::newRow("list over UDP: the list needs the web API")
        << none << QStringList {"sim", "list", "--udp", "UDP"} << 2 << QByteArray()
        << QByteArray("refscope-cli: sim list needs the web API") << none;
    QTest::newRow("find: the simulator that announces itself, not the beacons it cannot read")
        << QStringLiteral("beacon") << QStringList {"sim", "find", "--for", "0.5"} << 0
        << QByteArray("UDP  master  X-Plane 11.55 (115501)  pilot-pc\n") << QByteArray() << none;
    QTest::newRow("find: none announces itself")
        << none << QStringList {"sim", "find", "--for", "0.2"} << 1 << QByteArray()
        << QByteArray("refscope-cli: no simulator announced itself within 0.2 s") << none;

    QTest::newRow("nothing listening")
        << QStringLiteral("closed") << QStringList {"sim", "get", "sim/a", "--sim", "SIM"} << 2 << QByteArray()
        << QByteArray("refscope-cli: nothing listens at 127.0.0.1:") << none;
    QTest::newRow("incoming traffic disabled")
        << QStringLiteral("forbidden") << QStringList {"sim", "list", "--sim", "SIM"} << 2 << QByteArray()
        << QByteArray("refscope-cli: X-Plane at 127.0.0.1:") << none;
    QTest::newRow("no flight loaded")
        << QStringLiteral("no flight") << QStringList {"sim", "list", "--sim", "SIM"} << 2 << QByteArray()
        << QByteArray("refscope-cli: X-Plane at ") << none;
    QTest::newRow("before 12.1.4: datarefs through v1")
        << QStringLiteral("v1") << QStringList {"sim", "get", "sim/cockpit2/radios/actuators/com1_frequency_hz", "--sim", "SIM", "--format", "csv"}
        << 0 << QByteArray("Data ref,Value\r\nsim/cockpit2/radios/actuators/com1_frequency_hz,11800\r\n") << QByteArray() << none;
    QTest::newRow("before 12.1.4: no commands")
        << QStringLiteral("v1") << QStringList {"sim", "run", "sim/none/none", "--sim", "SIM"} << 2 << QByteArray()
        << QByteArray("refscope-cli: X-Plane at ") << none;
    QTest::newRow("silence is trouble, not a hang")
        << QStringLiteral("silent") << QStringList {"sim", "list", "--sim", "SIM"} << 2 << QByteArray()
        << QByteArray("refscope-cli: X-Plane at ") << none;
    QTest::newRow("a list that breaks the promised shape")
        << QStringLiteral("broken list") << QStringList {"sim", "list", "--sim", "SIM"} << 2 << QByteArray()
        << QByteArray("refscope-cli: X-Plane at ") << none;
    QTest::newRow("a value that is not of its type")
        << QStringLiteral("broken value") << QStringList {"sim", "get", "sim/flightmodel/position/latitude", "--sim", "SIM"}
        << 2 << QByteArray() << QByteArray("refscope-cli: X-Plane at ") << none;
    QTest::newRow("an update that is not JSON")
        << QStringLiteral("broken update") << QStringList {"sim", "watch", "sim/flightmodel/position/latitude", "--sim", "SIM"}
        << 2 << QByteArray() << QByteArray("refscope-cli: X-Plane at ") << none;
}

void TestSim::eachCommand()
{
    QFETCH(QString, trouble);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QFETCH(QString, log);

    QVERIFY(dir.isValid());
    SimStandIn sim;
    fill(sim);
    if (trouble == QLatin1String("changes")) {
        sim.changes = {{{1253033683808, 11805}}, {{4611686018427387905, QJsonArray {21, 0.1, 0, 0}}},
                       {{4611686018427387905, QJsonArray {21, 0.2, 0, 0}}}};
    } else if (trouble == QLatin1String("writable")) {
        sim.dataRefs[1].writable = -1;
    } else if (trouble == QLatin1String("closed")) {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        arguments.replace(arguments.indexOf(QStringLiteral("SIM")), QStringLiteral("127.0.0.1:%1").arg(port));
    } else if (trouble == QLatin1String("forbidden")) {
        sim.forbidden = true;
    } else if (trouble == QLatin1String("no flight")) {
        sim.dataRefs.clear();
    } else if (trouble == QLatin1String("v1")) {
        sim.v1Only = true;
    } else if (trouble == QLatin1String("silent")) {
        sim.silent = true;
    } else if (trouble == QLatin1String("broken list")) {
        sim.replies.insert("/api/v2/datarefs", {200, R"({"data":[{"id":1.5,"name":"sim/a","value_type":"int"}]})"});
    } else if (trouble == QLatin1String("broken value")) {
        sim.replies.insert("/api/v2/datarefs/1253033683792/value", {200, R"({"data":"47.46"})"});
    } else if (trouble == QLatin1String("no values")) {
        sim.firstUpdate = R"({"type":"dataref_update_values","data":{}})";
    } else if (trouble == QLatin1String("broken update")) {
        sim.firstUpdate = "<html>update</html>";
    } else if (trouble == QLatin1String("udp silent")) {
        sim.udpSilent = true;
    } else if (trouble == QLatin1String("hostile")) {
        // Wine sends from every loopback address as from 127.0.0.1.
#ifdef Q_OS_UNIX
        QVERIFY(sim.beHostile(true));
#else
        QVERIFY(sim.beHostile(false));
#endif
    } else if (trouble == QLatin1String("beacon")) {
        sim.announce(beaconPort, {{1, "pilot-pc"}});
    } else if (trouble == QLatin1String("beacons")) {
        // An external visual first, which says it listens where nothing does.
        sim.announce(beaconPort, {{2, "visual-1", freeUdpPort()}, {1, "pilot-pc"}});
    }
    const CliRun result = run(sim, arguments);
    QCOMPARE(result.status, status);
    QCOMPARE(result.out, QByteArray(out).replace("UDP", sim.udpAddress().toLatin1()));
    QVERIFY2(result.err.startsWith(err) && (status != 2 || result.err.count('\n') == 1), result.err.constData());
    QCOMPARE(sim.log.join(QLatin1String("; ")), log);
    // Every value asked for over UDP was stopped, whichever way the program ended.
    QCOMPARE(sim.runningValues(), QStringList());
}

// Hundreds of values are asked for a hundred at a time, each batch read by the simulator before the
// next is sent, so that none is lost; each is answered and stopped.
void TestSim::udpAsksInBatches()
{
    SimStandIn sim;
    QStringList arguments {"sim", "get", "--udp", "UDP", "--format", "csv"};
    for (int i = 0; i < 250; ++i) {
        const QByteArray name = "sim/many/value_" + QByteArray::number(i);
        sim.dataRefs.push_back({i + 1, name, QStringLiteral("int"), i, 1});
        arguments << QString::fromLatin1(name);
    }
    const CliRun result = run(sim, arguments);
    QCOMPARE(result.status, 0);
    QCOMPARE(result.out.count('\n'), 251);
    QVERIFY(result.out.endsWith("sim/many/value_249,249\r\n"));
    QVERIFY2(sim.largestBatch > 0 && sim.largestBatch <= 100, QByteArray::number(sim.largestBatch).constData());
    QCOMPARE(sim.runningValues(), QStringList());
}

// What sim list writes in the list format opens as the window reads it, with every dataref of the
// simulator and what the shipped list says of them; show writes a list back byte for byte.
void TestSim::listOpensAsTheWindowReads()
{
    QVERIFY(dir.isValid());
    SimStandIn sim;
    fill(sim);
    const CliRun listed = run(sim, {"sim", "list", "--with", "FILE", "--format", "list", "--sim", "SIM"});
    QCOMPARE(listed.status, 0);
    QVERIFY(listed.out.startsWith("2 1214 "));
    QFile live(dir.filePath(QStringLiteral("Live.txt")));
    QVERIFY(live.open(QIODevice::WriteOnly));
    live.write(listed.out);
    live.close();
    ReferenceList list;
    QVERIFY(list.load(ReferenceList::encodeName(live.fileName())));
    QCOMPARE(list.kind, int32_t(DataRefs));
    QCOMPARE(list.references.size(), sim.dataRefs.size() - 1); // "bad name" cannot be a path
    const Reference &n1 = list.references[3];
    QCOMPARE(n1.path.toByteArray(), QByteArray("sim/cockpit2/engine/indicators/N1_percent"));
    QCOMPARE(n1.fields.toList(), (QList<QByteArray> {"float[4]", "n", "percent", "N1 speed, as a percent", "of max"}));
    QCOMPARE(list.references[0].fields.toList(), (QList<QByteArray> {"int", "?"}));

    const CliRun shown = run(sim, {"show", live.fileName(), "--format", "list"});
    QCOMPARE(shown.status, 0);
    QCOMPARE(shown.out.mid(shown.out.indexOf('\n')), listed.out.mid(listed.out.indexOf('\n')));
}

#ifdef Q_OS_UNIX
void TestSim::interruptEndsCleanly_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("closePipe");
    QTest::addColumn<QString>("log");
    QTest::newRow("watch") << QStringList {"sim", "watch", "sim/flightmodel/position/latitude", "--sim", "SIM"} << false
                           << QString();
    QTest::newRow("watch, its reader gone")
        << QStringList {"sim", "watch", "sim/flightmodel/position/latitude", "--sim", "SIM"} << true << QString();
    QTest::newRow("watch over UDP") << QStringList {"sim", "watch", "--udp", "UDP", "sim/flightmodel/position/latitude"}
                                    << false << QString();
    QTest::newRow("watch over UDP, its reader gone")
        << QStringList {"sim", "watch", "--udp", "UDP", "sim/flightmodel/position/latitude"} << true << QString();
    QTest::newRow("held command is released")
        << QStringList {"sim", "run", "sim/none/none", "--hold", "60", "--sim", "SIM"} << false
        << QStringLiteral("hold 1253033690000; release 1253033690000");
}

// Ctrl+C or a termination request ends a watch or a hold as its end would: exit 0, nothing held,
// no value still asked for over UDP.
void TestSim::interruptEndsCleanly()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, closePipe);
    QFETCH(QString, log);
    SimStandIn sim;
    fill(sim);
    sim.changeEvery(50, 1);
    // A reader that goes away: head, in a shell that keeps refscope-cli's status.
    if (closePipe)
        arguments = QStringList {"-c", "set -o pipefail; \"$@\" | head -n 1 > /dev/null", "bash", cliProgram()} + arguments;
    // A hold prints nothing: the interrupt comes once the simulator holds the command.
    const CliRun result = run(
        sim, arguments,
        [&](const QByteArray &out) {
            return !closePipe && (!out.isEmpty() || sim.log.value(0).startsWith(QLatin1String("hold")));
        },
        closePipe ? QStringLiteral("bash") : cliProgram());
    QCOMPARE(result.status, 0);
    QCOMPARE(result.err, QByteArray());
    QCOMPARE(sim.log.join(QLatin1String("; ")), log);
    QCOMPARE(sim.runningValues(), QStringList());
}
#endif

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
