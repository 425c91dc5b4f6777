// Alarm episodes on a scripted clock, the journal's rows, the frame ring, the capture's
// window, a capture written through a link and played back by norvane-sim --replay, and
// who is called when.

#include "TestSupport.h"

#include "Gui/AlarmAttention.h"
#include "alarms/AlarmMonitor.h"
#include "history/RecordingFormat.h"
#include "link/TcpLink.h"
#include "tests/support/SimProcess.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

namespace {

StatusReadings inRangeReadings()
{
    StatusReadings readings;
    readings.values.fill(2000);
    readings.values[1] = readings.values[3] = 50;   // the TECs
    return readings;
}

int readingIndex(const QString &field)
{
    for (int i = 0; i < kReadbackCount; ++i) {
        if (QLatin1String(kReadbacks[static_cast<std::size_t>(i)].field.data(),
                          qsizetype(kReadbacks[static_cast<std::size_t>(i)].field.size())) == field)
            return i;
    }
    return -1;
}

// "T FIELD=V ..." a frame at T with those readings changed from in-range ones;
// "T down" the link lost; "T tick" a round with no frame.
QString runScript(const QString &script)
{
    AlarmTracker tracker;
    for (const QString &step : script.split(u';', Qt::SkipEmptyParts)) {
        const QStringList words = step.simplified().split(u' ');
        const double time = words.at(0).toDouble();
        if (words.size() > 1 && words.at(1) == QLatin1String("down")) {
            tracker.linkDown(time);
        } else if (words.size() > 1 && words.at(1) == QLatin1String("tick")) {
            tracker.tick(time);
        } else {
            StatusReadings readings = inRangeReadings();
            for (const QString &change : words.mid(1))
                readings.values[static_cast<std::size_t>(readingIndex(change.section(u'=', 0, 0)))] =
                    change.section(u'=', 1).toInt();
            tracker.status(readings, time);
        }
    }
    QStringList episodes;
    for (const Episode &e : tracker.episodes()) {
        episodes << QStringLiteral("%1 %2..%3 %4 %5")
                        .arg(alarmName(e.alarm), QString::number(e.began),
                             e.active() ? QStringLiteral("") : QString::number(e.ended),
                             e.firstOut ? QStringLiteral("first") : QStringLiteral("cons"),
                             e.worst < 0 ? QString() : QString::number(e.worst))
                        .trimmed();
    }
    return episodes.join(QStringLiteral("; "));
}

QByteArray frameAt(int ecltec)
{
    StatusReadings readings = inRangeReadings();
    readings.values[1] = ecltec;
    return encodeStatusFrame(readings);
}

} // namespace

class TestAlarms : public QObject
{
    Q_OBJECT

private slots:
    void episodes_data();
    void episodes();
    void journalRows_data();
    void journalRows();
    void ringKeepsTheNewest_data();
    void ringKeepsTheNewest();
    void captureWindow_data();
    void captureWindow();
    void captureReplaysThroughTheSimulator();
    void removedFolderStopsWithOneLine();
    void notifiesFirstFaultsSparingly();
};

