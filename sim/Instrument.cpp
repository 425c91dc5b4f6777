#include "sim/Instrument.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Readings and switches by name; a name the instrument lacks stops the build.
constexpr std::size_t readingAt(std::string_view field)
{
    const int i = fieldIndex(FieldKind::Reading, field);
    if (i < 0)
        throw "no such reading";
    return static_cast<std::size_t>(i);
}
constexpr std::uint8_t switchBit(std::string_view field)
{
    const int i = fieldIndex(FieldKind::Switch, field);
    if (i < 0)
        throw "no such switch";
    return kSwitches[static_cast<std::size_t>(i)].mask;
}

constexpr std::size_t EclPd = readingAt("EclPd");
constexpr std::size_t EclTec = readingAt("EclTec");
constexpr std::size_t EclTemp = readingAt("EclTemp");
constexpr std::size_t InjTec = readingAt("InjTec");
constexpr std::size_t InjTemp = readingAt("InjTemp");
constexpr std::size_t UpPd = readingAt("UpPd");
constexpr std::size_t DownPd = readingAt("DownPd");
constexpr std::size_t Pot = readingAt("Pot");

// The DACs, in the frame's order after the switch byte: m_dacs' order.
constexpr std::size_t kFirstDacReading = kReadbacksBeforeSwitches;
constexpr std::size_t dacReading(std::size_t dac) { return kFirstDacReading + dac; }
constexpr std::size_t dacOf(std::string_view setpoint)
{
    const int reading = dacReadingOf(setpoint);
    if (reading < static_cast<int>(kFirstDacReading))
        throw "no such DAC";
    return static_cast<std::size_t>(reading) - kFirstDacReading;
}
constexpr std::size_t EclCurrent = dacOf("EclCurrent");
constexpr std::size_t EclPiezo = dacOf("EclPiezo");
constexpr std::size_t InjCurrent = dacOf("InjCurrent");
constexpr std::size_t UpPiezo = dacOf("UpPiezo");
constexpr std::size_t DownPiezo = dacOf("DownPiezo");
constexpr std::size_t Xdac = dacOf("Xdac");
constexpr std::size_t Ydac = dacOf("Ydac");

struct DacCommand { Command command; std::size_t dac; };
constexpr auto kDacCommands = [] {
    std::array<DacCommand, kFieldsOf<FieldKind::Setpoint>.size()> rows{};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const BenchField &setpoint = kFieldsOf<FieldKind::Setpoint>[i];
        rows[i] = {setpoint.command, dacOf(setpoint.field)};
    }
    return rows;
}();

constexpr std::uint8_t kEclTecBit = switchBit("EclTec");
constexpr std::uint8_t kInjTecBit = switchBit("InjTec");
constexpr std::uint8_t kScanBit = switchBit("ScanEn");
constexpr std::uint8_t kHeaterBit = switchBit("Heater");
constexpr std::uint8_t kNarrowBit = switchBit("Narrow");
constexpr std::uint8_t kSlowLockBit = switchBit("SlowLock");

constexpr int kMaxReading = kFullScaleCount;

// Temperatures. 14 °C reads as raw 2275, inside the panel's range.
constexpr double kRoomCelsius = 23.0;
constexpr double kEclSetCelsius = 14.0;
constexpr double kInjSetCelsius = 16.5;
constexpr double kTecTimeConstantS = 4.0;
constexpr double kAmbientTimeConstantS = 30.0;
constexpr double kSelfHeatingCelsiusPerCount = 0.0005;   // an unregulated laser runs warm
// TEC drive: a holding effort that the panel shows white once the error is below about
// 0.1 K, far more while it pulls the temperature in.
constexpr double kTecHoldEffort = 50.0;
constexpr double kTecEffortPerKelvin = 400.0;
// A bench in normal operation shows no alarm colour.
static_assert(inAlarmRange(RangeRule::Temperature, static_cast<int>(countOfCelsius(kEclSetCelsius)))
              && inAlarmRange(RangeRule::Temperature, static_cast<int>(countOfCelsius(kInjSetCelsius)))
              && inAlarmRange(RangeRule::Temperature, static_cast<int>(countOfCelsius(kRoomCelsius))));
static_assert(inAlarmRange(RangeRule::Tec, static_cast<int>(kTecHoldEffort + kTecEffortPerKelvin * 0.1)));

