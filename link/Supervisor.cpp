#include "link/Supervisor.h"

#include <utility>

Supervisor::Supervisor(Supervised &link, Clock clock, const QString &tickName, QObject *parent)
    : QObject(parent), m_link(link), m_clock(std::move(clock)),
      m_tick(m_clock.makeTick(*this, tickName, kRoundInterval, [this] { handleRound(); }))
{
}

void Supervisor::begin()
{
    m_closed = false;
    emit happened({LinkEvent::Kind::Opening, {}});
    m_tick->start();
}

void Supervisor::close()
{
    m_closed = true;
    m_tick->stop();
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
