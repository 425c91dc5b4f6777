// norvane-soak: one mode of the fault-matrix soak that scripts/soak runs. The real panel,
// on its real clock and keep-alive timer, against norvane-sim on an ephemeral port of
// 127.0.0.1. It reads the supervision lines off the console, counts the status frames
// the panel applies, samples resident memory and how late a 10 ms timer fires, replaces
// a faulty simulator by a well-behaved one on the same port near the end, and checks
// that the panel comes back. The last line of output is the mode's table row.
//
// Exit status: 0 every check passed, 1 a check failed, 2 bad options, 3 the simulator
// could not be run.

#include "soak/SoakRun.h"
#include "soak/SoakSettings.h"
#include "soak/TimedApplication.h"

#include <QTextStream>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    soak::TimedApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("norvane-soak"));
    QApplication::setQuitOnLastWindowClosed(false);   // the simulator is stopped after the panel

    const std::optional<soak::Settings> settings = soak::settingsFromCommandLine(app);
    if (!settings) {
        QTextStream(stderr) << "norvane-soak: needs --sim PATH, a known --mode and --seconds of 30 or more\n";
        return 2;
    }
    soak::SoakRun run(*settings);
    run.start();
    return QApplication::exec();
}
