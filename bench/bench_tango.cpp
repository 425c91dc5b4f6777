// The bench's Tango device server under load: norvane-sim --stamp --rate R feeds the
// server, registered in the Tango database of TANGO_HOST, and subscriber processes take
// its StatusFrame change events. Each event's stamp gives the frame's number, so gaps are
// lost frames or events, and its departure time, so the latency from the simulator to
// the callback. With "archive", one more process subscribes to the archive events of
// every reading and switch, as an archiver of the bench would.
// The server's CPU is read from /proc over the same window. The baseline is NorvaneFloor
// (bench_floor_server.cpp), which makes the same stamped frames itself at the same rate
// and pushes the same events; the simulator runs beside it too, unread.
//   bench_tango run ours|floor SERVER SIM RATE SECONDS SUBSCRIBERS LABEL [archive]
//   bench_tango subscribe DEVICE      (a subscriber: START and STOP on its standard input)
//   bench_tango archive DEVICE        (the archiver, the same way)
//   bench_tango writes SERVER SIM SECONDS WRITERS SUBSCRIBERS
//   bench_tango write DEVICE N        (a writer of EclCurrent, the same way)
// "writes" is the load test of the write path: writer processes write EclCurrent as fast
// as the server answers while subscribers take every frame at 1000 frames/s, and every
// write a writer was told succeeded must reach the simulator as its SetEclCurrent. It
// prints one WRITES row and ends with status 1 when a write went missing.
// All need TANGO_HOST.

#include "BenchSupport.h"

#include "sim/FrameStamp.h"
#include "tests/support/SimProcess.h"
#include "tango/tables/BenchTables.h"

#include <tango.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <thread>

namespace {

constexpr int kWarmUpMs = 2000;
constexpr int kReadyTimeoutMs = 30000;

// Through a database rather than -nodb or -file: there, Debian's cppTango 9.3 clients
// missed the server's event heartbeats, and their keep-alive thread crashed reconnecting
// ten seconds into a subscription, whichever server was measured.
bool registerDevice(const QString &server, const QString &deviceClass, const QString &device,
                    const std::vector<std::pair<std::string, std::string>> &values)
{
    try {
        Tango::Database database;
        Tango::DbDevInfo info;
        info.name = device.toStdString();
        info._class = deviceClass.toStdString();
        info.server = server.toStdString();
        database.add_device(info);
        Tango::DbData properties;
        for (const auto &[name, value] : values) {
            properties.emplace_back(name);
            std::string text = value;   // DbDatum takes no const string
            properties.back() << text;
        }
        database.put_device_property(info.name, properties);
        return true;
    } catch (const Tango::DevFailed &failure) {
        qWarning("cannot register %s in the Tango database: %s", qPrintable(device), failure.errors[0].desc.in());
        return false;
    }
}

// What one subscriber saw between START and STOP.
class StampCounter final : public Tango::CallBack
{
public:
    void push_event(Tango::EventData *event) override
    {
        const std::uint64_t now = monotonicMicros();
        std::lock_guard lock(m_mutex);
        if (!m_counting)
            return;
        if (event->err || !event->attr_value) {
            ++errors;
            return;
        }
        std::vector<unsigned char> frame;
        *event->attr_value >> frame;
        if (frame.size() != 33) {
            ++errors;
            return;
        }
        const FrameStamp stamp = readStamp(QByteArrayView(frame.data(), static_cast<qsizetype>(frame.size())));
        latenciesMs.push_back(static_cast<double>(stampAge(stamp.micros, now)) / 1000);
        if (received > 0) {
            const std::uint32_t step = (stamp.sequence - m_last) % kStampSequenceModulo;
            if (step == 0 || step > kStampSequenceModulo / 2)
                ++outOfOrder;
            else
                lost += step - 1;
        }
        m_last = stamp.sequence;
        ++received;
    }

    void setCounting(bool counting)
    {
        std::lock_guard lock(m_mutex);
        m_counting = counting;
    }

    std::vector<double> latenciesMs;
    qint64 received = 0;
    qint64 lost = 0;
    qint64 outOfOrder = 0;
    qint64 errors = 0;

private:
    std::mutex m_mutex;
    bool m_counting = false;
    std::uint32_t m_last = 0;
};

// What the archiver saw between START and STOP: events of any attribute.
class EventCounter final : public Tango::CallBack
{
public:
    void push_event(Tango::EventData *event) override
    {
        std::lock_guard lock(m_mutex);
        if (!m_counting)
            return;
        if (event->err || !event->attr_value)
            ++errors;
        else
            ++received;
    }

    void setCounting(bool counting)
    {
        std::lock_guard lock(m_mutex);
        m_counting = counting;
    }

