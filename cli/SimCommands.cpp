#include "cli/SimCommands.h"

#include "cli/CliProgram.h"
#include "cli/CommandLine.h"
#include "cli/Interrupt.h"
#include "cli/Output.h"
#include "cli/RecordWriter.h"
#include "data/ReferenceList.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace {

// Text widths of names in the text format, as records' columns are bounded.
constexpr int maxNameWidth = 64;

// A description as one field of a line: no line breaks or tabs, no blanks at its ends.
QByteArray oneField(const QString &text)
{
    QString field = text;
    for (QChar &c : field) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char(' ');
    }
    return field.trimmed().toUtf8();
}

// Appends the type field of a list line: "float[8]", or "float[]" when the length is not known.
void appendType(QByteArray &text, const ApiDocument::DataRef &dataRef, int length)
{
    static const char *const names[] = {"int", "float", "double", "int[", "float[", "byte["};
    if (dataRef.type == SimValue::Other) {
        text += oneField(dataRef.typeName);
        return;
    }
    text += names[dataRef.type];
    if (SimValue::isArray(dataRef.type)) {
        if (length >= 0)
            text += QByteArray::number(length);
        text += ']';
    }
}

// The first line of a datarefs list: "2", the simulator's version as the files write it (1214 for
// 12.1.4) and the time the list was made.
QByteArray listHeader(const QString &simulator)
{
    const QRegularExpressionMatch version
        = QRegularExpression(QStringLiteral("^(\\d+)\\.(\\d)\\.(\\d)")).match(simulator);
    const QString number = version.hasMatch() ? version.captured(1) + version.captured(2) + version.captured(3)
                                              : QStringLiteral("0");
    return "2 " + number.toLatin1() + ' '
        + QLocale::c().toString(QDateTime::currentDateTime(), QStringLiteral("ddd MMM d HH:mm:ss yyyy")).toLatin1();
}

// The version a list's first line names: "2 1214" of "2 1214 Tue Dec 8 19:03:30 2026".
QList<QByteArray> versionOf(const QByteArray &header)
{
    return header.left(64).simplified().split(' ').mid(0, 2);
}

int nameWidth(const QList<SimLink::Target> &targets)
{
    int width = 0;
    for (const SimLink::Target &target : targets)
        width = std::max(width, std::min(int(QString::fromUtf8(target.given).size()), maxNameWidth));
    return width;
}

} // namespace

SimCommands::SimCommands(CliProgram &program, const CommandLine &options, Output &out, Output &err)
    : program(program)
    , options(options)
    , out(out)
    , err(err)
{
    if (options.udp || options.command == CommandLine::SimFind) {
        udp = std::make_unique<UdpLink>(options.udpAddress, beaconPort());
        link = udp.get();
    } else {
        webApi = std::make_unique<WebApiLink>(options.simAddress);
        link = webApi.get();
    }
}

quint16 SimCommands::beaconPort()
{
    if (!qEnvironmentVariableIsSet("REFSCOPE_BEACON_PORT"))
        return UdpMessage::beaconPort;
    bool ok = false;
    const uint port = qgetenv("REFSCOPE_BEACON_PORT").toUInt(&ok);
    return ok && port <= 65535 ? quint16(port) : 0;
}

int SimCommands::run()
{
    if (udp && beaconPort() == 0) {
        return program.trouble(QStringLiteral("REFSCOPE_BEACON_PORT holds no UDP port number: \"%1\"")
                                   .arg(qEnvironmentVariable("REFSCOPE_BEACON_PORT")));
    }
    switch (options.command) {
    case CommandLine::SimList:
        return list();
    case CommandLine::SimDiff:
        return diff();
    case CommandLine::SimGet:
        return get();
    case CommandLine::SimWatch:
        return watch();
    case CommandLine::SimSet:
        return set();
    case CommandLine::SimRun:
        return runCommand();
    case CommandLine::SimFind:
        return find();
    default:
        return CliProgram::Trouble;
    }
}

