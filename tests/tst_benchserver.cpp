// NorvaneBench as a lab's client sees it: a real server process, a C++ DeviceProxy, and a
// local controller that records every byte the server sends it.

#include "sim/SimProcess.h"
#include "status/StatusFrame.h"

#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <memory>

#include <sys/prctl.h>

#include <tango.h>

namespace {

constexpr int kStartMs = 20000;

// a1 | EclPd EclTec EclTemp InjTec InjTemp UpPd DownPd Pot | flags | seven DACs | 00
const QByteArray kGolden = QByteArray::fromHex(
    "a1"
    "012c" "0005" "07d0" "0032" "0fd0" "0a8c" "0578" "07ff"
    "25"
    "0c1f" "029a" "004d" "0e10" "0309" "0641" "0999"
    "00");

// Every reading in range, no switch on.
QByteArray quietFrame()
{
    StatusReadings readings;
    readings.values.fill(2000);
    for (int i = 0; i < kReadbackCount; ++i)
        if (kReadbacks[i].range == RangeRule::Tec)
            readings.values[i] = 50;
    return encodeStatusFrame(readings);
}

QByteArray frameWith(int reading, int count)
{
    StatusReadings readings = decodeStatusFrame(quietFrame());
    readings.values[reading] = count;
    return encodeStatusFrame(readings);
}

int readingIndex(const QString &name)
{
    for (int i = 0; i < kReadbackCount; ++i)
        if (name == QLatin1String(kReadbacks[i].field.data(), kReadbacks[i].field.size()))
            return i;
    return -1;
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The controller: accepts the server's link, records what it sends, sends it frames.
class Controller final : public QObject
{
public:
    Controller()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *next = m_server.nextPendingConnection()) {
                ++m_connections;
                m_client = next;
                connect(next, &QTcpSocket::readyRead, this, [this, next] {
                    // Keep-alives come on their own clock; no frame under test holds 0xA3.
                    m_received += next->readAll().replace('\xa3', QByteArray());
                });
            }
        });
        m_server.listen(QHostAddress::LocalHost, 0);
        m_port = m_server.serverPort();
        m_stream.setInterval(50);
        connect(&m_stream, &QTimer::timeout, this, [this] { send(quietFrame()); });
    }

    // A frame every 50 ms, as a live controller sends them.
    void stream(bool on) { on ? m_stream.start() : m_stream.stop(); }

    quint16 port() const { return m_port; }
    void setListening(bool on)
    {
        if (on)
            m_server.listen(QHostAddress::LocalHost, m_port);
        else
            m_server.close();
    }
    int connections() const { return m_connections; }
    QByteArray &received() { return m_received; }
    bool connected() const { return m_client && m_client->state() == QAbstractSocket::ConnectedState; }

    void send(const QByteArray &bytes)
    {
        if (connected()) {
            m_client->write(bytes);
            m_client->flush();
        }
    }
    void hangUp()
    {
        if (m_client)
            m_client->disconnectFromHost();
    }

private:
    QTcpServer m_server;
    QTcpSocket *m_client = nullptr;
    QTimer m_stream;
    quint16 m_port = 0;
    int m_connections = 0;
    QByteArray m_received;
};

// One NorvaneBench process, stopped with SIGTERM by its owner.
class Server
{
public:
    Server(const QStringList &arguments, double timeScale = 1) : m_port(freePort())
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (timeScale != 1)
            environment.insert(QStringLiteral("NORVANE_BENCH_TIME_SCALE"), QString::number(timeScale));
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // A test killed on its timeout takes its server with it.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.start(QStringLiteral(NORVANEBENCH_PATH),
                        QStringList{QStringLiteral("test")} + arguments
                            + QStringList{QStringLiteral("-ORBendPoint"),
                                          QStringLiteral("giop:tcp:127.0.0.1:%1").arg(m_port)});
    }
    ~Server()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    bool waitUntilReady()
    {
        return QTest::qWaitFor([this] {
            m_output += m_process.readAllStandardOutput();
            return m_output.contains("Ready to accept request") || m_process.state() == QProcess::NotRunning;
        }, kStartMs) && m_process.state() == QProcess::Running;
    }

    std::unique_ptr<Tango::DeviceProxy> proxy(const QString &device) const
    {
        std::string name = QStringLiteral("tango://127.0.0.1:%1/%2#dbase=no").arg(m_port).arg(device).toStdString();
        return std::make_unique<Tango::DeviceProxy>(name);
    }

    // Signals it; true when it then ended by itself with status 0.
    bool stop(int signal = SIGTERM)
    {
        ::kill(static_cast<pid_t>(m_process.processId()), signal);
        return waitForExit();
    }
    bool waitForExit()
    {
        return m_process.waitForFinished(kStartMs) && m_process.exitStatus() == QProcess::NormalExit
               && m_process.exitCode() == 0;
    }

