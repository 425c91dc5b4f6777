#include "soak/SoakRun.h"

#include "soak/ConsoleWatch.h"
#include "soak/SoakLog.h"
#include "soak/TimedApplication.h"
#include "soak/Verdict.h"

#include "Gui/TcpPanel.h"
#include "Gui/Panels.h"
#include "tests/support/SimProcess.h"
#include "status/StatusFrame.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>

#include <algorithm>

namespace soak {
namespace {

constexpr double kSettleSeconds = 1.0;     // first layout and fonts, before anything is measured
constexpr double kEscapeEvery = 60;
constexpr int kSetupTimeoutMs = 10000;
constexpr int kRelistenAttempts = 25;      // 200 ms apart, while the old port is released

} // namespace

SoakRun::SoakRun(Settings settings) : m_settings(std::move(settings)) {}

SoakRun::~SoakRun() = default;

void SoakRun::start()
{
    m_recovery = std::clamp(m_settings.seconds / 2, 15.0, 20.0);
    m_restartAt = m_settings.mode.restart ? m_settings.seconds - m_recovery : m_settings.seconds;
    m_warmUp = std::min(kEscapeEvery, m_settings.seconds / 4);
    say(QStringLiteral("mode %1: %2 s, simulator %3, recovery from %4 s")
            .arg(m_settings.mode.name).arg(m_settings.seconds)
            .arg(m_settings.mode.simArgs.join(u' '))
            .arg(m_settings.mode.restart ? QString::number(m_restartAt) : QStringLiteral("-")));
    startSim(m_settings.mode.simArgs, 0);
    QTimer::singleShot(kSetupTimeoutMs, this, [this] {
        if (!m_panel) {
            say(QStringLiteral("setup: the simulator did not report a port within 10 s"));
            QCoreApplication::exit(3);
        }
    });
}

// --- the simulator -------------------------------------------------------------------

void SoakRun::startSim(const QStringList &faultArgs, quint16 port)
{
    m_sim = std::make_unique<SimProcess>(m_settings.simPath);
    connect(m_sim.get(), &SimProcess::lineRead, this, &SoakRun::simLine);
    connect(m_sim.get(), &SimProcess::listening, this, &SoakRun::simListening);
    connect(m_sim.get(), &SimProcess::failed, this, &SoakRun::simFailed);
    connect(m_sim.get(), &SimProcess::finished, this, &SoakRun::simFinished);
    const QStringList args{QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                           QStringLiteral("--rate"), QString::number(kRate)};
    m_sim->start(args + faultArgs, port);
}

// What the simulator heard from the panel. Nobody works the panel here, so all it may
// send is the keep-alive.
void SoakRun::simLine(const QString &line)
{
    say(QStringLiteral("sim %1 %2").arg(now(), 0, 'f', 3).arg(line));
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

void SoakRun::simListening(quint16 port)
{
    if (!m_panel) {
        m_port = port;
        startPanel();
    } else {
        m_relistenAt = now();
        say(QStringLiteral("event %1 well-behaved simulator listening on the same port").arg(m_relistenAt, 0, 'f', 3));
    }
}

void SoakRun::simFailed(const QString &why)
{
    if (m_finishing) {
        QCoreApplication::exit(m_exitCode);
        return;
    }
    if (m_restarting) {
        say(QStringLiteral("sim %1 %2").arg(now(), 0, 'f', 3).arg(why));
        relisten();
        return;
    }
    say(QStringLiteral("setup: ") + why);
    // Through the loop: this may come before the loop runs.
    QTimer::singleShot(0, this, [] { QCoreApplication::exit(3); });
}

void SoakRun::simFinished(int code, QProcess::ExitStatus status)
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
        relisten();
        return;
    }
    m_simDied = QStringLiteral("the simulator exited on its own at %1 s (%2 %3)")
                    .arg(now(), 0, 'f', 1)
                    .arg(status == QProcess::CrashExit ? QStringLiteral("crash") : QStringLiteral("code"))
                    .arg(code);
    say(QStringLiteral("event ") + m_simDied);
}

void SoakRun::restartSimWellBehaved()
{
    m_restarting = true;
    m_restartIssuedAt = now();
    say(QStringLiteral("event %1 stopping the faulty simulator").arg(m_restartIssuedAt, 0, 'f', 3));
    if (m_sim->isRunning())
        m_sim->terminate();
    else
        relisten();
}

// The same port again, tried while the old simulator's is released.
void SoakRun::relisten()
{
    if (m_relistenAttempts >= kRelistenAttempts)
        return;
    ++m_relistenAttempts;
    QTimer::singleShot(m_relistenAttempts == 1 ? 0 : 200, this, [this] { startSim({}, m_port); });
}

// --- the panel -----------------------------------------------------------------------

