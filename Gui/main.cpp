// The front panel program.

#include "Gui/CommandLine.h"
#include "Gui/FormMain.h"
#include "Gui/SingleInstance.h"

#include <QApplication>
#include <QLineEdit>

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

    const std::unique_ptr<QLockFile> instanceLock = acquireSingleInstanceLock();
    if (!instanceLock)
        return 0;   // another panel runs: leave it alone, silently

    FormMain window;
    if (!command.address.isEmpty())
        window.findChild<QLineEdit *>(QStringLiteral("txtIP"))->setText(command.address);
    if (!command.port.isEmpty())
        window.findChild<QLineEdit *>(QStringLiteral("txtPort"))->setText(command.port);
    window.load();
    window.show();
    return app.exec();
}
