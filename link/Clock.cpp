#include "link/Clock.h"

#include <QElapsedTimer>
#include <QTimer>

namespace {

class TimerTick final : public Tick
{
public:
    TimerTick(QObject &owner, const QString &name, std::chrono::milliseconds interval, std::function<void()> onTick)
    {
        m_timer.setObjectName(name);
        m_timer.setParent(&owner);
        m_timer.setInterval(interval);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, &owner, std::move(onTick));
    }

    void start() override { m_timer.start(); }
    void stop() override { m_timer.stop(); }

private:
    QTimer m_timer;   // its destruction takes it off the owner's children
};

class ManualTick final : public Tick
{
public:
    void start() override {}
    void stop() override {}
};

} // namespace

Clock Clock::system()
{
    QElapsedTimer timer;
    timer.start();
    return {[timer] { return timer.nsecsElapsed() / 1e9; },
            [] { return QTime::currentTime(); },
            [](QObject &owner, const QString &name, std::chrono::milliseconds interval, std::function<void()> onTick) {
                return std::make_unique<TimerTick>(owner, name, interval, std::move(onTick));
            }};
}

Clock Clock::manual(std::function<double()> steadySeconds, QTime timeOfDay)
{
    return {std::move(steadySeconds),
            [timeOfDay] { return timeOfDay; },
            [](QObject &, const QString &, std::chrono::milliseconds, std::function<void()>) {
                return std::make_unique<ManualTick>();
            }};
}
