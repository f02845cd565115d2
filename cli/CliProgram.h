#pragma once

#include "cli/CommandLine.h"

#include <QByteArray>
#include <QList>
#include <QString>

class Output;
class ReferenceList;

// refscope-cli: runs one command line and says how it went, as grep and diff do: 0 found or no
// differences, 1 nothing found or differences, 2 trouble, told in one line on the error stream.
class CliProgram
{
public:
    enum Status { Found = 0, NotFound = 1, Trouble = 2, Same = Found, Different = NotFound };

    CliProgram(Output &out, Output &err);

    int run(const QList<QByteArray> &arguments);

    // The steps the commands share.
    // Loads a file the command names, or says why it cannot and returns false.
    // With mustContain, only the lines that hold it are read as records.
    bool load(const QByteArray &fileName, ReferenceList &list, const QByteArray *mustContain = nullptr);
    // Writes what changed from one list to another of the same kind, as the options ask.
    int compare(const ReferenceList &oldList, const ReferenceList &newList);
    int trouble(const QString &message);
    // The status to end with once the output is written: a failed write is trouble too, except
    // when the reader went away (`| head`), which ends the program quietly.
    int finish(int status);
    // A file name as the command line gave it, for a message.
    static QString displayName(const QByteArray &fileName);
    static QString kindName(int32_t kind);

private:
    int show();
    int search();
    int diff();

    Output &out;
    Output &err;
    CommandLine options;
};
