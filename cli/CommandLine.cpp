#include "cli/CommandLine.h"

#include "live/UdpLink.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <iterator>

namespace {

QString quoted(const QByteArray &argument)
{
    return QLatin1Char('"') + QString::fromUtf8(argument) + QLatin1Char('"');
}

using Command = CommandLine::Command;

// The commands that take an option, named for a message: "search", "show, search and sim list".
QString commandNames(std::initializer_list<Command> commands)
{
    QStringList names;
    for (const Command command : commands)
        names << CommandLine::commandName(command);
    const QString last = names.takeLast();
    return names.isEmpty() ? last : names.join(QLatin1String(", ")) + QStringLiteral(" and ") + last;
}

bool readSeconds(const QByteArray &option, const QByteArray &value, double &seconds, QString *error)
{
    bool ok = false;
    seconds = value.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > 1e6) {
        *error = QStringLiteral("%1 takes a number of seconds above 0, not %2").arg(quoted(option), quoted(value));
        return false;
    }
    return true;
}

bool readAddress(const QByteArray &value, QString &address, QString *error)
{
    const int colon = value.lastIndexOf(':');
    bool ok = false;
    const int port = colon > 0 ? value.mid(colon + 1).toInt(&ok) : 0;
    const QByteArray host = value.left(colon);
    if (!ok || port < 1 || port > 65535 || host.isEmpty() || host.contains('/') || host.contains('@')
        || host.contains(' ')) {
        *error = QStringLiteral("--sim takes HOST:PORT, such as 127.0.0.1:8086, not %1").arg(quoted(value));
        return false;
    }
    address = QString::fromUtf8(value);
    return true;
}

// Whether the argument after --udp is its HOST[:PORT]: dataref and command names hold a slash, and a
// VALUE may be a number.
bool isHost(const QByteArray &argument)
{
    bool isNumber = false;
    argument.toDouble(&isNumber);
    return !argument.isEmpty() && !argument.startsWith('-') && !argument.contains('/') && !argument.contains(',')
        && !isNumber;
}

} // namespace

