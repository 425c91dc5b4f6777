// The recorder beside the window at 1000 frames/s: its CPU per frame and the longest
// the window's thread waited on it, beside a recorder that writes each row out at once;
// and the panel's whole dispatch of a frame with the alarms' journal and captures on disk.

#include "BenchSupport.h"

#include "Gui/TcpPanel.h"
#include "alarms/IncidentCapture.h"
#include "recorder/Recorder.h"
#include "history/RecordingFormat.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <memory>
#include <vector>

namespace {

constexpr double kRate = 1000;           // frames per second
constexpr int kMessageEvery = 100;       // one arrival in a hundred is a message
constexpr int kVariants = 1024;
constexpr qint64 kBufferBytes = 16384;   // QFile's write buffer

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

QByteArray frameAt(int k)
{
    if (k % kMessageEvery == kMessageEvery - 1)
        return QByteArray("\xAF") + "Scan step " + QByteArray::number(k) + ", piezo at \"" + QByteArray::number(k % 64) + "\"";
    StatusReadings readings;
    for (int i = 0; i < kReadbackCount; ++i)
        readings.values[static_cast<std::size_t>(i)] = (k * 37 + i * 101) % 4096;
    readings.flags = static_cast<std::uint8_t>(k % 64);
    return encodeStatusFrame(readings);
}

// The same traffic with the coloured readings in range, but for EclTec out on the first
// frame: each run then begins with a trip, a first fault whose capture runs throughout.
QByteArray alarmFrameAt(int k)
{
    if (k % kMessageEvery == kMessageEvery - 1)
        return frameAt(k);
    StatusReadings readings = decodeStatusFrame(frameAt(k));
    for (int i = 0; i < kReadbackCount; ++i) {
        if (kReadbacks[static_cast<std::size_t>(i)].range != RangeRule::None)
            readings.values[static_cast<std::size_t>(i)] = kReadbacks[static_cast<std::size_t>(i)].range == RangeRule::Tec ? 50 + k % 30 : 2000 + k % 500;
    }
    if (k == 0)
        readings.values[1] = 0;
    return encodeStatusFrame(readings);
}

// Time spent inside one subscriber's handling, told apart by a probe on either side.
struct Waits {
    std::vector<double> wall;   // seconds per handling
    std::vector<double> work;   // the thread's CPU seconds per handling
    double wallStart = 0;
    double workStart = 0;

