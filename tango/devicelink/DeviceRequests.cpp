#include "tango/devicelink/DeviceRequests.h"

#include "instrument/Bench.h"

#include <QLocale>

namespace {

QByteArray name(std::string_view view)
{
    return QByteArray(view.data(), static_cast<qsizetype>(view.size()));
}

} // namespace

double piezoVolts(int count)
{
    return piezoVoltsOfCount(count);
}

std::optional<QByteArray> deviceRequestLine(const CommandRequest &request)
{
    for (const BenchField &field : kBenchFields) {
        if (field.kind == FieldKind::Reading || field.command != request.command)
            continue;
        const QByteArray attribute = name(field.attribute);
        switch (field.kind) {
        case FieldKind::Switch:
            return "write " + attribute + " bool " + (request.on ? "1" : "0") + '\n';
        case FieldKind::Setpoint:
            // The device's piezo attributes take volts; the count's own step gives them.
            if (field.family == FieldFamily::Piezo)
                return "write " + attribute + " double "
                       + QByteArray::number(piezoVoltsOfCount(request.count), 'g', QLocale::FloatingPointShortest)
                       + '\n';
            return "write " + attribute + " long " + QByteArray::number(request.count) + '\n';
        case FieldKind::Command:
            return "run " + attribute + '\n';
        case FieldKind::Reading:
            break;
        }
    }
    return std::nullopt;
}
