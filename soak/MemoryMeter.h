#pragma once
// Resident memory: its peak, and its level after each Escape, with the console's own text taken out.

#include <QtGlobal>

#include <vector>

namespace soak {

class Verdict;

inline constexpr double kRssBudgetMb = 5;

double mb(double bytes);

class MemoryMeter
{
public:
    struct Sample {
        double t;
        qint64 rss;
        int chars;   // the console's size then
    };

    Sample sample(double t, int consoleChars);
    // Right after Escape emptied the console: growth is judged on these.
    Sample sampleAfterEscape(double t, int consoleChars);
    qint64 peak() const { return m_peak; }

    // Adds the memory check once there are two samples after Escape; the growth in MB.
    double judge(Verdict &verdict) const;

private:
    qint64 m_peak = 0;
    std::vector<Sample> m_afterEscape;
};

} // namespace soak
