#pragma once
// The instrument in one table: every field of the controller with its place in the frames,
// its text, range, command, unit and Tango name, and each physical constant once. Plain C++
// with no Qt, so that the protocol, the panel, the simulator, the Tango server and its relay
// all read the same rows.

#include <array>
#include <chrono>
#include <cstdint>
#include <string_view>

// The controller's commands, in the order of their rows in kCommands.
enum class Command : std::uint8_t {
    SetXdac, SetYdac, XYSquare, KeepAlive, WarmBoot, SetEclCurrent, SetInjCurrent,
    SetEclTec, SetInjTec, SetEclPiezo, SetUpPiezo, SetDownPiezo, SetScanEn, SetHeater,
    SetNarrow, Echo, SetSlowLock,
};

// How a setpoint field edits its text and scales its count.
enum class FieldFamily { Piezo, Current, Dac };

// How a reading reads as text, and which alarm range paints it.
enum class TextFormat : std::uint8_t { Pd, Tec, Temperature, Signed, Plain };
enum class RangeRule : std::uint8_t { None, Pd, Tec, Temperature };

// ---- Constants of the hardware

// Every ADC and DAC is 12 bits wide.
inline constexpr int kFullScaleCount = 4095;
// The piezo drivers' full scale; a count runs down from it (see piezoCount()).
inline constexpr double kPiezoFullScaleVolts = 63.3;

// The thermistor line, counts to degrees Celsius: 29.5 at count 0, falling 27.9 over the scale.
inline constexpr double kTemperatureAtZero = 29.5;
inline constexpr double kTemperatureSpan = 27.9;
constexpr double celsiusOfCount(int raw)
{
    return kTemperatureAtZero - (kTemperatureSpan / kFullScaleCount) * raw;
}
// Its inverse, unrounded and unclamped.
constexpr double countOfCelsius(double celsius)
{
    return (kTemperatureAtZero - celsius) * (kFullScaleCount / kTemperatureSpan);
}

// The counts a reading keeps its normal colour within, both ends included.
struct CountRange {
    int least;
    int most;
};
inline constexpr CountRange kPdRange{101, 3999};    // photodiodes and thermistors
inline constexpr CountRange kTecRange{11, 90};      // cooler drive

// The range of a rule; a reading without one (RangeRule::None) is never painted.
constexpr CountRange alarmRange(RangeRule rule)
{
    switch (rule) {
    case RangeRule::Pd:
    case RangeRule::Temperature:
        return kPdRange;
    case RangeRule::Tec:
        return kTecRange;
    case RangeRule::None:
        break;
    }
    return {0, kFullScaleCount};
}

constexpr bool inAlarmRange(RangeRule rule, int count)
{
    const CountRange range = alarmRange(rule);
    return rule == RangeRule::None || (count >= range.least && count <= range.most);
}

// The controller drops a link it hears nothing from; the host sends a keep-alive well inside that.
inline constexpr std::chrono::milliseconds kKeepAliveInterval{4500};
// A link that hears nothing for longer than this is lost.
inline constexpr double kSilenceLimitSeconds = 5.0;

// Where the controller listens unless a lab sets otherwise.
inline constexpr std::string_view kDefaultAddress = "127.0.0.1";
inline constexpr std::uint16_t kDefaultPort = 44174;

// ---- The fields

enum class FieldKind : std::uint8_t { Reading, Setpoint, Switch, Command };

struct BenchField {
    FieldKind kind;
    std::string_view field;        // the protocol's name; a setpoint's DAC reading is field + "Dac"
    std::string_view attribute;    // the Tango attribute, or command, that carries it
    int offset = 0;                // reading: the high byte in the status frame; switch: the flags byte
    std::uint8_t mask = 0;         // switch: its bit in the flags byte
    Command command = Command::KeepAlive;   // what sets it (setpoints, switches, commands)
    TextFormat format = TextFormat::Plain;  // reading: its text on the panel
    RangeRule range = RangeRule::None;      // reading: its alarm range
    FieldFamily family = FieldFamily::Dac;  // setpoint: its editing rule and count
    double fullScale = 0;                   // the largest value, in counts or a piezo's volts; the least is 0
    double guard = 0;                       // setpoint: leaving the field above this sets "0"; 0: none
    std::string_view unit = {};             // as Tango shows it
    std::string_view tangoFormat = {};      // printf format of the attribute
    std::string_view label = {};            // the panel's caption, where it has one
    std::string_view description = {};
};

