// The recorder on a TCP link fed directly, on fake steady and wall rig.

#include "link/TcpLink.h"
#include "recorder/Recorder.h"
#include "history/RecordingFormat.h"
#include "ReadingsSupport.h"
#include "TestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {

const QDateTime kWallStart(QDate(2026, 12, 8), QTime(18, 56, 10, 0), Qt::UTC);

// A link fed by the test, a folder for the recording, and the rig both read.
struct Rig {
    double steady = 500.0;
    QDateTime wall = kWallStart;
    QTemporaryDir dir;
    TcpLink link{linkOptions()};
    QString path = dir.filePath(QStringLiteral("run.csv"));

    TcpLink::Options linkOptions()
    {
        return {Clock::manual([this] { return steady; }, QTime(12, 34, 56))};
    }
    Recorder::Options recorderOptions(std::chrono::milliseconds flushInterval = std::chrono::hours(1))
    {
        return {[this] { return wall; }, flushInterval};
    }
    void advance(int ms)
    {
        steady += ms / 1000.0;
        wall = wall.addMSecs(ms);
    }
};

// A path the process may not create: a read-only folder, or for root, who may write
// anywhere on disk, a read-only kernel file.
QString unwritablePath(const QTemporaryDir &dir)
{
    if (::geteuid() == 0)
        return QStringLiteral("/sys/kernel/notes");
    const QString folder = dir.filePath(QStringLiteral("locked"));
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    return folder + QStringLiteral("/r.csv");
}

} // namespace

class TestRecorder : public QObject
{
    Q_OBJECT

private slots:
    void rowsFollowTheArrivals();
    void nothingBeforeStartOrAfterStop();
    void consoleLinesNameTheFile();
    void timerFlushes();
    void rowsReachTheDiskOnlyWhenFlushed();
    void writeErrorStopsWithOneLine_data();
    void writeErrorStopsWithOneLine();
    void destructionFlushesAndCloses();
    void laterSubscribersStillRun();
};

void TestRecorder::rowsFollowTheArrivals()
{
    Rig rig;
    TcpLink &link = rig.link;
    Recorder recorder(link, rig.recorderOptions());
    const QString &path = rig.path;
    QVERIFY(recorder.start(path));

    rig.advance(100);
    link.deliverArrival(frameOf(2272, 0x21));
    rig.advance(250);
    link.deliverArrival(QByteArray("\xAF" "Bounce, \"Hi!\"\r\n\xB0"));
    rig.advance(1);
    link.deliverArrival(QByteArray("\xA1\x00", 2));   // dropped: no row
    rig.advance(1649);
    link.deliverArrival(frameOf(7, 0x00));
    QVERIFY(recorder.flush());

    const QByteArray expected = recordingHeader()
        + statusRow(kWallStart.addMSecs(100), 0.1, decodeStatusFrame(frameOf(2272, 0x21)))
        + "2026-12-08T18:56:10.350Z,0.350" + QByteArray(kMessageColumn - 1, ',')
        + "\"Bounce, \"\"Hi!\"\"\r\n\xC2\xB0\"\r\n"
        + statusRow(kWallStart.addMSecs(2000), 2.0, decodeStatusFrame(frameOf(7, 0)));
    QCOMPARE(contents(path).split('\n'), expected.split('\n'));
}

void TestRecorder::nothingBeforeStartOrAfterStop()
{
    Rig rig;
    TcpLink &link = rig.link;
    Recorder recorder(link, rig.recorderOptions());
    const QString &path = rig.path;
    link.deliverArrival(frameOf(1, 0));
    QVERIFY(recorder.start(path));
    QVERIFY(!recorder.start(rig.dir.filePath(QStringLiteral("other.csv"))));
    link.deliverArrival(frameOf(2, 0));
    recorder.stop();
    QVERIFY(!recorder.isRecording());
    link.deliverArrival(frameOf(3, 0));
    link.deliverArrival("\xAFlate");

    const QList<QByteArray> rows = contents(path).split('\n');
    QCOMPARE(rows.size(), 3);   // header, one row, the empty rest after the last LF
    QVERIFY(rows[1].startsWith("2026-12-08T18:56:10.000Z,0.000,2,2,"));
    QVERIFY(!QFile::exists(rig.dir.filePath(QStringLiteral("other.csv"))));
}

void TestRecorder::consoleLinesNameTheFile()
{
    Rig rig;
    TcpLink &link = rig.link;
    Recorder recorder(link, rig.recorderOptions());
    QSignalSpy lines(&recorder, &Recorder::logged);
    QSignalSpy changes(&recorder, &Recorder::recordingChanged);
    const QString path = rig.dir.filePath(QStringLiteral("a, b.csv"));

    QVERIFY(recorder.start(path));
    recorder.stop();
    recorder.stop();
    QCOMPARE(consoleTexts(lines), QStringList({QStringLiteral(" Recording to ") + path,
                                               QStringLiteral(" Recording stopped: ") + path}));
    QCOMPARE(changes.size(), 2);
    QCOMPARE(changes.at(0).at(0).toBool(), true);
    QCOMPARE(changes.at(1).at(0).toBool(), false);
}