// External cavity photodiode: a faint glow below threshold, then a steep rise that
// stays inside the panel's range at full current.
constexpr double kDarkPd = 20.0;
constexpr double kGlowPerCount = 0.06;
constexpr double kThresholdCount = 1000.0;
constexpr double kSlopeAboveThreshold = 1.1;
constexpr double kModeSpacingCount = 700.0;   // the piezo pulls the cavity through modes
constexpr double kModeDip = 0.12;
constexpr double kNarrowTransmission = 0.85;
static_assert(kDarkPd + kGlowPerCount * kMaxReading + (kMaxReading - kThresholdCount) * kSlopeAboveThreshold + 3
              < kPdRange.most);

// Converter photodiodes: a resonance in the piezo count, lit by the laser above threshold.
constexpr double kConverterDarkPd = 15.0;
constexpr double kConverterPeakPd = 3300.0;
constexpr double kConverterWidthCount = 220.0;
constexpr double kUpPeakCount = 2600.0;
constexpr double kDownPeakCount = 1400.0;
constexpr double kHeaterShiftCount = 700.0;
constexpr double kHeaterTimeConstantS = 3.0;

constexpr double kScanPeriodS = 4.0;
constexpr int kSquareHalfSide = 400;
constexpr double kSquareStepS = 0.5;

int clampReading(double value)
{
    return std::clamp(static_cast<int>(std::lround(value)), 0, kMaxReading);
}

int rawForCelsius(double celsius)
{
    return clampReading(countOfCelsius(celsius));
}

double relax(double value, double target, double seconds, double timeConstant)
{
    return target + (value - target) * std::exp(-seconds / timeConstant);
}

double resonance(double count, double centre)
{
    const double x = (count - centre) / kConverterWidthCount;
    return 1.0 / (1.0 + x * x);
}

int tecReading(bool on, double celsius, double setCelsius)
{
    return on ? clampReading(kTecHoldEffort + kTecEffortPerKelvin * std::abs(celsius - setCelsius)) : 0;
}

} // namespace

Instrument::Instrument(std::uint32_t seed)
    : m_random(seed)
{
    reset();
}

void Instrument::reset()
{
    m_dacs.fill(0);
    m_flags = 0;
    m_time = 0;
    m_eclCelsius = kRoomCelsius;
    m_injCelsius = kRoomCelsius;
    m_heaterShift = 0;
    m_squareRunning = false;
}

void Instrument::apply(Command command, int value)
{
    if (command == Command::XYSquare) {
        m_squareRunning = !m_squareRunning;
        m_squareStart = m_time;
        return;
    }
    for (const DacCommand &row : kDacCommands) {
        if (row.command == command) {
            m_dacs[row.dac] = std::clamp(value, 0, kMaxReading);
            if (row.dac == Xdac || row.dac == Ydac)
                m_squareRunning = false;   // a new set-point ends the square
            return;
        }
    }
    for (const SwitchInfo &row : kSwitches) {
        if (row.command == command) {
            if (value != 0)
                m_flags |= row.mask;
            else
                m_flags &= static_cast<std::uint8_t>(~row.mask);
            return;
        }
    }
}

void Instrument::advance(double seconds)
{
    if (!(seconds > 0))
        return;
    m_time += seconds;
    const auto drift = [seconds](double celsius, bool tecOn, double setCelsius, int current) {
        if (tecOn)
            return relax(celsius, setCelsius, seconds, kTecTimeConstantS);
        return relax(celsius, kRoomCelsius + kSelfHeatingCelsiusPerCount * current, seconds,
                     kAmbientTimeConstantS);
    };
    m_eclCelsius = drift(m_eclCelsius, m_flags & kEclTecBit, kEclSetCelsius, m_dacs[EclCurrent]);
    m_injCelsius = drift(m_injCelsius, m_flags & kInjTecBit, kInjSetCelsius, m_dacs[InjCurrent]);
    m_heaterShift = relax(m_heaterShift, (m_flags & kHeaterBit) ? kHeaterShiftCount : 0.0, seconds,
                          kHeaterTimeConstantS);
}

