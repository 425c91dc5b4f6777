// The trend history: buckets, spikes through every coarsening, gaps, and its memory bound.

#include "history/TrendHistory.h"

#include "ReadingsSupport.h"

#include <QTest>

#include <cmath>

namespace {

constexpr int kEclPd = 0;
constexpr int kPot = 7;
constexpr int kNarrow = kReadbackCount + 4;   // chkNarrow, bit 0x10
constexpr double kStart = 1000.0;
constexpr double kHour = 3600.0;
constexpr int kTrendFill = 2000;   // every reading but the one a test picks out

QList<double> valuesOf(const std::vector<TrendPoint> &points)
{
    QList<double> values;
    for (const TrendPoint &point : points)
        values << point.value;
    return values;
}

int gapsIn(const std::vector<TrendPoint> &points)
{
    return static_cast<int>(std::count_if(points.begin(), points.end(),
                                          [](const TrendPoint &point) { return std::isnan(point.value); }));
}

// The lowest and highest value drawn, gaps aside.
std::pair<double, double> extremes(const std::vector<TrendPoint> &points)
{
    std::pair<double, double> range{1e9, -1};
    for (const TrendPoint &point : points) {
        if (!std::isnan(point.value))
            range = {std::min(range.first, point.value), std::max(range.second, point.value)};
    }
    return range;
}

} // namespace

class TestTrendHistory : public QObject
{
    Q_OBJECT

private slots:
    void bucketKeepsMinAndMax_data();
    void bucketKeepsMinAndMax();
    void spikeSurvivesEveryCoarsening_data();
    void spikeSurvivesEveryCoarsening();
    void gapsBreakTheLine_data();
    void gapsBreakTheLine();
    void pointsFollowColumnsNotLength_data();
    void pointsFollowColumnsNotLength();
    void bulkRunMatchesFrameByFrame();
    void memoryStaysBounded_data();
    void memoryStaysBounded();
    void visitGivesBucketsThenRawWithMessages();
};

void TestTrendHistory::bucketKeepsMinAndMax_data()
{
    QTest::addColumn<int>("trace");
    QTest::addColumn<QList<int>>("values");   // one frame every 0.1 s, all in one minute
    QTest::addColumn<QList<double>>("bucket");   // what its minute's bucket gives

    QTest::newRow("constant gives one point") << kPot << QList<int>{5, 5, 5} << QList<double>{5};
    QTest::newRow("rising") << kPot << QList<int>{1, 2, 3, 4} << QList<double>{1, 4};
    QTest::newRow("falling") << kPot << QList<int>{9, 7, 3} << QList<double>{3, 9};
    QTest::newRow("one-frame spike") << kEclPd << QList<int>{10, 10, 4095, 10, 10} << QList<double>{10, 4095};
    QTest::newRow("one-frame dip") << kEclPd << QList<int>{300, 0, 300} << QList<double>{0, 300};
    QTest::newRow("switch on for one frame") << kNarrow << QList<int>{0, 0x10, 0} << QList<double>{0, 1};
    QTest::newRow("switch off for one frame") << kNarrow << QList<int>{0x10, 0, 0x10} << QList<double>{0, 1};
}

void TestTrendHistory::bucketKeepsMinAndMax()
{
    QFETCH(int, trace);
    QFETCH(QList<int>, values);
    QFETCH(QList<double>, bucket);

    TrendHistory history(kStart, QDateTime::currentDateTimeUtc());
    const double minute = std::floor(kStart / 60) * 60 + 60;   // the start of a 60 s bucket
    for (qsizetype i = 0; i < values.size(); ++i) {
        const double time = minute + 0.1 * static_cast<double>(i);
        if (trace < kReadbackCount)
            history.addStatus(readingsWith(kTrendFill, trace, values[i]), time);
        else
            history.addStatus(readingsWith(kTrendFill, kPot, 0, static_cast<std::uint8_t>(values[i])), time);
    }
    // An hour on 60 columns: one 60 s bucket per column.
    QCOMPARE(valuesOf(history.plotPoints(trace, minute - kHour / 2, minute + kHour / 2, 60)), bucket);
    // Full rate at a fine span sees every frame, in order.
    QList<double> frames;
    for (int value : values)
        frames << (trace < kReadbackCount ? value : (value ? 1 : 0));
    QCOMPARE(valuesOf(history.plotPoints(trace, minute - 1, minute + 1, 2000)), frames);
}