    qint64 received = 0;
    qint64 errors = 0;

private:
    std::mutex m_mutex;
    bool m_counting = false;
};

// Subscribed once, to a device that answers: a subscription tried before the server was
// up stayed behind in the event consumer, whose keep-alive thread then crashed on it ten
// seconds later.
std::unique_ptr<Tango::DeviceProxy> answeringDevice(const std::string &device)
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        try {
            std::string name = device;   // DeviceProxy takes no const string
            auto proxy = std::make_unique<Tango::DeviceProxy>(name);
            proxy->ping();
            return proxy;
        } catch (const Tango::DevFailed &failure) {
            if (waited.elapsed() > kReadyTimeoutMs) {
                std::cerr << "bench_tango: " << device << " does not answer: " << failure.errors[0].desc << '\n';
                return nullptr;
            }
            QThread::msleep(200);
        }
    }
}

// READY, then counting from START until STOP on standard input.
template <typename Counter>
void countUntilStop(Counter &counter)
{
    std::cout << "READY" << std::endl;
    for (std::string line; std::getline(std::cin, line);) {
        if (line == "START")
            counter.setCounting(true);
        if (line == "STOP")
            break;
    }
    counter.setCounting(false);
}

int archive(const std::string &device)
{
    EventCounter counter;
    const std::unique_ptr<Tango::DeviceProxy> proxy = answeringDevice(device);
    if (!proxy)
        return 1;
    int subscribed = 0;
    for (const BenchAttribute &row : kBenchAttributes) {
        if (row.kind != AttrKind::Reading && row.kind != AttrKind::Switch)
            continue;
        try {
            proxy->subscribe_event(std::string(row.name), Tango::ARCHIVE_EVENT, &counter);
            ++subscribed;
        } catch (const Tango::DevFailed &failure) {
            std::cerr << "bench_tango: cannot subscribe to " << device << '/' << row.name
                      << " archive events: " << failure.errors[0].desc << '\n';
            return 1;
        }
    }
    countUntilStop(counter);
    std::cout << "ARC|" << counter.received << '|' << counter.errors << '|' << subscribed << std::endl;
    std::_Exit(0);   // as subscribe(): no unsubscribing
}

int subscribe(const std::string &device)
{
    StampCounter counter;
    const std::unique_ptr<Tango::DeviceProxy> proxy = answeringDevice(device);
    if (!proxy)
        return 1;
    try {
        proxy->subscribe_event("StatusFrame", Tango::CHANGE_EVENT, &counter);
    } catch (const Tango::DevFailed &failure) {
        std::cerr << "bench_tango: cannot subscribe to " << device << ": " << failure.errors[0].desc << '\n';
        return 1;
    }
    countUntilStop(counter);
    std::cout << "SUB|" << counter.received << '|' << counter.lost << '|' << counter.outOfOrder << '|'
              << counter.errors << '|' << bench::percentile(counter.latenciesMs, 50) << '|'
              << bench::percentile(counter.latenciesMs, 99) << '|'
              << (counter.latenciesMs.empty() ? 0 : counter.latenciesMs.back()) << std::endl;
    // Without unsubscribing or tearing the event consumer down: Debian's cppTango 9.3
    // crashed in unsubscribe_event in earlier runs, and the counts are out.
    std::_Exit(0);
}

QByteArray lineFrom(QProcess &process, int msecs)
{
    QElapsedTimer waited;
    waited.start();
    process.waitForStarted(msecs);
    while (!process.canReadLine() && waited.elapsed() < msecs && process.state() == QProcess::Running)
        process.waitForReadyRead(100);
    return process.readLine().trimmed();
}

// A subscriber, the archiver or a writer, READY once subscribed.
std::unique_ptr<QProcess> startClient(const QString &role, const QString &device, const QStringList &more = {})
{
    auto client = std::make_unique<QProcess>();
    client->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    client->start(QCoreApplication::applicationFilePath(), QStringList{role, device} + more);
    return client;
}

// From START until STOP, EclCurrent as fast as the server answers, from one thread: one
// client process per writer, as one host per script.
int write(const std::string &device, int writer)
{
    const std::unique_ptr<Tango::DeviceProxy> proxy = answeringDevice(device);
    if (!proxy)
        return 1;
    std::atomic<bool> writing{false};
    std::atomic<bool> done{false};
    std::atomic<qint64> accepted{0};
    std::atomic<qint64> refused{0};
    std::atomic<qint64> timedOut{0};   // the client gave up waiting: sent or not, it cannot tell
    std::thread worker([&] {
        for (qint64 n = 0; !done; ++n) {
            if (!writing) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            Tango::DeviceAttribute value("EclCurrent", static_cast<Tango::DevLong>(writer * 1000 + n % 1000));
            try {
                proxy->write_attribute(value);
                ++accepted;
            } catch (const Tango::DevFailed &failure) {
                const std::string reason(failure.errors[0].reason.in());
                if (reason == "API_CorbaException" || reason == "API_DeviceTimedOut")
                    ++timedOut;
                else if (refused++ == 0)
                    std::cerr << "bench_tango: write refused: " << reason << '\n';
            }
        }
    });
    std::cout << "READY" << std::endl;
    for (std::string line; std::getline(std::cin, line);) {
        if (line == "START")
            writing = true;
        if (line == "STOP")
            break;
    }
    writing = false;
    done = true;
    worker.join();
    std::cout << "WRT|" << accepted << '|' << refused << '|' << timedOut << std::endl;
    std::_Exit(0);
}

