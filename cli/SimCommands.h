#pragma once

#include "live/UdpLink.h"
#include "live/WebApiLink.h"

#include <QString>

#include <cstdint>
#include <memory>

class CliProgram;
class CommandLine;
class Interrupt;
class Output;
class ReferenceList;

// The sim commands of refscope-cli: a running simulator's lists as records (beside a list file when
// asked), its values read, watched and written, its commands run, through its web API or its UDP
// messages; and the simulators that announce themselves.
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
    int find();
    // The simulator's list of a kind as the loader reads it from a file. For the paths file holds,
    // units and descriptions come from it, and types the simulator cannot tell; with fileDecides,
    // everything but the writability comes from it.
    bool simulatorList(int32_t kind, const ReferenceList *file, bool fileDecides, ReferenceList &list);
    QList<SimLink::Target> targets() const;
    // Tells each target that has a problem; true when none has.
    bool tellProblems(const QList<SimLink::Target> &targets, const std::vector<SimLink::Reading> &readings);
    int trouble();
    // From now on Ctrl+C stops what the link can stop, for as long as the interrupt lives.
    std::unique_ptr<Interrupt> interruptible();
    // What the lists need and UDP cannot give.
    int needsWebApi();
    // Where the beacons are heard: REFSCOPE_BEACON_PORT, or X-Plane's port for them.
    quint16 beaconPort();

    CliProgram &program;
    const CommandLine &options;
    Output &out;
    Output &err;
    std::unique_ptr<WebApiLink> webApi;
    std::unique_ptr<UdpLink> udp;
    SimLink *link; // whichever of the two carries the command
};