void TestAlarms::episodes_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("expected");

    QTest::newRow("bounds are in range") << "0 EclTec=11; 1 EclTec=90; 2 EclPd=101; 3 EclPd=3999; 4 InjTemp=101" << "";
    QTest::newRow("just below and above") << "0 EclTec=10; 1 EclPd=4000" << "EclTec 0.. first 10; EclPd 1.. cons 4000";
    QTest::newRow("flicker is one episode")
        << "0 EclTec=10; 0.5; 1 EclTec=9; 1.5; 2 EclTec=10; 3; 4.9; 5" << "EclTec 0..5 first 9";
    QTest::newRow("hold short of 2 s goes on") << "0 InjTec=95; 1; 2.9" << "InjTec 0.. first 95";
    QTest::newRow("a round ends an expired hold") << "0 InjTec=95; 1; 3 tick" << "InjTec 0..3 first 95";
    QTest::newRow("worst is furthest out") << "0 EclTemp=100; 1 EclTemp=4000; 2 EclTemp=50; 3 EclTemp=4040"
                                           << "EclTemp 0.. first 50";
    QTest::newRow("consequence, then a new first-out")
        << "0 EclTec=5; 1 InjTec=5; 1.5; 4 ; 10 EclPd=5" << "EclTec 0..4 first 5; InjTec 1..4 cons 5; EclPd 10.. first 5";
    QTest::newRow("one frame: table order stands first") << "0 InjTemp=1 EclPd=1" << "EclPd 0.. first 1; InjTemp 0.. cons 1";
    QTest::newRow("link until the next frame") << "0; 1 down; 2 down; 5" << "Link 1..5 first";
    QTest::newRow("out on the frame that brings the link back")
        << "1 down; 5 EclTec=5" << "Link 1..5 first; EclTec 5.. cons 5";
}

void TestAlarms::episodes()
{
    QFETCH(QString, script);
    QFETCH(QString, expected);
    // A bare time is a frame with every reading in range.
    QCOMPARE(runScript(script), expected);
}

void TestAlarms::journalRows_data()
{
    QTest::addColumn<int>("event");
    QTest::addColumn<QString>("alarm");
    QTest::addColumn<int>("value");   // -1: none
    QTest::addColumn<int>("firstOut");   // -1: none
    QTest::addColumn<QString>("incident");
    QTest::addColumn<QByteArray>("row");

    const int began = int(JournalEvent::Began);
    QTest::newRow("first-out") << began << "EclTec" << 5 << 1 << "incident-20261208-185610-EclTec.csv"
                               << QByteArray("2026-12-08T18:56:10.123Z,began,EclTec,5,1,incident-20261208-185610-EclTec.csv\r\n");
    QTest::newRow("consequence") << began << "InjTec" << 0 << 0 << "" << QByteArray("2026-12-08T18:56:10.123Z,began,InjTec,0,0,\r\n");
    QTest::newRow("link") << began << "Link" << -1 << 1 << "a,b.csv" << QByteArray("2026-12-08T18:56:10.123Z,began,Link,,1,\"a,b.csv\"\r\n");
    QTest::newRow("ended") << int(JournalEvent::Ended) << "EclPd" << 4095 << -1 << "" << QByteArray("2026-12-08T18:56:10.123Z,ended,EclPd,4095,,\r\n");
    QTest::newRow("acknowledged") << int(JournalEvent::Acknowledged) << "EclPd" << -1 << -1 << ""
                                  << QByteArray("2026-12-08T18:56:10.123Z,acknowledged,EclPd,,,\r\n");
}

void TestAlarms::journalRows()
{
    QFETCH(int, event);
    QFETCH(QString, alarm);
    QFETCH(int, value);
    QFETCH(int, firstOut);
    QFETCH(QString, incident);
    QFETCH(QByteArray, row);
    // Written in UTC whatever zone the time carries.
    const QDateTime time(QDate(2026, 12, 8), QTime(19, 56, 10, 123), QTimeZone(3600));
    QCOMPARE(journalRow(time, JournalEvent(event), alarm, value < 0 ? std::nullopt : std::optional<int>(value),
                        firstOut < 0 ? std::nullopt : std::optional<bool>(firstOut == 1), incident),
             row);
}

void TestAlarms::ringKeepsTheNewest_data()
{
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("pushed");
    QTest::newRow("empty") << 3 << 0;
    QTest::newRow("not yet full") << 3 << 2;
    QTest::newRow("wrapped twice") << 3 << 7;
    QTest::newRow("one slot") << 1 << 4;
}

