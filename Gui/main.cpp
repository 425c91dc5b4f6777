// The front panel program.

#include "Gui/FormMain.h"
#include "Gui/SingleInstance.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("norvane"));

    const std::unique_ptr<QLockFile> instanceLock = acquireSingleInstanceLock();
    if (!instanceLock)
        return 0;   // another panel runs: leave it alone, silently

    FormMain window;
    window.load();
    window.show();
    return app.exec();
}
