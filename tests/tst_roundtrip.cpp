// Record a session, replay it with norvane-sim --replay, record the replay: both
// recordings hold the same frames, row for row.

#include "ControllerSupport.h"
#include "ReadingsSupport.h"
#include "TestSupport.h"

#include "link/TcpLink.h"
#include "recorder/Recorder.h"
#include "tests/support/SimProcess.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

TcpLink::Options realTimeLink()
{
    return {Clock::manual(Clock::system().steadySeconds, QTime::currentTime())};
}

// The rows without their time columns: the readings, temperatures, switches and message.
QStringList frameColumns(const QString &path)
{
    QStringList rows = QString::fromUtf8(contents(path)).split(QStringLiteral("\r\n"));
    rows.removeFirst();   // the header
    for (QString &row : rows) {
        if (!row.isEmpty())
            row = row.section(u',', 2);
    }
    return rows;
}

} // namespace

class TestRoundTrip : public QObject
{
    Q_OBJECT

private slots:
    void replayOfARecordingRecordsTheSame();
    void badRowStopsBeforeServing();
};

void TestRoundTrip::replayOfARecordingRecordsTheSame()
{
    QTemporaryDir dir;
    const QString original = dir.filePath(QStringLiteral("original.csv"));
    const QString replayed = dir.filePath(QStringLiteral("replayed.csv"));

    {
        // A session one arrival at a time, each sent once the one before is in, 0.1 s apart
        // on the link's clock: readings and switches that change, and two messages.
        FakeClock clock;
        FakeController controller;
        TcpLink link({clock.clock()});
        link.address() = {QStringLiteral("127.0.0.1"), QString::number(controller.port())};
        Recorder recorder(link);
        QSignalSpy statuses(&link, &TcpLink::statusArrived);
        QSignalSpy messages(&link, &TcpLink::messageArrived);
        QVERIFY(recorder.start(original));
        link.start();
        QVERIFY(controller.waitForClient());
        const auto arrive = [&](const QByteArray &frame) {
            const qsizetype seen = statuses.size() + messages.size();
            clock.now += 0.1;
            controller.send(frame);
            return QTest::qWaitFor([&] { return statuses.size() + messages.size() > seen; });
        };
        const QByteArray echo = '\xAF' + QByteArray(kEchoText.data(), qsizetype(kEchoText.size()));
        for (int i = 0; i < 22; ++i) {
            QVERIFY(arrive(encodeStatusFrame(readingsWith(100 * i, i % 8, 4095 - i, std::uint8_t(i)))));
            if (i == 5 || i == 14)
                QVERIFY(arrive(echo));
        }
        recorder.stop();
    }
    const QStringList recorded = frameColumns(original);
    QCOMPARE(recorded.size(), 25);
    QCOMPARE(recorded.filter(QStringLiteral("Hi, this should show up on the console.")).size(), 2);

    // Played at 0.4 times the speed, rows 100 ms apart arrive 250 ms apart, one by one.
    SimProcess replay(QStringLiteral(NORVANE_SIM_PATH));
    QSignalSpy replayEnded(&replay, &SimProcess::finished);
    replay.start({QStringLiteral("--replay"), original, QStringLiteral("--speed"), QStringLiteral("0.4"),
                  QStringLiteral("--quiet")});
    QVERIFY2(replay.waitForListening(), qPrintable(replay.errorString()));
    const quint16 replayPort = replay.port();
    {
        TcpLink link(realTimeLink());
        link.address() = {QStringLiteral("127.0.0.1"), QString::number(replayPort)};
        Recorder recorder(link);
        QSignalSpy statuses(&link, &TcpLink::statusArrived);
        QVERIFY(recorder.start(replayed));
        link.start();
        // The replay ends by itself at the end of the file.
        QTRY_COMPARE_WITH_TIMEOUT(replayEnded.size(), 1, 60000);
        QCOMPARE(replayEnded.at(0).at(0).toInt(), 0);
        QCOMPARE(replayEnded.at(0).at(1).value<QProcess::ExitStatus>(), QProcess::NormalExit);
        QTRY_COMPARE(statuses.size(), recorded.size() - 3);   // two messages and the empty rest
        recorder.stop();
    }
    QCOMPARE(frameColumns(replayed), recorded);
}

void TestRoundTrip::badRowStopsBeforeServing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bad.csv"));
    {
        TcpLink link(realTimeLink());
        Recorder recorder(link);
        QVERIFY(recorder.start(path));
        StatusReadings readings;
        link.deliverArrival(encodeStatusFrame(readings));
        readings.values[3] = 4095;
        link.deliverArrival(encodeStatusFrame(readings));
        recorder.stop();
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray text = file.readAll();
    text.replace(",4095,", ",4096,");
    text += "2026-12-08T18:56";   // and a cut last line, never reached
    file.resize(0);
    file.write(text);
    file.close();

    QProcess replay;
    replay.start(QStringLiteral(NORVANE_SIM_PATH), {QStringLiteral("--replay"), path, QStringLiteral("--port"), QStringLiteral("0")});
    QVERIFY(replay.waitForFinished(10000));
    QCOMPARE(replay.exitCode(), 2);
    QCOMPARE(replay.readAllStandardOutput(), QByteArray());
    QCOMPARE(QString::fromUtf8(replay.readAllStandardError()),
             QStringLiteral("norvane-sim: %1:3: InjTec is not a reading 0 to 4095: \"4096\"\n").arg(path));
}

QTEST_GUILESS_MAIN(TestRoundTrip)
#include "tst_roundtrip.moc"
