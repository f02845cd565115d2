#pragma once

#include "live/WebApiLink.h"

#include <QString>

#include <cstdint>

class CliProgram;
class CommandLine;
class Output;
class ReferenceList;

// The sim commands of refscope-cli: a running simulator's lists as records (beside a list file when
// asked), its values read, watched and written, its commands run.
class SimCommands
{
public:
    SimCommands(CliProgram &program, const CommandLine &options, Output &out, Output &err);

    int run();

private:
    int list();
    int diff();
    int get();
    int watch();
    int set();
    int runCommand();
    // The simulator's list of a kind as the loader reads it from a file. For the paths file holds,
    // units and descriptions come from it, and types the simulator cannot tell; with fileDecides,
    // everything but the writability comes from it.
    bool simulatorList(int32_t kind, const ReferenceList *file, bool fileDecides, ReferenceList &list);
    QList<SimLink::Target> targets() const;
    // Tells each target that has a problem; true when none has.
    bool tellProblems(const QList<SimLink::Target> &targets, const std::vector<SimLink::Reading> &readings);
    int trouble();

    CliProgram &program;
    const CommandLine &options;
    Output &out;
    Output &err;
    WebApiLink link;
};
