#pragma once
// The one watch every link keeps on its far end: a round every 4.5 s, a link silent for more
// than 5 s is lost, the attempt after a loss says it reopens, and a closed link stays closed.

#include "link/Clock.h"
#include "link/Link.h"

#include <QObject>

#include <chrono>
#include <memory>
#include <optional>

// What a link does at the steps of a round; the supervisor decides when.
class Supervised
{
public:
    // First in every round (the TCP link's keep-alive).
    virtual void keepAlive() {}
    // The link's own verdict on this round: end what no longer answers, calling the
    // supervisor's lose() for a link that was up. `silent` already follows the silence rule.
    virtual void judgeRound(double now, bool silent) = 0;
    // Whether nothing is under way, so that this round starts the next attempt.
    virtual bool isBetweenAttempts() const = 0;
    virtual void openNextAttempt() = 0;

protected:
    ~Supervised() = default;
};

class Supervisor final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Supervisor)

public:
    static constexpr std::chrono::milliseconds kRoundInterval = kKeepAliveInterval;
    static constexpr double kSilenceLimitSeconds = ::kSilenceLimitSeconds;

    // The rounds run on a tick of `clock` named tickName, as profiles and benchmarks know it.
    Supervisor(Supervised &link, Clock clock, const QString &tickName, QObject *parent);

    // After the link's first attempt: says Opening, then rounds run until close().
    void begin();
    // No round runs, and no reopening is owed, until the next begin().
    void close();
    bool isClosed() const { return m_closed; }

    // One round, the tick's handler: keep-alive, the link's verdict, then the next attempt
    // where none is under way; supervised() at its end. Nothing at all once closed.
    void handleRound();

    // An arrival holds off the watchdog; a new attempt counts as silent until its first.
    void noteArrival(double now) { m_lastDataTime = now; }
    void forgetArrivals() { m_lastDataTime.reset(); }
    std::optional<double> lastDataTime() const { return m_lastDataTime; }
    bool isSilent(double now) const { return !m_lastDataTime || *m_lastDataTime + kSilenceLimitSeconds < now; }

    // The link was up and is gone: says Lost; the next attempt will say Reopening.
    void lose();

signals:
    void happened(const LinkEvent &event);
    void supervised();

private:
    Supervised &m_link;
    const Clock m_clock;
    std::unique_ptr<Tick> m_tick;
    bool m_closed = true;
    bool m_reopenPending = false;
    std::optional<double> m_lastDataTime;   // steady seconds of the last arrival; none yet
};
