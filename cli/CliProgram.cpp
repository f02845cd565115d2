#include "cli/CliProgram.h"

#include "BuildConfig.h"
#include "cli/ListDiff.h"
#include "cli/Output.h"
#include "cli/RecordWriter.h"
#include "cli/SimCommands.h"
#include "data/ReferenceList.h"
#include "data/ReferenceMatcher.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

// Why a file the loader refused cannot be read.
QString refusal(const QByteArray &fileName)
{
    const QFileInfo info(CliProgram::displayName(fileName));
    if (info.isDir())
        return QStringLiteral("is a folder, not a list");
    if (info.isFile())
        return info.isReadable() ? QStringLiteral("cannot be opened") : QStringLiteral("permission denied");
    if (info.exists())
        return QStringLiteral("is not a regular file");
    return QStringLiteral("no such file");
}

} // namespace

QString CliProgram::displayName(const QByteArray &fileName)
{
#ifdef Q_OS_WIN
    return QString::fromUtf8(fileName);
#else
    return QFile::decodeName(fileName);
#endif
}

QString CliProgram::kindName(int32_t kind)
{
    return kind == DataRefs ? QStringLiteral("a datarefs list") : QStringLiteral("a commands list");
}

CliProgram::CliProgram(Output &out, Output &err)
    : out(out)
    , err(err)
{
}

int CliProgram::run(const QList<QByteArray> &arguments)
{
    QString error;
    if (!options.parse(arguments, &error)) {
        err.buffer() += "refscope-cli: " + error.toUtf8() + '\n' + CommandLine::usage()
            + "Try \"refscope-cli --help\" for more.\n";
        return Trouble;
    }
    switch (options.command) {
    case CommandLine::Help:
        out.buffer() += CommandLine::help();
        return finish(Found);
    case CommandLine::Version:
        out.buffer() += "refscope-cli " REFSCOPE_VERSION " (revision " REFSCOPE_REVISION ")\n";
        return finish(Found);
    case CommandLine::Show:
        return show();
    case CommandLine::Search:
        return search();
    case CommandLine::Diff:
        return diff();
    default:
        return SimCommands(*this, options, out, err).run();
    }
    return Trouble;
}

int CliProgram::trouble(const QString &message)
{
    err.buffer() += "refscope-cli: " + message.toUtf8() + '\n';
    return Trouble;
}

int CliProgram::finish(int status)
{
    out.flush();
    if (out.ok() || out.readerGone())
        return status;
    return trouble(QStringLiteral("cannot write the output: %1").arg(out.error()));
}

bool CliProgram::load(const QByteArray &fileName, ReferenceList &list, const QByteArray *mustContain)
{
    const bool loaded = mustContain ? list.loadContaining(fileName, *mustContain) : list.load(fileName);
    if (!loaded) {
        trouble(QStringLiteral("%1: %2").arg(displayName(fileName), refusal(fileName)));
        return false;
    }
    if (list.incomplete) {
        trouble(QStringLiteral("%1: the reading broke off (a read error, or a line of 1 GiB or more)")
                    .arg(displayName(fileName)));
        return false;
    }
    // The records may then mix states of the file, or hold a line cut where another program was
    // writing: a whole answer cannot be given.
    if (list.changed) {
        trouble(QStringLiteral("%1: the file changed while it was read").arg(displayName(fileName)));
        return false;
    }
    return true;
}

int CliProgram::show()
{
    ReferenceList list;
    if (!load(options.files.first(), list))
        return Trouble;
    std::vector<const Reference *> records;
    records.reserve(list.references.size());
    for (const Reference &record : list.references)
        records.push_back(&record);
    RecordWriter(options.format, list.kind, out).writeRecords(records);
    return finish(Found);
}

int CliProgram::search()
{
    // Only the lines that hold the longest text can match every one, and only those are sorted.
    const QByteArray &longest = *std::max_element(
        options.texts.begin(), options.texts.end(), [](const QByteArray &a, const QByteArray &b) { return a.size() < b.size(); });
    ReferenceList list;
    if (!load(options.files.first(), list, &longest))
        return Trouble;
    if ((options.hasType || !options.writable.isEmpty()) && list.kind != DataRefs) {
        return trouble(QStringLiteral("%1 is a commands list: --type and --writable apply to a datarefs list")
                           .arg(displayName(options.files.first())));
    }

    std::vector<ReferenceMatcher> matchers;
    for (const QByteArray &text : options.texts)
        matchers.emplace_back(text, options.pathOnly);
    std::vector<const Reference *> found;
    for (const Reference &record : list.references) {
        if (options.hasType && record.fields.value(0) != options.type)
            continue;
        if (!options.writable.isEmpty() && record.fields.value(1) != options.writable)
            continue;
        if (std::all_of(matchers.begin(), matchers.end(),
                        [&](const ReferenceMatcher &matcher) { return matcher.matches(record); }))
            found.push_back(&record);
    }
    RecordWriter(options.format, list.kind, out).writeRecords(found);
    return finish(found.empty() ? NotFound : Found);
}

int CliProgram::diff()
{
    ReferenceList oldList;
    ReferenceList newList;
    if (!load(options.files.at(0), oldList) || !load(options.files.at(1), newList))
        return Trouble;
    if (oldList.kind != newList.kind) {
        return trouble(QStringLiteral("%1 is %2 and %3 %4: they cannot be compared")
                           .arg(displayName(options.files.at(0)), kindName(oldList.kind),
                                displayName(options.files.at(1)), kindName(newList.kind)));
    }
    return compare(oldList, newList);
}

int CliProgram::compare(const ReferenceList &oldList, const ReferenceList &newList)
{
    RecordWriter writer(options.format, oldList.kind, out);
    qint64 counts[3] = {0, 0, 0};
    if (!options.stat)
        writer.writeDiffHeader();
    ListDiff(oldList, newList).compare([&](const ListDiff::Change &change) {
        ++counts[change.kind];
        if (options.stat)
            return true;
        switch (change.kind) {
        case ListDiff::Added:
            writer.writeAdded(*change.newRecord);
            break;
        case ListDiff::Removed:
            writer.writeRemoved(*change.oldRecord);
            break;
        case ListDiff::Changed:
            writer.writeChanged(*change.oldRecord, *change.newRecord,
                                ListDiff::changedColumns(oldList.kind, *change.oldRecord, *change.newRecord));
            break;
        }
        return out.ok();
    });
    if (out.ok())
        writer.writeDiffCounts(counts[ListDiff::Added], counts[ListDiff::Removed], counts[ListDiff::Changed], options.stat);
    return finish(counts[0] + counts[1] + counts[2] > 0 ? Different : Same);
}