void SoakRun::startPanel()
{
    m_panel = std::make_unique<TcpPanel>();
    m_panel->setAddress(m_panel->host(), QString::number(m_port));
    m_console = std::make_unique<ConsoleWatch>(*m_panel->findChild<QPlainTextEdit *>(QStringLiteral("txtMsg")),
                                               [this] { return now(); });

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
    QTimer::singleShot(static_cast<int>(kSettleSeconds * 1000), this, &SoakRun::begin);
}

void SoakRun::begin()
{
    m_clock.start();
    static_cast<TimedApplication *>(qApp)->startMeasuring();
    m_stalls.start();

    m_sampler.setInterval(1000);
    connect(&m_sampler, &QTimer::timeout, this, &SoakRun::sample);
    m_sampler.start();

    m_panel->load();

    QTimer::singleShot(static_cast<int>(m_warmUp * 1000), this, [this] {
        pressEscape();
        m_escaper.setInterval(static_cast<int>(kEscapeEvery * 1000));
        connect(&m_escaper, &QTimer::timeout, this, &SoakRun::pressEscape);
        m_escaper.start();
    });
    if (m_settings.mode.restart)
        QTimer::singleShot(static_cast<int>(m_restartAt * 1000), Qt::PreciseTimer, this, &SoakRun::restartSimWellBehaved);
    QTimer::singleShot(static_cast<int>(m_settings.seconds * 1000), Qt::PreciseTimer, this, &SoakRun::finish);
}

void SoakRun::sample()
{
    const MemoryMeter::Sample s = m_memory.sample(now(), m_console->chars());
    if (++m_samples % 10 == 0) {
        say(QStringLiteral("sample %1 rss %2 MB console %3 chars frames %4 arrivals %5 worst stall %6 / %7 ms")
                .arg(s.t, 0, 'f', 1).arg(mb(s.rss), 0, 'f', 2).arg(s.chars)
                .arg(m_frames.size()).arg(m_arrivals)
                .arg(m_stalls.worstLateMs(), 0, 'f', 1).arg(m_stalls.worstWorkMs(), 0, 'f', 1));
    }
}

// As the operator would: Escape in the console, then the memory with it emptied.
void SoakRun::pressEscape()
{
    auto *console = m_panel->findChild<QPlainTextEdit *>(QStringLiteral("txtMsg"));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(console, &press);
    QCoreApplication::sendEvent(console, &release);
    m_console->emptied();
    const MemoryMeter::Sample s = m_memory.sampleAfterEscape(now(), m_console->chars());
    say(QStringLiteral("escape %1 rss %2 MB console %3 chars").arg(s.t, 0, 'f', 1).arg(mb(s.rss), 0, 'f', 2).arg(s.chars));
}

// --- the verdict ---------------------------------------------------------------------

void SoakRun::finish()
{
    pressEscape();
    m_stalls.stop();
    m_sampler.stop();
    m_escaper.stop();
    const double end = now();
    const Mode &mode = m_settings.mode;
    const double faultEnd = mode.restart ? m_restartIssuedAt : end;

    Verdict verdict(m_settings.ci);
    const LinkFigures link = judgeLink({mode, end, faultEnd, m_console->lines(), m_frames, m_relistenAt, m_port,
                                        m_simDied, m_keepAlives, m_unasked},
                                       verdict);
    const double growthMb = m_memory.judge(verdict);
    m_stalls.judge(verdict, [&](double t) {
        return mode.restart && t >= faultEnd ? QStringLiteral("recovery") : QStringLiteral("fault");
    });
    say(QStringLiteral("info costliest events by thread time: ")
        + static_cast<TimedApplication *>(qApp)->costliestText());
    say(QStringLiteral("info arrivals %1, of them 33 bytes %2, frames applied %3, message lines %4, flood lines shown %5")
            .arg(m_arrivals).arg(m_statusSizedArrivals).arg(m_frames.size())
            .arg(m_console->messageLines()).arg(m_console->floodLines()));
    const QStringList failed = verdict.report();

    const QString result = failed.isEmpty() ? QStringLiteral("pass") : QStringLiteral("FAIL ") + failed.join(u',');
    say(QStringLiteral("row\t%1\t%2\t%3\t%4+%5\t%6\t%7\t%8 / %9\t%10")
            .arg(mode.name)
            .arg(m_settings.seconds / 60, 0, 'f', 1)
            .arg(link.reconnects)
            .arg(link.faultFrames).arg(link.recoveryFrames)
            .arg(mb(m_memory.peak()), 0, 'f', 1)
            .arg(growthMb, 0, 'f', 2)
            .arg(m_stalls.worstLateMs(), 0, 'f', 1)
            .arg(m_stalls.worstWorkMs(), 0, 'f', 1)
            .arg(result));

    m_exitCode = failed.isEmpty() ? 0 : 1;
    m_finishing = true;
    m_console->stop();
    m_panel.reset();
    if (!m_sim->isRunning()) {
        QCoreApplication::exit(m_exitCode);
        return;
    }
    m_sim->terminate();
    QTimer::singleShot(5000, this, [this] { m_sim->kill(); });
}

} // namespace soak
