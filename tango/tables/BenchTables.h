#pragma once
// The bench's Tango interface as tables: every attribute's name, kind, unit and format,
// the setpoints' commands and ranges, and the alarm limits derived from the panel's ranges.

#include "commands/CommandFrames.h"
#include "commands/SetpointRules.h"
#include "status/StatusFrame.h"
#include "tango/tables/BenchAttributes.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

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

static_assert(kBenchAttributeCount == kReadbackCount + kSwitchCount + kBenchSetpointCount + 2,
              "every reading, switch and setpoint is an attribute, with the frame and the message");

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
