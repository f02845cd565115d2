#pragma once

#include "cli/RecordWriter.h"

#include <QByteArray>
#include <QList>
#include <QString>

// What the command line asks for, read from its arguments (the program's name left out).
// Arguments are bytes: a TEXT is searched for as it is given, a FILE opens under the name given.
class CommandLine
{
public:
    enum Command { Help, Version, Show, Search, Diff, SimList, SimDiff, SimGet, SimWatch, SimSet, SimRun, SimFind };

    // False, with why in error, for arguments that ask for nothing this program does.
    bool parse(const QList<QByteArray> &arguments, QString *error);

    static QByteArray usage();
    static QByteArray help();
    // The command as a person types it: "sim list".
    static QString commandName(Command command);
    bool isSimCommand() const { return command >= SimList; }

    // When text output is coloured: auto asks for a terminal (and no NO_COLOR).
    enum Color { ColorAuto, ColorAlways, ColorNever };

    // Whether an argument is an option: it starts with "-", and is neither "-" alone (standard input)
    // nor a negative number ("-1", "-0.5", "-1,2,3"), which is a value.
    static bool isOption(const QByteArray &argument);

    Command command = Help;
    QList<QByteArray> files; // "-" is standard input
    QList<QByteArray> texts; // the TEXTs of search; the NAMEs, VALUE or COMMAND of a sim command
    RecordWriter::Format format = RecordWriter::Text;
    bool pathOnly = false;
    bool hasType = false;
    QByteArray type;
    QByteArray writable; // "y", "n", or empty for either
    bool stat = false;
    bool ignoreCase = false; // search: ASCII letters match either case
    bool count = false; // search: the number of records alone
    bool headerRow = true; // the header row of text, tsv and csv
    Color color = ColorAuto;
    bool commands = false; // sim list: the simulator's commands
    QByteArray withFile; // sim list: the list that fills units and descriptions
    QString simAddress = QStringLiteral("127.0.0.1:8086");
    bool udp = false; // the simulator's UDP messages instead of its web API
    QString udpAddress; // HOST or HOST:PORT; empty: the master simulator found by its beacon
    double seconds = -1; // sim watch and sim find --for, sim run --hold; negative when not given
};
