// The panel's main() with the port field pointed at a local listener, for bench_startup.
//   bench_startpanel PORT

#include "Gui/TcpPanel.h"
#include "Gui/SingleInstance.h"

#include <QApplication>
#include <QLineEdit>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("norvane"));

    const InstanceLock instance = acquireSingleInstanceLock();
    if (instance.outcome == InstanceLock::Outcome::AnotherRuns)
        return 0;

    TcpPanel window;
    window.setAddress(window.host(), QString::fromLatin1(argv[1]));
    window.load();
    window.show();
    return app.exec();
}