int Instrument::dacReadback(std::size_t dac) const
{
    const bool piezo = dac == EclPiezo || dac == UpPiezo || dac == DownPiezo;
    if (piezo && (m_flags & kScanBit)) {
        const double phase = std::fmod(m_time / kScanPeriodS, 1.0);
        const double triangle = phase < 0.5 ? 2 * phase : 2 - 2 * phase;
        return clampReading(triangle * kMaxReading);
    }
    if ((dac == Xdac || dac == Ydac) && m_squareRunning) {
        // Corners in turn: lower left, lower right, upper right, upper left.
        const auto corner = static_cast<long>((m_time - m_squareStart) / kSquareStepS) % 4;
        const bool high = dac == Xdac ? (corner == 1 || corner == 2) : corner >= 2;
        return std::clamp(m_dacs[dac] + (high ? kSquareHalfSide : -kSquareHalfSide), 0, kMaxReading);
    }
    return m_dacs[dac];
}

int Instrument::noise(int amplitude)
{
    // Taken from the engine's raw output, which the standard fixes, so that a seed
    // gives the same run with every library.
    return static_cast<int>(m_random() % static_cast<std::uint32_t>(2 * amplitude + 1)) - amplitude;
}

StatusReadings Instrument::readings()
{
    StatusReadings r;
    for (std::size_t dac = 0; dac < m_dacs.size(); ++dac)
        r.values[kFirstDacReading + dac] = dacReadback(dac);
    r.flags = m_flags;

    const double current = r.values[dacReading(EclCurrent)];
    const double piezo = r.values[dacReading(EclPiezo)];
    const double lasing = std::max(0.0, current - kThresholdCount) * kSlopeAboveThreshold;
    const double mode = std::sin(std::numbers::pi * piezo / kModeSpacingCount);
    double transmission = 1.0 - kModeDip * mode * mode;
    if (m_flags & kNarrowBit)
        transmission *= kNarrowTransmission;
    const int pdNoise = (m_flags & kSlowLockBit) ? 1 : 3;   // the lock steadies the cavity
    r.values[EclPd] = clampReading((kDarkPd + kGlowPerCount * current + lasing) * transmission + noise(pdNoise));

    const double light = std::min(1.0, lasing / ((kMaxReading - kThresholdCount) * kSlopeAboveThreshold)) * transmission;
    r.values[UpPd] = clampReading(kConverterDarkPd
                                  + kConverterPeakPd * light * resonance(r.values[dacReading(UpPiezo)], kUpPeakCount)
                                  + noise(2));
    r.values[DownPd] = clampReading(kConverterDarkPd
                                    + kConverterPeakPd * light
                                          * resonance(r.values[dacReading(DownPiezo)], kDownPeakCount + m_heaterShift)
                                    + noise(2));

    r.values[EclTec] = clampReading(tecReading(m_flags & kEclTecBit, m_eclCelsius, kEclSetCelsius) + noise(2));
    r.values[InjTec] = clampReading(tecReading(m_flags & kInjTecBit, m_injCelsius, kInjSetCelsius) + noise(2));
    r.values[EclTemp] = clampReading(rawForCelsius(m_eclCelsius) + noise(1));
    r.values[InjTemp] = clampReading(rawForCelsius(m_injCelsius) + noise(1));

    // The setting control drifts slowly, as a knob on a warm bench does.
    const double wander = 700 * std::sin(2 * std::numbers::pi * m_time / 47.0)
                          + 300 * std::sin(2 * std::numbers::pi * m_time / 13.0 + 1.0);
    r.values[Pot] = clampReading(2048 + wander + noise(2));
    return r;
}

StatusReadings changingReadings(std::int64_t k)
{
    const bool alarm = k % 2 == 0;
    const auto step = static_cast<int>(k % (kFullScaleCount + 1));
    StatusReadings r;
    for (std::size_t i = 0; i < r.values.size(); ++i) {
        int &value = r.values[i];
        const CountRange range = alarmRange(kReadbacks[i].range);
        switch (kReadbacks[i].range) {
        case RangeRule::Pd:
        case RangeRule::Temperature:
            value = alarm ? (step / 2) % (range.least - 1) : 1000 + step % 3000;
            break;
        case RangeRule::Tec:
            value = alarm ? (step / 2) % (range.least - 1) : range.least + (step / 2) % (range.most - range.least + 1);
            break;
        case RangeRule::None:
            value = (step * 37 + static_cast<int>(i)) % (kFullScaleCount + 1);
            break;
        }
    }
    r.flags = alarm ? 0x00 : kSwitchBits;
    return r;
}
