// The Trends window and its history:
//   bench_trends redraw              a redraw with 1 h and with 24 h of history at 10 frames/s,
//                                    beside a plot fed every frame
//   bench_trends memory RATE         the history after a simulated 24 h at RATE frames/s
//   bench_trends cpu SIM RATE SECONDS LABEL
//                                    the panel's CPU with the Trends window hidden, then shown

#include "BenchPanel.h"
#include "BenchSupport.h"

#include "Gui/TrendPlot.h"
#include "Gui/TrendsWindow.h"
#include "status/TrendHistory.h"

#include <QApplication>
#include <QComboBox>
#include <QTimer>

#include <cmath>

namespace {

constexpr double kStart = 1000.0;
constexpr double kHour = 3600.0;
constexpr int kRedraws = 15;
constexpr int kNaiveRedraws = 3;   // each takes long

// Every reading moves every frame, as a noisy bench does; switches flip now and then.
StatusReadings changingReadings(std::int64_t k)
{
    StatusReadings readings;
    for (int i = 0; i < kReadbackCount; ++i)
        readings.values[static_cast<std::size_t>(i)] = static_cast<int>((k * (7 + i) + i * 311) % 4096);
    readings.flags = static_cast<std::uint8_t>((k / 97) & 0x3F);
    return readings;
}

void fill(TrendHistory &history, double hours, double rate)
{
    const auto frames = static_cast<std::int64_t>(hours * kHour * rate);
    for (std::int64_t k = 0; k < frames; ++k)
        history.addStatus(changingReadings(k), kStart + static_cast<double>(k) / rate);
}

// CPU milliseconds of one redraw, the median of kRedraws.
double redrawMs(TrendsWindow &window)
{
    std::vector<double> samples;
    for (int i = 0; i < kRedraws; ++i) {
        const double start = bench::cpuSeconds();
        window.refresh();
        samples.push_back((bench::cpuSeconds() - start) * 1000);
        QCoreApplication::processEvents();
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

int redraw()
{
    enum { OneHour = 2, OneDay = 4 };   // cboSpan rows
    double hourOfHour = 0, hourOfDay = 0, dayOfDay = 0, naiveDay = 0, naiveHour = 0;
    {
        Shown shown = shownWindow(1, OneHour);
        hourOfHour = redrawMs(*shown.window);
        naiveHour = naiveRedrawMs(*shown.window, *shown.history, kHour);
    }
    {
        Shown shown = shownWindow(24, OneHour);
        hourOfDay = redrawMs(*shown.window);
        shown.window->findChild<QComboBox *>(QStringLiteral("cboSpan"))->setCurrentIndex(OneDay);
        dayOfDay = redrawMs(*shown.window);
        naiveDay = naiveRedrawMs(*shown.window, *shown.history, 24 * kHour);
    }
    const double shownAll = dayOfDay / hourOfHour;
    const double sameSpan = hourOfDay / hourOfHour;
    bench::row(QStringLiteral("(7) Trends redraw, all shown: 24 h of history vs 1 h, 10 frames/s (CPU ms)"),
               bench::figure(dayOfDay) + QStringLiteral(" vs ") + bench::figure(hourOfHour),
               QStringLiteral("every frame plotted: ") + bench::figure(naiveDay) + QStringLiteral(" vs ")
                   + bench::figure(naiveHour),
               bench::times(shownAll) + QStringLiteral(" (baseline ") + bench::times(naiveDay / naiveHour)
                   + QStringLiteral(")"),
               QStringLiteral("≤ 1.5×"), bench::yesNo(shownAll <= 1.5));
    bench::row(QStringLiteral("(7) Trends redraw, 1 h span: 24 h of history vs 1 h (CPU ms)"),
               bench::figure(hourOfDay) + QStringLiteral(" vs ") + bench::figure(hourOfHour), QStringLiteral("—"),
               bench::times(sameSpan), QStringLiteral("≤ 1.5×"), bench::yesNo(sameSpan <= 1.5));
    return 0;
}

int memory(double rate)
{
    const long before = bench::residentBytes();
    TrendHistory history(kStart, QDateTime::currentDateTimeUtc());
    const double cpuStart = bench::cpuSeconds();
    fill(history, 24, rate);
    const double cpu = bench::cpuSeconds() - cpuStart;
    const double frames = 24 * kHour * rate;
    const double resident = static_cast<double>(bench::residentBytes() - before) / (1024 * 1024);
    const double held = static_cast<double>(history.memoryBytes()) / (1024 * 1024);
    const double covered = (history.newestTime() - history.oldestTime()) / kHour;
    bench::row(QStringLiteral("(8) history after 24 h at %1 frames/s: resident MB · entries MB · hours covered · ns per frame")
                   .arg(rate),
               QStringLiteral("%1 · %2 · %3 · %4")
                   .arg(bench::figure(resident), bench::figure(held), bench::figure(covered),
                        bench::figure(cpu / frames * 1e9)),
               QStringLiteral("—"), QStringLiteral("—"), QStringLiteral("≤ 64 MB, ≥ 24 h"),
               bench::yesNo(resident <= 64 && covered >= 24));
    return 0;
}

int cpu(const QString &sim, const QString &rate, double seconds, const QString &label)
{
    bench::SimProcess process(sim, {QStringLiteral("--rate"), rate});
    const std::unique_ptr<FormMain> panel = bench::connectedPanel(process.port());
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
    bench::row(QStringLiteral("(9) panel CPU, %1, sim --rate %2: Trends shown · hidden (%% of a core)").arg(label, rate),
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
        return redraw();
    if (args.size() >= 3 && args[1] == u"memory")
        return memory(args[2].toDouble());
    if (args.size() >= 6 && args[1] == u"cpu")
        return cpu(args[2], args[3], args[4].toDouble(), args[5]);
    qWarning("usage: bench_trends redraw | memory RATE | cpu SIM RATE SECONDS LABEL");
    return 2;
}