void TestTrendHistory::spikeSurvivesEveryCoarsening_data()
{
    QTest::addColumn<double>("hoursAfter");   // how long the history ran on after the spike

    // Still at full rate; then only in 1 s, 10 s and 60 s buckets.
    QTest::newRow("6 min after") << 0.1;
    QTest::newRow("20 h after") << 20.0;
    QTest::newRow("40 h after") << 40.0;
    QTest::newRow("100 h after") << 100.0;
}

void TestTrendHistory::spikeSurvivesEveryCoarsening()
{
    QFETCH(double, hoursAfter);

    // 1000 frames/s on both sides of one frame with a spike in EclPd and a dip in Pot.
    TrendHistory history(kStart, QDateTime::currentDateTimeUtc());
    StatusReadings calm = readingsWith(kTrendFill, kEclPd, 2000);
    history.addRun(calm, kStart, 0.001, 600'000);
    const double spike = kStart + 600;
    StatusReadings odd = readingsWith(kTrendFill, kEclPd, 4095);
    odd.values[kPot] = 0;
    history.addStatus(odd, spike);
    history.addRun(calm, spike + 0.001, 0.001, static_cast<std::int64_t>(hoursAfter * kHour * 1000));

    // Every span at a narrow and a wide plot, each drawing on its own tier.
    for (const double span : {60.0, kHour, 24 * kHour}) {
        for (const int columns : {50, 1000}) {
            const QByteArray row = QByteArray::number(span) + " s on " + QByteArray::number(columns);
            const std::vector<TrendPoint> pd = history.plotPoints(kEclPd, spike - span / 2, spike + span / 2, columns);
            const std::vector<TrendPoint> pot = history.plotPoints(kPot, spike - span / 2, spike + span / 2, columns);
            QVERIFY2(extremes(pd) == std::pair(2000.0, 4095.0), row);
            QVERIFY2(extremes(pot).first == 0.0, row);
            QVERIFY2(gapsIn(pd) == 0, row);
            QVERIFY2(pd.size() <= static_cast<std::size_t>(2 * columns + 4), row);
        }
    }
}

void TestTrendHistory::gapsBreakTheLine_data()
{
    QTest::addColumn<double>("silence");      // seconds between the two stretches of frames
    QTest::addColumn<bool>("linkDown");       // the link went down in between
    QTest::addColumn<double>("span");         // seconds shown
    QTest::addColumn<int>("gaps");

    QTest::newRow("6 s silence") << 6.0 << false << 120.0 << 1;
    QTest::newRow("5 s is the limit, no gap") << 5.0 << false << 120.0 << 0;
    QTest::newRow("link down, back after 1 s") << 1.0 << true << 120.0 << 1;
    QTest::newRow("an hour's silence at 1 h span") << kHour << false << kHour << 1;
    // Inside one 60 s bucket: the break shows after the bucket that holds it.
    QTest::newRow("6 s silence at 24 h span") << 6.0 << false << 24 * kHour << 1;
    QTest::newRow("link down at 24 h span") << 1.0 << true << 24 * kHour << 1;
}

void TestTrendHistory::gapsBreakTheLine()
{
    QFETCH(double, silence);
    QFETCH(bool, linkDown);
    QFETCH(double, span);
    QFETCH(int, gaps);

    TrendHistory history(kStart, QDateTime::currentDateTimeUtc());
    history.addRun(readingsWith(kTrendFill, kEclPd, 100), kStart, 0.1, 300);
    const double lastBefore = kStart + 29.9;
    if (linkDown)
        history.addLinkDown(lastBefore + 0.5);
    const double firstAfter = lastBefore + silence;
    history.addRun(readingsWith(kTrendFill, kEclPd, 200), firstAfter, 0.1, 1200);

    const double middle = (lastBefore + firstAfter) / 2;
    const std::vector<TrendPoint> points = history.plotPoints(kEclPd, middle - span / 2, middle + span / 2, 600);
    QCOMPARE(gapsIn(points), gaps);
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (!std::isnan(points[i].value))
            continue;
        // The break stands between the stretches, never drawn as a value.
        QVERIFY(i > 0 && i + 1 < points.size());
        QVERIFY(points[i - 1].time <= points[i].time && points[i].time <= points[i + 1].time);
        if (span <= kHour) {
            QVERIFY(points[i - 1].time <= lastBefore + 1);
            QVERIFY(points[i + 1].time >= firstAfter - 1);
        }
    }
    QCOMPARE(extremes(points), std::pair(100.0, 200.0));
}

