// Panels attached through a real NorvaneBench process: what they show and what reaches the
// controller must be what a panel connected directly shows and sends. Each device panel
// runs its own Tango client process; the watchdog's ticks are the test's.

#include "PanelSupport.h"
#include "ReadingsSupport.h"

#include "tests/support/SimProcess.h"
#include "tango/devicelink/DeviceLink.h"
#include "tests/support/BenchServerProcess.h"

#include <QCheckBox>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>

#include <sys/prctl.h>

namespace {

constexpr int kWaitMs = 20000;
const QString kDevice = QStringLiteral("lab/bench/1");

// One NorvaneBench process on a file database, restartable on the same port, whose one
// device talks to the controller at `controllerPort`.
std::unique_ptr<BenchServerProcess> benchServer(const QTemporaryDir &dir, quint16 controllerPort,
                                                const QStringList &extraLines = {})
{
    return std::make_unique<BenchServerProcess>(QStringLiteral(NORVANEBENCH_PATH), dir.path(),
        QList<BenchServerProcess::Device>{{kDevice, {u"Address: 127.0.0.1"_qs, QStringLiteral("Port: %1").arg(controllerPort)}}}, extraLines);
}

// A window on a device link whose watchdog ticks when the test says.
struct DevicePanel {
    DevicePanel(FakeClock &clock, const QString &device)
        : link(device, QStringLiteral(NORVANE_TANGO_RELAY_PATH), clock.clock()),
          window(link)
    {
        window.load();
    }
    DeviceLink link;
    FormMain window;
};

// The controller's frames, keep-alives left out: the device's link keeps its own.
QList<QByteArray> commandFrames(const QByteArray &received)
{
    QList<QByteArray> frames;
    for (qsizetype at = 0; at < received.size();) {
        const auto opcode = static_cast<std::uint8_t>(received[at]);
        const CommandInfo *info = nullptr;
        for (const CommandInfo &command : kCommands)
            if (command.opcode == opcode)
                info = &command;
        if (!info)
            return frames << received.mid(at);   // not a frame: shown whole in the failure
        const qsizetype length = frameLength(info->payload);
        if (info->command != Command::KeepAlive)
            frames << received.mid(at, length);
        at += length;
    }
    return frames;
}

// What a window shows: every readback's text and alarm colour, every switch.
QStringList shown(FormMain &window)
{
    QStringList lines;
    for (const ReadbackInfo &readback : kReadbacks) {
        auto *box = window.findChild<QLineEdit *>(QStringLiteral("txt") + QLatin1String(readback.field));
        lines << box->objectName() + u' ' + box->text() + u' ' + fillOf(window, box->objectName()).name();
    }
    for (QCheckBox *box : window.findChildren<QCheckBox *>())
        lines << box->objectName() + (box->isChecked() ? QStringLiteral(" on") : QStringLiteral(" off"));
    lines.sort();
    return lines;
}

void click(FormMain &window, const QString &name)
{
    auto *button = window.findChild<QAbstractButton *>(name);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(4, button->height() / 2));
}

// Ticks the watchdog, a second of its time at a time, until `done` or the wait runs out.
template <typename Done>
bool tickUntil(FakeClock &clock, std::initializer_list<DevicePanel *> panels, Done done)
{
    return QTest::qWaitFor([&] {
        if (done())
            return true;
        clock.now += 1;
        for (DevicePanel *panel : panels)
            panel->link.handleWatchdogTick();
        return done();
    }, kWaitMs);
}

// A recording's status rows, each the readings and switches of one frame.
QStringList recordedFrames(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList frames;
    const QList<QByteArray> rows = file.readAll().split('\n');
    for (const QByteArray &row : rows.mid(1)) {
        const QList<QByteArray> cells = row.trimmed().split(',');
        if (cells.size() > 3 && !cells[2].isEmpty())
            frames << QString::fromLatin1(cells.mid(2, cells.size() - 3).join(','));
    }
    return frames;
}

} // namespace

class TestDevicePanels : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void framesShowAsOnADirectPanel_data();
    void framesShowAsOnADirectPanel();
    void requestsReachTheControllerAsDirectly_data();
    void requestsReachTheControllerAsDirectly();
    void aSwitchFlippedOnOnePanelShowsOnTheOther();
    void aRefusedWriteIsOneConsoleLine();
    void aMessageShowsOnceOnEveryPanelThatSawItCome();
    void bothPanelsRecoverFromAServerRestart();
    void panelProgramsRecordWhatADirectPanelRecords();

