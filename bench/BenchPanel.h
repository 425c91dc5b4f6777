#pragma once
// A real panel against a simulated controller in a child process, for the benchmarks
// that need the whole program, and the naive writer the panel is measured against.

#include "Gui/TcpPanel.h"
#include "Gui/Panels.h"
#include "Gui/RepaintThrottle.h"
#include "tests/support/SimProcess.h"
#include "status/Arrival.h"
#include "status/StatusFrame.h"

#include <QCheckBox>
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
inline std::unique_ptr<TcpPanel> connectedPanel(quint16 port)
{
    auto panel = std::make_unique<TcpPanel>();
    panel->setAddress(panel->host(), QString::number(port));
    panel->load();
    panel->show();
    return panel;
}

// The straightforward way: every box, colour and switch written on every frame, the
// colours as style sheets.
class NaiveWriter
{
public:
    explicit NaiveWriter(FormMain &panel)
    {
        for (std::size_t i = 0; i < kReadbacks.size(); ++i)
            m_boxes[i] = panel.findChild<QLineEdit *>(QString::fromLatin1(kReadbackBoxes[i].data()));
        for (std::size_t i = 0; i < kSwitches.size(); ++i)
            m_switches[i] = panel.findChild<QCheckBox *>(QString::fromLatin1(kSwitchBoxes[i].data()));
    }

    void apply(QByteArrayView frame)
    {
        const ReadbackDisplay display = renderReadbacks(decodeStatusFrame(frame));
        const auto show = [&](std::size_t i) {
            m_boxes[i]->setText(display.texts[i]);
            if (kReadbacks[i].range != RangeRule::None) {
                m_boxes[i]->setStyleSheet(display.alarm[i] ? QStringLiteral("background-color: rgb(255, 160, 160)")
                                                           : QStringLiteral("background-color: white"));
            }
        };
        for (std::size_t i = 0; i < kReadbacksBeforeSwitches; ++i)
            show(i);
        for (std::size_t i = 0; i < m_switches.size(); ++i)
            m_switches[i]->setChecked(display.checked[i]);
        for (std::size_t i = kReadbacksBeforeSwitches; i < kReadbacks.size(); ++i)
            show(i);
    }

private:
    std::array<QLineEdit *, kReadbackCount> m_boxes{};
    std::array<QCheckBox *, kSwitchCount> m_switches{};
};

// The naive panel: the naive writer takes every status frame from the panel's own
// socket, and nothing holds the repaints back, so the window paints after every arrival.
// The panel still sees every arrival (a status frame as an empty one), so that its
// watchdog and console go on as before.
class NaivePanel final : public QObject
{
public:
    explicit NaivePanel(TcpPanel &panel) : m_writer(panel)
    {
        panel.removeEventFilter(panel.findChild<RepaintThrottle *>());
        DeviceSocket &socket = panel.socket();
        QObject::disconnect(&socket, &DeviceSocket::dataArrival, &panel.link(), nullptr);
        connect(&socket, &DeviceSocket::dataArrival, this, [this, &panel, &socket](qint64 count) {
            const QByteArray bytes = socket.read(count);
            if (classifyArrival(bytes) != Arrival::Status) {
                panel.deliverArrival(bytes);
                return;
            }
            m_writer.apply(bytes);
            panel.deliverArrival({});
        });
    }

private:
    NaiveWriter m_writer;
};

} // namespace bench