void TestTrendHistory::pointsFollowColumnsNotLength_data()
{
    QTest::addColumn<double>("hours");   // of history at 10 frames/s, changing every second

    QTest::newRow("1 h of history") << 1.0;
    QTest::newRow("48 h of history") << 48.0;
}

void TestTrendHistory::pointsFollowColumnsNotLength()
{
    QFETCH(double, hours);

    TrendHistory history(kStart, QDateTime::currentDateTimeUtc());
    const auto seconds = static_cast<int>(hours * kHour);
    for (int second = 0; second < seconds; ++second)
        history.addRun(readingsWith(kTrendFill, kPot, second % 4096), kStart + second, 0.1, 10);
    const double newest = history.newestTime();
    constexpr int kColumns = 800;
    for (const double span : {600.0, kHour, 8 * kHour, 24 * kHour}) {
        if (span > hours * kHour)
            continue;
        for (int trace : {kPot, kNarrow}) {
            const std::vector<TrendPoint> points = history.plotPoints(trace, newest - span, newest, kColumns);
            const QByteArray row = QByteArray::number(span) + " s of trace " + QByteArray::number(trace) + ": "
                                   + QByteArray::number(points.size()) + " points";
            QVERIFY2(points.size() <= 2 * kColumns + 4, row);
            QVERIFY2(points.size() >= kColumns / 2, row);
            QVERIFY2(gapsIn(points) == 0, row);
            for (std::size_t i = 1; i < points.size(); ++i)
                QVERIFY2(points[i - 1].time <= points[i].time, row);
        }
    }
}

void TestTrendHistory::bulkRunMatchesFrameByFrame()
{
    const QDateTime anchor = QDateTime::currentDateTimeUtc();
    TrendHistory one(kStart, anchor);
    TrendHistory bulk(kStart, anchor);
    const StatusReadings readings = readingsWith(kTrendFill, kEclPd, 777, 0x05);
    for (int step = 0; step < 2; ++step) {
        // 70 s at 100/s, then a gap-sized interval, each fed both ways.
        const double first = kStart + 200 * step;
        const double interval = step == 0 ? 0.01 : 6.0;
        const int count = step == 0 ? 7000 : 20;
        for (int i = 0; i < count; ++i)
            one.addStatus(readings, first + interval * i);
        bulk.addRun(readings, first, interval, count);
    }
    QCOMPARE(bulk.rawFrames(), one.rawFrames());
    for (std::size_t tier = 0; tier < TrendHistory::kTiers.size(); ++tier)
        QCOMPARE(bulk.buckets(tier), one.buckets(tier));
    for (const auto &[span, columns] : {std::pair{60.0, 1000}, {kHour, 100}, {kHour, 30}}) {
        for (int trace : {kEclPd, kReadbackCount}) {
            const double to = one.newestTime();
            const std::vector<TrendPoint> a = one.plotPoints(trace, to - span, to, columns);
            const std::vector<TrendPoint> b = bulk.plotPoints(trace, to - span, to, columns);
            QCOMPARE(b.size(), a.size());
            QCOMPARE(gapsIn(b), gapsIn(a));
        }
    }
}

