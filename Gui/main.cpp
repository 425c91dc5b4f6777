// The front panel program.

#include "Gui/FormMain.h"
#include "Gui/SingleInstance.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("norvane"));

    const InstanceLock instance = acquireSingleInstanceLock();
    if (instance.outcome == InstanceLock::Outcome::AnotherRuns)
        return 0;   // another panel runs: leave it alone, silently
    if (instance.outcome == InstanceLock::Outcome::Unchecked) {
        // Refusing to start over a lock that cannot be made would leave the operator
        // with no panel and no word why.
        std::fprintf(stderr, "norvane: cannot check for another running panel (%s); starting anyway\n",
                     qPrintable(instance.problem));
    }

    FormMain window;
    window.load();
    window.show();
    return app.exec();
}