private:
    QTemporaryDir m_dir;
    FakeClock m_clock;
    // A controller recording bytes, behind the device, and another for the direct panel.
    FakeController m_benchController;
    FakeController m_directController;
    // A live controller reports all the time; the device goes to FAULT after five silent seconds.
    QByteArray m_benchFrame = kGoldenFrame;
    QTimer m_benchFeed;
    std::unique_ptr<BenchServerProcess> m_bench;
    std::unique_ptr<DevicePanel> m_devicePanel;
    std::unique_ptr<TcpPanel> m_directPanel;
    // The simulator behind a second device, with two panels on it.
    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<BenchServerProcess> m_simBench;
    std::unique_ptr<DevicePanel> m_first;
    std::unique_ptr<DevicePanel> m_second;
};

void TestDevicePanels::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_bench = benchServer(m_dir, m_benchController.port());
    QVERIFY2(m_bench->start(kWaitMs), qPrintable(m_bench->errorString()));
    QVERIFY(m_benchController.waitForClient());
    connect(&m_benchFeed, &QTimer::timeout, this, [this] { m_benchController.send(m_benchFrame); });
    m_benchFeed.start(300);
    m_devicePanel = std::make_unique<DevicePanel>(m_clock, m_bench->deviceName(kDevice));
    m_directPanel = makePanel(m_clock, m_directController.port());
    QVERIFY(m_directController.waitForClient());
    QVERIFY(QTest::qWaitFor([&] { return m_devicePanel->link.isUp(); }, kWaitMs));

    m_sim = std::make_unique<SimProcess>(QStringLiteral(NORVANE_SIM_PATH));
    m_sim->start({QStringLiteral("--quiet")});
    QVERIFY(m_sim->waitForListening());
    m_simBench = benchServer(m_dir, m_sim->port(), {kDevice + QStringLiteral("/EclCurrent->max_value: 100")});
    QVERIFY2(m_simBench->start(kWaitMs), qPrintable(m_simBench->errorString()));
    m_first = std::make_unique<DevicePanel>(m_clock, m_simBench->deviceName(kDevice));
    m_second = std::make_unique<DevicePanel>(m_clock, m_simBench->deviceName(kDevice));
    QVERIFY(QTest::qWaitFor([&] { return m_first->link.isUp() && m_second->link.isUp(); }, kWaitMs));
}

void TestDevicePanels::framesShowAsOnADirectPanel_data()
{
    QTest::addColumn<QByteArray>("frame");
    const auto frame = [](int fill, int index, int value, std::uint8_t flags) {
        return encodeStatusFrame(readingsWith(fill, index, value, flags));
    };
    QTest::newRow("golden frame") << kGoldenFrame;
    QTest::newRow("every switch on, mid-scale") << frame(2048, 0, 2048, 0x3F);
    QTest::newRow("ECL TEC at its alarm edge") << frame(2000, 1, 100, 0x01);
    QTest::newRow("a temperature at full scale") << frame(1000, 2, 4095, 0x22);
    QTest::newRow("all zero") << frame(0, 0, 0, 0);
}

void TestDevicePanels::framesShowAsOnADirectPanel()
{
    QFETCH(QByteArray, frame);
    const StatusReadings readings = decodeStatusFrame(frame);
    const auto applied = [&](Link &link) {
        return [&, spy = std::make_shared<QSignalSpy>(&link, &Link::statusArrived)] {
            return !spy->isEmpty() && spy->back().at(0).value<StatusReadings>().values == readings.values
                   && spy->back().at(0).value<StatusReadings>().flags == readings.flags;
        };
    };
    const auto throughDevice = applied(m_devicePanel->link);
    const auto direct = applied(m_directPanel->tcpLink());
    m_benchFrame = frame;
    m_benchController.send(frame);
    m_directController.send(frame);
    QVERIFY(QTest::qWaitFor(throughDevice, kWaitMs));
    QVERIFY(QTest::qWaitFor(direct, kWaitMs));
    QCOMPARE(shown(m_devicePanel->window), shown(*m_directPanel));
}