    void begin()
    {
        wallStart = bench::monotonicSeconds();
        workStart = threadCpuSeconds();
    }
    void end()
    {
        wall.push_back(bench::monotonicSeconds() - wallStart);
        work.push_back(threadCpuSeconds() - workStart);
    }
    double total() const
    {
        double sum = 0;
        for (double w : work)
            sum += w;
        return sum;
    }
    static double max(const std::vector<double> &samples)
    {
        return samples.empty() ? 0 : *std::max_element(samples.begin(), samples.end());
    }
};

enum class Mode { Window, Ours, Naive, Incidents };

struct Run {
    Waits rows;
    Waits flushes;
    int frames = 0;
    qint64 bytes = 0;
    double deliverWork = 0;   // the thread's CPU seconds in the whole receive dispatch
};

// Feeds the panel kRate frames a second for `seconds`, paced by a 1 ms timer, with the
// given recorder subscribed after the window.
Run feed(TcpPanel &panel, Mode mode, double seconds, const QString &path, const std::vector<QByteArray> &frames)
{
    Run run;
    Link &link = panel.link();
    std::vector<QMetaObject::Connection> connections;
    const auto probe = [&](auto &&handler) {
        connections.push_back(QObject::connect(&link, &Link::statusArrived, &panel, handler));
        connections.push_back(QObject::connect(&link, &Link::messageArrived, &panel, handler));
    };
    probe([&run] { run.rows.begin(); });

    // The recorder flushes when the bench says, so that each flush is timed.
    std::unique_ptr<Recorder> recorder;
    QFile naive(path);
    if (mode == Mode::Ours) {
        Recorder::Options options;
        options.flushInterval = std::chrono::hours(24);
        recorder = std::make_unique<Recorder>(link, options);
        recorder->start(path);
    } else if (mode == Mode::Incidents) {
        panel.alarms().keepOnDisk(QFileInfo(path).dir().filePath(QStringLiteral("incidents")));
    } else if (mode == Mode::Naive) {
        // A row handed to the system as it comes: one write per frame.
        naive.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
        naive.write(recordingHeader());
        const double steadyStart = link.now();
        connections.push_back(QObject::connect(&link, &Link::statusArrived, &panel,
            [&naive, steadyStart](const StatusReadings &r, double t) {
                naive.write(statusRow(QDateTime::currentDateTimeUtc(), t - steadyStart, r));
            }));
        connections.push_back(QObject::connect(&link, &Link::messageArrived, &panel,
            [&naive, steadyStart](const QString &text, double t) {
                naive.write(messageRow(QDateTime::currentDateTimeUtc(), t - steadyStart, text));
            }));
    }
    probe([&run] { run.rows.end(); });

    QElapsedTimer clock;
    clock.start();
    double nextFlush = 1.0;
    QTimer pace;
    pace.setTimerType(Qt::PreciseTimer);
    QEventLoop loop;
    QObject::connect(&pace, &QTimer::timeout, &loop, [&] {
        const double now = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        const int due = std::min(static_cast<int>(now * kRate), static_cast<int>(seconds * kRate));
        const double workStart = threadCpuSeconds();
        while (run.frames < due) {
            panel.deliverArrival(frames[static_cast<std::size_t>(run.frames) % frames.size()]);
            ++run.frames;
        }
        run.deliverWork += threadCpuSeconds() - workStart;
        if (recorder && now >= nextFlush) {
            nextFlush += 1.0;
            run.flushes.begin();
            recorder->flush();
            run.flushes.end();
        }
        if (run.frames >= static_cast<int>(seconds * kRate))
            loop.quit();
    });
    pace.start(1);
    loop.exec();

    for (const QMetaObject::Connection &connection : connections)
        QObject::disconnect(connection);
    if (recorder) {
        run.flushes.begin();
        recorder->stop();
        run.flushes.end();
    }
    naive.close();
    if (mode == Mode::Incidents)
        panel.alarms().keepNothingOnDisk();
    run.bytes = QFileInfo(path).size();
    return run;
}

// One write() of a full buffer to the same folder, as the recorder makes when its buffer fills.
std::vector<double> bufferWrites(const QString &path, int count)
{
    std::vector<double> took;
    const QByteArray buffer(kBufferBytes, 'x');
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (int i = 0; i < count; ++i) {
        const double start = bench::monotonicSeconds();
        if (::write(fd, buffer.constData(), static_cast<size_t>(buffer.size())) < 0)
            break;
        took.push_back(bench::monotonicSeconds() - start);
    }
    ::close(fd);
    return took;
}

QString ms(double seconds)
{
    return bench::figure(seconds * 1000);
}

QString us(double seconds)
{
    return bench::figure(seconds * 1e6);
}

} // namespace

