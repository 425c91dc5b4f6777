#include "soak/StallMeter.h"

#include "soak/SoakLog.h"
#include "soak/Verdict.h"

#include <algorithm>
#include <cstdio>

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace soak {

StallMeter::StallMeter(const QElapsedTimer &clock) : m_clock(clock)
{
    m_probe.setTimerType(Qt::PreciseTimer);
    m_probe.setInterval(kProbeMs);
    connect(&m_probe, &QTimer::timeout, this, &StallMeter::probe);
}

StallMeter::~StallMeter()
{
    stop();
    if (m_schedstat >= 0)
        ::close(m_schedstat);
}

void StallMeter::start()
{
    m_schedstat = ::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
    cpu_set_t cpus;
    if (::sched_getaffinity(0, sizeof cpus, &cpus) == 0) {
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &cpus))
                m_references.emplace_back([this, cpu] { runReference(cpu); });
        }
    }
    m_probe.start();
}

void StallMeter::stop()
{
    m_probe.stop();
    m_stopReference = true;
    for (std::thread &reference : m_references)
        reference.join();
    m_references.clear();
}

StallMeter::ThreadTimes StallMeter::threadTimes() const
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
void StallMeter::probe()
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
void StallMeter::runReference(int cpu)
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

// Judged on the panel's own work in one wait: on a shared machine the wall clock
// also holds other processes' turns and the machine's own pauses.
void StallMeter::judge(Verdict &verdict, const std::function<QString(double)> &phase) const
{
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
    verdict.check(QStringLiteral("stall"), m_worstWorkMs < kStallBudgetMs,
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
}

} // namespace soak
