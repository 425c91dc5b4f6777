// The benchmark stamp: it rides in bits the readings leave unused, and the simulator
// numbers its frames with it.

#include "sim/FrameStamp.h"
#include "sim/Instrument.h"
#include "sim/SimServer.h"
#include "status/StatusFrame.h"
#include "ReadingsSupport.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

namespace {

} // namespace

Q_DECLARE_METATYPE(StatusReadings)

class TestFrameStamp : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void age_data();
    void age();
    void simulatorNumbersFrames_data();
    void simulatorNumbersFrames();
};

void TestFrameStamp::roundTrip_data()
{
    QTest::addColumn<StatusReadings>("readings");
    QTest::addColumn<quint32>("sequence");
    QTest::addColumn<quint64>("micros");
    QTest::addColumn<quint32>("sequenceRead");
    QTest::addColumn<quint64>("microsRead");
    const quint64 modulo = kStampMicrosModulo;
    const quint64 top = modulo - 1;
    QTest::newRow("zero stamp, full readings") << readingsOf(4095, 0x3F) << 0u << quint64{0} << 0u << quint64{0};
    QTest::newRow("full stamp, zero readings") << StatusReadings{} << kStampSequenceModulo - 1 << top
                                               << kStampSequenceModulo - 1 << top;
    QTest::newRow("full stamp, full readings") << readingsOf(4095, 0x3F) << kStampSequenceModulo - 1 << top
                                               << kStampSequenceModulo - 1 << top;
    QTest::newRow("alternating bits") << changingReadings(7) << 0xA5A5A5u << quint64{0x5A5A5A5A5}
                                      << 0xA5A5A5u << quint64{0x5A5A5A5A5};
    QTest::newRow("sequence wraps") << changingReadings(1) << kStampSequenceModulo + 3 << quint64{9} << 3u
                                    << quint64{9};
    QTest::newRow("time wraps") << changingReadings(2) << 1u << modulo + 12 << 1u << quint64{12};
}

// A stamped frame reads back its stamp, decodes to the same readings and keeps every
// byte outside the high nibbles.
void TestFrameStamp::roundTrip()
{
    QFETCH(StatusReadings, readings);
    QFETCH(quint32, sequence);
    QFETCH(quint64, micros);
    QFETCH(quint32, sequenceRead);
    QFETCH(quint64, microsRead);

    const QByteArray plain = encodeStatusFrame(readings);
    QByteArray stamped = plain;
    stampFrame(stamped, {sequence, micros});
    QCOMPARE(stamped.size(), plain.size());
    const FrameStamp read = readStamp(stamped);
    QCOMPARE(read.sequence, sequenceRead);
    QCOMPARE(read.micros, microsRead);

    const StatusReadings decoded = decodeStatusFrame(stamped);
    QCOMPARE(decoded.values, readings.values);
    QCOMPARE(decoded.flags, readings.flags);
    for (qsizetype i = 0; i < plain.size(); ++i)
        QCOMPARE(stamped[i] & 0x0F, plain[i] & 0x0F);
    QCOMPARE(stamped.front(), plain.front());
    QCOMPARE(stamped.at(kFlagsOffset), plain.at(kFlagsOffset));
    QCOMPARE(stamped.back(), plain.back());
}

void TestFrameStamp::age_data()
{
    QTest::addColumn<quint64>("stamp");
    QTest::addColumn<quint64>("now");
    QTest::addColumn<quint64>("age");
    QTest::newRow("same instant") << quint64{500} << quint64{500} << quint64{0};
    QTest::newRow("1.5 ms") << quint64{1000} << quint64{2500} << quint64{1500};
    const quint64 modulo = kStampMicrosModulo;
    QTest::newRow("now past the wrap") << modulo - 100 << modulo * 3 + 50 << quint64{150};
    QTest::newRow("full clock, stamp wrapped") << quint64{10} << modulo * 5 + 10 + 7 << quint64{7};
}

void TestFrameStamp::age()
{
    QFETCH(quint64, stamp);
    QFETCH(quint64, now);
    QFETCH(quint64, age);
    QCOMPARE(stampAge(stamp, now), age);
}

void TestFrameStamp::simulatorNumbersFrames_data()
{
    QTest::addColumn<bool>("changing");
    QTest::addColumn<bool>("join");
    QTest::newRow("simulated bench") << false << false;
    QTest::newRow("every value changing") << true << false;
    QTest::newRow("joined pairs") << false << true;
}

// Stamped frames count up by one from the first, carry a time taken as they left, and
// hold the readings an unstamped simulator with the same seed sends.
void TestFrameStamp::simulatorNumbersFrames()
{
    QFETCH(bool, changing);
    QFETCH(bool, join);
    constexpr int kFrames = 40;

    double now = 0;
    std::array<QByteArray, 2> received;
    std::array<std::unique_ptr<SimServer>, 2> servers;
    std::array<std::unique_ptr<QTcpSocket>, 2> clients;
    for (std::size_t i = 0; i < servers.size(); ++i) {
        SimOptions options;
        options.port = 0;
        options.rate = 100;
        options.changing = changing;
        options.join = join;
        options.stamp = i == 1;
        servers[i] = std::make_unique<SimServer>(options);
        servers[i]->setClock([&now] { return now; });
        QVERIFY(servers[i]->listen());
        QSignalSpy accepted(servers[i].get(), &SimServer::logLine);
        clients[i] = std::make_unique<QTcpSocket>();
        QTcpSocket *client = clients[i].get();
        connect(client, &QTcpSocket::readyRead, this, [&received, i, client] { received[i] += client->readAll(); });
        client->connectToHost(QHostAddress::LocalHost, servers[i]->serverPort());
        QVERIFY(client->waitForConnected(2000));
        QVERIFY(!accepted.isEmpty() || accepted.wait(2000));
    }

    const quint64 before = monotonicMicros();
    for (int step = 1; step <= kFrames; ++step) {
        now = step / 100.0 + 1e-6;
        for (const auto &server : servers)
            server->tick();
    }
    QTRY_COMPARE(received[1].size(), qsizetype{kFrames} * kStatusFrameSize);
    QTRY_COMPARE(received[0].size(), received[1].size());
    const quint64 after = monotonicMicros();

    for (int k = 0; k < kFrames; ++k) {
        const QByteArrayView plain = QByteArrayView(received[0]).sliced(k * kStatusFrameSize, kStatusFrameSize);
        const QByteArrayView stamped = QByteArrayView(received[1]).sliced(k * kStatusFrameSize, kStatusFrameSize);
        const FrameStamp stamp = readStamp(stamped);
        QCOMPARE(stamp.sequence, quint32(k + 1));
        QVERIFY2(stamp.micros >= before % kStampMicrosModulo && stamp.micros <= after % kStampMicrosModulo,
                 "stamped outside the run");
        QCOMPARE(decodeStatusFrame(stamped).values, decodeStatusFrame(plain).values);
        QCOMPARE(decodeStatusFrame(stamped).flags, decodeStatusFrame(plain).flags);
    }
    QCOMPARE(readStamp(received[0].first(kStatusFrameSize)).micros, quint64{0});
}

QTEST_GUILESS_MAIN(TestFrameStamp)
#include "tst_framestamp.moc"