void pump(int msecs)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < msecs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

void tell(std::vector<std::unique_ptr<QProcess>> &clients, const char *line)
{
    for (auto &client : clients) {
        client->write(line);
        client->waitForBytesWritten(1000);
    }
}

int run(const QStringList &args)
{
    const QString kind = args[2];
    const QString server = args[3];
    const QString rate = args[5];
    const double seconds = args[6].toDouble();
    const int subscribers = args[7].toInt();
    const QString label = args[8];
    const bool archiver = args.value(9) == QStringLiteral("archive");
    const bool floor = kind == QStringLiteral("floor");

    // The floor leaves the simulator unread; it runs all the same, so that both turns
    // share the cores with the same neighbours.
    SimProcess sim(args[4]);
    sim.start({QStringLiteral("--quiet"), QStringLiteral("--stamp"), QStringLiteral("--rate"), rate});
    if (!sim.waitForListening())
        qFatal("%s", qPrintable(sim.errorString()));

    const QString instance = QStringLiteral("bench");
    const QString serverClass = floor ? QStringLiteral("NorvaneFloor") : QStringLiteral("NorvaneBench");
    const QString device = floor ? QStringLiteral("bench/floor/1") : QStringLiteral("bench/norvane/1");
    const bool registered = floor
        ? registerDevice(serverClass + '/' + instance, serverClass, device, {{"Rate", rate.toStdString()}})
        : registerDevice(serverClass + '/' + instance, serverClass, device,
                         {{"Address", "127.0.0.1"}, {"Port", std::to_string(sim.port())}});
    if (!registered)
        return 1;

    QProcess serverProcess;
    serverProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    serverProcess.start(server, {instance});
    if (!serverProcess.waitForStarted())
        qFatal("cannot start %s", qPrintable(server));

    std::vector<std::unique_ptr<QProcess>> clients;
    for (int i = 0; i < subscribers; ++i)
        clients.push_back(startClient(QStringLiteral("subscribe"), device));
    if (archiver)
        clients.push_back(startClient(QStringLiteral("archive"), device));
    for (auto &client : clients) {
        if (lineFrom(*client, kReadyTimeoutMs) != "READY") {
            qWarning("a subscriber did not subscribe to %s", qPrintable(device));
            return 1;   // the processes' destructors kill what runs
        }
    }

    QThread::msleep(kWarmUpMs);
    tell(clients, "START\n");
    const double cpuStart = bench::processCpuSeconds(serverProcess.processId());
    const double wallStart = bench::monotonicSeconds();
    QThread::msleep(static_cast<unsigned long>(seconds * 1000));
    const double cpu = bench::processCpuSeconds(serverProcess.processId()) - cpuStart;
    const double wall = bench::monotonicSeconds() - wallStart;
    tell(clients, "STOP\n");

    qint64 received = 0, lost = 0, outOfOrder = 0, errors = 0, archived = 0;
    double p50 = 0, p99 = 0, worst = 0;
    for (auto &client : clients) {
        const QList<QByteArray> fields = lineFrom(*client, 10000).split('|');
        if (fields.size() == 4 && fields[0] == "ARC") {
            archived += fields[1].toLongLong();
            errors += fields[2].toLongLong();
        } else if (fields.size() == 8 && fields[0] == "SUB") {
            received += fields[1].toLongLong();
            lost += fields[2].toLongLong();
            outOfOrder += fields[3].toLongLong();
            errors += fields[4].toLongLong();
            p50 = std::max(p50, fields[5].toDouble());
            p99 = std::max(p99, fields[6].toDouble());
            worst = std::max(worst, fields[7].toDouble());
        } else {
            qWarning("a subscriber gave no counts (exit status %d)", client->exitCode());
            return 1;
        }
        client->waitForFinished(5000);
    }
    serverProcess.terminate();
    if (!serverProcess.waitForFinished(5000))
        serverProcess.kill();

    // One row per run; scripts/bench pairs ours with the floor, turn by turn.
    QTextStream(stdout) << "TANGO|" << label << '|' << rate << '|' << kind << '|' << subscribers << '|' << seconds
                        << '|' << 100 * cpu / wall << '|' << p50 << '|' << p99 << '|' << worst << '|' << received
                        << '|' << lost << '|' << outOfOrder << '|' << errors << '|' << archived / wall << Qt::endl;
    return 0;
}

