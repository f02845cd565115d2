#pragma once

#include "cli/CommandLine.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include "cli/RecordWriter.h"

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
    // Loads a file the command names ("-": standard input), or says why it cannot and returns false.
    // With mustContain, only the lines that hold it (in the case the options ask for) may be read
    // as records.
    bool load(const QByteArray &fileName, ReferenceList &list, const QByteArray *mustContain = nullptr);
    // A writer of records of a kind in the format, header rows and colours the options ask for.
    RecordWriter writer(int32_t kind) const;
    // Writes what changed from one list to another of the same kind, as the options ask; the
    // text names the lists' first lines first unless sameVersion.
    int compare(const ReferenceList &oldList, const ReferenceList &newList, bool sameVersion);
    int trouble(const QString &message);
    // The status to end with once the output is written: a failed write is trouble too, except
    // when the reader went away (`| head`), which ends the program quietly.
    int finish(int status);
    // A file name as the command line gave it, for a message; "-" is standard input.
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
