#include "tango/tables/BenchTables.h"

#include <QLocale>

double readingValue(int reading, int count)
{
    return isTemperature(reading) ? temperature(count) : count;
}

std::optional<AlarmLimits> alarmLimits(int reading)
{
    const RangeRule rule = kReadbacks[reading].range;
    if (rule == RangeRule::None)
        return std::nullopt;
    const int lowest = alarmRange(rule).least;
    const int highest = alarmRange(rule).most;
    if (!isTemperature(reading))
        return AlarmLimits{QString::number(lowest - 1), QString::number(highest + 1)};
    // Temperature falls as the count rises; a limit halfway between neighbours is clear
    // of both once printed to four places (neighbours are 0.0068 degC apart).
    const auto between = [](int a, int b) {
        return QString::number((temperature(a) + temperature(b)) / 2, 'f', 4);
    };
    return AlarmLimits{between(highest, highest + 1), between(lowest - 1, lowest)};
}

QString setpointText(const BenchSetpoint &setpoint, double value)
{
    const QString typed = setpoint.family == FieldFamily::Piezo
                              ? QString::number(value, 'g', QLocale::FloatingPointShortest)
                              : QString::number(value, 'f', 0);
    return settleText(setpoint.family, typed);
}
