#pragma once
// How late a 10 ms timer fires on the panel's thread, what each late wait was made of,
// and whether an idle thread on the same core was late at the same moment.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace soak {

class Verdict;

inline constexpr int kProbeMs = 10;
inline constexpr double kStallBudgetMs = 50;
inline constexpr double kReportedLateMs = 20;

class StallMeter final : public QObject
{
public:
    // `clock` is the soak's: started before start(), read by the probe and the reference threads.
    explicit StallMeter(const QElapsedTimer &clock);
    ~StallMeter() override;

    void start();
    void stop();

    double worstLateMs() const { return m_worstStallMs; }
    double worstWorkMs() const { return m_worstWorkMs; }

    // Says every wait over 20 ms late and adds the stall check; `phase` names the part
    // of the run a time falls in.
    void judge(Verdict &verdict, const std::function<QString(double)> &phase) const;

private:
    // Where this thread's time went: on a core, and runnable but waiting for one (on a
    // shared machine, the part of a late timeout that other processes caused).
    struct ThreadTimes {
        qint64 runningNs = 0;
        qint64 queuedNs = 0;
        long majorFaults = 0;
        long voluntarySwitches = 0;
    };
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

    ThreadTimes threadTimes() const;
    void probe();
    void runReference(int cpu);

    const QElapsedTimer &m_clock;
    QTimer m_probe;
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
};

} // namespace soak