int SimCommands::trouble()
{
    return program.trouble(link->error());
}

std::unique_ptr<Interrupt> SimCommands::interruptible()
{
    auto interrupt = std::make_unique<Interrupt>();
    QObject::connect(interrupt.get(), &Interrupt::interrupted, link, &SimLink::stop);
    return interrupt;
}

int SimCommands::needsWebApi()
{
    return program.trouble(QStringLiteral("%1 needs the web API of X-Plane 12.1.1 or later (--sim HOST:PORT): UDP "
                                          "carries values and commands, not the lists")
                               .arg(CommandLine::commandName(options.command)));
}

QList<SimLink::Target> SimCommands::targets() const
{
    QList<SimLink::Target> targets;
    for (const QByteArray &name : options.texts)
        targets << SimLink::target(name);
    return targets;
}

bool SimCommands::tellProblems(const QList<SimLink::Target> &targets, const std::vector<SimLink::Reading> &readings)
{
    bool none = true;
    for (int i = 0; i < targets.size(); ++i) {
        if (!readings[size_t(i)].problem.isEmpty()) {
            err.buffer() += "refscope-cli: " + targets.at(i).given + ": " + readings[size_t(i)].problem.toUtf8() + '\n';
            none = false;
        }
    }
    return none;
}

bool SimCommands::simulatorList(int32_t kind, const ReferenceList *file, bool fileDecides, ReferenceList &list)
{
    QHash<QByteArray, const Reference *> inFile;
    if (file) {
        for (const Reference &record : file->references) {
            const QByteArray path = record.path.toByteArray();
            if (!inFile.contains(path))
                inFile.insert(path, &record);
        }
    }
    // The text of a list file, read by the loader's own parser: the records, their order and their
    // fields are what the window reads from what --format list writes.
    QByteArray text;
    int skipped = 0;
    if (kind == Commands) {
        std::vector<ApiDocument::Command> commands;
        if (!webApi->commands(commands, skipped))
            return false;
        text = "\n";
        for (const ApiDocument::Command &command : commands) {
            const Reference *known = inFile.value(command.name);
            QByteArray description = oneField(command.description);
            if (known && (fileDecides || description.isEmpty()))
                description = known->fields.text().toByteArray();
            text += command.name;
            if (!description.isEmpty()) {
                text += '\t';
                text += description;
            }
            text += '\n';
        }
    } else {
        std::vector<ApiDocument::DataRef> dataRefs;
        if (!webApi->dataRefs(dataRefs, skipped))
            return false;
        std::vector<std::pair<qint64, SimValue::Type>> arrays;
        for (const ApiDocument::DataRef &dataRef : dataRefs) {
            if (SimValue::isArray(dataRef.type) && !(fileDecides && inFile.contains(dataRef.name)))
                arrays.emplace_back(dataRef.id, dataRef.type);
        }
        QHash<qint64, int> lengths;
        if (!webApi->arrayLengths(arrays, lengths))
            return false;
        if (size_t(lengths.size()) < arrays.size()) {
            err.buffer() += "refscope-cli: the simulator sent no value of "
                + QByteArray::number(qint64(arrays.size()) - lengths.size())
                + " arrays: their types are written without a length, as float[]\n";
        }
        // Appended in place: a list of ten thousand lines is made in a millisecond.
        text = listHeader(webApi->simulatorVersion()) + '\n';
        qint64 size = text.size();
        for (const ApiDocument::DataRef &dataRef : dataRefs)
            size += dataRef.name.size() + 16;
        // The answer's own bound keeps this far below the largest array.
        text.reserve(int(std::min<qint64>(size, qint64(1) << 30)));
        for (const ApiDocument::DataRef &dataRef : dataRefs) {
            const Reference *known = inFile.value(dataRef.name);
            const int length = SimValue::isArray(dataRef.type) ? lengths.value(dataRef.id, -1) : -1;
            const bool untold = dataRef.type == SimValue::Other || (SimValue::isArray(dataRef.type) && length < 0);
            text += dataRef.name;
            text += '\t';
            if (known && (fileDecides || untold) && known->fields.size() >= 1)
                text.append(known->fields.at(0).constData(), known->fields.at(0).size());
            else
                appendType(text, dataRef, length);
            text += '\t';
            if (known && dataRef.writable == ApiDocument::WritableUnknown && known->fields.size() >= 2)
                text.append(known->fields.at(1).constData(), known->fields.at(1).size());
            else
                text += dataRef.writable == ApiDocument::IsWritable ? 'y' : dataRef.writable == ApiDocument::NotWritable ? 'n' : '?';
            if (known && known->fields.size() > 2) {
                const ByteString &fields = known->fields.text();
                const ByteString second = known->fields.at(1);
                const int rest = int(second.constData() - fields.constData()) + second.size();
                text.append(fields.constData() + rest, fields.size() - rest);
            }
            text += '\n';
        }
    }
    if (skipped > 0) {
        err.buffer() += QByteArray("refscope-cli: left out the simulator's ")
            + (kind == Commands ? "commands" : "datarefs")
            + " whose names a list cannot hold (a blank or a control character in them): "
            + QByteArray::number(skipped) + '\n';
    }
    list.parse(text);
    return true;
}

