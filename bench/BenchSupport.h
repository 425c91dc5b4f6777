#pragma once
// What every benchmark program shares: clocks, CPU time, resident memory, percentiles
// and the one row format that scripts/bench gathers into its table.

#include <QDir>
#include <QFile>
#include <QString>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace bench {

inline double monotonicSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// User plus system time of the whole process, every thread included.
inline double cpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// CPU seconds of every live thread of another process (/proc/PID/task/*/schedstat, in ns):
// finer than the clock ticks of /proc/PID/stat, which a light process spends few of.
inline double processCpuSeconds(qint64 pid)
{
    double seconds = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (schedstat.open(QIODevice::ReadOnly))
            seconds += schedstat.readAll().split(' ').value(0).toDouble() / 1e9;
    }
    return seconds;
}

// Resident set size now, from /proc/self/statm (pages).
inline long residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// Nearest-rank percentile, p in 0..100; the samples are sorted in place.
inline double percentile(std::vector<double> &samples, double p)
{
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const auto rank = static_cast<std::size_t>(p / 100.0 * static_cast<double>(samples.size() - 1) + 0.5);
    return samples[std::min(rank, samples.size() - 1)];
}

inline double median(std::vector<double> samples)
{
    return percentile(samples, 50);
}

// One line of the results table. scripts/bench keeps the lines that start with "ROW|".
inline void row(const QString &figure, const QString &ours, const QString &baseline, const QString &ratio,
                const QString &goal, const QString &met)
{
    QTextStream out(stdout);
    out << "ROW|" << figure << '|' << ours << '|' << baseline << '|' << ratio << '|' << goal << '|' << met
        << Qt::endl;
}

inline QString yesNo(bool met)
{
    return met ? QStringLiteral("yes") : QStringLiteral("**no**");
}

// Numbers as the table shows them: three significant digits, no exponent below a million.
inline QString figure(double value)
{
    if (value >= 1000)
        return QString::number(value, 'f', 0);
    return QString::number(value, 'g', 3);
}

// Ours divided by the baseline; a small quotient reads better as its inverse.
inline QString times(double ratio)
{
    if (ratio > 0 && ratio < 0.1)
        return QStringLiteral("1/") + figure(1 / ratio);
    return figure(ratio) + QStringLiteral("×");
}

} // namespace bench