QString CommandLine::commandName(Command command)
{
    static const char *const names[] = {"--help", "--version", "show",     "search",  "diff",   "sim list",
                                        "sim diff", "sim get",  "sim watch", "sim set", "sim run",
                                        "sim find"};
    return QString::fromLatin1(names[command]);
}

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
    QByteArray name = arguments.first();
    int first = 1;
    if (name == "sim") {
        name += ' ' + arguments.value(1);
        first = 2;
    }
    if (name == "--version") {
        command = Version;
        return true;
    }
    bool known = false;
    for (int i = Show; i <= SimFind && !known; ++i) {
        if (name == commandName(Command(i)).toLatin1()) {
            command = Command(i);
            known = true;
        }
    }
    if (!known) {
        if (name == "sim ")
            *error = QStringLiteral("sim needs a command: list, diff, get, watch, set, run or find");
        else
            *error = (name.startsWith('-') ? QStringLiteral("unknown option ") : QStringLiteral("unknown command "))
                + quoted(name);
        return false;
    }

    QList<QByteArray> positional;
    // Short options that go together ("-ic") are taken one by one.
    QList<QByteArray> words = arguments;
    bool textsOnly = false;
    bool simGiven = false;
    for (int i = first; i < words.size(); ++i) {
        QByteArray argument = words.at(i);
        if (textsOnly || !isOption(argument)) {
            positional << argument;
            continue;
        }
        if (argument == "--") {
            textsOnly = true;
            continue;
        }
        // "--name value" or "--name=value"; a short option takes no value.
        QByteArray value;
        bool hasValue = false;
        const int equals = argument.indexOf('=');
        if (argument.startsWith("--") && equals > 0) {
            value = argument.mid(equals + 1);
            argument.truncate(equals);
            hasValue = true;
        } else if (!argument.startsWith("--") && argument.size() > 2) {
            // Letters alone: "-i5" is no "-i" and "-5", nor "-i-" "-i" and "--".
            if (uchar((argument.at(2) | 0x20) - 'a') >= 26) {
                *error = QStringLiteral("unknown option %1").arg(quoted(argument));
                return false;
            }
            words.insert(i + 1, '-' + argument.mid(2));
            argument.truncate(2);
        }
        const auto takeValue = [&]() {
            if (!hasValue && i + 1 < words.size()) {
                value = words.at(++i);
                hasValue = true;
            }
            if (!hasValue)
                *error = QStringLiteral("%1 needs a value").arg(quoted(argument));
            return hasValue;
        };
        const auto only = [&](std::initializer_list<Command> allowed) {
            for (const Command each : allowed) {
                if (command == each)
                    return true;
            }
            *error = QStringLiteral("%1 applies to %2 alone").arg(quoted(argument), commandNames(allowed));
            return false;
        };
        if (argument == "--format") {
            if (!only({Show, Search, Diff, SimList, SimDiff, SimGet, SimWatch}) || !takeValue())
                return false;
            if (!RecordWriter::parseFormat(value, &format)) {
                *error = QStringLiteral("unknown format %1: give text, tsv, csv, jsonl, list or paths").arg(quoted(value));
                return false;
            }
            if ((format == RecordWriter::List || format == RecordWriter::Paths) && command != Show
                && command != Search && command != SimList) {
                *error = QStringLiteral("--format %1 applies to %2 alone")
                             .arg(QString::fromUtf8(value), commandNames({Show, Search, SimList}));
                return false;
            }
        } else if (argument == "--no-header" && !hasValue) {
            if (!only({Show, Search, Diff, SimList, SimDiff, SimGet, SimWatch}))
                return false;
            headerRow = false;
        } else if ((argument == "--ignore-case" || argument == "-i") && !hasValue) {
            if (!only({Search}))
                return false;
            ignoreCase = true;
        } else if ((argument == "--count" || argument == "-c") && !hasValue) {
            if (!only({Search}))
                return false;
            count = true;
        } else if (argument == "--color") {
            // As grep's: --color alone is auto.
            static const char *const whens[] = {"auto", "always", "never"};
            const auto when = hasValue ? std::find(std::begin(whens), std::end(whens), value) : std::begin(whens);
            if (when == std::end(whens)) {
                *error = QStringLiteral("--color takes auto, always or never, not %1").arg(quoted(value));
                return false;
            }
            color = Color(when - std::begin(whens));
        } else if (argument == "--path-only" && !hasValue) {
            if (!only({Search}))
                return false;
            pathOnly = true;
        } else if (argument == "--type") {
            if (!only({Search}) || !takeValue())
                return false;
            hasType = true;
            type = value;
        } else if (argument == "--writable") {
            if (!only({Search}) || !takeValue())
                return false;
            if (value != "y" && value != "n") {
                *error = QStringLiteral("--writable takes y or n, not %1").arg(quoted(value));
                return false;
            }
            writable = value;
        } else if (argument == "--stat" && !hasValue) {
            if (!only({Diff, SimDiff}))
                return false;
            stat = true;
        } else if (argument == "--commands" && !hasValue) {
            if (!only({SimList}))
                return false;
            commands = true;
        } else if (argument == "--with") {
            if (!only({SimList}) || !takeValue())
                return false;
            withFile = value;
        } else if (argument == "--sim") {
            if (!only({SimList, SimDiff, SimGet, SimWatch, SimSet, SimRun}) || !takeValue()
                || !readAddress(value, simAddress, error))
                return false;
            simGiven = true;
        } else if (argument == "--udp") {
            if (!only({SimList, SimDiff, SimGet, SimWatch, SimSet, SimRun}))
                return false;
            if (!hasValue && i + 1 < words.size() && isHost(words.at(i + 1))) {
                value = words.at(++i);
                hasValue = true;
            }
            QString host;
            quint16 port = 0;
            if (hasValue && !UdpLink::splitAddress(QString::fromUtf8(value), host, port)) {
                *error = QStringLiteral("--udp takes HOST or HOST:PORT, such as 192.168.1.20:49000, not %1").arg(quoted(value));
                return false;
            }
            udp = true;
            udpAddress = QString::fromUtf8(value);
        } else if (argument == "--for") {
            if (!only({SimWatch, SimFind}) || !takeValue() || !readSeconds(argument, value, seconds, error))
                return false;
        } else if (argument == "--hold") {
            if (!only({SimRun}) || !takeValue() || !readSeconds(argument, value, seconds, error))
                return false;
        } else if (argument == "-h") {
            command = Help;
            return true;
        } else {
            *error = QStringLiteral("unknown option %1").arg(quoted(argument.startsWith("--") ? words.at(i) : argument));
            return false;
        }
    }

    // How many FILEs, then how many TEXTs or NAMEs at least and at most (-1: any number).
    struct Form
    {
        int files;
        int least;
        int most;
        const char *text;
    };
    static const Form forms[] = {
        {0, 0, 0, ""},
        {0, 0, 0, ""},
        {1, 0, 0, "show takes one FILE"},
        {1, 1, -1, "search takes a FILE and at least one TEXT"},
        {2, 0, 0, "diff takes two FILEs, OLD and NEW"},
        {0, 0, 0, "sim list takes no FILE: give a list to fill in with --with FILE"},
        {1, 0, 0, "sim diff takes one FILE"},
        {0, 1, -1, "sim get takes at least one NAME"},
        {0, 1, -1, "sim watch takes at least one NAME"},
        {0, 2, 2, "sim set takes a NAME and a VALUE"},
        {0, 1, 1, "sim run takes one COMMAND"},
        {0, 0, 0, "sim find takes no NAME"},
    };
    if (udp && simGiven) {
        *error = QStringLiteral("--sim and --udp are two ways to the simulator: give one");
        return false;
    }
    const Form &form = forms[command];
    const int count = positional.size() - form.files;
    if (count < form.least || (form.most >= 0 && count > form.most)) {
        *error = QString::fromLatin1(form.text);
        return false;
    }
    files = positional.mid(0, form.files);
    texts = positional.mid(form.files);
    if (files.count("-") > 1) {
        *error = QStringLiteral("standard input (-) can be one FILE only");
        return false;
    }
    return true;
}

