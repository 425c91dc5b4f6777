#pragma once
// A real panel against a simulated controller in a child process, for the benchmarks
// that need the whole program: end to end over loopback, and idle.

#include "Gui/FormMain.h"
#include "sim/SimProcess.h"

#include <QLineEdit>

#include <memory>

namespace bench {

// norvane-sim on a free port, quiet, with `arguments`; a benchmark cannot go on without it.
inline std::unique_ptr<SimProcess> startedSim(const QString &program, const QStringList &arguments)
{
    auto sim = std::make_unique<SimProcess>(program);
    sim->start(QStringList{QStringLiteral("--quiet")} + arguments);
    if (!sim->waitForListening())
        qFatal("%s", qPrintable(sim->errorString()));
    return sim;
}

// The panel as main() makes it, on the real clock with its timer, pointed at `port`.
inline std::unique_ptr<FormMain> connectedPanel(quint16 port)
{
    auto panel = std::make_unique<FormMain>();
    panel->findChild<QLineEdit *>(QStringLiteral("txtPort"))->setText(QString::number(port));
    panel->load();
    panel->show();
    return panel;
}

} // namespace bench
