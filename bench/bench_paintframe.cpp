// One frame's cost, apply and paint apart, for a profiler and for counting: the shown
// panel (on whatever platform runs it) takes N frames with every value changing through
// its receive dispatch, and after each one paints what the frame left dirty, as the
// event loop does once per display frame. Load-independent: run it under
//   valgrind --tool=callgrind --toggle-collect='*paintFrames*' bench_paintframe N
// and divide by N. Without valgrind it prints the events each frame sends, by type and
// receiver, and the paint events' area.
// --grab FILE saves the window as the last frame left it, to compare two builds pixel
// for pixel.
//   bench_paintframe FRAMES [--grab FILE]

#include "BenchSupport.h"

#include "Gui/TcpPanel.h"
#include "Gui/RepaintThrottle.h"
#include "sim/Instrument.h"
#include "status/StatusFrame.h"

#include <QApplication>
#include <QPaintEvent>

#include <map>
#include <memory>

namespace {

constexpr int kWarmUpFrames = 16;

QString describe(const QObject *object)
{
    const QString name = object->objectName();
    return QString::fromLatin1(object->metaObject()->className())
        + (name.isEmpty() ? QString() : QStringLiteral(" ") + name);
}

// Every event the application delivers, by type and receiver; paint events by area too.
class EventCounter final : public QObject
{
public:
    bool counting = false;
    std::map<std::pair<int, QString>, qint64> events;
    qint64 paintedPixels = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!counting)
            return false;
        ++events[{static_cast<int>(event->type()), describe(watched)}];
        if (event->type() == QEvent::Paint) {
            for (const QRect &rect : static_cast<QPaintEvent *>(event)->region())
                paintedPixels += static_cast<qint64>(rect.width()) * rect.height();
        }
        return false;
    }
};

// What the event loop does for a frame: the arrival applied, then the window's paint.
Q_NEVER_INLINE void applyFrame(TcpPanel &panel, QByteArrayView frame)
{
    panel.deliverArrival(frame);
}

Q_NEVER_INLINE void paintPending()
{
    QCoreApplication::sendPostedEvents();
}

Q_NEVER_INLINE void paintFrames(TcpPanel &panel, int first, int count)
{
    for (int k = first; k < first + count; ++k) {
        applyFrame(panel, encodeStatusFrame(changingReadings(k)));
        paintPending();
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int frames = argc > 1 ? QByteArray(argv[1]).toInt() : 100;

    auto panel = std::make_unique<TcpPanel>(TcpLink::Options{Clock::manual(Clock::system().steadySeconds, QTime::currentTime())});
    // The throttle holds paints to the wall clock; here every frame paints, as at 10/s.
    panel->removeEventFilter(panel->findChild<RepaintThrottle *>());
    panel->show();
    for (int i = 0; i < 50; ++i)
        QCoreApplication::processEvents();

    EventCounter counter;
    app.installEventFilter(&counter);
    paintFrames(*panel, 0, kWarmUpFrames);
    counter.counting = true;
    paintFrames(*panel, kWarmUpFrames, frames);
    counter.counting = false;
    if (argc > 3 && QByteArray(argv[2]) == "--grab")
        panel->grab().save(QString::fromLocal8Bit(argv[3]));

    QTextStream out(stdout);
    out << "events per frame over " << frames << " frames, by type and receiver:" << Qt::endl;
    std::vector<std::pair<qint64, QString>> sorted;
    for (const auto &[key, count] : counter.events)
        sorted.emplace_back(count, QStringLiteral("%1 %2").arg(key.first, 4).arg(key.second));
    std::sort(sorted.rbegin(), sorted.rend());
    qint64 total = 0;
    for (const auto &[count, what] : sorted) {
        total += count;
        out << QString::number(static_cast<double>(count) / frames, 'f', 2).rightJustified(8) << "  " << what << Qt::endl;
    }
    out << "total " << static_cast<double>(total) / frames << " events, "
        << static_cast<double>(counter.paintedPixels) / frames << " painted pixels per frame" << Qt::endl;
    return 0;
}
