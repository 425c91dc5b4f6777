#include "soak/SoakSettings.h"

#include <QCommandLineParser>

namespace soak {

std::optional<Settings> settingsFromCommandLine(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "One mode of the fault-matrix soak: the panel against norvane-sim in real time.\n"
        "Modes: clean, silent, close-after[=s], stall[=s], split, join, garbage, flood[=bytes], refuse."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("sim"), QStringLiteral("The norvane-sim program."), QStringLiteral("path")},
        {QStringLiteral("mode"), QStringLiteral("The fault mode."), QStringLiteral("mode")},
        {QStringLiteral("seconds"), QStringLiteral("Length of the run, recovery included (at least 30)."),
         QStringLiteral("s"), QStringLiteral("600")},
        {QStringLiteral("ci"), QStringLiteral("Judge recovery only; report memory, stalls and lines.")},
    });
    parser.process(app);

    Settings settings;
    settings.simPath = parser.value(QStringLiteral("sim"));
    const std::optional<Mode> mode = modeFromText(parser.value(QStringLiteral("mode")));
    bool ok = false;
    settings.seconds = parser.value(QStringLiteral("seconds")).toDouble(&ok);
    if (settings.simPath.isEmpty() || !mode || !ok || settings.seconds < 30)
        return std::nullopt;
    settings.mode = *mode;
    settings.ci = parser.isSet(QStringLiteral("ci"));
    return settings;
}

} // namespace soak
