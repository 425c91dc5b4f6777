// The front panel program.

#include "Gui/CommandLine.h"
#include "Gui/FormMain.h"
#include "Gui/SingleInstance.h"
#include "Gui/TcpPanel.h"
#include "link/DeviceLinkPlugin.h"

#include <QApplication>

#include <cstdio>

namespace {

// Start-up once the window stands on its link, whatever the link.
int run(QApplication &app, FormMain &window, const CommandLine &command)
{
    window.load();
    // After load(), which empties the console, so that the recording's line stays.
    if (!command.record.isEmpty())
        window.startRecording(command.record);
    if (!command.incidents.isEmpty())
        window.alarms().keepOnDisk(command.incidents);
    window.setNotifications(command.notify);
    window.show();
    return app.exec();
}

int runOnController(QApplication &app, const CommandLine &command)
{
    TcpPanel window;
    window.setAddress(command.address.isEmpty() ? window.host() : command.address,
                      command.port.isEmpty() ? window.port() : command.port);
    return run(app, window, command);
}

int runThroughDevice(QApplication &app, const CommandLine &command)
{
    // Outlives the link and the window, whose code it holds; never unloaded.
    const DeviceLinkPlugin plugin = loadDeviceLinkPlugin();
    std::unique_ptr<Link> link;
    if (plugin.factory)
        link = plugin.factory->createLink(command.device, plugin.directory);
    if (!link) {
        // One line, so that a launcher's log or a script shows the whole reason.
        const QString problem = plugin.factory ? QStringLiteral("its plugin made no link") : plugin.problem;
        std::fprintf(stderr, "norvane: --device needs the norvane-tango package (%s)\n",
                     qPrintable(problem.simplified()));
        return 2;
    }
    FormMain window(*link);
    window.showAttachedDevice(command.device);
    return run(app, window, command);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication::setApplicationName(QStringLiteral("norvane"));
    QApplication::setApplicationVersion(QStringLiteral(NORVANE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.norvane.Norvane"));

    // Help and version need no display. Qt's own options (-platform ...) are known only
    // once QApplication has taken them out, so anything else is judged after that.
    if (const CommandLine early = parseCommandLine(argumentList(argc, argv));
        early.outcome == CommandLine::Outcome::Exit)
        return finishCommandLine(early);
    QApplication app(argc, argv);
    const CommandLine command = parseCommandLine(QApplication::arguments());
    if (command.outcome != CommandLine::Outcome::Run)
        return finishCommandLine(command);

    // The lock comes before the plugin: a second panel on the same bench and desk ends
    // at once, without loading the control system's libraries.
    const InstanceLock instance = command.device.isEmpty() ? acquireSingleInstanceLock()
                                                           : acquireDeviceInstanceLock(command.device);
    if (instance.outcome == InstanceLock::Outcome::AnotherRuns)
        return 0;   // another panel runs: leave it alone, silently
    if (instance.outcome == InstanceLock::Outcome::Unchecked) {
        // Refusing to start over a lock that cannot be made would leave the operator
        // with no panel and no word why.
        std::fprintf(stderr, "norvane: cannot check for another running panel (%s); starting anyway\n",
                     qPrintable(instance.problem));
    }

    return command.device.isEmpty() ? runOnController(app, command) : runThroughDevice(app, command);
}
