// The replay's timing on a fake clock: when each frame goes out, speed, loop and end.

#include "sim/ReplayServer.h"
#include "history/RecordingFormat.h"
#include "ReadingsSupport.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

namespace {

const QDateTime kStart(QDate(2026, 12, 8), QTime(18, 56, 10), Qt::UTC);

QByteArray statusAt(double elapsed, int value)
{
    return statusRow(kStart, elapsed, readingsOf(value));
}

// Rows at 0.5 s, two at 1 s, 3 s, and a cut last line that is never sent.
const QByteArray kRecording = recordingHeader() + statusAt(0.5, 1) + messageRow(kStart, 1, u"m,1")
                              + statusAt(1, 2) + statusAt(3, 3) + statusAt(4, 4).left(20);

struct Replay {
    double now = 100;
    ReplayServer server;
    QTcpSocket client;
    QByteArray received;

    explicit Replay(double speed, bool loop)
        : server(kRecording, {QHostAddress(QHostAddress::LocalHost), 0, speed, loop})
    {
        server.setClock([this] { return now; });
        QObject::connect(&client, &QTcpSocket::readyRead, &client, [this] { received += client.readAll(); });
    }
    bool connect()
    {
        if (!server.listen())
            return false;
        client.connectToHost(QHostAddress::LocalHost, server.serverPort());
        return client.waitForConnected(5000) && QTest::qWaitFor([this] { return server.clientCount() == 1; });
    }
    // Ticks at `when` until nothing more goes out.
    void tickAt(double when)
    {
        now = when;
        for (int i = 0; i < 10; ++i)
            server.tick();
    }
    // What arrives for ticks at `when`, once it is as long as `expected`. Bytes that went
    // out too early arrive ahead of a later call's.
    void expect(double when, const QByteArray &expected)
    {
        tickAt(when);
        QVERIFY(QTest::qWaitFor([&] { return received.size() >= expected.size(); }));
        QCOMPARE(std::exchange(received, {}), expected);
    }
};

} // namespace

class TestReplayServer : public QObject
{
    Q_OBJECT
private slots:
    void framesAtTheirElapsedTimes_data();
    void framesAtTheirElapsedTimes();
    void endsAtTheEnd();
    void loopStartsOverAfterTheLastFrame();
};

void TestReplayServer::framesAtTheirElapsedTimes_data()
{
    QTest::addColumn<double>("speed");
    QTest::newRow("speed 1") << 1.0;
    QTest::newRow("speed 2") << 2.0;
    QTest::newRow("speed 0.25") << 0.25;
}

void TestReplayServer::framesAtTheirElapsedTimes()
{
    QFETCH(double, speed);
    Replay replay(speed, false);
    QVERIFY(replay.connect());   // the recording's time starts with this client, at 100
    const auto at = [&](double elapsed) { return 100 + elapsed / speed; };
    replay.expect(at(0.5) - 0.001, QByteArray());
    replay.expect(at(0.5), frameOf(1));
    replay.expect(at(1) - 0.001, QByteArray());
    replay.expect(at(1), QByteArray("\xAFm,1") + frameOf(2));
    replay.expect(at(2.9), QByteArray());
    replay.expect(at(3), frameOf(3));
}

void TestReplayServer::endsAtTheEnd()
{
    Replay replay(1, false);
    QSignalSpy finished(&replay.server, &ReplayServer::finished);
    QVERIFY(replay.connect());
    replay.tickAt(200);
    QTRY_COMPARE(finished.size(), 1);
    QTRY_COMPARE(replay.client.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(replay.received, frameOf(1) + QByteArray("\xAFm,1") + frameOf(2) + frameOf(3));
}

void TestReplayServer::loopStartsOverAfterTheLastFrame()
{
    Replay replay(2, true);
    QSignalSpy finished(&replay.server, &ReplayServer::finished);
    QVERIFY(replay.connect());
    replay.expect(101.5, frameOf(1) + QByteArray("\xAFm,1") + frameOf(2) + frameOf(3));
    // the second round's 0 is the first round's last frame, 101.5
    replay.expect(101.5 + 0.249, QByteArray());
    replay.expect(101.5 + 0.25, frameOf(1));
    replay.expect(103, QByteArray("\xAFm,1") + frameOf(2) + frameOf(3));
    QCOMPARE(finished.size(), 0);
}

QTEST_GUILESS_MAIN(TestReplayServer)
#include "tst_replayserver.moc"
