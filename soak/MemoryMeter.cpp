#include "soak/MemoryMeter.h"

#include "soak/Verdict.h"

#include <QStringList>

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace soak {
namespace {

qint64 residentBytes()
{
    FILE *statm = std::fopen("/proc/self/statm", "r");
    if (!statm)
        return 0;
    long size = 0, resident = 0;
    const int read = std::fscanf(statm, "%ld %ld", &size, &resident);
    std::fclose(statm);
    return read == 2 ? static_cast<qint64>(resident) * sysconf(_SC_PAGESIZE) : 0;
}

} // namespace

double mb(double bytes)
{
    return bytes / (1024.0 * 1024.0);
}

MemoryMeter::Sample MemoryMeter::sample(double t, int consoleChars)
{
    const Sample s{t, residentBytes(), consoleChars};
    m_peak = std::max(m_peak, s.rss);
    return s;
}

MemoryMeter::Sample MemoryMeter::sampleAfterEscape(double t, int consoleChars)
{
    const Sample s = sample(t, consoleChars);
    m_afterEscape.push_back(s);
    return s;
}

// With the console emptied at both ends, and the console's own size taken out.
double MemoryMeter::judge(Verdict &verdict) const
{
    if (m_afterEscape.size() < 2)
        return 0;
    const Sample &first = m_afterEscape.front();
    const Sample &last = m_afterEscape.back();
    const double growthMb = mb(static_cast<double>(last.rss - first.rss) - 2.0 * (last.chars - first.chars));
    QStringList series;
    for (const Sample &s : m_afterEscape)
        series << QString::number(mb(s.rss), 'f', 1);
    verdict.check(QStringLiteral("memory"), growthMb <= kRssBudgetMb,
                  QStringLiteral("%1 MB from %2 s to %3 s (at most %4); after each Escape: %5")
                      .arg(growthMb, 0, 'f', 2).arg(first.t, 0, 'f', 0).arg(last.t, 0, 'f', 0)
                      .arg(kRssBudgetMb).arg(series.join(u' ')));
    return growthMb;
}

} // namespace soak
