// End to end over loopback: norvane-sim --rate R against the real panel, counting the
// frames the panel applied and its own CPU time. The baseline is the same panel with its
// repaint throttle taken off, so that it paints once per arrival; --naive makes it the
// naive panel too, which writes every box on every frame. --bare-reader gives the floor
// instead: a socket that reads the same stream and does nothing with it. --changing has
// the simulator change every value in every frame.
// --accessible insists that the accessibility bridge is on by the end of the warm-up.
// --events prints the GUI thread's wake-ups and the events it delivered per applied frame,
// by type and receiver class.
//   bench_endtoend SIM RATE SECONDS LABEL [--changing] [--accessible] [--events]
//                  [--unthrottled | --naive | --bare-reader]

#include "BenchPanel.h"
#include "BenchSupport.h"

#include "Gui/Panels.h"
#include "Gui/RepaintThrottle.h"
#include "status/StatusFrame.h"

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QTcpSocket>
#include <QTimer>

#include <map>

namespace {

constexpr int kWarmUpMs = 1000;

struct Counts {
    qint64 arrivals = 0;
    qint64 bytes = 0;
    qint64 whole = 0;   // arrivals of exactly one status frame: the ones the panel applies
};

// CPU seconds of another process, from /proc/PID/stat (user + system).
double processCpuSeconds(const QByteArray &pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(QString::fromLatin1(pid)));
    if (pid.isEmpty() || !stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// How late the pixels are: from a readback's first unpainted change to its next paint.
class PaintLag final : public QObject
{
public:
    explicit PaintLag(FormMain &panel)
    {
        for (std::string_view name : kReadbackBoxes) {
            auto *box = panel.findChild<QLineEdit *>(QString::fromLatin1(name.data()));
            connect(box, &QLineEdit::textChanged, this, [this, box] { m_changed.try_emplace(box, bench::monotonicSeconds()); });
        }
        QCoreApplication::instance()->installEventFilter(this);
    }

    bool measuring = false;
    std::vector<double> lagsMs;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            if (const auto found = m_changed.find(watched); found != m_changed.end()) {
                if (measuring)
                    lagsMs.push_back((bench::monotonicSeconds() - found->second) * 1000);
                m_changed.erase(found);
            }
        }
        return false;
    }

private:
    std::map<QObject *, double> m_changed;
};

// Every event the application delivers while counting, by type and receiver class.
class EventCounter final : public QObject
{
public:
    EventCounter() { QCoreApplication::instance()->installEventFilter(this); }
    bool counting = false;
    std::map<std::pair<int, QString>, qint64> events;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (counting)
            ++events[{static_cast<int>(event->type()), QString::fromLatin1(watched->metaObject()->className())}];
        return false;
    }
};

// Voluntary context switches of the calling thread: each one a block in poll and a wake.
long threadWakeUps()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw;
}

