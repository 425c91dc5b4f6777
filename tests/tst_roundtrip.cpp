// Record a session against the real simulator, replay it with norvane-sim --replay,
// record the replay: both recordings hold the same frames, row for row.

#include "link/TcpLink.h"
#include "history/Recorder.h"
#include "sim/SimProcess.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

TcpLink::Options realTimeLink()
{
    return {Clock::system(), false};
}

// The rows without their time columns: the readings, temperatures, switches and message.
QStringList frameColumns(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList rows = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
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

    SimProcess sim(QStringLiteral(NORVANE_SIM_PATH));
    sim.start({QStringLiteral("--rate"), QStringLiteral("10"), QStringLiteral("--quiet")});
    QVERIFY2(sim.waitForListening(), qPrintable(sim.errorString()));
    const quint16 port = sim.port();
    {
        TcpLink link(realTimeLink());
        link.setAddressSource([port] { return TcpLink::Address{QStringLiteral("127.0.0.1"), QString::number(port)}; });
        Recorder recorder(link);
        QSignalSpy statuses(&link, &TcpLink::statusArrived);
        QSignalSpy messages(&link, &TcpLink::messageArrived);
        QVERIFY(recorder.start(original));
        link.start();

        // Change readings and switches, and ask for messages between two status frames,
        // so that every arrival is one frame.
        const auto betweenFrames = [&statuses] {
            const qsizetype seen = statuses.size();
            QTRY_VERIFY_WITH_TIMEOUT(statuses.size() > seen, 5000);
            QTest::qWait(40);
        };
        betweenFrames();
        link.send(*commandRequest(Command::SetEclCurrent, u"1200"));
        link.send({Command::SetEclTec, 0, true});
        betweenFrames();
        link.send({Command::Echo});
        betweenFrames();
        link.send({Command::SetHeater, 0, true});
        link.send(*commandRequest(Command::SetUpPiezo, u"30"));
        betweenFrames();
        link.send({Command::Echo});
        QTRY_VERIFY_WITH_TIMEOUT(statuses.size() >= 20 && messages.size() == 2, 10000);
        recorder.stop();
    }
    QVERIFY2(sim.stop(30000), qPrintable(sim.errorString()));
    const QStringList recorded = frameColumns(original);
    QVERIFY(recorded.size() >= 23);
    QCOMPARE(recorded.filter(QStringLiteral("Hi, this should show up on the console.")).size(), 2);

    // Played at half speed, frames a controller sent 100 ms apart arrive 200 ms apart.
    SimProcess replay(QStringLiteral(NORVANE_SIM_PATH));
    QSignalSpy replayEnded(&replay, &SimProcess::finished);
    replay.start({QStringLiteral("--replay"), original, QStringLiteral("--speed"), QStringLiteral("0.5"),
                  QStringLiteral("--quiet")});
    QVERIFY2(replay.waitForListening(), qPrintable(replay.errorString()));
    const quint16 replayPort = replay.port();
    {
        TcpLink link(realTimeLink());
        link.setAddressSource([replayPort] {
            return TcpLink::Address{QStringLiteral("127.0.0.1"), QString::number(replayPort)};
        });
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
