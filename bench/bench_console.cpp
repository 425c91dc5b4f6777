// Console append: a million lines through appendToConsole into the panel's console, which
// keeps the newest 100k; the cost of a line measured at 1k, 100k and 1M lines, beside
// rewriting the whole text.

#include "BenchSupport.h"

#include "Gui/ConsoleView.h"
#include "Gui/TcpPanel.h"
#include "status/Arrival.h"

#include <QApplication>
#include <QPlainTextEdit>

#include <memory>

namespace {

constexpr int kWindows = 9;                 // timed at each size; the median is taken
constexpr int kWindowLines = 100;
constexpr int kLinesPerEventPass = 64;      // the console paints and scrolls this often, for both
constexpr double kNaiveBudgetSeconds = 10;  // the naive console stops here
constexpr double kUnbearableSeconds = 0.1;  // a line that stalls the panel this long

const QString &line()
{
    static const QString text = consoleLine(QTime(12, 34, 56), u" Hi, this should show up on the console.");
    return text;
}

void rewriteWhole(QPlainTextEdit &console)
{
    console.setPlainText(console.toPlainText() + line());
    moveCaretToEnd(console);
}

std::unique_ptr<TcpPanel> shownPanel()
{
    auto panel = std::make_unique<TcpPanel>(TcpLink::Options{Clock::manual(Clock::system().steadySeconds, QTime::currentTime())});
    panel->show();
    QCoreApplication::processEvents();
    return panel;
}

QPlainTextEdit &consoleOf(FormMain &panel)
{
    return *panel.findChild<QPlainTextEdit *>(QStringLiteral("txtMsg"));
}

// Appends until the console holds `lines`, letting events through as the panel would.
void fill(QPlainTextEdit &console, qint64 &held, qint64 lines, void (*append)(QPlainTextEdit &))
{
    for (; held < lines; ++held) {
        append(console);
        if (held % kLinesPerEventPass == 0)
            QCoreApplication::processEvents();
    }
}

// CPU microseconds per line over the next `count` lines.
double timedLines(QPlainTextEdit &console, qint64 &held, int count, void (*append)(QPlainTextEdit &))
{
    const double start = bench::cpuSeconds();
    fill(console, held, held + count, append);
    return (bench::cpuSeconds() - start) * 1e6 / count;
}

// The median of kWindows windows of kWindowLines lines each, from the present size on.
double lineCost(QPlainTextEdit &console, qint64 &held, void (*append)(QPlainTextEdit &))
{
    std::vector<double> windows;
    for (int i = 0; i < kWindows; ++i)
        windows.push_back(timedLines(console, held, kWindowLines, append));
    return bench::median(windows);
}

void appendLine(QPlainTextEdit &console)
{
    appendToConsole(console, line());
}

struct SideBySide {
    double large;   // CPU µs per line in the large console
    double small;   // the same in a console of about 1k lines, taken in turns with it
};

// The large console's cost per line beside a small one's, windows taken in turns, so
// that both meet the same load from the rest of the machine.
SideBySide sideBySide(QPlainTextEdit &large, qint64 &held, QPlainTextEdit &small)
{
    small.clear();
    qint64 smallHeld = 0;
    fill(small, smallHeld, 1000, appendLine);
    std::vector<double> largeWindows, smallWindows;
    for (int i = 0; i < kWindows; ++i) {
        smallWindows.push_back(timedLines(small, smallHeld, kWindowLines, appendLine));
        largeWindows.push_back(timedLines(large, held, kWindowLines, appendLine));
    }
    return {bench::median(largeWindows), bench::median(smallWindows)};
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const std::unique_ptr<TcpPanel> ours = shownPanel();
    QPlainTextEdit &console = consoleOf(*ours);
    console.clear();
    qint64 held = 0;

    // For a profiler: fill to N lines, then time lines there, e.g. under
    // valgrind --tool=callgrind --toggle-collect='*lineCost*'.
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 3 && arguments[1] == u"--profile-at") {
        fill(console, held, arguments[2].toLongLong(), appendLine);
        lineCost(console, held, appendLine);
        return 0;
    }

    const std::unique_ptr<TcpPanel> smallPanel = shownPanel();
    QPlainTextEdit &small = consoleOf(*smallPanel);

    const long residentBefore = bench::residentBytes();
    const double fillStart = bench::monotonicSeconds();
    fill(console, held, 1000, appendLine);
    const double at1k = lineCost(console, held, appendLine);
    fill(console, held, 100'000, appendLine);
    const SideBySide at100k = sideBySide(console, held, small);
    QCoreApplication::processEvents();
    const double residentAtCapacityMB = static_cast<double>(bench::residentBytes() - residentBefore) / 1e6;
    fill(console, held, 1'000'000, appendLine);
    const SideBySide at1M = sideBySide(console, held, small);
    const double fillSeconds = bench::monotonicSeconds() - fillStart;
    QCoreApplication::processEvents();
    const double residentMB = static_cast<double>(bench::residentBytes() - residentBefore) / 1e6;

    // The naive console, up to where a single line takes too long or the budget is spent.
    const std::unique_ptr<TcpPanel> naivePanel = shownPanel();
    QPlainTextEdit &naive = consoleOf(*naivePanel);
    naive.clear();
    qint64 naiveHeld = 0;
    const double naiveStart = bench::monotonicSeconds();
    fill(naive, naiveHeld, 1000, rewriteWhole);
    const double naiveAt1k = timedLines(naive, naiveHeld, kWindowLines, rewriteWhole);
    double naiveLast = naiveAt1k;
    while (bench::monotonicSeconds() - naiveStart < kNaiveBudgetSeconds && naiveLast < kUnbearableSeconds * 1e6)
        naiveLast = timedLines(naive, naiveHeld, kWindowLines, rewriteWhole);

    using bench::figure;
    bench::row(QStringLiteral("(3) console CPU µs/line at 1k lines"), figure(at1k), figure(naiveAt1k),
               bench::times(at1k / naiveAt1k), QStringLiteral("—"), QStringLiteral("—"));
    bench::row(QStringLiteral("(3) console CPU µs/line at 100k lines"), figure(at100k.large),
               QStringLiteral("%1 at %2 lines, then stopped").arg(figure(naiveLast)).arg(naiveHeld),
               bench::times(at100k.large / naiveLast), QStringLiteral("—"), QStringLiteral("—"));
    bench::row(QStringLiteral("(3) console CPU µs/line at 1M lines, and ÷ at 1k taken in turns with it"),
               QStringLiteral("%1 (1k: %2)").arg(figure(at1M.large), figure(at1M.small)), QStringLiteral("not reached"),
               bench::times(at1M.large / at1M.small) + QStringLiteral(" of 1k"), QStringLiteral("≤ 1.3× of 1k"),
               bench::yesNo(at1M.large <= 1.3 * at1M.small));
    bench::row(QStringLiteral("(3) console resident memory at its capacity of %1 lines, then after 1M lines (MB)")
                   .arg(kConsoleCapacityLines),
               QStringLiteral("%1, then %2").arg(figure(residentAtCapacityMB), figure(residentMB)),
               QStringLiteral("—"), QStringLiteral("—"),
               QStringLiteral("%1 B of text a line").arg(line().size() * 2), QStringLiteral("—"));
    QTextStream(stdout) << "NOTE|(3) at 100k lines a line cost " << bench::times(at100k.large / at100k.small)
                        << " of one at 1k taken in turns with it; filling 1M lines took " << figure(fillSeconds) << " s"
                        << Qt::endl;
    return 0;
}
