// Panels through a NorvaneBench device beside a panel on the simulator directly.
// norvane-sim --stamp --rate R feeds either the panel's own socket (direct) or a NorvaneBench
// on a file database, whose device the panel reaches through a DeviceLink and its Tango
// client process, the relay (device). Over the same window: the CPU of the panel process, of
// the relay and of the server, and each applied frame's age by its stamp when the link
// delivers it and when the window next paints a readback, its pixels.
// --changing has the simulator change every value in every frame; --unthrottled takes the
// window's repaint throttle off, which leaves the transport's share of the age.
//   bench_device SIM RATE SECONDS LABEL direct [--changing] [--unthrottled]
//   bench_device SIM RATE SECONDS LABEL device SERVER RELAY [--changing] [--unthrottled]

#include "BenchPanel.h"
#include "BenchSupport.h"

#include "Gui/FormMain.h"
#include "Gui/Panels.h"
#include "Gui/RepaintThrottle.h"
#include "sim/FrameStamp.h"
#include "tango/devicelink/DeviceLink.h"
#include "tests/support/BenchServerProcess.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

namespace {

constexpr int kWarmUpMs = 2000;
constexpr int kStartTimeoutMs = 30000;
const QString kDevice = QStringLiteral("lab/bench/1");

double millis(std::uint64_t micros)
{
    return static_cast<double>(micros) / 1000;
}

// Each applied frame's age by its stamp: when the link delivers it, and when the window
// next paints a readback, which is when its pixels show.
class StampAges final : public QObject
{
public:
    explicit StampAges(FormMain &window)
    {
        // On the boxes alone: a filter on the application would cost the panel on every event.
        for (std::string_view name : kReadbackBoxes)
            window.findChild<QLineEdit *>(QString::fromLatin1(name.data()))->installEventFilter(this);
    }

    // Connected after the window, to the link's statusFrameArrived: the frame is applied.
    void handleFrame(QByteArrayView frame)
    {
        const std::uint64_t now = monotonicMicros();
        ++delivered;
        if (!m_measuring)
            return;
        const FrameStamp stamp = readStamp(frame);
        if (applied > 0) {
            const std::uint32_t step = (stamp.sequence - m_lastSequence) % kStampSequenceModulo;
            if (step > 0 && step < kStampSequenceModulo / 2)
                missed += step - 1;
        }
        m_lastSequence = stamp.sequence;
        ++applied;
        arrivalMs.push_back(millis(stampAge(stamp.micros, now)));
        m_unpainted.push_back(stamp.micros);
    }

    void setMeasuring(bool measuring)
    {
        m_measuring = measuring;
        m_unpainted.clear();
    }

    qint64 delivered = 0;   // warm-up included
    qint64 applied = 0;
    qint64 missed = 0;      // frames the simulator sent between two applied ones
    std::vector<double> arrivalMs;
    std::vector<double> pixelsMs;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_unpainted.empty()) {
            const std::uint64_t now = monotonicMicros();
            for (const std::uint64_t micros : m_unpainted)
                pixelsMs.push_back(millis(stampAge(micros, now)));
            m_unpainted.clear();
        }
        return false;
    }

private:
    bool m_measuring = false;
    std::uint32_t m_lastSequence = 0;
    std::vector<std::uint64_t> m_unpainted;
};

struct Cpu {
    double panel = 0;
    double relay = 0;
    double server = 0;
    double xServer = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const bool throughDevice = args.value(5) == QStringLiteral("device");
    if (args.size() < 6 || (args[5] != QStringLiteral("direct") && !throughDevice) || (throughDevice && args.size() < 8)) {
        qWarning("usage: bench_device SIM RATE SECONDS LABEL direct [--changing] [--unthrottled]\n"
                 "       bench_device SIM RATE SECONDS LABEL device SERVER RELAY [--changing] [--unthrottled]");
        return 2;
    }
    const QString rate = args[2];
    const double seconds = args[3].toDouble();
    const QString label = args[4];
    const qint64 xServerPid = qEnvironmentVariableIntValue("BENCH_XSERVER_PID");

    QStringList simArguments{QStringLiteral("--stamp"), QStringLiteral("--rate"), rate};
    if (args.contains(QStringLiteral("--changing")))
        simArguments << QStringLiteral("--changing");
    const std::unique_ptr<SimProcess> sim = bench::startedSim(args[1], simArguments);

