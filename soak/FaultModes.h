#pragma once
// The soak's fault modes: what each asks of the simulator, and what the panel must show under it.

#include <QString>
#include <QStringList>

#include <optional>

namespace soak {

inline constexpr double kTick = 4.5;      // the keep-alive timer, in seconds
inline constexpr double kSilence = 5.0;   // the watchdog's limit
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