void TestTrendHistory::memoryStaysBounded_data()
{
    QTest::addColumn<double>("rate");

    QTest::newRow("10 frames/s") << 10.0;
    QTest::newRow("1000 frames/s") << 1000.0;
}

void TestTrendHistory::memoryStaysBounded()
{
    QFETCH(double, rate);

    // 26 hours in one-hour runs of readings that change every hour, a long message every
    // minute; the last minute frame by frame.
    TrendHistory history(kStart, QDateTime::currentDateTimeUtc());
    const QString message(5000, u'x');
    const auto perMinute = static_cast<std::int64_t>(rate * 60);
    double time = kStart;
    constexpr int kHours = 26;
    for (int hour = 0; hour < kHours; ++hour) {
        const bool last = hour == kHours - 1;
        history.addRun(readingsWith(kTrendFill, kPot, hour * 100, static_cast<std::uint8_t>(hour & 0x3F)), time, 1 / rate,
                       perMinute * (last ? 59 : 60));
        for (int minute = 0; minute < 60; ++minute)
            history.addMessage(message, time + 60 * minute + 30);
        time += kHour;
    }
    time -= 60;
    for (std::int64_t i = 0; i < perMinute; ++i)
        history.addStatus(readingsWith(kTrendFill, kPot, static_cast<int>(i % 4096)), time + static_cast<double>(i) / rate);

    QVERIFY2(history.memoryBytes() <= 64u * 1024 * 1024, qPrintable(QString::number(history.memoryBytes())));
    QVERIFY(history.rawFrames() <= TrendHistory::kRawFrames);
    QVERIFY(history.messages() <= TrendHistory::kMessages);
    // The day before the newest frame is all there, and plots without a break.
    const double newest = history.newestTime();
    QVERIFY(history.oldestTime() <= newest - 24 * kHour);
    const std::vector<TrendPoint> day = history.plotPoints(kPot, newest - 24 * kHour, newest, 1000);
    QCOMPARE(gapsIn(day), 0);
    QVERIFY(day.front().time <= newest - 24 * kHour + 120);
}

void TestTrendHistory::visitGivesBucketsThenRawWithMessages()
{
    // 20 h at 10/s overflows the raw frames: the oldest part is exported as buckets.
    const QDateTime anchor(QDate(2026, 12, 8), QTime(18, 0), Qt::UTC);
    TrendHistory history(kStart, anchor);
    history.addMessage(QStringLiteral("first"), kStart - 1);
    history.addRun(readingsWith(kTrendFill, kEclPd, 10), kStart, 0.1, 20 * 36000);
    history.addMessage(QStringLiteral("last"), kStart + 20 * kHour);

    QStringList order;
    double previous = -1;
    std::size_t raw = 0;
    std::size_t buckets = 0;
    bool sorted = true;
    double lastBucket = 0;
    double firstRaw = 0;
    const auto seen = [&](double time) {
        sorted = sorted && time >= previous;
        previous = time;
    };
    history.visit({[&](double time, const StatusReadings &) {
                       seen(time);
                       if (raw++ == 0)
                           firstRaw = time;
                   },
                   [&](double time, const StatusReadings &low, const StatusReadings &high) {
                       seen(time);
                       lastBucket = time;
                       ++buckets;
                       QCOMPARE(low.values[kEclPd], 10);
                       QCOMPARE(high.values[kEclPd], 10);
                   },
                   [&](double time, const QString &text) { seen(time); order << text; }});
    QVERIFY(sorted);
    // Each moment once: the last 1 s bucket holds the raw frames it reaches over.
    QVERIFY(raw <= TrendHistory::kRawFrames && raw + 10 >= TrendHistory::kRawFrames);
    QVERIFY(buckets > 0);
    QVERIFY(firstRaw > lastBucket && firstRaw <= lastBucket + 1.0 + 1e-9);
    QCOMPARE(order, (QStringList{QStringLiteral("first"), QStringLiteral("last")}));
    QCOMPARE(history.utcAt(kStart + 1.5), anchor.addMSecs(1500));
}

QTEST_APPLESS_MAIN(TestTrendHistory)
#include "tst_trendhistory.moc"
