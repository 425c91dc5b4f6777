// The simulated controller: the bench's readings, and the server against a real client.

#include "sim/Instrument.h"
#include "sim/SimServer.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>

namespace {

const QByteArray kEcho = QByteArray(1, '\xAF') + QByteArray(kEchoText.data(), static_cast<qsizetype>(kEchoText.size()));

// Whether a readback box name ("txtEclCurrentDac") shows the reading of a field.
bool showsField(std::string_view box, std::string_view field)
{
    return box.starts_with("txt") && box.substr(3) == field;
}

// A readback's value by box name; "flags" for the switch byte.
int valueOf(const StatusReadings &readings, std::string_view box)
{
    if (box == "flags")
        return readings.flags;
    const auto it = std::find_if(kReadbacks.begin(), kReadbacks.end(),
                                 [box](const ReadbackInfo &info) { return showsField(box, info.field); });
    return readings.values[static_cast<std::size_t>(it - kReadbacks.begin())];
}

int frameValue(QByteArrayView frame, std::string_view box)
{
    return valueOf(decodeStatusFrame(frame), box);
}

// Readings of `box` over `seconds`, one frame every 0.1 s.
std::vector<int> sample(Instrument &bench, std::string_view box, double seconds)
{
    std::vector<int> values;
    for (int step = 0; step < static_cast<int>(seconds * 10); ++step) {
        bench.advance(0.1);
        values.push_back(valueOf(bench.readings(), box));
    }
    return values;
}

bool within(const std::vector<int> &values, int low, int high)
{
    return std::all_of(values.begin(), values.end(), [=](int v) { return v >= low && v <= high; });
}

} // namespace

class TestSimServer : public QObject {
    Q_OBJECT

private slots:
    void init();

    void commandsSetReadbacks_data();
    void commandsSetReadbacks();
    void temperatures_data();
    void temperatures();

    void statusFrames_data();
    void statusFrames();
    void commandReachesClient();
    void echoAnswers();
    void warmRebootDropsConnection();
    void silentSendsNothing();
    void closeAfter();
    void stallCycle();
    void flood();

private:
    bool start(SimOptions options = {});
    bool connectClient();
    void runUntil(double seconds);
    bool clientOpen() const { return m_client->state() == QAbstractSocket::ConnectedState; }

    double m_now = 0;   // the server's clock
    std::unique_ptr<SimServer> m_server;
    std::unique_ptr<QTcpSocket> m_client;
    QByteArray m_received;
};

void TestSimServer::init()
{
    m_now = 0;
    m_client.reset();
    m_server.reset();
    m_received.clear();
}

void TestSimServer::commandsSetReadbacks_data()
{
    QTest::addColumn<Command>("command");
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("box");
    QTest::newRow("SetEclCurrent 1200") << Command::SetEclCurrent << 1200 << QByteArray("txtEclCurrentDac");
    QTest::newRow("SetInjCurrent 4095") << Command::SetInjCurrent << 4095 << QByteArray("txtInjCurrentDac");
    QTest::newRow("SetEclPiezo 3449") << Command::SetEclPiezo << 3449 << QByteArray("txtEclPiezoDac");
    QTest::newRow("SetUpPiezo 1") << Command::SetUpPiezo << 1 << QByteArray("txtUpPiezoDac");
    QTest::newRow("SetDownPiezo 2048") << Command::SetDownPiezo << 2048 << QByteArray("txtDownPiezoDac");
    QTest::newRow("SetXdac 100") << Command::SetXdac << 100 << QByteArray("txtXdacDac");
    QTest::newRow("SetYdac 3999") << Command::SetYdac << 3999 << QByteArray("txtYdacDac");
    QTest::newRow("SetEclTec") << Command::SetEclTec << 0x01 << QByteArray("flags");
    QTest::newRow("SetInjTec") << Command::SetInjTec << 0x02 << QByteArray("flags");
    QTest::newRow("SetScanEn") << Command::SetScanEn << 0x04 << QByteArray("flags");
    QTest::newRow("SetHeater") << Command::SetHeater << 0x08 << QByteArray("flags");
    QTest::newRow("SetNarrow") << Command::SetNarrow << 0x10 << QByteArray("flags");
    QTest::newRow("SetSlowLock") << Command::SetSlowLock << 0x20 << QByteArray("flags");
}