void TestRecorder::timerFlushes()
{
    Rig rig;
    TcpLink &link = rig.link;
    Recorder recorder(link, rig.recorderOptions(std::chrono::milliseconds(5)));
    const QString &path = rig.path;
    QVERIFY(recorder.start(path));
    link.deliverArrival(frameOf(3, 0));
    QTRY_COMPARE(contents(path).count('\n'), 2);
}

void TestRecorder::rowsReachTheDiskOnlyWhenFlushed()
{
    Rig rig;
    TcpLink &link = rig.link;
    Recorder recorder(link, rig.recorderOptions());
    const QString &path = rig.path;
    QVERIFY(recorder.start(path));
    QCOMPARE(contents(path), recordingHeader());   // the header goes out at once
    link.deliverArrival(frameOf(3, 0));
    QCOMPARE(contents(path), recordingHeader());
    QVERIFY(recorder.flush());
    QCOMPARE(contents(path).count('\n'), 2);

    // a buffer's worth of rows goes out by itself, without waiting for the flush
    for (int i = 0; i < 1000; ++i)
        link.deliverArrival(frameOf(i, 0));
    QVERIFY(contents(path).count('\n') > 2);
}

void TestRecorder::writeErrorStopsWithOneLine_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("disk full") << QStringLiteral("full");
    QTest::newRow("no permission") << QStringLiteral("permission");
    QTest::newRow("no such folder") << QStringLiteral("folder");
    QTest::newRow("file removed while recording") << QStringLiteral("removed");
}

void TestRecorder::writeErrorStopsWithOneLine()
{
    QFETCH(QString, kind);
    Rig rig;
    TcpLink &link = rig.link;
    int statusSeen = 0;
    Recorder recorder(link, rig.recorderOptions());
    QSignalSpy lines(&recorder, &Recorder::logged);
    QSignalSpy changes(&recorder, &Recorder::recordingChanged);

    QString path = rig.path;
    QString reason;
    if (kind == u"full") {
        path = QStringLiteral("/dev/full");
        reason = QStringLiteral("No space left on device");
    } else if (kind == u"permission") {
        path = unwritablePath(rig.dir);
    } else if (kind == u"folder") {
        path = rig.dir.filePath(QStringLiteral("missing/run.csv"));
        reason = QStringLiteral("No such file or directory");
    } else {
        reason = QStringLiteral("The file was removed");
    }
    const bool opens = kind == u"full" || kind == u"removed";

    QCOMPARE(recorder.start(path), kind == u"removed");
    if (kind == u"removed") {
        link.deliverArrival(frameOf(3, 0));
        QVERIFY(QFile::remove(path));
        QVERIFY(!recorder.flush());
    }
    // the link goes on as before, for whoever else listens
    connect(&link, &TcpLink::statusArrived, this, [&statusSeen] { ++statusSeen; });
    link.deliverArrival(frameOf(4, 0));
    QCOMPARE(statusSeen, 1);
    QVERIFY(!recorder.isRecording());
    QVERIFY(!recorder.flush());
    recorder.stop();

    const QStringList texts = consoleTexts(lines);
    QCOMPARE(texts.size(), opens ? 2 : 1);
    if (opens)
        QCOMPARE(texts.front(), QStringLiteral(" Recording to ") + path);
    const QString last = texts.back();
    QVERIFY2(last.startsWith(QStringLiteral(" Recording stopped: ")), qPrintable(last));
    QVERIFY2(last.endsWith(QStringLiteral(" (") + path + u')'), qPrintable(last));
    if (!reason.isEmpty())
        QCOMPARE(last, QStringLiteral(" Recording stopped: %1 (%2)").arg(reason, path));
    else
        QVERIFY(last.size() > QStringLiteral(" Recording stopped:  ()").size() + path.size());
    QCOMPARE(changes.size(), opens ? 2 : 0);
}

void TestRecorder::destructionFlushesAndCloses()
{
    Rig rig;
    TcpLink &link = rig.link;
    const QString &path = rig.path;
    {
        Recorder recorder(link, rig.recorderOptions());
        QVERIFY(recorder.start(path));
        link.deliverArrival(frameOf(3, 0));
    }
    link.deliverArrival(frameOf(4, 0));
    QCOMPARE(contents(path).count('\n'), 2);
}

void TestRecorder::laterSubscribersStillRun()
{
    // The window subscribes first; the recorder's row must not hold up nor replace it.
    Rig rig;
    TcpLink &link = rig.link;
    QList<int> order;
    connect(&link, &TcpLink::statusArrived, this, [&order] { order << 1; });
    Recorder recorder(link, rig.recorderOptions());
    QVERIFY(recorder.start(rig.path));
    connect(&link, &TcpLink::statusArrived, this, [&order, &recorder] {
        order << (recorder.flush() ? 3 : 0);
    });
    link.deliverArrival(frameOf(3, 0));
    QCOMPARE(order, QList<int>({1, 3}));
    QCOMPARE(contents(recorder.fileName()).count('\n'), 2);
}

QTEST_GUILESS_MAIN(TestRecorder)
#include "tst_recorder.moc"
