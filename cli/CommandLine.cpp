#include "cli/CommandLine.h"

namespace {

QString quoted(const QByteArray &argument)
{
    return QLatin1Char('"') + QString::fromUtf8(argument) + QLatin1Char('"');
}

} // namespace

bool CommandLine::parse(const QList<QByteArray> &arguments, QString *error)
{
    if (arguments.isEmpty()) {
        *error = QStringLiteral("no command given");
        return false;
    }
    // "refscope-cli diff --help" asks for help as much as "refscope-cli --help" does.
    const int optionsEnd = arguments.indexOf("--");
    for (int i = 0; i < (optionsEnd < 0 ? arguments.size() : optionsEnd); ++i) {
        if (arguments.at(i) == "--help" || arguments.at(i) == "-h") {
            command = Help;
            return true;
        }
    }
    const QByteArray name = arguments.first();
    if (name == "--version") {
        command = Version;
        return true;
    }
    if (name == "show")
        command = Show;
    else if (name == "search")
        command = Search;
    else if (name == "diff")
        command = Diff;
    else {
        *error = (name.startsWith('-') ? QStringLiteral("unknown option ") : QStringLiteral("unknown command "))
            + quoted(name);
        return false;
    }

    QList<QByteArray> positional;
    bool textsOnly = false;
    for (int i = 1; i < arguments.size(); ++i) {
        QByteArray argument = arguments.at(i);
        if (textsOnly || !argument.startsWith("--") || argument == "--") {
            if (argument == "--" && !textsOnly)
                textsOnly = true;
            else
                positional << argument;
            continue;
        }
        // "--name value" or "--name=value".
        QByteArray value;
        bool hasValue = false;
        const int equals = argument.indexOf('=');
        if (equals > 0) {
            value = argument.mid(equals + 1);
            argument.truncate(equals);
            hasValue = true;
        }
        const auto takeValue = [&]() {
            if (!hasValue && i + 1 < arguments.size()) {
                value = arguments.at(++i);
                hasValue = true;
            }
            if (!hasValue)
                *error = QStringLiteral("%1 needs a value").arg(quoted(argument));
            return hasValue;
        };
        const auto only = [&](Command allowed) {
            if (command != allowed) {
                *error = QStringLiteral("%1 applies to %2 alone")
                             .arg(quoted(argument), allowed == Search ? QStringLiteral("search") : QStringLiteral("diff"));
                return false;
            }
            return true;
        };
        if (argument == "--format") {
            if (!takeValue())
                return false;
            if (!RecordWriter::parseFormat(value, &format)) {
                *error = QStringLiteral("unknown format %1: give text, tsv, csv or jsonl").arg(quoted(value));
                return false;
            }
        } else if (argument == "--path-only" && !hasValue) {
            if (!only(Search))
                return false;
            pathOnly = true;
        } else if (argument == "--type") {
            if (!only(Search) || !takeValue())
                return false;
            hasType = true;
            type = value;
        } else if (argument == "--writable") {
            if (!only(Search) || !takeValue())
                return false;
            if (value != "y" && value != "n") {
                *error = QStringLiteral("--writable takes y or n, not %1").arg(quoted(value));
                return false;
            }
            writable = value;
        } else if (argument == "--stat" && !hasValue) {
            if (!only(Diff))
                return false;
            stat = true;
        } else {
            *error = QStringLiteral("unknown option %1").arg(quoted(arguments.at(i)));
            return false;
        }
    }

    const int needed = command == Show ? 1 : 2;
    if (positional.size() < needed || (command != Search && positional.size() > needed)) {
        static const char *const forms[] = {"", "", "show takes one FILE", "search takes a FILE and at least one TEXT",
                                            "diff takes two FILEs, OLD and NEW"};
        *error = QString::fromLatin1(forms[command]);
        return false;
    }
    files = positional.mid(0, command == Diff ? 2 : 1);
    texts = command == Search ? positional.mid(1) : QList<QByteArray>();
    return true;
}

QByteArray CommandLine::usage()
{
    return "Usage: refscope-cli show FILE [--format F]\n"
           "  or:  refscope-cli search FILE TEXT... [--format F] [--path-only] [--type T] [--writable y|n]\n"
           "  or:  refscope-cli diff OLD NEW [--format F] [--stat]\n"
           "  or:  refscope-cli --help | --version\n";
}

QByteArray CommandLine::help()
{
    return usage()
        + "Show, search and compare the datarefs and commands lists of the X-Plane flight\n"
          "simulator as Refscope reads them: the same kinds, the same order (sorted by\n"
          "path), the same columns.\n"
          "\n"
          "Commands:\n"
          "  show FILE            every record of FILE\n"
          "  search FILE TEXT...  the records whose path, or one of whose fields, holds each\n"
          "                       TEXT exactly, as the window's search finds them (the case\n"
          "                       and the blanks count)\n"
          "  diff OLD NEW         what changed from OLD to NEW, record by record, paired by\n"
          "                       path: + added, - removed, ~ changed, and the counts\n"
          "\n"
          "Options:\n"
          "  --format F           text (aligned columns, the default), tsv or csv (with a\n"
          "                       header row), or jsonl (one JSON object a line); in tsv and\n"
          "                       csv a changed record of diff is an \"old\" and a \"new\" row\n"
          "  --path-only          search: look for the TEXTs in the path alone\n"
          "  --type T             search: only data refs of type T, as the file writes it\n"
          "                       (float, int, float[8], ...)\n"
          "  --writable y|n       search: only data refs that are (y) or are not (n) writable\n"
          "  --stat               diff: only the numbers of added, removed and changed records\n"
          "  --                   what follows is FILEs and TEXTs, even when it starts with --\n"
          "  -h, --help           show this help and exit\n"
          "  --version            show the version and exit\n"
          "\n"
          "Exit status: 0 when records were found or the lists do not differ, 1 when\n"
          "nothing was found or they differ, 2 on trouble: a file that cannot be read or is\n"
          "not a regular file, a bad option, or two lists of different kinds.\n";
}
