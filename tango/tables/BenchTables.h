#pragma once
// The bench's Tango interface as tables, from the instrument's description: every
// attribute's name, kind, unit and format, the setpoints' commands and ranges, and the alarm
// limits of the readings the panel paints.

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

inline constexpr double kPiezoVoltsMax = kPiezoFullScaleVolts;
inline constexpr double kCountMax = kFullScaleCount;

// The setpoints of the description, in its order.
inline constexpr int kBenchSetpointCount = fieldCount(FieldKind::Setpoint);
inline constexpr auto kBenchSetpoints = [] {
    std::array<BenchSetpoint, kBenchSetpointCount> rows{};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const BenchField &field = kFieldsOf<FieldKind::Setpoint>[i];
        rows[i] = {field.command, field.family, field.fullScale};
    }
    return rows;
}();

// The fixed buttons, each a command of the device.
inline constexpr auto kBenchCommands = [] {
    std::array<Command, fieldCount(FieldKind::Command)> commands{};
    for (std::size_t i = 0; i < commands.size(); ++i)
        commands[i] = kFieldsOf<FieldKind::Command>[i].command;
    return commands;
}();

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