private:
    quint16 m_port;
    QProcess m_process;
    QByteArray m_output;
};

// Tango's file database with these devices and properties, as the server's arguments.
using Properties = QList<std::pair<const char *, QString>>;
QStringList fileDatabase(const QTemporaryDir &dir, const QList<std::pair<const char *, Properties>> &devices)
{
    static int files = 0;
    const QString path = dir.filePath(QStringLiteral("db%1.txt").arg(++files));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    QStringList names;
    QByteArray properties;
    for (const auto &[device, rows] : devices) {
        names << QStringLiteral("\"%1\"").arg(QLatin1String(device));
        for (const auto &[name, value] : rows)
            properties += QStringLiteral("%1->%2: %3\n").arg(QLatin1String(device), QLatin1String(name), value).toUtf8();
    }
    file.write("NorvaneBench/test/DEVICE/NorvaneBench: " + names.join(u", ").toUtf8() + "\n" + properties);
    return {QStringLiteral("-file=%1").arg(path)};
}

template <typename T>
T readValue(Tango::DeviceProxy &device, const char *name)
{
    Tango::DeviceAttribute attribute = device.read_attribute(name);
    T value{};
    attribute >> value;
    return value;
}

template <typename T>
void write(Tango::DeviceProxy &device, const std::string &name, T value)
{
    Tango::DeviceAttribute attribute(name.c_str(), value);
    device.write_attribute(attribute);
}

Tango::AttrQuality readQuality(Tango::DeviceProxy &device, const char *name)
{
    return device.read_attribute(name).get_quality();
}

QByteArray readFrame(Tango::DeviceProxy &device)
{
    Tango::DeviceAttribute attribute = device.read_attribute("StatusFrame");
    if (attribute.get_quality() == Tango::ATTR_INVALID)
        return {};
    std::vector<Tango::DevUChar> bytes;
    attribute >> bytes;
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

QString status(Tango::DeviceProxy &device)
{
    return QString::fromStdString(device.status());
}

// Counts change events from Tango's event thread.
class EventCounter final : public Tango::CallBack
{
public:
    void push_event(Tango::EventData *event) override
    {
        if (event->err)
            return;
        Tango::DevLong value = 0;
        *event->attr_value >> value;
        last = value;
        ++count;
    }
    std::atomic<int> count{0};
    std::atomic<int> last{-1};
};

} // namespace

class TestBenchServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void goldenFrame_data();
    void goldenFrame();
    void alarmAtEachBoundary_data();
    void alarmAtEachBoundary();
    void writesSendThePanelsFrames_data();
    void writesSendThePanelsFrames();
    void outOfRangeWriteSendsNothing_data();
    void outOfRangeWriteSendsNothing();
    void everyFrameOneEvent();
    void lastMessageKeepsEveryByte();
    void linkLossAndRecovery_data();
    void linkLossAndRecovery();
    void badProperties_data();
    void badProperties();
    void twoBenchesTwoSimulators();

private:
    bool showFrame(const QByteArray &frame);

    QTemporaryDir m_dir;
    Controller m_controller;
    std::unique_ptr<Server> m_server;
    std::unique_ptr<Tango::DeviceProxy> m_bench;
};

void TestBenchServer::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_server = std::make_unique<Server>(
        fileDatabase(m_dir, {{"lab/bench/1", {{"Port", QString::number(m_controller.port())}}}}));
    QVERIFY(m_server->waitUntilReady());
    m_bench = m_server->proxy(QStringLiteral("lab/bench/1"));
}