inline constexpr int kStatusFlagsOffset = 17;

namespace bench_rows {

constexpr BenchField reading(std::string_view field, int offset, TextFormat format, RangeRule range,
                             std::string_view description)
{
    const bool degrees = format == TextFormat::Temperature;
    return {.kind = FieldKind::Reading, .field = field, .attribute = field, .offset = offset,
            .format = format, .range = range, .fullScale = kFullScaleCount,
            .unit = degrees ? "degC" : "count", .tangoFormat = degrees ? "%6.3f" : "%4d",
            .description = description};
}

constexpr BenchField switchField(std::string_view field, std::string_view attribute, std::uint8_t mask,
                                 Command command, std::string_view label, std::string_view description)
{
    return {.kind = FieldKind::Switch, .field = field, .attribute = attribute, .offset = kStatusFlagsOffset,
            .mask = mask, .command = command, .fullScale = 1, .tangoFormat = "%d", .label = label,
            .description = description};
}

constexpr BenchField setpoint(std::string_view field, Command command, FieldFamily family,
                              std::string_view description, double guard = 0)
{
    const bool volts = family == FieldFamily::Piezo;
    return {.kind = FieldKind::Setpoint, .field = field, .attribute = field, .command = command,
            .family = family, .fullScale = volts ? kPiezoFullScaleVolts : kFullScaleCount, .guard = guard,
            .unit = volts ? "V" : "count", .tangoFormat = volts ? "%5.2f" : "%4d",
            .description = description};
}

constexpr BenchField command(std::string_view attribute, Command command, std::string_view label)
{
    return {.kind = FieldKind::Command, .field = attribute, .attribute = attribute, .command = command,
            .label = label};
}

} // namespace bench_rows

// Readings in frame order (the first eight before the flags byte, the seven DACs after),
// then the switches in bit order, the setpoints and the commands of the panel's buttons.
inline constexpr auto kBenchFields = [] {
    using namespace bench_rows;
    using F = TextFormat;
    using R = RangeRule;
    using C = Command;
    return std::to_array<BenchField>({
        reading("EclPd", 1, F::Pd, R::Pd, "ECL photodiode"),
        reading("EclTec", 3, F::Tec, R::Tec, "ECL cooler drive"),
        reading("EclTemp", 5, F::Temperature, R::Temperature, "ECL temperature"),
        reading("InjTec", 7, F::Tec, R::Tec, "Injection laser cooler drive"),
        reading("InjTemp", 9, F::Temperature, R::Temperature, "Injection laser temperature"),
        reading("UpPd", 11, F::Pd, R::None, "Upstream photodiode"),
        reading("DownPd", 13, F::Pd, R::None, "Downstream photodiode"),
        reading("Pot", 15, F::Signed, R::None, "Potentiometer"),
        reading("EclCurrentDac", 18, F::Plain, R::None, "ECL current DAC readback"),
        reading("EclPiezoDac", 20, F::Plain, R::None, "ECL piezo DAC readback"),
        reading("InjCurrentDac", 22, F::Plain, R::None, "Injection current DAC readback"),
        reading("UpPiezoDac", 24, F::Plain, R::None, "Upstream piezo DAC readback"),
        reading("DownPiezoDac", 26, F::Plain, R::None, "Downstream piezo DAC readback"),
        reading("XdacDac", 28, F::Plain, R::None, "X DAC readback"),
        reading("YdacDac", 30, F::Plain, R::None, "Y DAC readback"),

        switchField("EclTec", "EclTecOn", 0x01, C::SetEclTec, "TEC On", "ECL temperature control"),
        switchField("InjTec", "InjTecOn", 0x02, C::SetInjTec, "TEC On", "Injection laser temperature control"),
        switchField("ScanEn", "ScanOn", 0x04, C::SetScanEn, "Scanning", "Scan"),
        switchField("Heater", "HeaterOn", 0x08, C::SetHeater, "Heater", "Heater"),
        switchField("Narrow", "NarrowOn", 0x10, C::SetNarrow, "Narrow", "Narrow"),
        switchField("SlowLock", "SlowLockOn", 0x20, C::SetSlowLock, "Slow lock", "Slow lock"),

        setpoint("EclCurrent", C::SetEclCurrent, FieldFamily::Current,
                 "ECL current setpoint"),
        // The injection laser takes no more than 100 counts.
        setpoint("InjCurrent", C::SetInjCurrent, FieldFamily::Current,
                 "Injection current setpoint", 100),
        setpoint("Xdac", C::SetXdac, FieldFamily::Dac, "X DAC setpoint"),
        setpoint("Ydac", C::SetYdac, FieldFamily::Dac, "Y DAC setpoint"),
        setpoint("EclPiezo", C::SetEclPiezo, FieldFamily::Piezo, "ECL piezo setpoint"),
        setpoint("UpPiezo", C::SetUpPiezo, FieldFamily::Piezo,
                 "Upstream piezo setpoint"),
        setpoint("DownPiezo", C::SetDownPiezo, FieldFamily::Piezo,
                 "Downstream piezo setpoint"),

        command("WarmBoot", C::WarmBoot, "Warm Reboot"),
        command("XYSquare", C::XYSquare, "X-Y Square"),
        command("Echo", C::Echo, "Bounce Hi!"),
    });
}();