int writes(const QStringList &args)
{
    const QString server = args[2];
    const double seconds = args[4].toDouble();
    const int writers = args[5].toInt();
    const int subscribers = args[6].toInt();

    SimProcess sim(args[3]);
    qint64 arrived = 0;
    QObject::connect(&sim, &SimProcess::lineRead, &sim, [&arrived](const QString &line) {
        if (line.contains(QLatin1String(" SetEclCurrent ")))
            ++arrived;
    });
    sim.start({QStringLiteral("--stamp"), QStringLiteral("--rate"), QStringLiteral("1000")});
    if (!sim.waitForListening())
        qFatal("%s", qPrintable(sim.errorString()));
    const QString device = QStringLiteral("bench/writes/1");
    if (!registerDevice(QStringLiteral("NorvaneBench/writes"), QStringLiteral("NorvaneBench"), device,
                        {{"Address", "127.0.0.1"}, {"Port", std::to_string(sim.port())}}))
        return 1;
    QProcess serverProcess;
    serverProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    serverProcess.start(server, {QStringLiteral("writes")});
    if (!serverProcess.waitForStarted())
        qFatal("cannot start %s", qPrintable(server));

    std::vector<std::unique_ptr<QProcess>> clients;
    for (int i = 0; i < subscribers; ++i)
        clients.push_back(startClient(QStringLiteral("subscribe"), device));
    for (int i = 0; i < writers; ++i)
        clients.push_back(startClient(QStringLiteral("write"), device, {QString::number(i)}));
    for (auto &client : clients) {
        if (lineFrom(*client, kReadyTimeoutMs) != "READY") {
            qWarning("a client did not get ready on %s", qPrintable(device));
            return 1;
        }
    }
    pump(kWarmUpMs);
    arrived = 0;
    tell(clients, "START\n");
    pump(static_cast<int>(seconds * 1000));
    tell(clients, "STOP\n");

    qint64 accepted = 0, refused = 0, timedOut = 0, received = 0, lost = 0, errors = 0;
    for (auto &client : clients) {
        QByteArray line;
        QElapsedTimer waited;
        waited.start();
        while (!client->canReadLine() && waited.elapsed() < 10000)
            pump(20);
        const QList<QByteArray> fields = client->readLine().trimmed().split('|');
        if (fields.size() == 4 && fields[0] == "WRT") {
            accepted += fields[1].toLongLong();
            refused += fields[2].toLongLong();
            timedOut += fields[3].toLongLong();
        } else if (fields.size() == 8 && fields[0] == "SUB") {
            received += fields[1].toLongLong();
            lost += fields[2].toLongLong();
            errors += fields[4].toLongLong();
        } else {
            qWarning("a client gave no counts (exit status %d)", client->exitCode());
            return 1;
        }
    }
    // What was accepted last is still on its way.
    QElapsedTimer settling;
    settling.start();
    while (arrived < accepted && settling.elapsed() < 5000)
        pump(20);
    pump(200);
    serverProcess.terminate();
    if (!serverProcess.waitForFinished(5000))
        serverProcess.kill();
    // A write the client timed out on may have gone or not; any other that arrived was
    // accepted, and every accepted one must arrive.
    const qint64 missing = std::max<qint64>(0, accepted - arrived);
    const qint64 unaccounted = std::max<qint64>(0, arrived - accepted - timedOut);
    // WRITES|seconds|writers|subscribers|accepted|refused|timed out|arrived|missing|unaccounted|events|events lost|errors
    QTextStream(stdout) << "WRITES|" << seconds << '|' << writers << '|' << subscribers << '|' << accepted << '|'
                        << refused << '|' << timedOut << '|' << arrived << '|' << missing << '|' << unaccounted << '|'
                        << received << '|' << lost << '|' << errors << Qt::endl;
    return missing == 0 && unaccounted == 0 && accepted > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args[1] == QStringLiteral("subscribe"))
        return subscribe(args[2].toStdString());
    if (args.size() == 3 && args[1] == QStringLiteral("archive"))
        return archive(args[2].toStdString());
    if ((args.size() == 9 || args.size() == 10) && args[1] == QStringLiteral("run"))
        return run(args);
    if (args.size() == 4 && args[1] == QStringLiteral("write"))
        return write(args[2].toStdString(), args[3].toInt());
    if (args.size() == 7 && args[1] == QStringLiteral("writes"))
        return writes(args);
    qWarning("usage: bench_tango run ours|floor SERVER SIM RATE SECONDS SUBSCRIBERS LABEL [archive]\n"
             "       bench_tango subscribe|archive DEVICE\n"
             "       bench_tango writes SERVER SIM SECONDS WRITERS SUBSCRIBERS\n"
             "       bench_tango write DEVICE N");
    return 2;
}
