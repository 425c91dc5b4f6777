#pragma once
// What one soak run is asked to do, read from its command line.

#include "soak/FaultModes.h"

#include <QCoreApplication>
#include <QString>

#include <optional>

namespace soak {

struct Settings {
    QString simPath;
    Mode mode;
    double seconds = 600;
    bool ci = false;   // assert recovery only; figures are reported, never judged
};

// --help prints and exits; nothing when the options do not make a run.
std::optional<Settings> settingsFromCommandLine(const QCoreApplication &app);

} // namespace soak
