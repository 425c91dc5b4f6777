#include "tango/devicelink/DeviceRequests.h"

#include "tango/tables/BenchTables.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace {

QByteArray name(std::string_view view)
{
    return QByteArray(view.data(), static_cast<qsizetype>(view.size()));
}

// The attribute of a row of kBenchAttributes of this kind.
std::string_view attributeName(AttrKind kind, int row)
{
    for (const BenchAttribute &attribute : kBenchAttributes)
        if (attribute.kind == kind && attribute.row == row)
            return attribute.name;
    return {};
}

} // namespace

double piezoVolts(int count)
{
    // The device sends 4095 - floor(V / 63.3 * 4095); the middle of the step that floors to
    // 4095 - count is clear of both edges, and full scale is the only value for a count of 0.
    const int step = kCountMax - std::clamp(count, 0, static_cast<int>(kCountMax));
    if (step == kCountMax)
        return kPiezoVoltsMax;
    return (step + 0.5) * kPiezoVoltsMax / kCountMax;
}

std::optional<QByteArray> deviceRequestLine(const CommandRequest &request)
{
    for (int row = 0; row < kSwitchCount; ++row) {
        if (kSwitches[row].command == request.command)
            return "write " + name(attributeName(AttrKind::Switch, row)) + " bool " + (request.on ? "1" : "0") + '\n';
    }
    for (int row = 0; row < kBenchSetpointCount; ++row) {
        const BenchSetpoint &setpoint = kBenchSetpoints[row];
        if (setpoint.command != request.command)
            continue;
        const QByteArray attribute = name(attributeName(AttrKind::Setpoint, row));
        if (setpoint.family == FieldFamily::Piezo)
            return "write " + attribute + " double "
                   + QByteArray::number(piezoVolts(request.count), 'g', QLocale::FloatingPointShortest) + '\n';
        return "write " + attribute + " long " + QByteArray::number(request.count) + '\n';
    }
    if (std::find(kBenchCommands.begin(), kBenchCommands.end(), request.command) != kBenchCommands.end())
        return "run " + name(commandInfo(request.command).name) + '\n';
    return std::nullopt;
}
