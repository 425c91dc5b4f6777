// The Trends window and its history:
//   bench_trends redraw [--full-scale]  a redraw with 1 h and with 24 h of history at 10 frames/s,
//                                    beside a plot fed every frame
//   bench_trends memory RATE         the history after a simulated 24 h at RATE frames/s
//   bench_trends cpu SIM RATE SECONDS LABEL
//                                    the panel's CPU with the Trends window hidden, then shown

#include "BenchPanel.h"
#include "BenchSupport.h"

#include "Gui/trends/TrendPlot.h"
#include "Gui/trends/TrendsWindow.h"
#include "history/TrendHistory.h"

#include <QApplication>
#include <QComboBox>
#include <QTimer>
#include <QtPlugin>

#include <algorithm>
#include <cmath>

// The panel's Trends, linked in rather than loaded.
Q_IMPORT_PLUGIN(TrendsPlugin)

namespace {

constexpr double kStart = 1000.0;
constexpr double kHour = 3600.0;
constexpr int kRedraws = 15;
constexpr int kNaiveRedraws = 3;   // each takes long

bool g_fullScale = false;   // the worst case for the pixels: every reading sweeps 0..4095 in seconds

// Every reading moves every frame: a slow drift of its own period with a few counts of
// noise, as the bench's readings do; the switches change every few minutes.
StatusReadings changingReadings(std::int64_t k)
{
    StatusReadings readings;
    const double t = static_cast<double>(k) / 10;
    for (int i = 0; i < kReadbackCount; ++i) {
        const auto noise = static_cast<int>((static_cast<std::uint64_t>(k + i) * 2654435761u >> 7) % 7) - 3;
        const int drift = static_cast<int>(2048 + 1500 * std::sin(2 * M_PI * t / (600 + 97 * i)));
        readings.values[static_cast<std::size_t>(i)] =
            g_fullScale ? static_cast<int>((k * (7 + i) + i * 311) % 4096) : std::clamp(drift + noise, 0, 4095);
    }
    readings.flags = static_cast<std::uint8_t>((k / (g_fullScale ? 97 : 1777)) & 0x3F);
    return readings;
}

// `hours` ending at hour 24 of the same day, so that every history ends in the same hour.
void fill(TrendHistory &history, double hours, double rate)
{
    const auto last = static_cast<std::int64_t>(24 * kHour * rate);
    const auto first = last - static_cast<std::int64_t>(hours * kHour * rate);
    for (std::int64_t k = first; k < last; ++k)
        history.addStatus(changingReadings(k), kStart + static_cast<double>(k) / rate);
}

// CPU time of this thread alone: the toolkit's X connection reads on a thread of its
// own, whose work for one window would land in the other's measurement.
double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// CPU milliseconds of one redraw of each window, taken in turns so that both meet the
// same load; the medians of kRedraws.
std::pair<double, double> redrawMs(TrendsWindow &first, TrendsWindow &second)
{
    std::vector<double> a;
    std::vector<double> b;
    for (int i = 0; i < kRedraws; ++i) {
        for (auto [window, samples] : {std::pair{&first, &a}, {&second, &b}}) {
            const double start = threadCpuSeconds();
            window->refresh();
            samples->push_back((threadCpuSeconds() - start) * 1000);
            QCoreApplication::processEvents();
        }
    }
    return {bench::median(a), bench::median(b)};
}

// CPU milliseconds of the history's part alone: the points of every trace for one redraw.
double queryMs(const TrendHistory &history, double span, int columns)
{
    std::vector<double> samples;
    const double end = history.newestTime();
    for (int i = 0; i < kRedraws; ++i) {
        const double start = bench::cpuSeconds();
        std::size_t points = 0;
        for (int trace = 0; trace < kTraceCount; ++trace)
            points += history.plotPoints(trace, end - span, end, columns).size();
        samples.push_back((bench::cpuSeconds() - start) * 1000);
        if (points == 0)
            qWarning("no points");
    }
    return bench::median(samples);
}

struct Shown {
    std::unique_ptr<TrendHistory> history;
    std::unique_ptr<TrendsWindow> window;
};

Shown shownWindow(double hours, int spanIndex)
{
    Shown shown;
    shown.history = std::make_unique<TrendHistory>(kStart, QDateTime::currentDateTimeUtc());
    fill(*shown.history, hours, 10);
    const double end = shown.history->newestTime();
    shown.window = std::make_unique<TrendsWindow>(*shown.history, [end] { return end; });
    shown.window->resize(1100, 820);
    shown.window->findChild<QComboBox *>(QStringLiteral("cboSpan"))->setCurrentIndex(spanIndex);
    shown.window->show();
    QCoreApplication::processEvents();
    return shown;
}

// The naive plot: every frame of the span handed to the plot on every redraw.
double naiveRedrawMs(TrendsWindow &window, const TrendHistory &history, double span)
{
    const double end = history.newestTime();
    TrendPlot &plot = window.plot();
    std::vector<double> samples;
    for (int i = 0; i < kNaiveRedraws; ++i) {
        const double start = bench::cpuSeconds();
        for (int trace = 0; trace < kTraceCount; ++trace) {
            QVector<double> times;
            QVector<double> values;
            // Fine enough that every raw frame is a column of its own.
            for (const TrendPoint &point : history.plotPoints(trace, end - span, end, static_cast<int>(span * 20))) {
                times << point.time;
                values << point.value;
            }
            plot.setTraceData(window.plotTrace(trace), times, values);
        }
        plot.redraw();
        samples.push_back((bench::cpuSeconds() - start) * 1000);
        QCoreApplication::processEvents();
    }
    return bench::median(samples);
}

int redraw(bool fullScale)
{
    g_fullScale = fullScale;
    enum { OneHour = 2, OneDay = 4 };   // cboSpan rows
    Shown hour = shownWindow(1, OneHour);
    Shown day = shownWindow(24, OneHour);
    const auto [hourOfHour, hourOfDay] = redrawMs(*hour.window, *day.window);
    const int columns = day.window->plot().columns();
    const double queryHour = queryMs(*hour.history, kHour, columns);
    const double queryHourOfDay = queryMs(*day.history, kHour, columns);
    day.window->findChild<QComboBox *>(QStringLiteral("cboSpan"))->setCurrentIndex(OneDay);
    const auto [hourAgain, dayOfDay] = redrawMs(*hour.window, *day.window);
    const double queryDay = queryMs(*day.history, 24 * kHour, columns);
    const double naiveHour = naiveRedrawMs(*hour.window, *hour.history, kHour);
    const double naiveDay = naiveRedrawMs(*day.window, *day.history, 24 * kHour);

    const double shownAll = dayOfDay / hourAgain;
    const double sameSpan = hourOfDay / hourOfHour;
    if (fullScale) {
        QTextStream(stdout) << "NOTE|(9) worst case, every reading sweeping 0..4095 within each column: redraw "
                            << bench::figure(dayOfDay) << " ms (24 h of 24 h) vs " << bench::figure(hourAgain)
                            << " ms (1 h of 1 h), " << bench::times(shownAll) << "; the history's share "
                            << bench::figure(queryDay) << " vs " << bench::figure(queryHour)
                            << " ms: the rest is the ink of full-height strokes" << Qt::endl;
        return 0;
    }
    bench::row(QStringLiteral("(9) Trends redraw, all shown: 24 h of history vs 1 h, 10 frames/s (CPU ms)"),
               bench::figure(dayOfDay) + QStringLiteral(" vs ") + bench::figure(hourAgain),
               QStringLiteral("every frame plotted: ") + bench::figure(naiveDay) + QStringLiteral(" vs ")
                   + bench::figure(naiveHour),
               bench::times(shownAll) + QStringLiteral(" (baseline ") + bench::times(naiveDay / naiveHour)
                   + QStringLiteral(")"),
               QStringLiteral("≤ 1.5×"), bench::yesNo(shownAll <= 1.5));
    bench::row(QStringLiteral("(9) Trends redraw, 1 h span: 24 h of history vs 1 h (CPU ms)"),
               bench::figure(hourOfDay) + QStringLiteral(" vs ") + bench::figure(hourOfHour), QStringLiteral("—"),
               bench::times(sameSpan), QStringLiteral("≤ 1.5×"), bench::yesNo(sameSpan <= 1.5));
    QTextStream(stdout) << "NOTE|(9) of which the history's points for all 21 traces on " << columns
                        << " columns: 1 h of 1 h " << bench::figure(queryHour) << " ms, 1 h of 24 h "
                        << bench::figure(queryHourOfDay) << " ms, 24 h of 24 h " << bench::figure(queryDay) << " ms"
                        << Qt::endl;
    return 0;
}

int memory(double rate)
{
    const long before = bench::residentBytes();
    // The readings made beforehand, so that the time per frame is the history's alone.
    std::vector<StatusReadings> readings;
    for (std::int64_t k = 0; k < 3001; ++k)
        readings.push_back(changingReadings(k * 7));
    TrendHistory history(kStart, QDateTime::currentDateTimeUtc());
    const auto frames = static_cast<std::int64_t>(24 * kHour * rate);
    const double cpuStart = bench::cpuSeconds();
    for (std::int64_t k = 0; k < frames; ++k)
        history.addStatus(readings[static_cast<std::size_t>(k % 3001)], kStart + static_cast<double>(k) / rate);
    const double cpu = bench::cpuSeconds() - cpuStart;
    const double resident = static_cast<double>(bench::residentBytes() - before) / (1024 * 1024);
    const double held = static_cast<double>(history.memoryBytes()) / (1024 * 1024);
    const double covered = (history.newestTime() - history.oldestTime() + 1 / rate) / kHour;
    bench::row(QStringLiteral("(10) history after 24 h at %1 frames/s: resident MB · entries MB · hours covered · ns per frame")
                   .arg(rate),
               QStringLiteral("%1 · %2 · %3 · %4")
                   .arg(bench::figure(resident), bench::figure(held), bench::figure(covered),
                        bench::figure(cpu / static_cast<double>(frames) * 1e9)),
               QStringLiteral("—"), QStringLiteral("—"), QStringLiteral("≤ 64 MB, ≥ 24 h"),
               bench::yesNo(resident <= 64 && covered >= 24 - 1e-6));
    return 0;
}

int cpu(const QString &sim, const QString &rate, double seconds, const QString &label)
{
    const std::unique_ptr<SimProcess> process = bench::startedSim(sim, {QStringLiteral("--rate"), rate});
    const std::unique_ptr<TcpPanel> panel = bench::connectedPanel(process->port());
    double hidden = 0;
    double shown = 0;
    double cpuStart = 0;
    double wallStart = 0;
    const auto begin = [&] {
        cpuStart = bench::cpuSeconds();
        wallStart = bench::monotonicSeconds();
    };
    const auto share = [&] { return 100 * (bench::cpuSeconds() - cpuStart) / (bench::monotonicSeconds() - wallStart); };
    const int ms = static_cast<int>(seconds * 1000);
    QTimer::singleShot(1000, panel.get(), begin);
    QTimer::singleShot(1000 + ms, panel.get(), [&] {
        hidden = share();
        panel->showTrends();
    });
    QTimer::singleShot(2000 + ms, panel.get(), begin);   // a second to open and lay out
    QTimer::singleShot(2000 + 2 * ms, panel.get(), [&] {
        shown = share();
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    bench::row(QStringLiteral("(11) panel CPU, %1, sim --rate %2: Trends shown · hidden (% of a core)").arg(label, rate),
               bench::figure(shown) + QStringLiteral(" %"), bench::figure(hidden) + QStringLiteral(" % (hidden)"),
               bench::times(shown / hidden), QStringLiteral("—"), QStringLiteral("—"));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() >= 2 && args[1] == u"redraw")
        return redraw(args.contains(QStringLiteral("--full-scale")));
    if (args.size() >= 3 && args[1] == u"memory")
        return memory(args[2].toDouble());
    if (args.size() >= 6 && args[1] == u"cpu")
        return cpu(args[2], args[3], args[4].toDouble(), args[5]);
    qWarning("usage: bench_trends redraw | memory RATE | cpu SIM RATE SECONDS LABEL");
    return 2;
}