// ---- Views of the table, for loops and compile-time lookups

constexpr int fieldCount(FieldKind kind)
{
    int n = 0;
    for (const BenchField &row : kBenchFields)
        n += row.kind == kind ? 1 : 0;
    return n;
}

// The rows of one kind, in table order.
template <FieldKind kind>
inline constexpr auto kFieldsOf = [] {
    std::array<BenchField, fieldCount(kind)> rows{};
    std::size_t n = 0;
    for (const BenchField &row : kBenchFields)
        if (row.kind == kind)
            rows[n++] = row;
    return rows;
}();

// The index among the rows of its kind of the row named `field`, or -1.
constexpr int fieldIndex(FieldKind kind, std::string_view field)
{
    int n = 0;
    for (const BenchField &row : kBenchFields) {
        if (row.kind != kind)
            continue;
        if (row.field == field)
            return n;
        ++n;
    }
    return -1;
}

// The setpoint or switch that a command sets, as its index among its kind, or -1.
constexpr int fieldIndexOf(FieldKind kind, Command command)
{
    int n = 0;
    for (const BenchField &row : kBenchFields) {
        if (row.kind != kind)
            continue;
        if (row.command == command)
            return n;
        ++n;
    }
    return -1;
}

// A piezo's volts in steps of its DAC; its count is full scale less the whole steps. Divide
// first, then multiply: half of full scale in volts must land exactly on half the steps.
constexpr double piezoSteps(double volts)
{
    return volts / kPiezoFullScaleVolts * kFullScaleCount;
}

// Volts that a piezo count comes from exactly: the middle of the count's step, clear of both
// edges; a count of 0 comes only from full scale.
constexpr double piezoVoltsOfCount(int count)
{
    const int step = kFullScaleCount - (count < 0 ? 0 : count > kFullScaleCount ? kFullScaleCount : count);
    if (step == kFullScaleCount)
        return kPiezoFullScaleVolts;
    return (step + 0.5) * kPiezoFullScaleVolts / kFullScaleCount;
}

// The reading of a setpoint's DAC, which the frame reports as the setpoint's field + "Dac",
// as its index among the readings; -1 for none.
constexpr int dacReadingOf(std::string_view setpoint)
{
    int n = 0;
    for (const BenchField &row : kBenchFields) {
        if (row.kind != FieldKind::Reading)
            continue;
        if (row.field.starts_with(setpoint) && row.field.substr(setpoint.size()) == "Dac")
            return n;
        ++n;
    }
    return -1;
}

constexpr bool setpointsHaveTheirReadings()
{
    for (const BenchField &row : kFieldsOf<FieldKind::Setpoint>) {
        if (dacReadingOf(row.field) < 0)
            return false;
    }
    return true;
}
static_assert(setpointsHaveTheirReadings());
