#pragma once
// Panel fixtures: a panel on a fake clock, pointed at a local controller or at nobody.

#include "ControllerSupport.h"
#include "Gui/ReadbackBox.h"
#include "Gui/TcpPanel.h"
#include "TestSupport.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// The colour a readback box is filled with: white, or the alarm colour.
inline QColor fillOf(QObject &root, const QString &name)
{
    return root.findChild<ReadbackBox *>(name)->fillColour();
}

inline QString findText(QObject &root, const char *name)
{
    if (auto *edit = root.findChild<QLineEdit *>(QString::fromLatin1(name)))
        return edit->text();
    return root.findChild<QPlainTextEdit *>(QString::fromLatin1(name))->toPlainText();
}

// A panel on a fake clock, its tick driven by the test, pointed at `port`.
inline std::unique_ptr<TcpPanel> makePanel(FakeClock &clock, quint16 port, bool load = true)
{
    auto panel = std::make_unique<TcpPanel>(TcpLink::Options{clock.clock()});
    panel->setAddress(panel->host(), QString::number(port));
    if (load)
        panel->load();
    return panel;
}

// A panel pointed at a port on which nobody listens for as long as the panel lives.
inline std::unique_ptr<TcpPanel> makeRefusedPanel(FakeClock &clock, bool load = true)
{
    auto panel = std::make_unique<TcpPanel>(TcpLink::Options{clock.clock()});
    const auto *closed = new ClosedPort(panel.get());
    panel->setAddress(panel->host(), QString::number(closed->port()));
    if (load)
        panel->load();
    return panel;
}

// Whether `controller` took the panel's `count`th connection and the panel sees it up.
inline bool panelConnected(FakeController &controller, TcpPanel &panel, int count = 1)
{
    return controller.waitForClient(count)
           && QTest::qWaitFor([&] { return panel.socket().state() == DeviceSocket::Connected; });
}

// Sends one arrival `seconds` after the last and waits until the panel has handled it.
inline bool feed(FakeController &controller, FakeClock &clock, TcpPanel &panel, const QByteArray &bytes,
                 double seconds = 1.0)
{
    clock.now += seconds;
    controller.send(bytes);
    return QTest::qWaitFor([&] { return panel.lastDataTime() == std::optional<double>(clock.now); });
}

// The console's lines without their time stamps; a trailing empty line is dropped.
inline QStringList consoleTexts(FormMain &panel)
{
    QStringList lines = findText(panel, "txtMsg").split(u'\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    for (QString &line : lines) {
        if (line.size() >= 8 && line[2] == u':' && line[5] == u':')
            line.remove(0, 8);
    }
    return lines;
}

// Names of the widgets that received a paint event while it watched.
class PaintWatch final : public QObject
{
public:
    PaintWatch() { QCoreApplication::instance()->installEventFilter(this); }
    QSet<QString> painted;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted.insert(watched->objectName());
        return false;
    }
};

// Paints the whole of `window` and waits for that pass, which takes along everything
// already dirty: what is painted afterwards comes from what the test does next.
inline bool paintPending(QWidget &window)
{
    PaintWatch watch;
    window.update();
    return QTest::qWaitFor([&] { return !watch.painted.isEmpty(); });
}
