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

    Command command = Help;
    QList<QByteArray> files;
    QList<QByteArray> texts; // the TEXTs of search; the NAMEs, VALUE or COMMAND of a sim command
    RecordWriter::Format format = RecordWriter::Text;
    bool pathOnly = false;
    bool hasType = false;
    QByteArray type;
    QByteArray writable; // "y", "n", or empty for either
    bool stat = false;
    bool commands = false; // sim list: the simulator's commands
    QByteArray withFile; // sim list: the list that fills units and descriptions
    QString simAddress = QStringLiteral("127.0.0.1:8086");
    bool udp = false; // the simulator's UDP messages instead of its web API
    QString udpAddress; // HOST or HOST:PORT; empty: the master simulator found by its beacon
    double seconds = -1; // sim watch and sim find --for, sim run --hold; negative when not given
};