    QTemporaryDir dir;
    // NorvaneBench on a file database whose one device talks to the simulator.
    std::unique_ptr<BenchServerProcess> server;
    std::unique_ptr<DeviceLink> deviceLink;   // outlives the window on it
    std::unique_ptr<FormMain> window;
    std::unique_ptr<StampAges> ages;
    if (throughDevice) {
        server = std::make_unique<BenchServerProcess>(
            args[6], dir.path(),
            QList<BenchServerProcess::Device>{{kDevice, {QStringLiteral("Port: %1").arg(sim->port())}}},
            QStringList(), QStringLiteral("bench"));
        if (!server->start(kStartTimeoutMs))
            qFatal("%s", qPrintable(server->errorString()));
        const QString device = server->deviceName(kDevice);
        deviceLink = std::make_unique<DeviceLink>(device, args[7]);
        window = std::make_unique<FormMain>(*deviceLink);
        window->showAttachedDevice(device);
        ages = std::make_unique<StampAges>(*window);
        QObject::connect(deviceLink.get(), &DeviceLink::statusFrameArrived, ages.get(), &StampAges::handleFrame);
        window->load();
        window->show();
    } else {
        std::unique_ptr<TcpPanel> panel = bench::connectedPanel(sim->port());
        ages = std::make_unique<StampAges>(*panel);
        QObject::connect(&panel->tcpLink(), &TcpLink::statusFrameArrived, ages.get(), &StampAges::handleFrame);
        window = std::move(panel);
    }
    if (args.contains(QStringLiteral("--unthrottled")))
        window->removeEventFilter(window->findChild<RepaintThrottle *>());

    QElapsedTimer waited;
    waited.start();
    while (ages->delivered == 0) {
        if (waited.elapsed() > kStartTimeoutMs)
            qFatal("no frame reached the panel in %d s", kStartTimeoutMs / 1000);
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    }

    qint64 linksDown = 0;
    QObject::connect(&window->link(), &Link::linkDown, &app, [&linksDown] { ++linksDown; });
    const auto cpuNow = [&] {
        return Cpu{bench::cpuSeconds(), deviceLink ? bench::processCpuSeconds(deviceLink->clientProcessId()) : 0,
                    throughDevice ? bench::processCpuSeconds(server->processId()) : 0,
                    xServerPid > 0 ? bench::processCpuSeconds(xServerPid) : 0};
    };
    Cpu cpuStart, cpuEnd;
    double wallStart = 0, wall = 0;
    qint64 relayPid = 0;
    QTimer::singleShot(kWarmUpMs, &app, [&] {
        linksDown = 0;
        relayPid = deviceLink ? deviceLink->clientProcessId() : 0;
        ages->setMeasuring(true);
        cpuStart = cpuNow();
        wallStart = bench::monotonicSeconds();
    });
    // Read before quitting: quit() closes the window, and the window its link.
    QTimer::singleShot(kWarmUpMs + static_cast<int>(seconds * 1000), &app, [&] {
        ages->setMeasuring(false);
        cpuEnd = cpuNow();
        wall = bench::monotonicSeconds() - wallStart;
        if (deviceLink && deviceLink->clientProcessId() != relayPid)
            ++linksDown;   // a new relay: the old one's CPU went with the old
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    server.reset();

    const auto percent = [wall](double start, double end, bool measured) {
        return measured ? 100 * (end - start) / wall : -1;
    };
    const double sent = static_cast<double>(ages->applied + ages->missed);
    const double pixelsMax = ages->pixelsMs.empty() ? 0 : *std::max_element(ages->pixelsMs.begin(), ages->pixelsMs.end());
    QTextStream(stdout) << "DEVICE|" << label << '|' << rate << '|' << (throughDevice ? "device" : "direct") << '|'
                        << static_cast<double>(ages->applied) / wall << '|'
                        << (sent > 0 ? static_cast<double>(ages->applied) / sent : 0) << '|'
                        << percent(cpuStart.panel, cpuEnd.panel, true) << '|'
                        << percent(cpuStart.relay, cpuEnd.relay, throughDevice) << '|'
                        << percent(cpuStart.server, cpuEnd.server, throughDevice) << '|'
                        << percent(cpuStart.xServer, cpuEnd.xServer, xServerPid > 0) << '|'
                        << bench::percentile(ages->arrivalMs, 50) << '|' << bench::percentile(ages->arrivalMs, 99)
                        << '|' << bench::percentile(ages->pixelsMs, 50) << '|'
                        << bench::percentile(ages->pixelsMs, 99) << '|' << pixelsMax << '|' << linksDown << Qt::endl;
    return 0;
}
