// Idle: the panel connected to a controller that reports once a second, watched for a
// while. Counts the GUI thread's wake-ups (its voluntary context switches: each is one
// block in poll and one wake), every timer event by the object it reaches, and the
// process's CPU time.
//   bench_idle SIM SECONDS LABEL [--focus-field]

#include "BenchPanel.h"
#include "BenchSupport.h"

#include <QApplication>
#include <QMap>
#include <QTimer>

namespace {

constexpr double kSettleSeconds = 2;   // connection, first paints and exposure are not idling

// Times this thread blocked and was woken again.
long threadWakeUps()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw;
}

// "QTimer of tmrKeepAlive": the object's class and its nearest named ancestor, else
// the classes of its ancestors.
QString describe(const QObject *object)
{
    QString name = QString::fromLatin1(object->metaObject()->className());
    QString chain = name;
    for (const QObject *ancestor = object; ancestor; ancestor = ancestor->parent()) {
        if (!ancestor->objectName().isEmpty())
            return name + QStringLiteral(" of ") + ancestor->objectName();
        if (ancestor != object)
            chain += QStringLiteral(" in ") + QString::fromLatin1(ancestor->metaObject()->className());
    }
    return chain;
}

class TimerCounter final : public QObject
{
public:
    bool counting = false;
    QMap<QString, int> timers;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (counting && event->type() == QEvent::Timer)
            ++timers[describe(watched)];
        return false;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4) {
        qWarning("usage: bench_idle SIM SECONDS LABEL [--focus-field]");
        return 2;
    }
    const double seconds = args[2].toDouble();
    const QString label = args[3];
    const bool focusField = args.contains(QStringLiteral("--focus-field"));

    const std::unique_ptr<SimProcess> sim = bench::startedSim(args[1], {QStringLiteral("--rate"), QStringLiteral("1")});
    const std::unique_ptr<TcpPanel> panel = bench::connectedPanel(sim->port());
    if (focusField) {
        panel->activateWindow();
        panel->findChild<QLineEdit *>(QStringLiteral("txtEclCurrent"))->setFocus(Qt::TabFocusReason);
    }

    TimerCounter counter;
    app.installEventFilter(&counter);
    int arrivals = 0;
    long wakeUpsStart = 0;
    long wakeUps = 0;
    double cpuStart = 0;
    double wallStart = 0;
    const double launched = bench::monotonicSeconds();
    // Started and ended by arrivals, which wake the loop anyway, so that the measurement
    // adds no timer of its own.
    QObject::connect(&panel->socket(), &DeviceSocket::dataArrival, &app, [&] {
        const double now = bench::monotonicSeconds();
        if (!counter.counting && wallStart == 0 && now - launched >= kSettleSeconds) {
            counter.counting = true;
            wakeUpsStart = threadWakeUps();
            cpuStart = bench::cpuSeconds();
            wallStart = now;
        } else if (counter.counting && now - wallStart >= seconds) {
            counter.counting = false;
            wakeUps = threadWakeUps() - wakeUpsStart;
            QCoreApplication::quit();
        } else if (counter.counting) {
            ++arrivals;
        }
    });
    QCoreApplication::exec();

    const double minutes = (bench::monotonicSeconds() - wallStart) / 60;
    const double cpuMs = (bench::cpuSeconds() - cpuStart) * 1000;
    const int ticks = counter.timers.value(QStringLiteral("QTimer of tmrKeepAlive"));
    int otherTimers = 0;
    QStringList others;
    for (auto it = counter.timers.cbegin(); it != counter.timers.cend(); ++it) {
        if (it.key() == u"QTimer of tmrKeepAlive")
            continue;
        otherTimers += it.value();
        others << QStringLiteral("%1 × %2").arg(it.value()).arg(it.key());
    }
    // Every arrival and every tick may wake the loop once; anything past that is a wake-up
    // the panel caused while idle.
    const long unexplained = std::max(0L, wakeUps - arrivals - ticks);
    QTextStream(stdout) << "IDLE|" << label << '|' << minutes * 60 << '|' << cpuMs / minutes << '|' << wakeUps / minutes
                        << '|' << arrivals / minutes << '|' << ticks / minutes << '|' << otherTimers / minutes << '|'
                        << unexplained / minutes << '|' << (others.isEmpty() ? QStringLiteral("none") : others.join(u", "))
                        << Qt::endl;
    return 0;
}