int SimCommands::list()
{
    if (udp)
        return needsWebApi();
    const int32_t kind = options.commands ? Commands : DataRefs;
    ReferenceList file;
    if (!options.withFile.isEmpty()) {
        if (!program.load(options.withFile, file))
            return CliProgram::Trouble;
        if (file.kind != kind) {
            return program.trouble(QStringLiteral("%1 is %2: --with takes %3")
                                       .arg(CliProgram::displayName(options.withFile), CliProgram::kindName(file.kind),
                                            CliProgram::kindName(kind)));
        }
    }
    ReferenceList simulator;
    if (!simulatorList(kind, options.withFile.isEmpty() ? nullptr : &file, false, simulator))
        return trouble();
    std::vector<const Reference *> records;
    records.reserve(simulator.references.size());
    for (const Reference &record : simulator.references)
        records.push_back(&record);
    RecordWriter writer = program.writer(kind);
    writer.setListHeader(simulator.header);
    writer.writeRecords(records);
    return program.finish(CliProgram::Found);
}

int SimCommands::diff()
{
    if (udp)
        return needsWebApi();
    ReferenceList file;
    if (!program.load(options.files.first(), file))
        return CliProgram::Trouble;
    ReferenceList simulator;
    if (!simulatorList(file.kind, &file, true, simulator))
        return trouble();
    // The simulator's first line holds the time it was read, which says nothing of its version.
    return program.compare(file, simulator, versionOf(file.header) == versionOf(simulator.header));
}

int SimCommands::get()
{
    const QList<SimLink::Target> targets = this->targets();
    std::vector<SimLink::Reading> readings;
    // Over UDP values are waited for: Ctrl+C ends the wait, and what was asked for is stopped.
    const std::unique_ptr<Interrupt> interrupt = udp ? interruptible() : nullptr;
    if (!link->resolve(targets, readings) || !link->read(targets, readings))
        return trouble();
    RecordWriter writer = program.writer(DataRefs);
    writer.writeValueHeader();
    const int width = nameWidth(targets);
    for (int i = 0; i < targets.size(); ++i) {
        const SimLink::Reading &reading = readings[size_t(i)];
        if (reading.problem.isEmpty())
            writer.writeValue(targets.at(i).given, reading.value.toJson(reading.type),
                              reading.value.toText(reading.type).toUtf8(), width);
    }
    return program.finish(tellProblems(targets, readings) ? CliProgram::Found : CliProgram::NotFound);
}