void TestAlarms::ringKeepsTheNewest()
{
    QFETCH(int, capacity);
    QFETCH(int, pushed);
    FrameRing ring{std::size_t(capacity)};
    for (int i = 0; i < pushed; ++i)
        ring.push(frameAt(i), i);
    QCOMPARE(ring.size(), std::size_t(std::min(capacity, pushed)));
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const int expected = pushed - int(ring.size()) + int(i);
        QCOMPARE(ring.at(i).steady, double(expected));
        QCOMPARE(QByteArray(ring.at(i).bytes.data(), 33), frameAt(expected));
    }
}

void TestAlarms::captureWindow_data()
{
    QTest::addColumn<double>("trip");
    QTest::addColumn<double>("finishAt");   // when the run ends
    QTest::addColumn<double>("first");
    QTest::addColumn<double>("last");
    QTest::addColumn<int>("messages");

    // Frames each second from 0; messages at 0.5 past every tenth.
    QTest::newRow("a minute before, half a minute after") << 100.0 << 200.0 << 40.0 << 130.0 << 9;
    QTest::newRow("since start-up when less") << 20.0 << 200.0 << 0.0 << 50.0 << 5;
    QTest::newRow("at exit, what there is") << 100.0 << 109.0 << 40.0 << 109.0 << 7;
}

void TestAlarms::captureWindow()
{
    QFETCH(double, trip);
    QFETCH(double, finishAt);
    QFETCH(double, first);
    QFETCH(double, last);
    QFETCH(int, messages);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("capture.csv"));
    const QDateTime tripUtc(QDate(2026, 12, 8), QTime(18, 0), Qt::UTC);
    {
        IncidentCaptures captures;
        for (int t = 0; t <= int(finishAt); ++t) {
            QVERIFY(captures.addFrame(frameAt(t % 100), t).isEmpty());
            if (t == int(trip))
                QVERIFY(captures.begin(path, trip, tripUtc).isEmpty());
            if (t % 10 == 0)
                QVERIFY(captures.addMessage(QStringLiteral("m%1").arg(t), t + 0.5).isEmpty());
        }
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList rows = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
    QCOMPARE(rows.takeFirst() + QStringLiteral("\r\n"), QString::fromUtf8(recordingHeader()));
    QCOMPARE(rows.takeLast(), QString());   // every row ends in CR LF

    const auto frameRow = [&](double t) {
        return QString::fromUtf8(statusRow(tripUtc.addSecs(qint64(t - trip)), t - first,
                                           decodeStatusFrame(frameAt(int(t) % 100))))
            .chopped(2);
    };
    QCOMPARE(rows.constFirst(), frameRow(first));
    QCOMPARE(rows.constLast(), frameRow(last));
    QCOMPARE(rows.filter(QRegularExpression(QStringLiteral(",m\\d+$"))).size(), messages);
    QCOMPARE(rows.size(), int(last - first) + 1 + messages);
}