// bench_recorder [SECONDS [FOLDER]]: the folder the recordings go to (default: here).
int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const double seconds = arguments.size() > 1 ? arguments[1].toDouble() : 10;
    QTemporaryDir dir(QDir(arguments.size() > 2 ? arguments[2] : QDir::currentPath()).filePath(QStringLiteral("bench-recorder-XXXXXX")));
    const QString path = dir.filePath(QStringLiteral("run.csv"));

    std::vector<QByteArray> frames;
    for (int k = 0; k < kVariants; ++k)
        frames.push_back(frameAt(k));

    // A trip's one stall: a full minute's ring written to a new capture.
    double dumpSeconds = 0;
    {
        IncidentCaptures captures;
        for (int k = 0; k < 60000; ++k)
            captures.addFrame(frames[static_cast<std::size_t>(k) % frames.size()], k / kRate);
        const double start = bench::monotonicSeconds();
        captures.begin(dir.filePath(QStringLiteral("dump.csv")), 60, QDateTime::currentDateTimeUtc());
        dumpSeconds = bench::monotonicSeconds() - start;
    }

    TcpPanel panel(TcpLink::Options{Clock::manual(Clock::system().steadySeconds, QTime::currentTime())});
    panel.show();
    QCoreApplication::processEvents();

    // In turns, so that the machine's load meets each the same.
    std::vector<QByteArray> alarmFrames;
    for (int k = 0; k < kVariants; ++k)
        alarmFrames.push_back(alarmFrameAt(k));
    Run window, ours, naive, plainTrips, incidents;
    for (int round = 0; round < 2; ++round) {
        const double part = seconds / 2;
        const auto add = [](Run &into, const Run &from) {
            into.rows.wall.insert(into.rows.wall.end(), from.rows.wall.begin(), from.rows.wall.end());
            into.rows.work.insert(into.rows.work.end(), from.rows.work.begin(), from.rows.work.end());
            into.flushes.wall.insert(into.flushes.wall.end(), from.flushes.wall.begin(), from.flushes.wall.end());
            into.flushes.work.insert(into.flushes.work.end(), from.flushes.work.begin(), from.flushes.work.end());
            into.frames += from.frames;
            into.deliverWork += from.deliverWork;
            into.bytes += from.bytes;
        };
        add(window, feed(panel, Mode::Window, part, path, frames));
        add(ours, feed(panel, Mode::Ours, part, path, frames));
        add(naive, feed(panel, Mode::Naive, part, path, frames));
        add(plainTrips, feed(panel, Mode::Window, part, path, alarmFrames));
        add(incidents, feed(panel, Mode::Incidents, part, path, alarmFrames));
    }
    std::vector<double> writes = bufferWrites(dir.filePath(QStringLiteral("buffer.bin")), 200);

    // The probes' own cost, with nothing between them.
    const double probeCost = window.rows.total() / window.frames;
    const double oursPerFrame = (ours.rows.total() - probeCost * ours.frames + ours.flushes.total()) / ours.frames;
    const double naivePerFrame = (naive.rows.total() - probeCost * naive.frames) / naive.frames;
    const double oursWall = Waits::max(ours.rows.wall);
    const double oursWork = Waits::max(ours.rows.work);
    const double flushWall = Waits::max(ours.flushes.wall);
    const double flushWork = Waits::max(ours.flushes.work);
    const double naiveWall = Waits::max(naive.rows.wall);
    const double naiveWork = Waits::max(naive.rows.work);
    const double writeMedian = bench::median(writes);
    const double writeMax = Waits::max(writes);
    const double longestWork = std::max(oursWork, flushWork);

    bench::row(QStringLiteral("(8) recorder at 1000 frames/s: CPU per frame (µs), flushes included"),
               us(oursPerFrame), us(naivePerFrame) + QStringLiteral(" (each row written at once)"),
               bench::times(oursPerFrame / naivePerFrame), QStringLiteral("—"), QStringLiteral("—"));
    bench::row(QStringLiteral("(8) recorder at 1000 frames/s: longest wait of the window on a row, wall / work (ms); on a flush"),
               ms(oursWall) + QStringLiteral(" / ") + ms(oursWork) + QStringLiteral("; flush ") + ms(flushWall)
                   + QStringLiteral(" / ") + ms(flushWork),
               ms(naiveWall) + QStringLiteral(" / ") + ms(naiveWork),
               bench::times(oursWork / naiveWork),
               QStringLiteral("work ≤ one 16 KB write (%1 ms at most, %2 median)").arg(ms(writeMax), ms(writeMedian)),
               bench::yesNo(longestWork <= writeMax));
    const double plainDispatch = plainTrips.deliverWork / plainTrips.frames;
    const double incidentsDispatch = incidents.deliverWork / incidents.frames;
    bench::row(QStringLiteral("(8) alarms with --incidents at 1000 frames/s: the panel's receive dispatch of a frame (µs)"),
               us(incidentsDispatch), us(plainDispatch) + QStringLiteral(" (without)"),
               bench::times(incidentsDispatch / plainDispatch), QStringLiteral("≤ 1.1×"),
               bench::yesNo(incidentsDispatch <= 1.1 * plainDispatch));
    std::vector<double> rowWork = ours.rows.work;
    QTextStream(stdout) << "NOTE|(8) " << ours.frames << " frames recorded, " << ours.bytes / std::max(1, ours.frames)
                        << " bytes a row, a " << kBufferBytes / 1024 << " KB buffer written every "
                        << kBufferBytes / std::max<qint64>(1, ours.bytes / std::max(1, ours.frames))
                        << " frames; a row's work p50 " << us(bench::median(rowWork) - probeCost) << " µs, p99 "
                        << us(bench::percentile(rowWork, 99) - probeCost) << " µs; the panel's whole receive dispatch of a frame without a recording: "
                        << us(window.deliverWork / window.frames) << " µs" << Qt::endl;
    QTextStream(stdout) << "NOTE|(8) alarms: a trip writes the ring's minute, 60,000 frames, to its capture at once, in "
                        << ms(dumpSeconds) << " ms; the ring holds " << sizeof(FrameRing::Frame) << " bytes a frame, "
                        << sizeof(FrameRing::Frame) * 60000 / 1000 << " kB" << Qt::endl;
    return 0;
}