bool CommandLine::isOption(const QByteArray &argument)
{
    if (argument.size() < 2 || argument.at(0) != '-')
        return false;
    const char next = argument.at(1);
    return !((next >= '0' && next <= '9') || next == '.');
}

QByteArray CommandLine::usage()
{
    return "Usage: refscope-cli show FILE [--format F]\n"
           "  or:  refscope-cli search FILE TEXT... [-i] [-c] [--format F] [--path-only] [--type T] [--writable y|n]\n"
           "  or:  refscope-cli diff OLD NEW [--format F] [--stat]\n"
           "  or:  refscope-cli sim list [--commands] [--with FILE] [--format F]\n"
           "  or:  refscope-cli sim diff FILE [--format F] [--stat]\n"
           "  or:  refscope-cli sim get NAME... [--format F]\n"
           "  or:  refscope-cli sim watch NAME... [--format F] [--for SECONDS]\n"
           "  or:  refscope-cli sim set NAME VALUE\n"
           "  or:  refscope-cli sim run COMMAND [--hold SECONDS]\n"
           "  or:  refscope-cli sim get|watch|set|run ... --udp [HOST[:PORT]]\n"
           "  or:  refscope-cli sim find [--for SECONDS]\n"
           "  or:  refscope-cli --help | --version\n";
}