void TestBenchServer::cleanupTestCase()
{
    m_bench.reset();
    QVERIFY(m_server->stop());
}

// Sends a frame and waits until the server shows it.
bool TestBenchServer::showFrame(const QByteArray &frame)
{
    return QTest::qWaitFor([&] {
        m_controller.send(frame);
        return QTest::qWaitFor([&] { return readFrame(*m_bench) == frame; }, 200);
    }, 10000);
}

void TestBenchServer::goldenFrame_data()
{
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("quality");

    const auto row = [](const char *name, double value, Tango::AttrQuality quality = Tango::ATTR_VALID) {
        QTest::newRow(name) << QString::fromLatin1(name) << value << static_cast<int>(quality);
    };
    row("EclPd", 300);
    row("EclTec", 5, Tango::ATTR_ALARM);
    row("EclTemp", 15.873626373626374);
    row("InjTec", 50);
    row("InjTemp", 1.9202197802197816, Tango::ATTR_ALARM);
    row("UpPd", 2700);
    row("DownPd", 1400);
    row("Pot", 2047);
    row("EclCurrentDac", 3103);
    row("EclPiezoDac", 666);
    row("InjCurrentDac", 77);
    row("UpPiezoDac", 3600);
    row("DownPiezoDac", 777);
    row("XdacDac", 1601);
    row("YdacDac", 2457);
    // flags 0x25
    row("EclTecOn", 1);
    row("InjTecOn", 0);
    row("ScanOn", 1);
    row("HeaterOn", 0);
    row("NarrowOn", 0);
    row("SlowLockOn", 1);
}

void TestBenchServer::goldenFrame()
{
    QFETCH(QString, attribute);
    QFETCH(double, value);
    QFETCH(int, quality);

    QVERIFY(showFrame(kGolden));
    std::string name = attribute.toStdString();
    Tango::DeviceAttribute read = m_bench->read_attribute(name);
    QCOMPARE(static_cast<int>(read.get_quality()), quality);
    if (read.get_type() == Tango::DEV_DOUBLE) {
        Tango::DevDouble degrees = 0;
        read >> degrees;
        QCOMPARE(degrees, value);
    } else if (read.get_type() == Tango::DEV_BOOLEAN) {
        Tango::DevBoolean on = false;
        read >> on;
        QCOMPARE(on ? 1.0 : 0.0, value);
    } else {
        Tango::DevLong count = 0;
        read >> count;
        QCOMPARE(count, static_cast<Tango::DevLong>(value));
    }
    QCOMPARE(m_bench->state(), Tango::ALARM);
}

void TestBenchServer::alarmAtEachBoundary_data()
{
    QTest::addColumn<QString>("reading");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("alarm");

    for (const char *name : {"EclPd", "EclTemp", "InjTemp"}) {
        QTest::addRow("%s 100", name) << QString::fromLatin1(name) << 100 << true;
        QTest::addRow("%s 101", name) << QString::fromLatin1(name) << 101 << false;
        QTest::addRow("%s 3999", name) << QString::fromLatin1(name) << 3999 << false;
        QTest::addRow("%s 4000", name) << QString::fromLatin1(name) << 4000 << true;
    }
    for (const char *name : {"EclTec", "InjTec"}) {
        QTest::addRow("%s 10", name) << QString::fromLatin1(name) << 10 << true;
        QTest::addRow("%s 11", name) << QString::fromLatin1(name) << 11 << false;
        QTest::addRow("%s 90", name) << QString::fromLatin1(name) << 90 << false;
        QTest::addRow("%s 91", name) << QString::fromLatin1(name) << 91 << true;
    }
    QTest::addRow("UpPd 0 has no limits") << QStringLiteral("UpPd") << 0 << false;
}