int SimCommands::watch()
{
    const QList<SimLink::Target> targets = this->targets();
    std::vector<SimLink::Reading> readings;
    // The web API's look-ups end by themselves within seconds; UDP's search for a simulator is stopped.
    std::unique_ptr<Interrupt> interrupt = udp ? interruptible() : nullptr;
    if (!link->resolve(targets, readings))
        return trouble();
    if (!tellProblems(targets, readings))
        return CliProgram::NotFound;
    if (!interrupt)
        interrupt = interruptible();
    RecordWriter writer = program.writer(DataRefs);
    writer.writeValueHeader();
    out.flush();
    const int width = nameWidth(targets);
    // Over UDP a name the simulator does not know is only known by its silence.
    QSet<int> unanswered;
    QObject::connect(link, &SimLink::unanswered, link, [&](int i) {
        unanswered.insert(i);
        err.buffer() += "refscope-cli: " + targets.at(i).given + ": no answer within "
            + QByteArray::number(UdpLink::patienceMs / 1000)
            + " s: not a dataref the simulator knows, or one UDP cannot carry\n";
        err.flush();
    });
    QElapsedTimer clock;
    clock.start();
    const bool watched = link->watch(targets, readings, options.seconds, [&](int i, const SimValue &value) {
        unanswered.remove(i);
        const SimLink::Reading &reading = readings[size_t(i)];
        writer.writeValue(targets.at(i).given, value.toJson(reading.type), value.toText(reading.type).toUtf8(), width,
                          options.format == RecordWriter::Jsonl ? double(clock.nsecsElapsed()) / 1e9 : -1);
        // Each change is seen as it comes; a reader gone (`| head`) ends the watch.
        out.flush();
        return out.ok();
    });
    if (!watched)
        return trouble();
    return program.finish(unanswered.isEmpty() ? CliProgram::Found : CliProgram::NotFound);
}

int SimCommands::set()
{
    const QList<SimLink::Target> targets {SimLink::target(options.texts.at(0))};
    std::vector<SimLink::Reading> readings;
    if (!link->resolve(targets, readings))
        return trouble();
    if (!readings.front().problem.isEmpty()) {
        return program.trouble(QStringLiteral("%1: %2; nothing was written")
                                   .arg(QString::fromUtf8(targets.front().given), readings.front().problem));
    }
    if (!link->write(targets.front(), readings.front(), options.texts.at(1)))
        return trouble();
    return CliProgram::Found;
}

int SimCommands::runCommand()
{
    const std::unique_ptr<Interrupt> interrupt = interruptible();
    if (!link->run(options.texts.first(), options.seconds))
        return trouble();
    return CliProgram::Found;
}

int SimCommands::find()
{
    const std::unique_ptr<Interrupt> interrupt = interruptible();
    const double seconds = options.seconds < 0 ? UdpLink::patienceMs / 1000.0 : options.seconds;
    // Each simulator announces itself again and again: it is told once.
    QSet<QString> told;
    const bool listened = udp->listen(qint64(std::ceil(seconds * 1000)), [&](const QHostAddress &from, const UdpMessage::Beacon &beacon) {
        const QString line = (from.protocol() == QAbstractSocket::IPv6Protocol ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2"))
                                 .arg(from.toString())
                                 .arg(beacon.port)
            + QStringLiteral("  %1  %2  %3\n").arg(UdpMessage::roleText(beacon.role), UdpMessage::programText(beacon), beacon.name);
        if (told.contains(line))
            return true;
        told.insert(line);
        out.buffer() += line.toUtf8();
        out.flush();
        return out.ok();
    });
    if (!listened)
        return trouble();
    if (told.isEmpty()) {
        err.buffer() += QStringLiteral("refscope-cli: no simulator announced itself within %1 s%2\n")
                            .arg(seconds)
                            .arg(udp->groupProblem().isEmpty()
                                     ? QString()
                                     : QStringLiteral(" (cannot join the beacons' multicast group %1: %2)")
                                           .arg(QLatin1String(UdpMessage::beaconGroup), udp->groupProblem()))
                            .toUtf8();
    }
    return program.finish(told.isEmpty() ? CliProgram::NotFound : CliProgram::Found);
}
