// The recorder on a TCP link fed directly, on fake steady and wall clocks.

#include "link/TcpLink.h"
#include "recorder/Recorder.h"
#include "history/RecordingFormat.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {

const QDateTime kWallStart(QDate(2026, 12, 8), QTime(18, 56, 10, 0), Qt::UTC);

struct Clocks {
    double steady = 500.0;
    QDateTime wall = kWallStart;

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

QByteArray statusFrameOf(int value, std::uint8_t flags)
{
    StatusReadings readings;
    readings.values.fill(value);
    readings.flags = flags;
    return encodeStatusFrame(readings);
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList consoleTexts(const QSignalSpy &spy)
{
    QStringList texts;
    for (const QList<QVariant> &arguments : spy)
        texts << arguments.at(0).toString();
    return texts;
}

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
    QTemporaryDir dir;
    Clocks clocks;
    TcpLink link(clocks.linkOptions());
    Recorder recorder(link, clocks.recorderOptions());
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    QVERIFY(recorder.start(path));

    clocks.advance(100);
    link.deliverArrival(statusFrameOf(2272, 0x21));
    clocks.advance(250);
    link.deliverArrival(QByteArray("\xAF" "Bounce, \"Hi!\"\r\n\xB0"));
    clocks.advance(1);
    link.deliverArrival(QByteArray("\xA1\x00", 2));   // dropped: no row
    clocks.advance(1649);
    link.deliverArrival(statusFrameOf(7, 0x00));
    QVERIFY(recorder.flush());

    const QByteArray expected = recordingHeader()
        + statusRow(kWallStart.addMSecs(100), 0.1, decodeStatusFrame(statusFrameOf(2272, 0x21)))
        + "2026-12-08T18:56:10.350Z,0.350" + QByteArray(kMessageColumn - 1, ',')
        + "\"Bounce, \"\"Hi!\"\"\r\n\xC2\xB0\"\r\n"
        + statusRow(kWallStart.addMSecs(2000), 2.0, decodeStatusFrame(statusFrameOf(7, 0)));
    QCOMPARE(contents(path).split('\n'), expected.split('\n'));
}

void TestRecorder::nothingBeforeStartOrAfterStop()
{
    QTemporaryDir dir;
    Clocks clocks;
    TcpLink link(clocks.linkOptions());
    Recorder recorder(link, clocks.recorderOptions());
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    link.deliverArrival(statusFrameOf(1, 0));
    QVERIFY(recorder.start(path));
    QVERIFY(!recorder.start(dir.filePath(QStringLiteral("other.csv"))));
    link.deliverArrival(statusFrameOf(2, 0));
    recorder.stop();
    QVERIFY(!recorder.isRecording());
    link.deliverArrival(statusFrameOf(3, 0));
    link.deliverArrival("\xAFlate");

    const QList<QByteArray> rows = contents(path).split('\n');
    QCOMPARE(rows.size(), 3);   // header, one row, the empty rest after the last LF
    QVERIFY(rows[1].startsWith("2026-12-08T18:56:10.000Z,0.000,2,2,"));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("other.csv"))));
}

void TestRecorder::consoleLinesNameTheFile()
{
    QTemporaryDir dir;
    Clocks clocks;
    TcpLink link(clocks.linkOptions());
    Recorder recorder(link, clocks.recorderOptions());
    QSignalSpy lines(&recorder, &Recorder::logged);
    QSignalSpy changes(&recorder, &Recorder::recordingChanged);
    const QString path = dir.filePath(QStringLiteral("a, b.csv"));

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
    QTemporaryDir dir;
    Clocks clocks;
    TcpLink link(clocks.linkOptions());
    Recorder recorder(link, clocks.recorderOptions(std::chrono::milliseconds(5)));
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    QVERIFY(recorder.start(path));
    link.deliverArrival(statusFrameOf(3, 0));
    QTRY_COMPARE(contents(path).count('\n'), 2);
}

void TestRecorder::rowsReachTheDiskOnlyWhenFlushed()
{
    QTemporaryDir dir;
    Clocks clocks;
    TcpLink link(clocks.linkOptions());
    Recorder recorder(link, clocks.recorderOptions());
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    QVERIFY(recorder.start(path));
    QCOMPARE(contents(path), recordingHeader());   // the header goes out at once
    link.deliverArrival(statusFrameOf(3, 0));
    QCOMPARE(contents(path), recordingHeader());
    QVERIFY(recorder.flush());
    QCOMPARE(contents(path).count('\n'), 2);

    // a buffer's worth of rows goes out by itself, without waiting for the flush
    for (int i = 0; i < 1000; ++i)
        link.deliverArrival(statusFrameOf(i, 0));
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
    QTemporaryDir dir;
    Clocks clocks;
    TcpLink link(clocks.linkOptions());
    int statusSeen = 0;
    Recorder recorder(link, clocks.recorderOptions());
    QSignalSpy lines(&recorder, &Recorder::logged);
    QSignalSpy changes(&recorder, &Recorder::recordingChanged);

    QString path = dir.filePath(QStringLiteral("run.csv"));
    QString reason;
    if (kind == u"full") {
        path = QStringLiteral("/dev/full");
        reason = QStringLiteral("No space left on device");
    } else if (kind == u"permission") {
        path = unwritablePath(dir);
    } else if (kind == u"folder") {
        path = dir.filePath(QStringLiteral("missing/run.csv"));
        reason = QStringLiteral("No such file or directory");
    } else {
        reason = QStringLiteral("The file was removed");
    }
    const bool opens = kind == u"full" || kind == u"removed";

    QCOMPARE(recorder.start(path), kind == u"removed");
    if (kind == u"removed") {
        link.deliverArrival(statusFrameOf(3, 0));
        QVERIFY(QFile::remove(path));
        QVERIFY(!recorder.flush());
    }
    // the link goes on as before, for whoever else listens
    connect(&link, &TcpLink::statusArrived, this, [&statusSeen] { ++statusSeen; });
    link.deliverArrival(statusFrameOf(4, 0));
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
    QTemporaryDir dir;
    Clocks clocks;
    TcpLink link(clocks.linkOptions());
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    {
        Recorder recorder(link, clocks.recorderOptions());
        QVERIFY(recorder.start(path));
        link.deliverArrival(statusFrameOf(3, 0));
    }
    link.deliverArrival(statusFrameOf(4, 0));
    QCOMPARE(contents(path).count('\n'), 2);
}

void TestRecorder::laterSubscribersStillRun()
{
    // The window subscribes first; the recorder's row must not hold up nor replace it.
    QTemporaryDir dir;
    Clocks clocks;
    TcpLink link(clocks.linkOptions());
    QList<int> order;
    connect(&link, &TcpLink::statusArrived, this, [&order] { order << 1; });
    Recorder recorder(link, clocks.recorderOptions());
    QVERIFY(recorder.start(dir.filePath(QStringLiteral("run.csv"))));
    connect(&link, &TcpLink::statusArrived, this, [&order, &recorder] {
        order << (recorder.flush() ? 3 : 0);
    });
    link.deliverArrival(statusFrameOf(3, 0));
    QCOMPARE(order, QList<int>({1, 3}));
    QCOMPARE(contents(recorder.fileName()).count('\n'), 2);
}

QTEST_GUILESS_MAIN(TestRecorder)
#include "tst_recorder.moc"