// Tango's own limits decide the quality of a read: they must agree with the panel's colour.
void TestBenchServer::alarmAtEachBoundary()
{
    QFETCH(QString, reading);
    QFETCH(int, count);
    QFETCH(bool, alarm);

    QVERIFY(showFrame(frameWith(readingIndex(reading), count)));
    QCOMPARE(readQuality(*m_bench, reading.toLatin1().constData()), alarm ? Tango::ATTR_ALARM : Tango::ATTR_VALID);
    QCOMPARE(m_bench->state(), alarm ? Tango::ALARM : Tango::ON);
}

void TestBenchServer::writesSendThePanelsFrames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("value");   // invalid: a command
    QTest::addColumn<QByteArray>("frame");

    const auto row = [](const char *name, QVariant value, const char *hex) {
        QTest::newRow(QStringLiteral("%1 %2").arg(QLatin1String(name), value.toString()).toLatin1())
            << QString::fromLatin1(name) << value << QByteArray::fromHex(hex);
    };
    row("EclCurrent", 1234, "a504d2");
    row("InjCurrent", 77, "a6004d");
    row("Xdac", 4095, "a00fff");
    row("Ydac", 0, "a10000");
    row("EclPiezo", 31.65, "a90800");
    row("UpPiezo", 63.3, "aa0000");
    row("DownPiezo", 0.0, "ab0fff");
    row("EclTecOn", true, "a701");
    row("InjTecOn", false, "a800");
    row("ScanOn", true, "ac01");
    row("HeaterOn", true, "ad01");
    row("NarrowOn", false, "ae00");
    row("SlowLockOn", true, "b501");
    row("WarmBoot", {}, "a4");
    row("XYSquare", {}, "a2");
    QTest::newRow("Echo") << QStringLiteral("Echo") << QVariant()
                          << QByteArray("\xaf" "Hi, this should show up on the console.");
}

void TestBenchServer::writesSendThePanelsFrames()
{
    QFETCH(QString, name);
    QFETCH(QVariant, value);
    QFETCH(QByteArray, frame);

    QVERIFY(showFrame(quietFrame()));
    m_controller.received().clear();
    std::string attribute = name.toStdString();
    switch (value.typeId()) {
    case QMetaType::Int:
        write(*m_bench, attribute, static_cast<Tango::DevLong>(value.toInt()));
        QCOMPARE(readValue<Tango::DevLong>(*m_bench, attribute.c_str()), value.toInt());
        break;
    case QMetaType::Double:
        write(*m_bench, attribute, value.toDouble());
        QCOMPARE(readValue<Tango::DevDouble>(*m_bench, attribute.c_str()), value.toDouble());
        break;
    case QMetaType::Bool:
        write(*m_bench, attribute, static_cast<Tango::DevBoolean>(value.toBool()));
        break;
    default:
        m_bench->command_inout(attribute);
    }
    QTRY_COMPARE(m_controller.received().toHex(), frame.toHex());
}

void TestBenchServer::outOfRangeWriteSendsNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("value");
    QTest::newRow("EclCurrent 4096") << QStringLiteral("EclCurrent") << 4096.0;
    QTest::newRow("Xdac -1") << QStringLiteral("Xdac") << -1.0;
    QTest::newRow("EclPiezo 63.31") << QStringLiteral("EclPiezo") << 63.31;
    QTest::newRow("DownPiezo -0.01") << QStringLiteral("DownPiezo") << -0.01;
}

void TestBenchServer::outOfRangeWriteSendsNothing()
{
    QFETCH(QString, name);
    QFETCH(double, value);

    QVERIFY(showFrame(quietFrame()));
    m_controller.received().clear();
    std::string attribute = name.toStdString();
    const bool volts = name.endsWith(u"Piezo");
    QVERIFY_THROWS_EXCEPTION(Tango::DevFailed,
                             volts ? write(*m_bench, attribute, value)
                                   : write(*m_bench, attribute, static_cast<Tango::DevLong>(value)));
    // A command behind it: whatever the refused write had sent would arrive first.
    m_bench->command_inout("WarmBoot");
    QTRY_COMPARE(m_controller.received().toHex(), QByteArray("a4"));
}

