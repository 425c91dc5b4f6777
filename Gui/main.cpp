// The front panel program.

#include "Gui/CommandLine.h"
#include "Gui/FormMain.h"
#include "Gui/SingleInstance.h"
#include "link/TcpLink.h"

#include <QApplication>

#include <cstdio>

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

    const InstanceLock instance = acquireSingleInstanceLock();
    if (instance.outcome == InstanceLock::Outcome::AnotherRuns)
        return 0;   // another panel runs: leave it alone, silently
    if (instance.outcome == InstanceLock::Outcome::Unchecked) {
        // Refusing to start over a lock that cannot be made would leave the operator
        // with no panel and no word why.
        std::fprintf(stderr, "norvane: cannot check for another running panel (%s); starting anyway\n",
                     qPrintable(instance.problem));
    }

    TcpLink link;
    FormMain window(link);
    link.setAddressSource([&window] { return TcpLink::Address{window.host(), window.port()}; });
    window.setAddress(command.address.isEmpty() ? window.host() : command.address,
                      command.port.isEmpty() ? window.port() : command.port);
    window.load();
    // After load(), which empties the console, so that the recording's line stays.
    if (!command.record.isEmpty())
        window.startRecording(command.record);
    window.show();
    return app.exec();
}
