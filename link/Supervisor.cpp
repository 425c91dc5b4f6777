#include "link/Supervisor.h"

#include <utility>

Supervisor::Supervisor(Supervised &link, const Clock &clock, const QString &timerName, bool runTimer,
                       QObject *parent)
    : QObject(parent), m_link(link), m_clock(clock), m_runTimer(runTimer)
{
    m_timer.setObjectName(timerName);
    m_timer.setParent(this);
    m_timer.setInterval(kRoundInterval);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Supervisor::handleRound);
}

void Supervisor::begin()
{
    m_closed = false;
    emit happened({LinkEvent::Kind::Opening, {}});
    if (m_runTimer)
        m_timer.start();
}

void Supervisor::close()
{
    m_closed = true;
    m_timer.stop();
    m_reopenPending = false;
    m_lastDataTime.reset();
}

void Supervisor::handleRound()
{
    if (m_closed)
        return;
    m_link.keepAlive();
    const double now = m_clock.steadySeconds();
    const bool silent = isSilent(now);
    if (silent)
        m_lastDataTime.reset();
    m_link.judgeRound(now, silent);
    if (!m_closed && m_link.isBetweenAttempts()) {
        m_link.openNextAttempt();
        if (std::exchange(m_reopenPending, false))
            emit happened({LinkEvent::Kind::Reopening, {}});
    }
    emit supervised();
}

void Supervisor::lose()
{
    m_reopenPending = true;
    emit happened({LinkEvent::Kind::Lost, {}});
}