// 1000 frames at 1000 per second, five joined in each write, are 1000 change events, and
// the last event carries the last frame.
void TestBenchServer::everyFrameOneEvent()
{
    constexpr int kFrames = 1000;
    constexpr int kJoined = 5;
    QVERIFY(showFrame(quietFrame()));
    EventCounter counter;
    const int id = m_bench->subscribe_event("EclPiezoDac", Tango::CHANGE_EVENT, &counter);
    QTRY_COMPARE(counter.count.load(), 1);   // the value at subscription

    int sent = 0;
    QTimer pace;
    pace.setInterval(kJoined);
    connect(&pace, &QTimer::timeout, this, [&] {
        QByteArray frames;
        for (int i = 0; i < kJoined; ++i)
            frames += frameWith(readingIndex(QStringLiteral("EclPiezoDac")), ++sent);
        m_controller.send(frames);
        if (sent == kFrames)
            pace.stop();
    });
    pace.start();
    QTRY_COMPARE_WITH_TIMEOUT(counter.count.load(), 1 + kFrames, 20000);
    QCOMPARE(counter.last.load(), kFrames);
    m_bench->unsubscribe_event(id);
}

// A DevString carries bytes 0x80..0xFF unchanged, one byte per character.
void TestBenchServer::lastMessageKeepsEveryByte()
{
    const QByteArray text("Lock \x80\xe9\xff", 8);
    m_controller.send(QByteArray("\xaf") + text);
    QTRY_COMPARE(QByteArray::fromStdString(readValue<std::string>(*m_bench, "LastMessage")).toHex(), text.toHex());
}

void TestBenchServer::linkLossAndRecovery_data()
{
    QTest::addColumn<bool>("hangUp");
    QTest::addColumn<QString>("status");   // while the link is down
    // Nobody listens any more: only a link that was closed and reopened can be refused.
    // A hang-up is no error to the link; its watchdog finds the silence after it.
    QTest::newRow("silence") << false << QStringLiteral("Error: Connection refused");
    QTest::newRow("controller hangs up") << true << QStringLiteral("Error: Connection refused");
}

// At ten times the speed: the watchdog closes a silent link after 0.5 s and reopens it.
void TestBenchServer::linkLossAndRecovery()
{
    QFETCH(bool, hangUp);
    QFETCH(QString, status);

    Controller controller;
    Server server(fileDatabase(m_dir, {{"lab/bench/9", {{"Port", QString::number(controller.port())}}}}), 10);
    QVERIFY(server.waitUntilReady());
    auto bench = server.proxy(QStringLiteral("lab/bench/9"));
    controller.stream(true);
    QTRY_COMPARE_WITH_TIMEOUT(bench->state(), Tango::ON, 10000);

    controller.stream(false);
    controller.setListening(false);
    if (hangUp)
        controller.hangUp();
    QTRY_COMPARE_WITH_TIMEOUT(bench->state(), Tango::FAULT, 10000);
    QTRY_COMPARE(::status(*bench), status);
    QCOMPARE(readQuality(*bench, "EclPd"), Tango::ATTR_INVALID);
    QCOMPARE(readQuality(*bench, "EclTecOn"), Tango::ATTR_INVALID);
    controller.setListening(true);

    QTRY_COMPARE_WITH_TIMEOUT(controller.connections(), 2, 10000);
    controller.stream(true);
    QTRY_COMPARE_WITH_TIMEOUT(bench->state(), Tango::ON, 10000);
    QCOMPARE(::status(*bench), QStringLiteral("Connected!"));
    QCOMPARE(readQuality(*bench, "EclPd"), Tango::ATTR_VALID);
    bench.reset();
    QVERIFY(server.stop());
}

void TestBenchServer::badProperties_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("status");
    QTest::newRow("Port abc") << QStringLiteral("lab/bad/1") << QStringLiteral("Property Port is not a port number 1..65535: \"abc\"");
    QTest::newRow("Port 0") << QStringLiteral("lab/bad/2") << QStringLiteral("Property Port is not a port number 1..65535: \"0\"");
    QTest::newRow("Port 70000") << QStringLiteral("lab/bad/3") << QStringLiteral("Property Port is not a port number 1..65535: \"70000\"");
    QTest::newRow("Address blank") << QStringLiteral("lab/bad/4") << QStringLiteral("Property Address is empty");
}