void TestDevicePanels::requestsReachTheControllerAsDirectly_data()
{
    QTest::addColumn<QString>("field");   // empty: none typed into
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("clicked");

    const auto row = [](const char *name, const char *field, const char *text, const char *clicked) {
        QTest::newRow(name) << QString::fromLatin1(field) << QString::fromLatin1(text) << QString::fromLatin1(clicked);
    };
    row("current", "txtEclCurrent", "1234", "cmdSetEcl");
    row("injection current", "txtInjCurrent", "77", "cmdSetInj");
    row("piezo on a step's edge", "txtEclPiezo", "31.65", "cmdEclPiezo");
    row("piezo full scale", "txtUpPiezo", "63.3", "cmdUpPiezo");
    row("piezo zero", "txtDownPiezo", "0", "cmdDownPiezo");
    row("X dac tie to even", "txtXdac", "2.5", "cmdXdac");
    row("empty Y dac", "txtYdac", "", "cmdYdac");
    row("warm boot", "", "", "cmdWarmBoot");
    row("square", "", "", "cmdXYsquare");
    row("echo", "", "", "cmdEcho");
    row("heater", "", "", "chkHeater");
    row("slow lock", "", "", "chkSlowLock");
}

void TestDevicePanels::requestsReachTheControllerAsDirectly()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, clicked);

    m_benchController.received().clear();
    m_directController.received().clear();
    for (FormMain *window : {&m_devicePanel->window, static_cast<FormMain *>(m_directPanel.get())}) {
        if (!field.isEmpty()) {
            auto *edit = window->findChild<QLineEdit *>(field);
            edit->clear();
            QTest::keyClicks(edit, text);
        }
        click(*window, clicked);
    }
    // A warm boot behind it on both: once it arrives, whatever the request sent is in.
    const QByteArray marker = QByteArray::fromHex("a4");
    for (FormMain *window : {&m_devicePanel->window, static_cast<FormMain *>(m_directPanel.get())})
        click(*window, QStringLiteral("cmdWarmBoot"));
    for (FakeController *controller : {&m_directController, &m_benchController}) {
        QVERIFY(QTest::qWaitFor([&] {
            const QList<QByteArray> frames = commandFrames(controller->received());
            return frames.size() >= 2 && frames.back() == marker;
        }, kWaitMs));
    }
    QCOMPARE(commandFrames(m_benchController.received()), commandFrames(m_directController.received()));
}

void TestDevicePanels::aSwitchFlippedOnOnePanelShowsOnTheOther()
{
    auto *mine = m_first->window.findChild<QCheckBox *>(QStringLiteral("chkNarrow"));
    auto *theirs = m_second->window.findChild<QCheckBox *>(QStringLiteral("chkNarrow"));
    const bool wanted = !theirs->isChecked();
    if (mine->isChecked() == wanted)
        mine->setChecked(!wanted);   // both panels agree before the flip
    click(m_first->window, QStringLiteral("chkNarrow"));
    QVERIFY(QTest::qWaitFor([&] { return theirs->isChecked() == wanted; }, kWaitMs));
}

void TestDevicePanels::aRefusedWriteIsOneConsoleLine()
{
    QSignalSpy frames(&m_first->link, &Link::statusArrived);
    const int before = consoleTexts(m_first->window).size();
    auto *edit = m_first->window.findChild<QLineEdit *>(QStringLiteral("txtEclCurrent"));
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("1234"));
    click(m_first->window, QStringLiteral("cmdSetEcl"));
    QVERIFY(QTest::qWaitFor([&] { return consoleTexts(m_first->window).size() > before; }, kWaitMs));
    const QStringList added = consoleTexts(m_first->window).mid(before);
    QCOMPARE(added.size(), 1);
    QVERIFY2(added.front().startsWith(QStringLiteral(" Error: EclCurrent: ")), qPrintable(added.front()));
    // and the window goes on
    const qsizetype seen = frames.size();
    QVERIFY(QTest::qWaitFor([&] { return frames.size() > seen + 2; }, kWaitMs));
    QVERIFY(m_first->link.isUp());
}

