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
#include <cstdio>

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

// Standard input, whole, as a file's bytes, into content: to its end, or until a line reaches
// lineLimit (the parse then ends there, as a load does). Its size is known only at its end, and it
// may never end: false, with why, once it passes what one byte array holds, or on a read error.
bool readStandardInput(QByteArray &content, qint64 lineLimit, QString *why)
{
    constexpr qint64 maxInput = (qint64(1) << 31) - (qint64(1) << 20);
    qint64 used = 0;
    qint64 lineStart = 0;
    for (;;) {
        if (used == content.size()) {
            if (used >= maxInput) {
                *why = QStringLiteral("2 GiB or more: give it as a file");
                return false;
            }
            content.resize(int(std::min(maxInput, std::max(2 * used, qint64(1) << 16))));
        }
        const size_t count = std::fread(content.data() + used, 1, size_t(content.size() - used), stdin);
        if (count == 0) {
            if (std::ferror(stdin)) {
                *why = QStringLiteral("cannot be read");
                return false;
            }
            break;
        }
        for (qint64 i = used + qint64(count); i > used; --i) {
            if (content.at(int(i - 1)) == '\n') {
                lineStart = i;
                break;
            }
        }
        used += qint64(count);
        if (used - lineStart >= lineLimit)
            break;
    }
    content.resize(int(used));
    return true;
}

} // namespace

QString CliProgram::displayName(const QByteArray &fileName)
{
    if (fileName == "-")
        return QStringLiteral("standard input");
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
    if (fileName == "-") {
        QByteArray content;
        QString why;
        if (!readStandardInput(content, list.lineLimit, &why)) {
            trouble(QStringLiteral("standard input: %1").arg(why));
            return false;
        }
        list.parse(content);
    } else if (!(mustContain ? list.loadContaining(fileName, *mustContain, options.ignoreCase) : list.load(fileName))) {
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

RecordWriter CliProgram::writer(int32_t kind) const
{
    RecordWriter writer(options.format, kind, out);
    writer.setHeaderRow(options.headerRow);
    // As grep: a terminal that can show colours, unless the user asked for none.
    const QByteArray term = qgetenv("TERM");
    writer.setColor(options.color == CommandLine::ColorAlways
                    || (options.color == CommandLine::ColorAuto && out.isTerminal() && qgetenv("NO_COLOR").isEmpty()
                        && !term.isEmpty() && term != "dumb"));
    return writer;
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
    RecordWriter writer = this->writer(list.kind);
    writer.setListHeader(list.header);
    writer.writeRecords(records);
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
        matchers.emplace_back(text, options.pathOnly, options.ignoreCase);
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
    if (options.count) {
        out.buffer() += QByteArray::number(qint64(found.size())) + '\n';
    } else {
        RecordWriter writer = this->writer(list.kind);
        writer.setListHeader(list.header);
        writer.setMarks(&matchers);
        writer.writeRecords(found);
    }
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
    return compare(oldList, newList, oldList.header == newList.header);
}

int CliProgram::compare(const ReferenceList &oldList, const ReferenceList &newList, bool sameVersion)
{
    RecordWriter writer = this->writer(oldList.kind);
    writer.setVersions(oldList.header, newList.header);
    if (!sameVersion)
        writer.writeVersionChange();
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
