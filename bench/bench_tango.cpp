// The bench's Tango device server under load: norvane-sim --stamp --rate R feeds the
// server, which runs from a file database, and subscriber processes take its StatusFrame
// change events. Each event's stamp gives the frame's number, so gaps are lost frames or
// events, and its departure time, so the latency from the simulator to the callback.
// The server's CPU is read from /proc over the same window. The baseline is the PyTango
// server of pytango_bench.py, run the same way.
//   bench_tango run ours|pytango SERVER SIM RATE SECONDS SUBSCRIBERS LABEL
//   bench_tango subscribe DEVICE      (a subscriber: START and STOP on its standard input)

#include "BenchSupport.h"

#include "sim/FrameStamp.h"
#include "sim/SimProcess.h"

#include <tango.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <iostream>
#include <mutex>

namespace {

constexpr int kWarmUpMs = 2000;
constexpr int kReadyTimeoutMs = 30000;
constexpr auto kDevice = "lab/bench/1";

// Nanoseconds every thread of a process has run, alive ones only (/proc/PID/task/*/schedstat).
double processCpuSeconds(qint64 pid)
{
    double seconds = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (schedstat.open(QIODevice::ReadOnly))
            seconds += schedstat.readAll().split(' ').value(0).toDouble() / 1e9;
    }
    return seconds;
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
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

int subscribe(std::string device)
{
    StampCounter counter;
    std::unique_ptr<Tango::DeviceProxy> proxy;
    int id = -1;
    QElapsedTimer waited;
    waited.start();
    while (id < 0) {
        try {
            proxy = std::make_unique<Tango::DeviceProxy>(device);
            id = proxy->subscribe_event("StatusFrame", Tango::CHANGE_EVENT, &counter);
        } catch (const Tango::DevFailed &failure) {
            if (waited.elapsed() > kReadyTimeoutMs) {
                std::cerr << "bench_tango: cannot subscribe to " << device << ": " << failure.errors[0].desc << '\n';
                return 1;
            }
            QThread::msleep(200);
        }
    }
    std::cout << "READY" << std::endl;
    for (std::string line; std::getline(std::cin, line);) {
        if (line == "START")
            counter.setCounting(true);
        if (line == "STOP")
            break;
    }
    counter.setCounting(false);
    proxy->unsubscribe_event(id);
    std::cout << "SUB|" << counter.received << '|' << counter.lost << '|' << counter.outOfOrder << '|'
              << counter.errors << '|' << bench::percentile(counter.latenciesMs, 50) << '|'
              << bench::percentile(counter.latenciesMs, 99) << '|'
              << (counter.latenciesMs.empty() ? 0 : counter.latenciesMs.back()) << std::endl;
    return 0;
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

int run(const QStringList &args)
{
    const QString kind = args[2];
    const QString server = args[3];
    const QString rate = args[5];
    const double seconds = args[6].toDouble();
    const int subscribers = args[7].toInt();
    const QString label = args[8];
    const bool pytango = kind == QStringLiteral("pytango");

    SimProcess sim(args[4]);
    sim.start({QStringLiteral("--quiet"), QStringLiteral("--stamp"), QStringLiteral("--rate"), rate});
    if (!sim.waitForListening())
        qFatal("%s", qPrintable(sim.errorString()));

    QTemporaryDir work;
    const QString database = work.filePath(QStringLiteral("bench.db"));
    QFile file(database);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(database));
    const QByteArray executable = pytango ? "pytango_bench" : "NorvaneBench";
    const QByteArray deviceClass = pytango ? "PyNorvaneBench" : "NorvaneBench";
    file.write(executable + "/bench/DEVICE/" + deviceClass + ": \"" + kDevice + "\"\n" + kDevice
               + "->Port: " + QByteArray::number(sim.port()) + "\n");
    file.close();

    const quint16 orbPort = freePort();
    QProcess serverProcess;
    serverProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList serverArguments{QStringLiteral("bench"), QStringLiteral("-file=") + database,
                                QStringLiteral("-ORBendPoint"), QStringLiteral("giop:tcp:127.0.0.1:%1").arg(orbPort)};
    if (pytango)
        serverProcess.start(QStringLiteral("/usr/bin/python3"), QStringList{server} + serverArguments);
    else
        serverProcess.start(server, serverArguments);
    if (!serverProcess.waitForStarted())
        qFatal("cannot start %s", qPrintable(server));

    const QString url = QStringLiteral("tango://127.0.0.1:%1/%2#dbase=no").arg(orbPort).arg(QLatin1String(kDevice));
    std::vector<std::unique_ptr<QProcess>> clients;
    for (int i = 0; i < subscribers; ++i) {
        auto &client = clients.emplace_back(std::make_unique<QProcess>());
        client->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        client->start(QCoreApplication::applicationFilePath(), {QStringLiteral("subscribe"), url});
    }
    for (auto &client : clients) {
        if (lineFrom(*client, kReadyTimeoutMs) != "READY")
            qFatal("a subscriber did not subscribe to %s", qPrintable(url));
    }

    QThread::msleep(kWarmUpMs);
    for (auto &client : clients) {
        client->write("START\n");
        client->waitForBytesWritten(1000);
    }
    const double cpuStart = processCpuSeconds(serverProcess.processId());
    const double wallStart = bench::monotonicSeconds();
    QThread::msleep(static_cast<unsigned long>(seconds * 1000));
    const double cpu = processCpuSeconds(serverProcess.processId()) - cpuStart;
    const double wall = bench::monotonicSeconds() - wallStart;
    for (auto &client : clients) {
        client->write("STOP\n");
        client->waitForBytesWritten(1000);
    }

    qint64 received = 0, lost = 0, outOfOrder = 0, errors = 0;
    double p50 = 0, p99 = 0, worst = 0;
    for (auto &client : clients) {
        const QList<QByteArray> fields = lineFrom(*client, 10000).split('|');
        if (fields.size() != 8 || fields[0] != "SUB")
            qFatal("a subscriber gave no counts");
        received += fields[1].toLongLong();
        lost += fields[2].toLongLong();
        outOfOrder += fields[3].toLongLong();
        errors += fields[4].toLongLong();
        p50 = std::max(p50, fields[5].toDouble());
        p99 = std::max(p99, fields[6].toDouble());
        worst = std::max(worst, fields[7].toDouble());
        client->waitForFinished(5000);
    }
    serverProcess.terminate();
    if (!serverProcess.waitForFinished(5000))
        serverProcess.kill();

    // One row per run; scripts/bench pairs ours with the baseline.
    QTextStream(stdout) << "TANGO|" << label << '|' << rate << '|' << kind << '|' << subscribers << '|' << seconds
                        << '|' << 100 * cpu / wall << '|' << p50 << '|' << p99 << '|' << worst << '|' << received
                        << '|' << lost << '|' << outOfOrder << '|' << errors << Qt::endl;
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args[1] == QStringLiteral("subscribe"))
        return subscribe(args[2].toStdString());
    if (args.size() == 9 && args[1] == QStringLiteral("run"))
        return run(args);
    qWarning("usage: bench_tango run ours|pytango SERVER SIM RATE SECONDS SUBSCRIBERS LABEL\n"
             "       bench_tango subscribe DEVICE");
    return 2;
}