// CPU per second of a window-less reader of the same stream.
double bareReaderCpu(quint16 port, double seconds)
{
    QTcpSocket socket;
    QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [&socket] { socket.read(socket.bytesAvailable()); });
    socket.connectToHost(QHostAddress::LocalHost, port);
    double cpuStart = 0, wallStart = 0;
    QTimer::singleShot(kWarmUpMs, &socket, [&] {
        cpuStart = bench::cpuSeconds();
        wallStart = bench::monotonicSeconds();
    });
    QTimer::singleShot(kWarmUpMs + static_cast<int>(seconds * 1000), &socket, &QCoreApplication::quit);
    QCoreApplication::exec();
    return (bench::cpuSeconds() - cpuStart) / (bench::monotonicSeconds() - wallStart);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 5) {
        qWarning("usage: bench_endtoend SIM RATE SECONDS LABEL [--changing] [--unthrottled | --naive | --bare-reader]");
        return 2;
    }
    const QString rate = args[2];
    const double seconds = args[3].toDouble();
    const QString label = args[4];
    const bool naive = args.contains(QStringLiteral("--naive"));
    const bool unthrottled = naive || args.contains(QStringLiteral("--unthrottled"));
    const QByteArray xServerPid = qgetenv("BENCH_XSERVER_PID");
    if (args.contains(QStringLiteral("--accessible"))) {
        // The bridge comes on once the AT-SPI bus has registered and answered.
        for (int i = 0; i < 500 && !QAccessible::isActive(); ++i)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }

    QStringList simArguments{QStringLiteral("--rate"), rate};
    if (args.contains(QStringLiteral("--changing")))
        simArguments << QStringLiteral("--changing");
    const std::unique_ptr<SimProcess> sim = bench::startedSim(args[1], simArguments);
    if (args.contains(QStringLiteral("--bare-reader"))) {
        QTextStream(stdout) << "NOTE|(2) " << label << ", sim --rate " << rate
                            << ": a bare socket reading the same stream and doing nothing: CPU "
                            << bench::figure(100 * bareReaderCpu(sim->port(), seconds)) << " % of a core" << Qt::endl;
        return 0;
    }
    const std::unique_ptr<TcpPanel> panel = bench::connectedPanel(sim->port());
    std::unique_ptr<bench::NaivePanel> naivePanel;
    if (naive)
        naivePanel = std::make_unique<bench::NaivePanel>(*panel);
    else if (unthrottled)
        panel->removeEventFilter(panel->findChild<RepaintThrottle *>());

    PaintLag lag(*panel);
    EventCounter events;
    long wakeUpsStart = 0;
    Counts counts;
    QObject::connect(&panel->socket(), &DeviceSocket::dataArrival, &app, [&counts](qint64 bytes) {
        ++counts.arrivals;
        counts.bytes += bytes;
        if (bytes == kStatusFrameSize)
            ++counts.whole;
    });

    double cpuStart = 0, wallStart = 0, xStart = 0;
    Counts atStart;
    QTimer::singleShot(kWarmUpMs, &app, [&] {
        atStart = counts;
        cpuStart = bench::cpuSeconds();
        xStart = processCpuSeconds(xServerPid);
        if (args.contains(QStringLiteral("--accessible")) && !QAccessible::isActive())
            qFatal("the accessibility bridge is off: no AT-SPI bus?");
        wallStart = bench::monotonicSeconds();
        lag.measuring = true;
        events.counting = args.contains(QStringLiteral("--events"));
        wakeUpsStart = threadWakeUps();
    });
    QTimer::singleShot(kWarmUpMs + static_cast<int>(seconds * 1000), &app, [&events] {
        events.counting = false;   // not the closing of the window
        QCoreApplication::quit();
    });
    QCoreApplication::exec();

    const long wakeUps = threadWakeUps() - wakeUpsStart;
    const double wall = bench::monotonicSeconds() - wallStart;
    const double cpu = bench::cpuSeconds() - cpuStart;
    const double xCpu = processCpuSeconds(xServerPid) - xStart;
    const double sent = static_cast<double>(counts.bytes - atStart.bytes) / kStatusFrameSize;
    const double applied = static_cast<double>(counts.whole - atStart.whole);
    const double lagP99 = bench::percentile(lag.lagsMs, 99);
    const double lagMax = lag.lagsMs.empty() ? 0 : lag.lagsMs.back();
    QTextStream(stdout) << "E2E|" << label << '|' << rate << '|' << (unthrottled ? "baseline" : "ours") << '|'
                        << applied / wall << '|'
                        << (sent > 0 ? applied / sent : 0) << '|' << 100 * cpu / wall << '|'
                        << (xServerPid.isEmpty() ? -1 : 100 * xCpu / wall) << '|' << lagP99 << '|' << lagMax
                        << Qt::endl;
    if (args.contains(QStringLiteral("--events")) && applied > 0) {
        QTextStream err(stderr);
        err << label << ", rate " << rate << ": per applied frame " << static_cast<double>(wakeUps) / applied
            << " wake-ups of the GUI thread; events by type and receiver:" << Qt::endl;
        for (const auto &[key, count] : events.events) {
            if (static_cast<double>(count) / applied >= 0.01)
                err << "  " << QString::number(static_cast<double>(count) / applied, 'f', 2) << "  " << key.first << ' '
                    << key.second << Qt::endl;
        }
    }
    return 0;
}
