#pragma once
// norvane-sim's options: the table it offers and the checks of what was given, apart
// from main() so that they are tested without starting a server.

#include "sim/ReplayServer.h"
#include "sim/SimServer.h"

#include <QString>

class QCommandLineParser;

struct SimCommandLine {
    QString error;          // empty: run; otherwise the reason, without the program's name
    bool quiet = false;     // print only the listening line and fatal errors
    SimOptions sim;         // the simulated bench, unless replaying
    bool replaying = false; // serve the recording at replayPath instead of the simulated bench
    QString replayPath;
    ReplayOptions replay;   // host and port as in `sim`
};

// Adds every option, help and version included.
void addSimOptions(QCommandLineParser &parser);

// Checks a parser that has parsed the command line; the first problem wins.
SimCommandLine readSimOptions(const QCommandLineParser &parser);
