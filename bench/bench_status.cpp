// Status frames applied in process, through the receive dispatch, on the offscreen
// platform; beside a naive writer over the same widgets.

#include "BenchPanel.h"
#include "BenchSupport.h"

#include "Gui/TcpPanel.h"
#include "Gui/Panels.h"
#include "sim/Instrument.h"
#include "status/StatusFrame.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>

#include <functional>
#include <memory>

namespace {

constexpr double kRunSeconds = 0.3;       // of CPU time, which other processes' load leaves alone
constexpr int kRounds = 7;
constexpr int kFramesPerEventPass = 256;   // posted events are let through this often, for both
constexpr int kVariants = 1024;            // even: every coloured box alarms; odd: none does

QByteArray changingFrame(int k)
{
    return encodeStatusFrame(changingReadings(k));
}

// The toolkit's share alone: the same widget writes as the panel makes, with every text,
// colour and switch state computed beforehand, and no guard, decoding or dispatch.
class WidgetWritesOnly
{
public:
    WidgetWritesOnly(FormMain &panel, const std::vector<QByteArray> &frames)
    {
        for (std::size_t i = 0; i < kReadbacks.size(); ++i)
            m_boxes[i] = panel.findChild<QLineEdit *>(QString::fromLatin1(kReadbackBoxes[i].data()));
        for (std::size_t i = 0; i < kSwitches.size(); ++i)
            m_switches[i] = panel.findChild<QCheckBox *>(QString::fromLatin1(kSwitchBoxes[i].data()));
        for (const QByteArray &frame : frames)
            m_displays.push_back(renderReadbacks(decodeStatusFrame(frame)));
    }

    void apply()
    {
        const ReadbackDisplay &display = m_displays[m_next++ % m_displays.size()];
        for (std::size_t i = 0; i < kReadbacks.size(); ++i) {
            if (m_boxes[i]->text() != display.texts[i])
                m_boxes[i]->setText(display.texts[i]);
            if (kReadbacks[i].range == RangeRule::None)
                continue;
            const QColor colour = display.alarm[i] ? QColor(255, 160, 160) : QColor(Qt::white);
            if (m_boxes[i]->palette().color(QPalette::Base) != colour) {
                QPalette palette = m_boxes[i]->palette();
                palette.setColor(QPalette::Base, colour);
                m_boxes[i]->setPalette(palette);
            }
        }
        for (std::size_t i = 0; i < m_switches.size(); ++i)
            m_switches[i]->setChecked(display.checked[i]);
    }

private:
    std::array<QLineEdit *, kReadbackCount> m_boxes{};
    std::array<QCheckBox *, kSwitchCount> m_switches{};
    std::vector<ReadbackDisplay> m_displays;
    std::size_t m_next = 0;
};

// Frames per CPU second of `apply` over `frames`, cycled, for kRunSeconds.
double framesPerSecond(const std::vector<QByteArray> &frames, const std::function<void(QByteArrayView)> &apply)
{
    qint64 count = 0;
    const double start = bench::cpuSeconds();
    double now = start;
    while (now - start < kRunSeconds) {
        for (int i = 0; i < kFramesPerEventPass; ++i, ++count)
            apply(frames[static_cast<std::size_t>(count % static_cast<qint64>(frames.size()))]);
        QCoreApplication::processEvents();
        now = bench::cpuSeconds();
    }
    return static_cast<double>(count) / (now - start);
}

std::unique_ptr<TcpPanel> shownPanel()
{
    auto panel = std::make_unique<TcpPanel>(TcpLink::Options{Clock::manual(Clock::system().steadySeconds, QTime::currentTime())});
    panel->show();
    QCoreApplication::processEvents();
    return panel;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const std::unique_ptr<TcpPanel> ours = shownPanel();
    const std::unique_ptr<TcpPanel> naivePanel = shownPanel();
    bench::NaiveWriter naive(*naivePanel);
    const std::unique_ptr<TcpPanel> floorPanel = shownPanel();

    std::vector<QByteArray> changing;
    for (int k = 0; k < kVariants; ++k)
        changing.push_back(changingFrame(k));
    const std::vector<QByteArray> identical{changingFrame(1)};
    WidgetWritesOnly floor(*floorPanel, changing);

    const auto deliver = [&](QByteArrayView frame) { ours->deliverArrival(frame); };
    const auto write = [&](QByteArrayView frame) { naive.apply(frame); };

    // For a profiler: a fixed count of one workload, e.g. under valgrind --tool=callgrind.
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 4 && arguments[1] == u"--profile") {
        const std::vector<QByteArray> &frames = arguments[2] == u"identical" ? identical : changing;
        const int count = arguments[3].toInt();
        for (int i = 0; i < count; ++i) {
            deliver(frames[static_cast<std::size_t>(i) % frames.size()]);
            if (i % kFramesPerEventPass == 0)
                QCoreApplication::processEvents();
        }
        return 0;
    }

    std::vector<double> oursChanging, naiveChanging, oursIdentical, naiveIdentical, floorChanging;
    for (int round = 0; round < kRounds; ++round) {
        oursChanging.push_back(framesPerSecond(changing, deliver));
        floorChanging.push_back(framesPerSecond(changing, [&](QByteArrayView) { floor.apply(); }));
        naiveChanging.push_back(framesPerSecond(changing, write));
        oursIdentical.push_back(framesPerSecond(identical, deliver));
        naiveIdentical.push_back(framesPerSecond(identical, write));
    }

    const double oc = bench::median(oursChanging);
    const double nc = bench::median(naiveChanging);
    const double oi = bench::median(oursIdentical);
    const double ni = bench::median(naiveIdentical);
    bench::row(QStringLiteral("(1) status frames per CPU second, every value changing"), bench::figure(oc), bench::figure(nc),
               bench::times(oc / nc), QStringLiteral("≥ 50000/s and ≥ 2×"), bench::yesNo(oc >= 50000 && oc / nc >= 2));
    bench::row(QStringLiteral("(1) status frames per CPU second, identical frames"), bench::figure(oi), bench::figure(ni),
               bench::times(oi / ni), QStringLiteral("≥ 500000/s and ≥ 20×"),
               bench::yesNo(oi >= 500000 && oi / ni >= 20));
    QTextStream(stdout) << "NOTE|(1) the widget writes alone, every value changing, texts computed beforehand: "
                        << bench::figure(bench::median(floorChanging)) << " frames per CPU second" << Qt::endl;
    return 0;
}