// Each command moves its own readback and no other DAC or bit.
void TestSimServer::commandsSetReadbacks()
{
    QFETCH(Command, command);
    QFETCH(int, value);
    QFETCH(QByteArray, box);

    Instrument bench;
    bench.apply(command, box == "flags" ? 1 : value);
    const StatusReadings set = bench.readings();
    for (std::size_t i = kReadbacksBeforeSwitches; i < kReadbacks.size(); ++i)
        QCOMPARE(set.values[i], showsField(box.toStdString(), kReadbacks[i].field) ? value : 0);
    QCOMPARE(valueOf(set, "flags"), box == "flags" ? value : 0);

    bench.apply(command, 0);
    QCOMPARE(valueOf(bench.readings(), box.toStdString()), 0);
}

void TestSimServer::temperatures_data()
{
    QTest::addColumn<Command>("tec");
    QTest::addColumn<QByteArray>("tecBox");
    QTest::addColumn<QByteArray>("tempBox");
    QTest::addColumn<int>("regulatedRaw");
    QTest::newRow("external cavity to 14 degrees") << Command::SetEclTec << QByteArray("txtEclTec")
                                                   << QByteArray("txtEclTemp") << 2275;
    QTest::newRow("injection to 16.5 degrees") << Command::SetInjTec << QByteArray("txtInjTec")
                                               << QByteArray("txtInjTemp") << 1908;
}

void TestSimServer::temperatures()
{
    QFETCH(Command, tec);
    QFETCH(QByteArray, tecBox);
    QFETCH(QByteArray, tempBox);
    QFETCH(int, regulatedRaw);
    constexpr int kRoomRaw = 954;   // 23 degrees
    const std::string tecName = tecBox.toStdString();
    const std::string tempName = tempBox.toStdString();

    Instrument bench;
    QVERIFY(within(sample(bench, tempName, 1), kRoomRaw - 2, kRoomRaw + 2));
    QVERIFY(within(sample(bench, tecName, 1), 0, 10));
    bench.apply(tec, 1);
    QVERIFY(within(sample(bench, tecName, 1), 91, 4095));   // pulling hard
    bench.advance(60);
    QVERIFY(within(sample(bench, tempName, 3), regulatedRaw - 2, regulatedRaw + 2));
    QVERIFY(within(sample(bench, tecName, 3), 11, 90));
    bench.apply(tec, 0);
    bench.advance(300);
    QVERIFY(within(sample(bench, tempName, 1), kRoomRaw - 3, kRoomRaw + 3));
    QVERIFY(within(sample(bench, tecName, 1), 0, 10));
}

bool TestSimServer::start(SimOptions options)
{
    options.host = QHostAddress(QHostAddress::LocalHost);
    options.port = 0;
    m_server = std::make_unique<SimServer>(options);
    m_server->setClock([this] { return m_now; });
    return m_server->listen() && connectClient();
}

// Connected, and accepted by the server at the present fake time.
bool TestSimServer::connectClient()
{
    QSignalSpy log(m_server.get(), &SimServer::logLine);
    m_received.clear();
    m_client = std::make_unique<QTcpSocket>();
    connect(m_client.get(), &QTcpSocket::readyRead, this, [this] { m_received += m_client->readAll(); });
    m_client->connectToHost(QHostAddress::LocalHost, m_server->serverPort());
    return m_client->waitForConnected(2000) && (!log.isEmpty() || log.wait(2000));
}

// Ticks in steps of 0.1 s; the offset keeps each step just past a frame's due time.
void TestSimServer::runUntil(double seconds)
{
    for (int step = qRound(m_now * 10) + 1; step <= qRound(seconds * 10); ++step) {
        m_now = step / 10.0 + 1e-6;
        m_server->tick();
    }
}

void TestSimServer::statusFrames_data()
{
    QTest::addColumn<double>("rate");
    QTest::addColumn<bool>("split");
    QTest::addColumn<bool>("join");
    QTest::addColumn<int>("frames");
    QTest::newRow("10/s") << 10.0 << false << false << 6;
    QTest::newRow("5000/s, one coarse tick") << 5000.0 << false << false << 3000;
    QTest::newRow("split halves rejoin") << 10.0 << true << false << 6;
    QTest::newRow("joined pairs") << 10.0 << false << true << 6;
}

