// norvane-soak: one mode of the fault-matrix soak that scripts/soak runs. The real panel,
// on its real clock and keep-alive timer, against norvane-sim on an ephemeral port of
// 127.0.0.1. It reads the supervision lines off the console, counts the status frames
// the panel applies, samples resident memory and how late a 10 ms timer fires, replaces
// a faulty simulator by a well-behaved one on the same port near the end, and checks
// that the panel comes back. The last line of output is the mode's table row.
//
// Exit status: 0 every check passed, 1 a check failed, 3 the simulator could not be run.

#include "Gui/FormMain.h"
#include "Gui/Panels.h"
#include "sim/SimServer.h"
#include "status/StatusFrame.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr double kTick = 4.5;              // the keep-alive timer, in seconds
constexpr double kSilence = 5.0;           // the watchdog's limit
constexpr double kRate = 10;               // status frames per second from the simulator
constexpr int kProbeMs = 10;
constexpr double kPeriodTolerance = 0.5;   // seconds; a late tick on a loaded machine
constexpr double kSettleSeconds = 1.0;     // first layout and fonts, before anything is measured
constexpr double kEscapeEvery = 60;
constexpr double kRssBudgetMb = 5;
constexpr double kStallBudgetMs = 50;
constexpr double kReportedLateMs = 20;

// Lines go out from a thread of their own, so that a disk busy with other work never
// holds the panel's event loop; each batch is flushed, so a crash loses little.
class LogWriter
{
public:
    LogWriter() : m_thread([this] { run(); }) {}
    ~LogWriter()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }

    void write(std::string line)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_lines.push_back(std::move(line));
        }
        m_wake.notify_one();
    }

private:
    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_done || !m_lines.empty(); });
            std::deque<std::string> lines;
            lines.swap(m_lines);
            const bool done = m_done;
            lock.unlock();
            for (const std::string &line : lines)
                std::fwrite(line.data(), 1, line.size(), stdout);
            std::fflush(stdout);
            lock.lock();
            if (done && m_lines.empty())
                return;
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::string> m_lines;
    bool m_done = false;
    std::thread m_thread;   // last: it starts once the rest exists
};

void say(const QString &text)
{
    static LogWriter writer;
    writer.write((text + u'\n').toStdString());
}

// How the link behaves while the fault lasts.
enum class Link { StaysUp, Cycles };
// What the panel applies while the fault lasts.
enum class Frames { Most, Few, None, EachConnection };

struct Mode {
    QString name;           // as given, value included, for the table
    QStringList simArgs;
    Link link;
    Frames frames;
    double period = 0;      // seconds between lost-connection lines; 0 when the tick phase decides
    bool restart = true;    // ended by a well-behaved simulator on the same port
};

// The watchdog fires at the first tick more than 5 s after the last byte. The panel
// connects inside a tick, so a connection that goes quiet `quietAfter` seconds in is
// lost at a fixed tick, unless the limit falls too near one for the order to be sure.
double lostAfter(double quietAfter)
{
    const double limit = quietAfter + kSilence;
    const double ticks = std::floor(limit / kTick) + 1;
    const double margin = ticks * kTick - limit;
    return margin > 0.25 && margin < kTick - 0.25 ? ticks * kTick : 0;
}

std::optional<Mode> modeFromText(const QString &text)
{
    const QString name = text.section(u'=', 0, 0);
    const QString valueText = text.section(u'=', 1);
    bool ok = true;
    const double value = valueText.isEmpty() ? 0 : valueText.toDouble(&ok);
    if (!ok || value < 0)
        return std::nullopt;
    const auto number = [](double v) { return QString::number(v, 'g', 10); };

    if (name == u"clean" && valueText.isEmpty())
        return Mode{name, {}, Link::StaysUp, Frames::Most, 0, false};
    if (name == u"silent" && valueText.isEmpty())
        return Mode{name, {QStringLiteral("--silent")}, Link::Cycles, Frames::None, kTick};
    if (name == u"refuse" && valueText.isEmpty())
        return Mode{name, {QStringLiteral("--refuse")}, Link::Cycles, Frames::None, kTick};
    if (name == u"split" && valueText.isEmpty())
        return Mode{name, {QStringLiteral("--split")}, Link::StaysUp, Frames::Few};
    if (name == u"join" && valueText.isEmpty())
        return Mode{name, {QStringLiteral("--join")}, Link::StaysUp, Frames::None};
    if (name == u"garbage" && valueText.isEmpty())
        return Mode{name, {QStringLiteral("--garbage")}, Link::StaysUp, Frames::Most};
    if (name == u"close-after") {
        const double seconds = value > 0 ? value : 3;
        return Mode{name + u'=' + number(seconds), {QStringLiteral("--close-after"), number(seconds)},
                    Link::Cycles, Frames::EachConnection, lostAfter(seconds)};
    }
    if (name == u"stall") {
        // 12 s rather than just over 5: a stall ending before the tick that would catch
        // it is bridged by the rules, and the cycle then depends on the tick phase.
        const double seconds = value > 0 ? value : 12;
        const double lost = lostAfter(kStallSendingStretch);
        const bool caught = kStallSendingStretch + seconds > lost + 0.25;
        return Mode{name + u'=' + number(seconds), {QStringLiteral("--stall"), number(seconds)},
                    Link::Cycles, Frames::EachConnection, caught ? lost : 0};
    }
    if (name == u"flood") {
        const double bytes = value >= 2 ? value : 1048576;
        return Mode{name + u'=' + number(bytes), {QStringLiteral("--flood"), number(bytes)},
                    Link::StaysUp, Frames::Most};
    }
    return std::nullopt;
}

