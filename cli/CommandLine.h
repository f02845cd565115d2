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
    enum Command { Help, Version, Show, Search, Diff };

    // False, with why in error, for arguments that ask for nothing this program does.
    bool parse(const QList<QByteArray> &arguments, QString *error);

    static QByteArray usage();
    static QByteArray help();

    Command command = Help;
    QList<QByteArray> files;
    QList<QByteArray> texts;
    RecordWriter::Format format = RecordWriter::Text;
    bool pathOnly = false;
    bool hasType = false;
    QByteArray type;
    QByteArray writable; // "y", "n", or empty for either
    bool stat = false;
};