void TestSimServer::statusFrames()
{
    QFETCH(double, rate);
    QFETCH(bool, split);
    QFETCH(bool, join);
    QFETCH(int, frames);

    SimOptions options;
    options.rate = rate;
    options.split = split;
    options.join = join;
    QVERIFY(start(options));
    m_now = 0.6 + 1e-6;
    m_server->tick();
    if (split) {
        m_now += 0.01;   // lets the second halves go
        m_server->tick();
    }
    QTRY_COMPARE(m_received.size(), frames * kStatusFrameSize);
    for (qsizetype pos = 0; pos < m_received.size(); pos += kStatusFrameSize) {
        QCOMPARE(static_cast<quint8>(m_received[pos]), kStatusOpcode);
        QCOMPARE(m_received[pos + kStatusFrameSize - 1], '\0');
    }
}

// Cut across writes and after garbage, as a slow network and a confused client would.
void TestSimServer::commandReachesClient()
{
    QVERIFY(start());
    QSignalSpy log(m_server.get(), &SimServer::logLine);
    for (const char *bytes : {"b0b100", "ab0d", "79"}) {
        m_client->write(QByteArray::fromHex(bytes));
        m_client->flush();
    }
    QTRY_VERIFY(!log.isEmpty() && log.last().first().toString() == u"SetDownPiezo 3449");
    runUntil(0.1);
    QTRY_COMPARE(m_received.size(), kStatusFrameSize);
    QCOMPARE(frameValue(m_received, "txtDownPiezoDac"), 3449);
}

void TestSimServer::echoAnswers()
{
    QVERIFY(start());
    m_client->write(kEcho);
    QTRY_COMPARE(m_received, kEcho);
}

void TestSimServer::warmRebootDropsConnection()
{
    QVERIFY(start());
    m_client->write(QByteArray::fromHex("a504b0a4a3"));
    QTRY_VERIFY(!clientOpen());
    QVERIFY(m_received.startsWith("\xAFWarm reboot"));

    QVERIFY(connectClient());
    runUntil(0.1);
    QTRY_COMPARE(m_received.size(), kStatusFrameSize);
    QCOMPARE(frameValue(m_received, "txtEclCurrentDac"), 0);
}

void TestSimServer::silentSendsNothing()
{
    SimOptions options;
    options.silent = true;
    QVERIFY(start(options));
    runUntil(2.0);
    m_client->write(kEcho + QByteArray::fromHex("a4"));   // the reboot still drops it, unannounced
    QTRY_VERIFY(!clientOpen());
    QCOMPARE(m_received, QByteArray());
}

void TestSimServer::closeAfter()
{
    SimOptions options;
    options.closeAfter = 1.0;
    QVERIFY(start(options));
    runUntil(0.9);
    m_client->write(kEcho);
    QTRY_VERIFY(m_received.endsWith(kEcho));
    QVERIFY(clientOpen());
    runUntil(1.0);
    QTRY_VERIFY(!clientOpen());
    QCOMPARE(m_received.size(), 10 * kStatusFrameSize + kEcho.size());   // the one due at 1.0 s too
}

void TestSimServer::stallCycle()
{
    SimOptions options;
    options.stall = 2.0;
    QVERIFY(start(options));
    runUntil(8.0);
    m_client->write(kEcho);   // answered after every frame sent before it
    QTRY_VERIFY(m_received.endsWith(kEcho));
    // Frames at 0.1 .. 4.9 s, none while stalled from 5 to 7 s, then 7.0 .. 8.0 s.
    QCOMPARE(m_received.size(), (49 + 11) * kStatusFrameSize + kEcho.size());
}

void TestSimServer::flood()
{
    SimOptions options;
    options.flood = 5000;
    QVERIFY(start(options));
    runUntil(1.0);
    QTRY_COMPARE(m_received.size(), 10 * kStatusFrameSize + 5000);
    const QByteArray burst = m_received.sliced(5 * kStatusFrameSize, 5000);
    QCOMPARE(static_cast<quint8>(burst[0]), kMessageOpcode);
    QVERIFY(!burst.contains('\xA1'));
    QCOMPARE(static_cast<quint8>(m_received[5 * kStatusFrameSize + 5000]), kStatusOpcode);
}

QTEST_MAIN(TestSimServer)
#include "tst_simserver.moc"