qint64 residentBytes()
{
    FILE *statm = std::fopen("/proc/self/statm", "r");
    if (!statm)
        return 0;
    long size = 0, resident = 0;
    const int read = std::fscanf(statm, "%ld %ld", &size, &resident);
    std::fclose(statm);
    return read == 2 ? static_cast<qint64>(resident) * sysconf(_SC_PAGESIZE) : 0;
}

double mb(double bytes)
{
    return bytes / (1024.0 * 1024.0);
}

QString shortened(const QString &kinds)
{
    return kinds.size() <= 40 ? kinds : kinds.first(20) + QStringLiteral("...") + kinds.last(10)
                                            + QStringLiteral(" (%1 lines)").arg(kinds.size());
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// Times every event the main thread delivers, outermost only, and keeps the costliest
// by thread time: what a long wait was spent on.
class TimedApplication final : public QApplication
{
public:
    struct Cost {
        double workMs = 0;
        double at = 0;
        QString what;
    };

    TimedApplication(int &argc, char **argv) : QApplication(argc, argv) { m_clock.start(); }

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (m_depth > 0 || QThread::currentThread() != thread())
            return QApplication::notify(receiver, event);
        // Read before delivery: the event may delete its receiver.
        const char *className = receiver->metaObject()->className();
        const QString name = receiver->objectName();
        const int type = event->type();
        const qint64 before = threadCpuNs();
        ++m_depth;
        const bool handled = QApplication::notify(receiver, event);
        --m_depth;
        const double workMs = (threadCpuNs() - before) / 1e6;
        if (workMs > m_costliest.back().workMs) {
            m_costliest.back() = {workMs, m_clock.nsecsElapsed() / 1e9,
                                  QStringLiteral("%1 \"%2\" event %3").arg(QLatin1String(className), name).arg(type)};
            std::sort(m_costliest.begin(), m_costliest.end(), [](const Cost &x, const Cost &y) { return x.workMs > y.workMs; });
        }
        return handled;
    }

    // From the soak's start on, on its clock; start-up costs are not the soak's.
    void startMeasuring()
    {
        m_clock.start();
        m_costliest = {};
    }
    const std::array<Cost, 5> &costliest() const { return m_costliest; }

private:
    static qint64 threadCpuNs()
    {
        timespec now{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
    }

    QElapsedTimer m_clock;
    int m_depth = 0;
    std::array<Cost, 5> m_costliest{};
};

struct Settings {
    QString simPath;
    Mode mode;
    double seconds = 600;
    bool ci = false;   // assert recovery only; figures are reported, never judged
};

class Soak final : public QObject
{
public:
    explicit Soak(Settings settings) : m_settings(std::move(settings)) {}

    void start()
    {
        m_recovery = std::clamp(m_settings.seconds / 2, 15.0, 20.0);
        m_restartAt = m_settings.mode.restart ? m_settings.seconds - m_recovery : m_settings.seconds;
        m_warmUp = std::min(kEscapeEvery, m_settings.seconds / 4);
        say(QStringLiteral("mode %1: %2 s, simulator %3, recovery from %4 s")
                .arg(m_settings.mode.name).arg(m_settings.seconds)
                .arg(m_settings.mode.simArgs.join(u' '))
                .arg(m_settings.mode.restart ? QString::number(m_restartAt) : QStringLiteral("-")));
        startSim(m_settings.mode.simArgs, 0);
        QTimer::singleShot(10000, this, [this] {
            if (!m_panel) {
                say(QStringLiteral("setup: the simulator did not report a port within 10 s"));
                QCoreApplication::exit(3);
            }
        });
    }

private:
    struct Line {
        double t;
        char kind;   // O opening, C connected, L lost, R reopening, E error
    };
    struct RssSample {
        double t;
        qint64 rss;
        int chars;
    };

    double now() const { return m_clock.isValid() ? m_clock.nsecsElapsed() / 1e9 : 0; }

    // --- the simulator ---------------------------------------------------------------

    void startSim(const QStringList &faultArgs, quint16 port)
    {
        m_sim = std::make_unique<QProcess>();
        QProcess *sim = m_sim.get();
        sim->setProcessChannelMode(QProcess::MergedChannels);
        // Dies with us, even when we are killed.
        sim->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        connect(sim, &QProcess::readyReadStandardOutput, this, [this, sim] {
            while (sim->canReadLine()) {
                const QString line = QString::fromLocal8Bit(sim->readLine()).trimmed();
                say(QStringLiteral("sim %1 %2").arg(now(), 0, 'f', 3).arg(line));
                static const QRegularExpression listening(QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)$"));
                if (const auto match = listening.match(line); match.hasMatch())
                    simListening(static_cast<quint16>(match.captured(1).toUInt()));
                else
                    simEvent(line);
            }
        });
        connect(sim, &QProcess::finished, this, &Soak::simFinished);
        QStringList args{QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                         QStringLiteral("--port"), QString::number(port),
                         QStringLiteral("--rate"), QString::number(kRate)};
        sim->start(m_settings.simPath, args + faultArgs);
    }

    // What the simulator heard from the panel. Nobody works the panel here, so all it
    // may send is the keep-alive.
    void simEvent(const QString &line)
    {
        static const QRegularExpression stamped(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3} (.*)$"));
        const QRegularExpressionMatch match = stamped.match(line);
        if (!match.hasMatch())
            return;
        const QString text = match.captured(1);
        if (text == u"KeepAlive")
            ++m_keepAlives;
        else if (text.startsWith(u"skipped "))
            m_unasked << text;
        else if (!text.startsWith(u"127.0.0.1:"))
            m_unasked << text;
    }

    void simListening(quint16 port)
    {
        if (!m_panel) {
            m_port = port;
            startPanel();
        } else {
            m_relistenAt = now();
            say(QStringLiteral("event %1 well-behaved simulator listening on the same port")
                    .arg(m_relistenAt, 0, 'f', 3));
        }
    }

    void simFinished(int code, QProcess::ExitStatus status)
    {
        if (m_finishing) {
            QCoreApplication::exit(m_exitCode);
            return;
        }
        if (m_restarting && m_relistenAt >= 0) {
            m_simDied = QStringLiteral("the well-behaved simulator exited on its own at %1 s (code %2)")
                            .arg(now(), 0, 'f', 1).arg(code);
            say(QStringLiteral("event ") + m_simDied);
            return;
        }
        if (m_restarting) {
            // Stopped by us; the same port again, retried while the old one is released.
            if (m_relistenAttempts < 25) {
                ++m_relistenAttempts;
                QTimer::singleShot(m_relistenAttempts == 1 ? 0 : 200, this, [this] { startSim({}, m_port); });
            }
            return;
        }
        if (!m_panel) {
            say(QStringLiteral("setup: the simulator exited (%1) before listening").arg(code));
            QCoreApplication::exit(3);
            return;
        }
        m_simDied = QStringLiteral("the simulator exited on its own at %1 s (%2 %3)")
                        .arg(now(), 0, 'f', 1)
                        .arg(status == QProcess::CrashExit ? QStringLiteral("crash") : QStringLiteral("code"))
                        .arg(code);
        say(QStringLiteral("event ") + m_simDied);
    }

    void restartSimWellBehaved()
    {
        m_restarting = true;
        m_restartIssuedAt = now();
        say(QStringLiteral("event %1 stopping the faulty simulator").arg(m_restartIssuedAt, 0, 'f', 3));
        if (m_sim->state() == QProcess::NotRunning)
            simFinished(0, QProcess::NormalExit);
        else
            m_sim->terminate();
    }

    // --- the panel -------------------------------------------------------------------

    void startPanel()
    {
        m_panel = std::make_unique<FormMain>(FormMain::Options{Clock::system(), true});
        m_console = m_panel->findChild<QPlainTextEdit *>(QStringLiteral("txtMsg"));
        m_panel->findChild<QLineEdit *>(QStringLiteral("txtPort"))->setText(QString::number(m_port));

        connect(m_console->document(), &QTextDocument::contentsChanged, this, &Soak::readConsole);
        for (std::string_view name : kReadbackBoxes) {
            auto *box = m_panel->findChild<QLineEdit *>(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
            connect(box, &QLineEdit::textChanged, this, [this] { m_readbackWritten = true; });
        }
        // After the panel's own handler, so the arrival has been dispatched by now.
        connect(&m_panel->socket(), &DeviceSocket::dataArrival, this, [this](qint64 bytes) {
            ++m_arrivals;
            if (bytes == kStatusFrameSize)
                ++m_statusSizedArrivals;
            if (m_readbackWritten)
                m_frames.push_back(now());
            m_readbackWritten = false;
        });

        m_panel->show();
        QTimer::singleShot(static_cast<int>(kSettleSeconds * 1000), this, &Soak::begin);
    }

    void begin()
    {
        m_schedstat = ::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
        m_clock.start();
        static_cast<TimedApplication *>(qApp)->startMeasuring();
        cpu_set_t cpus;
        if (::sched_getaffinity(0, sizeof cpus, &cpus) == 0) {
            for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
                if (CPU_ISSET(cpu, &cpus))
                    m_references.emplace_back([this, cpu] { runReference(cpu); });
            }
        }
        m_probe.setTimerType(Qt::PreciseTimer);
        m_probe.setInterval(kProbeMs);
        connect(&m_probe, &QTimer::timeout, this, &Soak::probe);
        m_probe.start();

        m_sampler.setInterval(1000);
        connect(&m_sampler, &QTimer::timeout, this, &Soak::sample);
        m_sampler.start();

        m_panel->load();

        QTimer::singleShot(static_cast<int>(m_warmUp * 1000), this, [this] {
            pressEscape();
            m_escaper.setInterval(static_cast<int>(kEscapeEvery * 1000));
            connect(&m_escaper, &QTimer::timeout, this, &Soak::pressEscape);
            m_escaper.start();
        });
        if (m_settings.mode.restart)
            QTimer::singleShot(static_cast<int>(m_restartAt * 1000), Qt::PreciseTimer, this, &Soak::restartSimWellBehaved);
        QTimer::singleShot(static_cast<int>(m_settings.seconds * 1000), Qt::PreciseTimer, this, &Soak::finish);
    }

    // The lines appended since the last look; Escape empties the console meanwhile.
    void readConsole()
    {
        QTextDocument *document = m_console->document();
        const int end = document->characterCount() - 1;
        if (end < m_consoleRead) {
            m_consoleRead = 0;
            m_partial.clear();
        }
        if (end == m_consoleRead)
            return;
        QTextCursor cursor(document);
        cursor.setPosition(m_consoleRead);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        m_partial += cursor.selectedText();
        m_consoleRead = end;
        qsizetype from = 0;
        for (qsizetype at; (at = m_partial.indexOf(QChar::ParagraphSeparator, from)) >= 0; from = at + 1)
            consoleLine(QStringView(m_partial).sliced(from, at - from));
        m_partial.remove(0, from);
    }

    void consoleLine(QStringView line)
    {
        const bool stamped = line.size() >= 8 && line[2] == u':' && line[5] == u':';
        if (!stamped)
            return;   // the rest of a message that spans lines
        const QStringView text = line.sliced(8);
        char kind = 0;
        if (text == u" Opening connection...")
            kind = 'O';
        else if (text == u" Connected!")
            kind = 'C';
        else if (text == u" Lost connection, closed.  ")
            kind = 'L';
        else if (text == u" Reopening...")
            kind = 'R';
        else if (text.startsWith(u" Error: "))
            kind = 'E';
        if (!kind) {
            ++m_messageLines;
            if (text.startsWith(u" Flood line "))
                ++m_floodLines;
            return;
        }
        m_lines.push_back({now(), kind});
        say(QStringLiteral("line %1 %2").arg(now(), 0, 'f', 3).arg(text.toString()));
    }

    // Where this thread's time went: on a core, and runnable but waiting for one (on a
    // shared machine, the part of a late timeout that other processes caused).
    struct ThreadTimes {
        qint64 runningNs = 0;
        qint64 queuedNs = 0;
        long majorFaults = 0;
        long voluntarySwitches = 0;
    };

    ThreadTimes threadTimes() const
    {
        ThreadTimes times;
        char text[96] = {};
        unsigned long long running = 0, queued = 0;
        if (m_schedstat >= 0 && ::pread(m_schedstat, text, sizeof text - 1, 0) > 0
            && std::sscanf(text, "%llu %llu", &running, &queued) == 2) {
            times.runningNs = static_cast<qint64>(running);
            times.queuedNs = static_cast<qint64>(queued);
        }
        rusage usage{};
        if (::getrusage(RUSAGE_THREAD, &usage) == 0) {
            times.majorFaults = usage.ru_majflt;
            times.voluntarySwitches = usage.ru_nvcsw;
        }
        return times;
    }

    // How late each 10 ms timeout fires, and what its wait was made of: work on a core,
    // waiting for one, or asleep. Waits over 20 ms late are kept for the report.
    void probe()
    {
        const qint64 ns = m_clock.nsecsElapsed();
        const ThreadTimes times = threadTimes();
        const int cpu = ::sched_getcpu();
        if (m_lastProbeNs >= 0) {
            const double wall = (ns - m_lastProbeNs) / 1e6;
            const double late = wall - kProbeMs;
            const double queued = (times.queuedNs - m_lastTimes.queuedNs) / 1e6;
            const double work = (times.runningNs - m_lastTimes.runningNs) / 1e6;
            if (late > m_worstStallMs) {
                m_worstStallMs = late;
                m_worstStallAt = ns / 1e9;
            }
            if (work > m_worstWorkMs) {
                m_worstWorkMs = work;
                m_worstWorkAt = ns / 1e9;
            }
            if (late > kReportedLateMs) {
                m_stalls.push_back({m_lastProbeNs / 1e9, ns / 1e9, late, work, queued, wall - work - queued,
                                    times.voluntarySwitches - m_lastTimes.voluntarySwitches,
                                    times.majorFaults - m_lastTimes.majorFaults, m_lastCpu, cpu});
            }
        }
        m_lastProbeNs = ns;
        m_lastTimes = times;
        m_lastCpu = cpu;
    }

    // A thread per core that does nothing but sleep 10 ms at a time: when the one on the
    // panel's core wakes late too, the machine held everything up, not the panel.
    void runReference(int cpu)
    {
        cpu_set_t only;
        CPU_ZERO(&only);
        CPU_SET(cpu, &only);
        ::pthread_setaffinity_np(::pthread_self(), sizeof only, &only);
        const QElapsedTimer clock = m_clock;
        qint64 before = clock.nsecsElapsed();
        while (!m_stopReference.load()) {
            const timespec interval{0, kProbeMs * 1'000'000L};
            ::clock_nanosleep(CLOCK_MONOTONIC, 0, &interval, nullptr);
            const qint64 after = clock.nsecsElapsed();
            const double late = (after - before) / 1e6 - kProbeMs;
            if (late > kReportedLateMs) {
                const std::lock_guard lock(m_referenceMutex);
                m_referenceStalls.push_back({before / 1e9, after / 1e9, late, cpu});
            }
            before = after;
        }
    }

    int consoleChars() const { return m_console->document()->characterCount(); }

    void sample()
    {
        const RssSample s{now(), residentBytes(), consoleChars()};
        m_peakRss = std::max(m_peakRss, s.rss);
        if (++m_samples % 10 == 0) {
            say(QStringLiteral("sample %1 rss %2 MB console %3 chars frames %4 arrivals %5 worst stall %6 / %7 ms")
                    .arg(s.t, 0, 'f', 1).arg(mb(s.rss), 0, 'f', 2).arg(s.chars)
                    .arg(m_frames.size()).arg(m_arrivals)
                    .arg(m_worstStallMs, 0, 'f', 1).arg(m_worstWorkMs, 0, 'f', 1));
        }
    }

    // As the operator would: Escape in the console, then the memory with it emptied.
    void pressEscape()
    {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(m_console, &press);
        QCoreApplication::sendEvent(m_console, &release);
        m_consoleRead = 0;
        m_partial.clear();
        const RssSample s{now(), residentBytes(), consoleChars()};
        m_peakRss = std::max(m_peakRss, s.rss);
        m_escapeSamples.push_back(s);
        say(QStringLiteral("escape %1 rss %2 MB console %3 chars")
                .arg(s.t, 0, 'f', 1).arg(mb(s.rss), 0, 'f', 2).arg(s.chars));
    }

    // --- the verdict -----------------------------------------------------------------

    struct Check {
        QString name;
        bool ok;
        QString detail;
        bool asserted;
    };

    void check(const QString &name, bool ok, const QString &detail, bool asserted = true)
    {
        m_checks.push_back({name, ok, detail, asserted && !m_settings.ci});
    }

    void recoveryCheck(bool ok, const QString &detail)
    {
        m_checks.push_back({QStringLiteral("recovery"), ok, detail, true});
    }

    int framesBetween(double from, double to) const
    {
        return static_cast<int>(std::count_if(m_frames.begin(), m_frames.end(),
                                              [&](double t) { return t >= from && t < to; }));
    }

    void finish()
    {
        pressEscape();
        m_probe.stop();
        m_stopReference = true;
        for (std::thread &reference : m_references)
            reference.join();
        m_sampler.stop();
        m_escaper.stop();
        const double end = now();
        const Mode &mode = m_settings.mode;
        const double faultEnd = mode.restart ? m_restartIssuedAt : end;

        QString faultKinds, recoveryKinds;
        std::vector<double> lostTimes, connectedTimes;
        for (const Line &line : m_lines) {
            (line.t < faultEnd ? faultKinds : recoveryKinds) += QLatin1Char(line.kind);
            if (line.t < faultEnd && line.kind == 'L')
                lostTimes.push_back(line.t);
            if (line.kind == 'C')
                connectedTimes.push_back(line.t);
        }
        const double firstConnected = connectedTimes.empty() ? 0 : connectedTimes.front();
        const int faultFrames = framesBetween(0, faultEnd);
        const int recoveryFrames = framesBetween(faultEnd, end + 1);
        const double expectedFrames = kRate * std::max(0.0, faultEnd - firstConnected);

        // Console lines while the fault lasts.
        if (mode.link == Link::StaysUp) {
            check(QStringLiteral("lines"), faultKinds == u"OC",
                  QStringLiteral("one connection that stays up: expected OC, saw %1").arg(faultKinds));
        } else {
            static const QRegularExpression cycles(QStringLiteral("^OC(LRC)*(LR)?$"));
            check(QStringLiteral("lines"), cycles.match(faultKinds).hasMatch(),
                  QStringLiteral("connected / lost / reopening cycles: saw %1").arg(shortened(faultKinds)));
        }
        if (mode.link == Link::Cycles && mode.period > 0) {
            const int expected = static_cast<int>(std::floor((faultEnd - firstConnected) / mode.period)) - 1;
            std::vector<double> gaps;
            double previous = firstConnected;
            for (double t : lostTimes) {
                gaps.push_back(t - previous);
                previous = t;
            }
            const bool steady = std::all_of(gaps.begin(), gaps.end(), [&](double gap) {
                return std::abs(gap - mode.period) <= kPeriodTolerance;
            });
            const auto [shortest, longest] = gaps.empty() ? std::pair{0.0, 0.0}
                : std::pair{*std::min_element(gaps.begin(), gaps.end()), *std::max_element(gaps.begin(), gaps.end())};
            check(QStringLiteral("cycle"), steady && static_cast<int>(lostTimes.size()) >= std::max(expected, 0),
                  QStringLiteral("%1 losses (at least %2), every %3 s expected; gaps %4..%5 s, median %6 s")
                      .arg(lostTimes.size()).arg(std::max(expected, 0)).arg(mode.period)
                      .arg(shortest, 0, 'f', 2).arg(longest, 0, 'f', 2).arg(median(gaps), 0, 'f', 2));
        }

        // Frames applied while the fault lasts.
        switch (mode.frames) {
        case Frames::Most:
            check(QStringLiteral("frames"), faultFrames >= 0.8 * expectedFrames,
                  QStringLiteral("%1 applied of about %2 sent (at least 80%)").arg(faultFrames).arg(expectedFrames));
            break;
        case Frames::Few:
            check(QStringLiteral("frames"), faultFrames <= 0.25 * expectedFrames,
                  QStringLiteral("%1 applied of about %2 sent split (only halves that met again)")
                      .arg(faultFrames).arg(expectedFrames));
            break;
        case Frames::None:
            check(QStringLiteral("frames"), faultFrames == 0, QStringLiteral("%1 applied, none expected").arg(faultFrames));
            break;
        case Frames::EachConnection: {
            int ended = 0, empty = 0;
            QStringList counts;
            std::size_t lost = 0;
            for (std::size_t i = 0; i < connectedTimes.size() && connectedTimes[i] < faultEnd; ++i) {
                while (lost < lostTimes.size() && lostTimes[lost] < connectedTimes[i])
                    ++lost;
                if (lost == lostTimes.size())
                    break;   // still open when the fault ended
                const int frames = framesBetween(connectedTimes[i], lostTimes[lost]);
                ++ended;
                empty += frames == 0;
                if (counts.size() < 12)
                    counts << QString::number(frames);
            }
            check(QStringLiteral("frames"), empty == 0 && (ended > 0 || faultEnd - firstConnected < 20),
                  QStringLiteral("%1 connections lost in the fault, %2 of them without a frame; frames each: %3%4")
                      .arg(ended).arg(empty).arg(counts.join(u' '), ended > counts.size() ? QStringLiteral(" ...") : QString()));
            break;
        }
        }

        // The panel works again once the fault is gone.
        const int lastFrames = framesBetween(end - 2, end + 1);
        if (!mode.restart) {
            const bool lostEver = std::any_of(m_lines.begin(), m_lines.end(), [](const Line &l) { return l.kind == 'L'; });
            recoveryCheck(!lostEver && lastFrames > 0,
                          QStringLiteral("link up at the end: %1 frames in the last 2 s, %2")
                              .arg(lastFrames).arg(lostEver ? QStringLiteral("but a loss was logged") : QStringLiteral("no loss")));
        } else if (m_relistenAt < 0) {
            recoveryCheck(false, QStringLiteral("the well-behaved simulator could not listen on port %1 again").arg(m_port));
        } else {
            const Line *last = nullptr;
            for (const Line &line : m_lines) {
                if (line.kind != 'O')
                    last = &line;
            }
            const bool reconnected = last && last->kind == 'C' && last->t >= m_relistenAt;
            const int after = reconnected ? framesBetween(last->t, end + 1) : 0;
            recoveryCheck(reconnected && after >= 5 && lastFrames > 0,
                          QStringLiteral("after the fault: %1, then %2 frames (at least 5), %3 in the last 2 s%4")
                              .arg(reconnected ? QStringLiteral("Connected at %1 s, %2 s after the simulator was back")
                                                     .arg(last->t, 0, 'f', 1).arg(last->t - m_relistenAt, 0, 'f', 1)
                                               : QStringLiteral("no lasting reconnect"))
                              .arg(after).arg(lastFrames).arg(QStringLiteral("; lines ") + recoveryKinds));
        }
        if (!m_simDied.isEmpty())
            check(QStringLiteral("simulator"), false, m_simDied);

        // One keep-alive per tick at most, and one at every tick while the link is up.
        const int ticks = static_cast<int>(std::floor(end / kTick));
        const int fewestKeepAlives = mode.link == Link::StaysUp ? ticks - 4 : 0;
        check(QStringLiteral("sent"),
              m_unasked.isEmpty() && m_keepAlives <= ticks + 1 && m_keepAlives >= fewestKeepAlives,
              QStringLiteral("%1 keep-alives in %2 ticks (%3 to %4 expected), %5 other frames%6")
                  .arg(m_keepAlives).arg(ticks).arg(std::max(fewestKeepAlives, 0)).arg(ticks + 1)
                  .arg(m_unasked.size())
                  .arg(m_unasked.isEmpty() ? QString() : QStringLiteral(": ") + m_unasked.mid(0, 5).join(QStringLiteral("; "))));

        // Memory with the console emptied at both ends, and the console's own size taken out.
        double growthMb = 0;
        if (m_escapeSamples.size() >= 2) {
            const RssSample &first = m_escapeSamples.front();
            const RssSample &last = m_escapeSamples.back();
            growthMb = mb(static_cast<double>(last.rss - first.rss) - 2.0 * (last.chars - first.chars));
            QStringList series;
            for (const RssSample &s : m_escapeSamples)
                series << QString::number(mb(s.rss), 'f', 1);
            check(QStringLiteral("memory"), growthMb <= kRssBudgetMb,
                  QStringLiteral("%1 MB from %2 s to %3 s (at most %4); after each Escape: %5")
                      .arg(growthMb, 0, 'f', 2).arg(first.t, 0, 'f', 0).arg(last.t, 0, 'f', 0)
                      .arg(kRssBudgetMb).arg(series.join(u' ')));
        }
        // Judged on the panel's own work in one wait: on a shared machine the wall clock
        // also holds other processes' turns and the machine's own pauses.
        const auto phase = [&](double t) {
            return mode.restart && t >= faultEnd ? QStringLiteral("recovery") : QStringLiteral("fault");
        };
        int overBudget = 0, sharedWithReference = 0;
        const Stall *worst = nullptr;
        for (const Stall &stall : m_stalls) {
            overBudget += stall.late > kStallBudgetMs;
            const bool shared = std::any_of(m_referenceStalls.begin(), m_referenceStalls.end(), [&](const ReferenceStall &r) {
                return r.from < stall.to && stall.from < r.to && (r.cpu == stall.cpuBefore || r.cpu == stall.cpuAfter);
            });
            sharedWithReference += shared;
            if (!worst || stall.late > worst->late)
                worst = &stall;
            say(QStringLiteral("stall %1 s: %2 ms late; %3 ms work, %4 ms queued, %5 ms asleep, %6 voluntary switches, "
                               "%7 major faults, core %8 then %9%10")
                    .arg(stall.to, 0, 'f', 3).arg(stall.late, 0, 'f', 1).arg(stall.work, 0, 'f', 1)
                    .arg(stall.queued, 0, 'f', 1).arg(stall.asleep, 0, 'f', 1).arg(stall.voluntarySwitches)
                    .arg(stall.majorFaults).arg(stall.cpuBefore).arg(stall.cpuAfter)
                    .arg(shared ? QStringLiteral("; that core's reference thread was late too") : QString()));
        }
        const QString worstParts = worst
            ? QStringLiteral(" (%1 ms work, %2 ms queued, %3 ms asleep)")
                  .arg(worst->work, 0, 'f', 1).arg(worst->queued, 0, 'f', 1).arg(worst->asleep, 0, 'f', 1)
            : QString();
        QStringList costliest;
        for (const TimedApplication::Cost &cost : static_cast<TimedApplication *>(qApp)->costliest()) {
            if (cost.workMs > 0)
                costliest << QStringLiteral("%1 ms %2 at %3 s").arg(cost.workMs, 0, 'f', 1).arg(cost.what).arg(cost.at, 0, 'f', 1);
        }
        say(QStringLiteral("info costliest events by thread time: ") + costliest.join(QStringLiteral("; ")));
        check(QStringLiteral("stall"), m_worstWorkMs < kStallBudgetMs,
              QStringLiteral("the panel's work in one wait at most %1 ms, at %2 s (%3), under %4 ms expected; "
                             "on the wall clock at worst %5 ms late at %6 s (%7)%8; %9 waits over %10 ms late, "
                             "%11 over %4 ms, %12 of them while the idle reference thread on that core was late too "
                             "(late %13 times in all)%14")
                  .arg(m_worstWorkMs, 0, 'f', 1).arg(m_worstWorkAt, 0, 'f', 1).arg(phase(m_worstWorkAt))
                  .arg(kStallBudgetMs)
                  .arg(m_worstStallMs, 0, 'f', 1).arg(m_worstStallAt, 0, 'f', 1).arg(phase(m_worstStallAt))
                  .arg(worstParts)
                  .arg(m_stalls.size()).arg(kReportedLateMs).arg(overBudget).arg(sharedWithReference)
                  .arg(m_referenceStalls.size())
                  .arg(m_schedstat < 0 ? QStringLiteral("; no schedstat, so work and queueing are unknown") : QString()));

        say(QStringLiteral("info arrivals %1, of them 33 bytes %2, frames applied %3, message lines %4, flood lines shown %5")
                .arg(m_arrivals).arg(m_statusSizedArrivals).arg(m_frames.size()).arg(m_messageLines).arg(m_floodLines));
        QStringList failed;
        for (const Check &c : m_checks) {
            const QString result = c.ok ? QStringLiteral("ok") : c.asserted ? QStringLiteral("FAIL") : QStringLiteral("over (not asserted)");
            say(QStringLiteral("check %1 %2: %3").arg(c.name, result, c.detail));
            if (!c.ok && c.asserted)
                failed << c.name;
        }

        const auto connectedCount = static_cast<int>(connectedTimes.size());
        const QString verdict = failed.isEmpty() ? QStringLiteral("pass") : QStringLiteral("FAIL ") + failed.join(u',');
        say(QStringLiteral("row\t%1\t%2\t%3\t%4+%5\t%6\t%7\t%8 / %9\t%10")
                .arg(mode.name)
                .arg(m_settings.seconds / 60, 0, 'f', 1)
                .arg(std::max(0, connectedCount - 1))
                .arg(faultFrames).arg(recoveryFrames)
                .arg(mb(m_peakRss), 0, 'f', 1)
                .arg(growthMb, 0, 'f', 2)
                .arg(m_worstStallMs, 0, 'f', 1)
                .arg(m_worstWorkMs, 0, 'f', 1)
                .arg(verdict));

        m_exitCode = failed.isEmpty() ? 0 : 1;
        m_finishing = true;
        disconnect(m_console->document(), nullptr, this, nullptr);
        m_console = nullptr;
        m_panel.reset();
        if (m_sim->state() == QProcess::NotRunning) {
            QCoreApplication::exit(m_exitCode);
            return;
        }
        m_sim->terminate();
        QTimer::singleShot(5000, this, [this] { m_sim->kill(); });
    }

    Settings m_settings;
    double m_recovery = 0;
    double m_restartAt = 0;
    double m_warmUp = 0;

    std::unique_ptr<QProcess> m_sim;
    quint16 m_port = 0;
    bool m_restarting = false;
    bool m_finishing = false;
    int m_exitCode = 0;
    int m_relistenAttempts = 0;
    double m_restartIssuedAt = -1;
    double m_relistenAt = -1;
    QString m_simDied;
    int m_keepAlives = 0;
    QStringList m_unasked;

    std::unique_ptr<FormMain> m_panel;
    QPlainTextEdit *m_console = nullptr;
    QElapsedTimer m_clock;
    QTimer m_probe;
    QTimer m_sampler;
    QTimer m_escaper;

    int m_consoleRead = 0;
    QString m_partial;
    std::vector<Line> m_lines;
    int m_messageLines = 0;
    int m_floodLines = 0;

    bool m_readbackWritten = false;
    std::vector<double> m_frames;
    qint64 m_arrivals = 0;
    qint64 m_statusSizedArrivals = 0;

    struct Stall {
        double from, to;   // seconds
        double late, work, queued, asleep;   // ms
        long voluntarySwitches, majorFaults;
        int cpuBefore, cpuAfter;
    };
    struct ReferenceStall {
        double from, to, late;
        int cpu;
    };
    int m_schedstat = -1;
    qint64 m_lastProbeNs = -1;
    ThreadTimes m_lastTimes;
    int m_lastCpu = -1;
    double m_worstStallMs = 0;
    double m_worstStallAt = 0;
    double m_worstWorkMs = 0;
    double m_worstWorkAt = 0;
    std::vector<Stall> m_stalls;

    std::vector<std::thread> m_references;
    std::atomic<bool> m_stopReference = false;
    std::mutex m_referenceMutex;
    std::vector<ReferenceStall> m_referenceStalls;

    qint64 m_peakRss = 0;
    int m_samples = 0;
    std::vector<RssSample> m_escapeSamples;
    std::vector<Check> m_checks;
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TimedApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("norvane-soak"));
    QApplication::setQuitOnLastWindowClosed(false);   // the simulator is stopped after the panel

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "One mode of the fault-matrix soak: the panel against norvane-sim in real time.\n"
        "Modes: clean, silent, close-after[=s], stall[=s], split, join, garbage, flood[=bytes], refuse."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("sim"), QStringLiteral("The norvane-sim program."), QStringLiteral("path")},
        {QStringLiteral("mode"), QStringLiteral("The fault mode."), QStringLiteral("mode")},
        {QStringLiteral("seconds"), QStringLiteral("Length of the run, recovery included (at least 30)."),
         QStringLiteral("s"), QStringLiteral("600")},
        {QStringLiteral("ci"), QStringLiteral("Judge recovery only; report memory, stalls and lines.")},
    });
    parser.process(app);

    Settings settings;
    settings.simPath = parser.value(QStringLiteral("sim"));
    const std::optional<Mode> mode = modeFromText(parser.value(QStringLiteral("mode")));
    bool ok = false;
    settings.seconds = parser.value(QStringLiteral("seconds")).toDouble(&ok);
    if (settings.simPath.isEmpty() || !mode || !ok || settings.seconds < 30) {
        QTextStream(stderr) << "norvane-soak: needs --sim PATH, a known --mode and --seconds of 30 or more\n";
        return 2;
    }
    settings.mode = *mode;
    settings.ci = parser.isSet(QStringLiteral("ci"));

    Soak soak(settings);
    soak.start();
    return QApplication::exec();
}