// A bad device is in FAULT and says why; its neighbour in the same server serves on.
void TestBenchServer::badProperties()
{
    QFETCH(QString, device);
    QFETCH(QString, status);

    Controller controller;
    Server server(fileDatabase(m_dir, {{"lab/bad/1", {{"Port", QStringLiteral("abc")}}},
                                       {"lab/bad/2", {{"Port", QStringLiteral("0")}}},
                                       {"lab/bad/3", {{"Port", QStringLiteral("70000")}}},
                                       {"lab/bad/4", {{"Address", QStringLiteral("\" \"")}}},
                                       {"lab/bench/2", {{"Port", QString::number(controller.port())}}}}));
    QVERIFY(server.waitUntilReady());
    auto bad = server.proxy(device);
    QCOMPARE(bad->state(), Tango::FAULT);
    QCOMPARE(::status(*bad), status);
    bad->command_inout("Init");
    QCOMPARE(bad->state(), Tango::FAULT);

    auto good = server.proxy(QStringLiteral("lab/bench/2"));
    QTRY_VERIFY(controller.connected());
    QTRY_COMPARE_WITH_TIMEOUT((controller.send(kGolden), good->state()), Tango::ALARM, 10000);
    good->command_inout("Init");   // reads its properties again and connects anew
    QTRY_COMPARE_WITH_TIMEOUT(controller.connections(), 2, 10000);

    bad.reset();
    good.reset();
    // The admin device's Kill ends the server as SIGTERM does.
    server.proxy(QStringLiteral("dserver/NorvaneBench/test"))->command_inout("Kill");
    QVERIFY(server.waitForExit());
}

// One server, two benches, each on its own simulator: a write reaches only its own.
void TestBenchServer::twoBenchesTwoSimulators()
{
    SimProcess first(QStringLiteral(NORVANE_SIM_PATH));
    SimProcess second(QStringLiteral(NORVANE_SIM_PATH));
    QStringList firstLines;
    QStringList secondLines;
    connect(&first, &SimProcess::lineRead, this, [&firstLines](const QString &line) { firstLines << line; });
    connect(&second, &SimProcess::lineRead, this, [&secondLines](const QString &line) { secondLines << line; });
    first.start({QStringLiteral("--rate"), QStringLiteral("50")});
    second.start({QStringLiteral("--rate"), QStringLiteral("50")});
    QVERIFY2(first.waitForListening(), qPrintable(first.errorString()));
    QVERIFY2(second.waitForListening(), qPrintable(second.errorString()));

    Server server(fileDatabase(m_dir, {{"lab/bench/1", {{"Port", QString::number(first.port())}}},
                                       {"lab/bench/2", {{"Port", QString::number(second.port())}}}}));
    QVERIFY(server.waitUntilReady());
    auto one = server.proxy(QStringLiteral("lab/bench/1"));
    auto two = server.proxy(QStringLiteral("lab/bench/2"));
    QTRY_VERIFY_WITH_TIMEOUT(readQuality(*one, "EclPd") != Tango::ATTR_INVALID, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(readQuality(*two, "EclPd") != Tango::ATTR_INVALID, 10000);

    write(*one, "EclCurrent", Tango::DevLong(1111));
    write(*two, "EclCurrent", Tango::DevLong(2222));
    const auto saw = [](const QStringList &lines, const char *command) {
        return std::any_of(lines.begin(), lines.end(), [command](const QString &line) {
            return line.endsWith(QLatin1Char(' ') + QLatin1String(command));
        });
    };
    QTRY_VERIFY(saw(firstLines, "SetEclCurrent 1111"));
    QTRY_VERIFY(saw(secondLines, "SetEclCurrent 2222"));
    QVERIFY(!saw(firstLines, "SetEclCurrent 2222"));
    QVERIFY(!saw(secondLines, "SetEclCurrent 1111"));

    one.reset();
    two.reset();
    QVERIFY(server.stop(SIGINT));
}

QTEST_GUILESS_MAIN(TestBenchServer)
#include "tst_benchserver.moc"