QByteArray CommandLine::help()
{
    return usage()
        + "Show, search and compare the datarefs and commands lists of the X-Plane flight\n"
          "simulator as Refscope reads them: the same kinds, the same order (sorted by\n"
          "path), the same columns. The sim commands ask a running X-Plane (12.1.1 or\n"
          "later) through its web API for its own lists and values; with --udp, any\n"
          "X-Plane since 10 on any computer of the network for values and commands.\n"
          "\n"
          "A FILE of - is standard input, read whole, as a file would be (one FILE only).\n"
          "An argument that starts with - is an option, unless it is - alone or a number\n"
          "(-1, -0.5, -1,2,3), which is a TEXT or a VALUE; a TEXT that starts with - goes\n"
          "after --. Short options go together: -ic is -i -c.\n"
          "\n"
          "Commands:\n"
          "  show FILE            every record of FILE\n"
          "  search FILE TEXT...  the records whose path, or one of whose fields, holds each\n"
          "                       TEXT exactly, as the window's search finds them (the case\n"
          "                       and the blanks count, unless -i)\n"
          "  diff OLD NEW         what changed from OLD to NEW, record by record, paired by\n"
          "                       path: + added, - removed, ~ changed, and the counts; when\n"
          "                       the lists' first lines (which name the simulator's\n"
          "                       version) differ, a line says so first\n"
          "  sim list             the simulator's datarefs (or commands) with the columns of\n"
          "                       a list file: types as DataRefs.txt writes them, with the\n"
          "                       length of each array as the simulator holds it now; a\n"
          "                       writability the simulator does not tell shows as ?\n"
          "  sim diff FILE        FILE beside the simulator's list of the same kind: + only\n"
          "                       in the simulator (made by the aircraft or a plugin), - only\n"
          "                       in FILE, ~ the writability differs; a line names both\n"
          "                       versions when the simulator's is not FILE's\n"
          "  sim get NAME...      the value of each dataref; NAME[INDEX] is one element of\n"
          "                       an array; numbers as numbers, data as its text\n"
          "  sim watch NAME...    the value of each dataref, then every change as it comes,\n"
          "                       until --for runs out or Ctrl+C\n"
          "  sim set NAME VALUE   writes a number; an array without an index takes every\n"
          "                       element (1,2,3); a data dataref takes a text\n"
          "  sim run COMMAND      presses and releases a command of the simulator\n"
          "  sim find             the simulators that announce themselves on this network\n"
          "                       within --for SECONDS (3): address:port, role, program and\n"
          "                       version, computer's name; exit 1 when none did\n"
          "\n"
          "Options:\n"
          "  --format F           text (aligned columns, the default), tsv or csv (with a\n"
          "                       header row), jsonl (one JSON object a line), list (the\n"
          "                       list file itself, which the window opens) or paths (one\n"
          "                       path a line and nothing else, its bytes as the list holds\n"
          "                       them); list and paths: show, search and sim list alone; in\n"
          "                       tsv and csv a changed record of diff is an \"old\" and a\n"
          "                       \"new\" row; jsonl of sim watch adds \"time\", the seconds\n"
          "                       since the watch began, and of diff --stat \"old_version\"\n"
          "                       and \"new_version\", the lists' first lines\n"
          "  --no-header          no header row in text, tsv and csv, and no version line\n"
          "                       before the changes of diff; a list still starts with the\n"
          "                       line that tells its kind\n"
          "  --color[=WHEN]       colours in the text format: the records diff adds (green),\n"
          "                       removes (red) and changes (yellow), the TEXTs search finds;\n"
          "                       WHEN is auto (also --color alone, and the default: when\n"
          "                       the output is a terminal, TERM is not dumb and NO_COLOR is\n"
          "                       unset or empty), always or never\n"
          "  -i, --ignore-case    search: the letters A to Z match either case; every other\n"
          "                       character, accented letters too, must match exactly\n"
          "  -c, --count          search: only the number of records found\n"
          "  --path-only          search: look for the TEXTs in the path alone\n"
          "  --type T             search: only data refs of type T, as the file writes it\n"
          "                       (float, int, float[8], ...)\n"
          "  --writable y|n       search: only data refs that are (y) or are not (n) writable\n"
          "  --stat               diff, sim diff: only the numbers of added, removed and\n"
          "                       changed records\n"
          "  --commands           sim list: the commands instead of the datarefs\n"
          "  --with FILE          sim list: units and descriptions (and types the simulator\n"
          "                       cannot tell) from a list FILE of the same kind\n"
          "  --sim HOST:PORT      where the simulator's web API listens (127.0.0.1:8086)\n"
          "  --udp [HOST[:PORT]]  sim get, watch, set and run through X-Plane's UDP messages\n"
          "                       (port 49000 unless given); without HOST, the first master\n"
          "                       simulator that announces itself within 3 s. The next\n"
          "                       argument is the HOST when it holds no / and is no number;\n"
          "                       --udp=HOST always is. Over UDP every value is one number,\n"
          "                       sent as a float (an int prints whole): give an array's\n"
          "                       elements as NAME[INDEX]; a data dataref cannot be read; a\n"
          "                       name the simulator does not know gets no answer within 3 s\n"
          "                       (exit 1). Nothing is confirmed: sim set of a read-only\n"
          "                       dataref and sim run of an unknown command go unnoticed.\n"
          "                       sim list, sim diff and --hold need the web API\n"
          "  --for SECONDS        sim watch: stop after SECONDS; sim find: listen SECONDS\n"
          "  --hold SECONDS       sim run: hold the command SECONDS, then release it (also\n"
          "                       when interrupted)\n"
          "  --                   what follows is FILEs, TEXTs, NAMEs and VALUEs, even when\n"
          "                       it starts with -\n"
          "  -h, --help           show this help and exit\n"
          "  --version            show the version and exit\n"
          "\n"
          "Exit status: 0 when records were found, the lists do not differ or the simulator\n"
          "did as asked; 1 when nothing was found, the lists differ, or a NAME of sim get\n"
          "or sim watch is not in the simulator; 2 on trouble: a file that cannot be read or\n"
          "is not a regular file, a file that changed while it was read, a line of 1 GiB or\n"
          "more, standard input of 2 GiB or more, a bad option, two lists of different\n"
          "kinds, or a simulator that cannot be reached, refuses, or answers what its API\n"
          "does not promise. sim set of a read-only dataref, an unknown name or a value of\n"
          "the wrong kind or count writes nothing and exits 2.\n"
          "\n"
          "Environment:\n"
          "  REFSCOPE_BEACON_PORT\n"
          "                       the UDP port on which sim find and --udp without HOST\n"
          "                       hear the simulators' beacons (49707, where X-Plane sends\n"
          "                       them to the multicast group 239.255.1.1), for beacons that\n"
          "                       a relay forwards to another port\n";
}
