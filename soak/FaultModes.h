#pragma once
// The soak's fault modes: what each asks of the simulator, and what the panel must show under it.

#include "link/Supervisor.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

namespace soak {

// The keep-alive timer and the watchdog's limit, in seconds.
inline constexpr double kTick = std::chrono::duration<double>(Supervisor::kRoundInterval).count();
inline constexpr double kSilence = Supervisor::kSilenceLimitSeconds;
inline constexpr double kRate = 10;       // status frames per second from the simulator

// How the link behaves while the fault lasts.
enum class Link { StaysUp, Cycles };
// What the panel applies while the fault lasts.
enum class Frames { Most, Few, None, EachConnection };

struct Mode {
    QString name;           // as given, value included, for the table
    QStringList simArgs;
    Link link;
    Frames frames;
    double period = 0;      // seconds between lost-connection lines; 0 when the tick phase decides
    bool restart = true;    // ended by a well-behaved simulator on the same port
};

// When a connection that goes quiet `quietAfter` seconds in is lost; 0 when the tick phase decides.
double lostAfter(double quietAfter);

// "close-after=3" and the like; nothing for an unknown mode or a bad value.
std::optional<Mode> modeFromText(const QString &text);

} // namespace soak
