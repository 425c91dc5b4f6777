#pragma once
// The bench's Tango interface as tables: every attribute's name, kind, unit and format,
// the setpoints' commands and ranges, and the alarm limits derived from the panel's ranges.

#include "commands/CommandFrames.h"
#include "commands/SetpointRules.h"
#include "status/StatusFrame.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

enum class AttrKind : std::uint8_t { Reading, Switch, Setpoint, Frame, Message };

struct BenchAttribute {
    std::string_view name;
    AttrKind kind;
    int row;   // in kReadbacks, kSwitches or kBenchSetpoints; 0 for the others
    std::string_view unit;
    std::string_view format;
    std::string_view description;
};

// What a field of the panel would be typed with, and the command its button sends.
struct BenchSetpoint {
    Command command;
    FieldFamily family;
    double max;   // the least is 0
};

inline constexpr double kPiezoVoltsMax = 63.3;
inline constexpr double kCountMax = 4095;

inline constexpr int kBenchSetpointCount = 7;
inline constexpr std::array<BenchSetpoint, kBenchSetpointCount> kBenchSetpoints{{
    {Command::SetEclCurrent, FieldFamily::Current, kCountMax},
    {Command::SetInjCurrent, FieldFamily::Current, kCountMax},
    {Command::SetXdac,       FieldFamily::Dac,     kCountMax},
    {Command::SetYdac,       FieldFamily::Dac,     kCountMax},
    {Command::SetEclPiezo,   FieldFamily::Piezo,   kPiezoVoltsMax},
    {Command::SetUpPiezo,    FieldFamily::Piezo,   kPiezoVoltsMax},
    {Command::SetDownPiezo,  FieldFamily::Piezo,   kPiezoVoltsMax},
}};

// The fixed buttons, each a command of the device.
inline constexpr std::array<Command, 3> kBenchCommands{Command::WarmBoot, Command::XYSquare, Command::Echo};

inline constexpr int kBenchAttributeCount = kReadbackCount + kSwitchCount + kBenchSetpointCount + 2;
inline constexpr std::array<BenchAttribute, kBenchAttributeCount> kBenchAttributes{{
    {"EclPd",         AttrKind::Reading, 0,  "count", "%4d",   "ECL photodiode"},
    {"EclTec",        AttrKind::Reading, 1,  "count", "%4d",   "ECL cooler drive"},
    {"EclTemp",       AttrKind::Reading, 2,  "degC",  "%6.3f", "ECL temperature"},
    {"InjTec",        AttrKind::Reading, 3,  "count", "%4d",   "Injection laser cooler drive"},
    {"InjTemp",       AttrKind::Reading, 4,  "degC",  "%6.3f", "Injection laser temperature"},
    {"UpPd",          AttrKind::Reading, 5,  "count", "%4d",   "Upstream photodiode"},
    {"DownPd",        AttrKind::Reading, 6,  "count", "%4d",   "Downstream photodiode"},
    {"Pot",           AttrKind::Reading, 7,  "count", "%4d",   "Potentiometer"},
    {"EclCurrentDac", AttrKind::Reading, 8,  "count", "%4d",   "ECL current DAC readback"},
    {"EclPiezoDac",   AttrKind::Reading, 9,  "count", "%4d",   "ECL piezo DAC readback"},
    {"InjCurrentDac", AttrKind::Reading, 10, "count", "%4d",   "Injection current DAC readback"},
    {"UpPiezoDac",    AttrKind::Reading, 11, "count", "%4d",   "Upstream piezo DAC readback"},
    {"DownPiezoDac",  AttrKind::Reading, 12, "count", "%4d",   "Downstream piezo DAC readback"},
    {"XdacDac",       AttrKind::Reading, 13, "count", "%4d",   "X DAC readback"},
    {"YdacDac",       AttrKind::Reading, 14, "count", "%4d",   "Y DAC readback"},
    {"EclTecOn",      AttrKind::Switch,  0,  "", "%d", "ECL temperature control"},
    {"InjTecOn",      AttrKind::Switch,  1,  "", "%d", "Injection laser temperature control"},
    {"ScanOn",        AttrKind::Switch,  2,  "", "%d", "Scan"},
    {"HeaterOn",      AttrKind::Switch,  3,  "", "%d", "Heater"},
    {"NarrowOn",      AttrKind::Switch,  4,  "", "%d", "Narrow"},
    {"SlowLockOn",    AttrKind::Switch,  5,  "", "%d", "Slow lock"},
    {"EclCurrent",    AttrKind::Setpoint, 0, "count", "%4d",   "ECL current setpoint; reads the last value written"},
    {"InjCurrent",    AttrKind::Setpoint, 1, "count", "%4d",   "Injection current setpoint; reads the last value written"},
    {"Xdac",          AttrKind::Setpoint, 2, "count", "%4d",   "X DAC setpoint; reads the last value written"},
    {"Ydac",          AttrKind::Setpoint, 3, "count", "%4d",   "Y DAC setpoint; reads the last value written"},
    {"EclPiezo",      AttrKind::Setpoint, 4, "V",     "%5.2f", "ECL piezo setpoint; reads the last value written"},
    {"UpPiezo",       AttrKind::Setpoint, 5, "V",     "%5.2f", "Upstream piezo setpoint; reads the last value written"},
    {"DownPiezo",     AttrKind::Setpoint, 6, "V",     "%5.2f", "Downstream piezo setpoint; reads the last value written"},
    {"StatusFrame",   AttrKind::Frame,   0,  "", "%3d", "The last status frame's 33 bytes as received"},
    {"LastMessage",   AttrKind::Message, 0,  "", "%s",  "The last message frame's text, one character per byte (Latin-1)"},
}};

constexpr bool readingsFollowTheFrame()
{
    for (const BenchAttribute &row : kBenchAttributes)
        if (row.kind == AttrKind::Reading && row.name != kReadbacks[row.row].field)
            return false;
    return true;
}
static_assert(readingsFollowTheFrame(), "a reading's name is its status field's");

// A reading in degrees rather than counts.
constexpr bool isTemperature(int reading) { return kReadbacks[reading].format == TextFormat::Temperature; }

// The reading's value in its attribute's unit.
double readingValue(int reading, int count);

// min_alarm and max_alarm as attribute properties take them, for a reading the panel
// paints in its alarm colour outside a range; nullopt for one without. Tango's limits
// are inclusive, so they fall on the first counts outside, or between two temperatures.
struct AlarmLimits {
    QString min;
    QString max;
};
std::optional<AlarmLimits> alarmLimits(int reading);

// The text an operator would type into the setpoint's field for `value`, after the
// field's own editing rule.
QString setpointText(const BenchSetpoint &setpoint, double value);