void TestDevicePanels::aMessageShowsOnceOnEveryPanelThatSawItCome()
{
    const QString echo = QStringLiteral(" Hi, this should show up on the console.");
    click(m_first->window, QStringLiteral("cmdEcho"));
    for (DevicePanel *panel : {m_first.get(), m_second.get()})
        QVERIFY(QTest::qWaitFor([&] { return consoleTexts(panel->window).count(echo) == 1; }, kWaitMs));
    // The device still holds it, but a panel attached afterwards did not see it come.
    DevicePanel later(m_clock, m_simBench->deviceName(kDevice));
    QVERIFY(QTest::qWaitFor([&] { return later.link.isUp(); }, kWaitMs));
    QSignalSpy frames(&later.link, &Link::statusArrived);
    QVERIFY(frames.wait(kWaitMs));
    QCOMPARE(consoleTexts(later.window).count(echo), 0);
}

void TestDevicePanels::bothPanelsRecoverFromAServerRestart()
{
    const int before = consoleTexts(m_first->window).size();
    m_simBench->kill();
    QVERIFY(tickUntil(m_clock, {m_first.get(), m_second.get()}, [&] {
        return !m_first->link.isUp() && !m_second->link.isUp();
    }));
    QVERIFY2(m_simBench->start(kWaitMs), qPrintable(m_simBench->errorString()));
    QVERIFY(tickUntil(m_clock, {m_first.get(), m_second.get()}, [&] {
        return m_first->link.isUp() && m_second->link.isUp();
    }));
    for (DevicePanel *panel : {m_first.get(), m_second.get()}) {
        const QStringList console = consoleTexts(panel->window).mid(panel == m_first.get() ? before : 0);
        QVERIFY2(console.contains(QStringLiteral(" Lost connection, closed.  ")), qPrintable(console.join(u'|')));
        QVERIFY2(console.contains(QStringLiteral(" Reopening...")), qPrintable(console.join(u'|')));
        QCOMPARE(console.back(), QStringLiteral(" Connected!"));
        QSignalSpy frames(&panel->link, &Link::statusArrived);
        QVERIFY(frames.wait(kWaitMs));
    }
}

void TestDevicePanels::panelProgramsRecordWhatADirectPanelRecords()
{
    // Two panel programs on two desks through the device, and one connected directly, each
    // recording every frame it applies. The simulator sends every client the same frames.
    QTemporaryDir runtime;
    QVERIFY(runtime.isValid());
    std::vector<std::unique_ptr<QProcess>> panels;
    const auto start = [&](const QString &desk, const QStringList &arguments, const QString &recording) {
        auto panel = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        environment.insert(QStringLiteral("DISPLAY"), desk);
        panel->setProcessEnvironment(environment);
        panel->setProcessChannelMode(QProcess::ForwardedChannels);
        panel->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        panel->start(QStringLiteral(NORVANE_PATH), arguments + QStringList{QStringLiteral("--record"), recording});
        panels.push_back(std::move(panel));
    };
    const QString direct = m_dir.filePath(QStringLiteral("direct.csv"));
    const QStringList throughDevice{m_dir.filePath(QStringLiteral("first.csv")), m_dir.filePath(QStringLiteral("second.csv"))};
    start(QStringLiteral(":71"), {QStringLiteral("--device"), m_simBench->deviceName(kDevice)}, throughDevice[0]);
    start(QStringLiteral(":72"), {QStringLiteral("--device"), m_simBench->deviceName(kDevice)}, throughDevice[1]);
    start(QStringLiteral(":73"), {QStringLiteral("--address"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                                  QString::number(m_sim->port())}, direct);
    // Recordings reach the disk once a second: the newest frames are left out of the comparison.
    constexpr int kFrames = 20;
    constexpr int kUnflushed = 15;
    QVERIFY(QTest::qWaitFor([&] {
        return recordedFrames(throughDevice[0]).size() >= kFrames + kUnflushed
               && recordedFrames(throughDevice[1]).size() >= kFrames + kUnflushed;
    }, kWaitMs));
    for (const auto &panel : panels)
        QCOMPARE(panel->state(), QProcess::Running);

    // Each device panel's frames stand in the direct panel's recording, in the same order.
    const QString all = recordedFrames(direct).join(u'|');
    for (const QString &recording : throughDevice) {
        const QStringList frames = recordedFrames(recording);
        const QString latest = frames.mid(frames.size() - kFrames - kUnflushed, kFrames).join(u'|');
        QVERIFY2(all.contains(latest), qPrintable(recording));
    }
}

QTEST_MAIN(TestDevicePanels)
#include "tst_devicepanels.moc"