void TestAlarms::captureReplaysThroughTheSimulator()
{
    QTemporaryDir dir;
    FakeClock clock;
    TcpLink link({.clock = clock.clock()});
    AlarmMonitor::Options options;
    options.wallClock = [&] { return QDateTime(QDate(2026, 12, 8), QTime(18, 0), Qt::UTC).addMSecs(qint64(clock.now * 1000)); };
    options.captures.beforeSeconds = 1;
    options.captures.afterSeconds = 0.5;
    AlarmMonitor monitor(link, options);
    monitor.subscribe();
    QVERIFY(monitor.keepOnDisk(dir.filePath(QStringLiteral("made/here"))));

    // Frames 1/8 s apart; EclTec drops out at the 20th and comes back at once.
    QList<QByteArray> sent;
    for (int i = 0; i < 40; ++i) {
        clock.now += 0.125;
        sent << frameAt(i == 20 ? 3 : 20 + i);
        link.deliverArrival(sent.constLast());
    }
    emit link.supervised();
    QCOMPARE(monitor.tracker().episodes().size(), std::size_t(1));
    const QString capture = monitor.incidentPath(0);
    QCOMPARE(QFileInfo(capture).fileName(), QStringLiteral("incident-20261208-181642-EclTec.csv"));

    clock.now += 1;
    monitor.acknowledgeAll();
    QFile journal(dir.filePath(QStringLiteral("made/here/alarms.csv")));
    QVERIFY(journal.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = journal.readAll().split('\n');
    QCOMPARE(rows.at(0), QByteArray("time_utc,event,alarm,value,first_out,incident\r"));
    QCOMPARE(rows.at(1), QByteArray("2026-12-08T18:16:42.625Z,began,EclTec,3,1,incident-20261208-181642-EclTec.csv\r"));
    QCOMPARE(rows.at(2), QByteArray("2026-12-08T18:16:44.750Z,ended,EclTec,3,,\r"));
    QCOMPARE(rows.at(3), QByteArray("2026-12-08T18:16:46.000Z,acknowledged,EclTec,,,\r"));

    SimProcess replay(QStringLiteral(NORVANE_SIM_PATH));
    replay.start({QStringLiteral("--replay"), capture, QStringLiteral("--speed"), QStringLiteral("4"), QStringLiteral("--quiet")});
    QVERIFY2(replay.waitForListening(), qPrintable(replay.errorString()));
    TcpLink player({.clock = clock.clock()});
    player.address() = {QStringLiteral("127.0.0.1"), QString::number(replay.port())};
    QList<QByteArray> played;
    connect(&player, &Link::statusFrameArrived, this, [&](QByteArrayView frame) { played << frame.toByteArray(); });
    player.start();
    // One second before the trip and half a second after: the 12th to the 24th frames.
    QTRY_COMPARE_WITH_TIMEOUT(played.size(), 13, 20000);
    QCOMPARE(played, sent.mid(12, 13));
}

void TestAlarms::removedFolderStopsWithOneLine()
{
    QTemporaryDir dir;
    FakeClock clock;
    TcpLink link({.clock = clock.clock()});
    AlarmMonitor monitor(link);
    monitor.subscribe();
    QSignalSpy lines(&monitor, &AlarmMonitor::logged);
    const QString folder = dir.filePath(QStringLiteral("incidents"));
    QVERIFY(monitor.keepOnDisk(folder));
    QVERIFY(QDir(folder).removeRecursively());
    for (const int tec : {3, 50, 50, 50, 3}) {
        clock.now += 1.5;
        link.deliverArrival(frameAt(tec));
    }
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.at(0).at(0).toString().startsWith(QStringLiteral(" Incidents stopped: ")),
             qPrintable(lines.at(0).at(0).toString()));
    QVERIFY(!monitor.keepsOnDisk());
    QCOMPARE(monitor.tracker().episodes().size(), std::size_t(2));   // the panel goes on
}

void TestAlarms::notifiesFirstFaultsSparingly()
{
    FakeClock clock;
    TcpLink link({.clock = clock.clock()});
    AlarmMonitor monitor(link);
    monitor.subscribe();
    QWidget window;
    AlarmAttention attention(monitor, window, [&] { return clock.now; }, [] { return QStringLiteral("bench 7"); });
    QStringList notes;
    attention.setNotifier([&](const QString &summary, const QString &body) { notes << summary + u'|' + body; });

    const auto at = [&](double t, int ecltec, int injtec = 50) {
        clock.now = 1000 + t;
        StatusReadings readings = inRangeReadings();
        readings.values[1] = ecltec;
        readings.values[3] = injtec;
        link.deliverArrival(encodeStatusFrame(readings));
    };
    at(0, 5);
    at(1, 5, 0);     // a consequence: no word
    at(2, 50);
    at(10, 4);       // a new first fault, within the minute: none
    at(20, 50);
    at(70, 3);       // a minute on: one
    QCOMPARE(notes, QStringList({QStringLiteral("EclTec alarm on bench 7|EclTec reads TEC: 5"),
                                 QStringLiteral("EclTec alarm on bench 7|EclTec reads TEC: 3")}));
}

QTEST_MAIN(TestAlarms)
#include "tst_alarms.moc"
