#include "soak/TimedApplication.h"

#include <QStringList>
#include <QThread>

#include <algorithm>
#include <ctime>

namespace soak {
namespace {

qint64 threadCpuNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

} // namespace

TimedApplication::TimedApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    m_clock.start();
}

bool TimedApplication::notify(QObject *receiver, QEvent *event)
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

void TimedApplication::startMeasuring()
{
    m_clock.start();
    m_costliest = {};
}

QString TimedApplication::costliestText() const
{
    QStringList costliest;
    for (const Cost &cost : m_costliest) {
        if (cost.workMs > 0)
            costliest << QStringLiteral("%1 ms %2 at %3 s").arg(cost.workMs, 0, 'f', 1).arg(cost.what).arg(cost.at, 0, 'f', 1);
    }
    return costliest.join(QStringLiteral("; "));
}

} // namespace soak
