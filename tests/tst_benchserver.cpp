// NorvaneBench as a lab's client sees it: a real server process, a C++ DeviceProxy, and a
// local controller that records every byte the server sends it.

#include "ControllerSupport.h"
#include "ReadingsSupport.h"
#include "sim/SimProcess.h"

#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <memory>
#include <mutex>

#include <sys/prctl.h>

#include <tango.h>

namespace {

constexpr int kStartMs = 20000;

QString fieldName(int reading)
{
    return QString::fromLatin1(kReadbacks[reading].field);
}

// Every reading in range and no switch on, but `reading`, which holds `count`.
QByteArray frameWith(int reading = -1, int count = 0)
{
    StatusReadings readings;
    for (int i = 0; i < kReadbackCount; ++i)
        readings.values[i] = i == reading ? count : kReadbacks[i].range == RangeRule::Tec ? 50 : 2000;
    return encodeStatusFrame(readings);
}

const QByteArray kQuiet = frameWith();

// A device and its one property line, as Tango's file database has them.
using Devices = QList<std::pair<const char *, QString>>;
QString port(quint16 number)
{
    return QStringLiteral("Port: %1").arg(number);
}

// Devices beside the good bench whose properties are bad, and what each must say.
struct BadDevice { const char *name; const char *property; const char *status; };
constexpr BadDevice kBadDevices[] = {
    {"lab/bad/1", "Port: abc", "Property Port is not a port number 1..65535: \"abc\""},
    {"lab/bad/2", "Port: 0", "Property Port is not a port number 1..65535: \"0\""},
    {"lab/bad/3", "Port: 70000", "Property Port is not a port number 1..65535: \"70000\""},
    {"lab/bad/4", "Address: \" \"", "Property Address is empty"},
};

// One NorvaneBench process on its own file database.
class Server
{
public:
    Server(const QTemporaryDir &dir, const Devices &devices, double timeScale = 1) : m_port(m_reserved.port())
    {
        QStringList names;
        QString properties;
        for (const auto &[device, property] : devices) {
            names << QStringLiteral("\"%1\"").arg(QLatin1String(device));
            properties += QStringLiteral("%1->%2\n").arg(QLatin1String(device), property);
        }
        QFile file(dir.filePath(QStringLiteral("%1.db").arg(m_port)));
        if (file.open(QIODevice::WriteOnly))
            file.write(("NorvaneBench/test/DEVICE/NorvaneBench: " + names.join(u", ") + u'\n' + properties).toUtf8());
        file.close();
        m_process.setEnvironment(QProcess::systemEnvironment()
                                 << QStringLiteral("NORVANE_BENCH_TIME_SCALE=%1").arg(timeScale));
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // A test killed on its timeout takes its server with it.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.start(QStringLiteral(NORVANEBENCH_PATH),
                        {QStringLiteral("test"), QStringLiteral("-file=%1").arg(file.fileName()),
                         QStringLiteral("-ORBendPoint"), QStringLiteral("giop:tcp:127.0.0.1:%1").arg(m_port)});
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

    // Sends it `signal` (0 sends none); true when it then ends by itself with status 0.
    bool endsCleanly(int signal = 0)
    {
        ::kill(static_cast<pid_t>(m_process.processId()), signal);
        return m_process.waitForFinished(kStartMs) && m_process.exitStatus() == QProcess::NormalExit
               && m_process.exitCode() == 0;
    }

private:
    ClosedPort m_reserved;   // the server binds it over
    quint16 m_port;
    QProcess m_process;   // killed, if still running, when it goes
    QByteArray m_output;
};

template <typename T>
T extracted(Tango::DeviceAttribute &&read)
{
    T value{};
    read >> value;
    return value;
}

// A reading, switch or setpoint as a number, whatever its Tango type.
double numberOf(Tango::DeviceAttribute &&read)
{
    switch (read.get_type()) {
    case Tango::DEV_DOUBLE: return extracted<Tango::DevDouble>(std::move(read));
    case Tango::DEV_BOOLEAN: return extracted<Tango::DevBoolean>(std::move(read)) ? 1 : 0;
    default: return extracted<Tango::DevLong>(std::move(read));
    }
}

template <typename T>
void write(Tango::DeviceProxy &device, const QString &name, T value)
{
    Tango::DeviceAttribute attribute(qPrintable(name), value);
    device.write_attribute(attribute);
}

Tango::AttrQuality readQuality(Tango::DeviceProxy &device, const QString &name)
{
    return device.read_attribute(qPrintable(name)).get_quality();
}

QByteArray readFrame(Tango::DeviceProxy &device)
{
    Tango::DeviceAttribute attribute = device.read_attribute("StatusFrame");
    if (attribute.get_quality() == Tango::ATTR_INVALID)
        return {};
    const auto bytes = extracted<std::vector<Tango::DevUChar>>(std::move(attribute));
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

// Change events from Tango's event thread: how many, and whether each held the count after
// the one before.
class EventCounter final : public Tango::CallBack
{
public:
    void push_event(Tango::EventData *event) override
    {
        const int value = event->err ? -1 : extracted<Tango::DevLong>(std::move(*event->attr_value));
        if (value != last + 1)
            ++outOfStep;
        last = value;
        ++count;
    }
    std::atomic<int> count{0};
    std::atomic<int> last{-1};
    std::atomic<int> outOfStep{0};
};

// What one subscription was sent, in order: the state of each State event, the quality of
// any other.
class EventLog final : public Tango::CallBack
{
public:
    void push_event(Tango::EventData *event) override
    {
        QString entry = QStringLiteral("error");
        if (!event->err && event->attr_value) {
            const QString name = QString::fromStdString(event->attr_value->get_name());
            if (name.compare(u"State", Qt::CaseInsensitive) == 0) {
                Tango::DevState state{};
                *event->attr_value >> state;
                entry = QString::fromLatin1(Tango::DevStateName[state]);
            } else {
                entry = qualityName(event->attr_value->get_quality());
            }
        }
        std::lock_guard lock(m_mutex);
        m_entries << entry;
    }

    QStringList entries() const
    {
        std::lock_guard lock(m_mutex);
        return m_entries;
    }

private:
    static QString qualityName(Tango::AttrQuality quality)
    {
        switch (quality) {
        case Tango::ATTR_VALID: return QStringLiteral("VALID");
        case Tango::ATTR_ALARM: return QStringLiteral("ALARM");
        case Tango::ATTR_INVALID: return QStringLiteral("INVALID");
        default: return QString::number(quality);
        }
    }

    mutable std::mutex m_mutex;
    QStringList m_entries;
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
    void everyFrameOneEvent();
    void eachSubscriptionGetsEachFrame_data();
    void eachSubscriptionGetsEachFrame();
    void lastMessageKeepsEveryByte();
    void badProperties_data();
    void badProperties();
    void initReconnects();
    void linkLossAndRecovery_data();
    void linkLossAndRecovery();
    void twoBenchesTwoSimulators();

private:
    bool showFrame(const QByteArray &frame);

    QTemporaryDir m_dir;
    FakeController m_controller;
    std::unique_ptr<Server> m_server;
    std::unique_ptr<Tango::DeviceProxy> m_bench;
};

// One server for most cases: a good bench beside devices whose properties are bad, which
// must not stop their neighbour serving.
void TestBenchServer::initTestCase()
{
    QVERIFY(m_dir.isValid());
    Devices devices{{"lab/bench/1", port(m_controller.port())}};
    for (const BadDevice &bad : kBadDevices)
        devices.append({bad.name, QString::fromLatin1(bad.property)});
    m_server = std::make_unique<Server>(m_dir, devices);
    QVERIFY(m_server->waitUntilReady());
    QVERIFY(m_controller.waitForClient());
    m_bench = m_server->proxy(QStringLiteral("lab/bench/1"));
}

// The admin device's Kill ends the server as SIGTERM does.
void TestBenchServer::cleanupTestCase()
{
    m_bench.reset();
    m_server->proxy(QStringLiteral("dserver/NorvaneBench/test"))->command_inout("Kill");
    QVERIFY(m_server->endsCleanly());
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
    QTest::addColumn<bool>("alarm");
    // In frame order, in the attribute's unit: counts, or degrees for the temperatures.
    constexpr std::array<double, kReadbackCount> readings{
        300, 5, 15.873626373626374, 50, 1.9202197802197816, 2700, 1400, 2047,
        3103, 666, 77, 3600, 777, 1601, 2457};
    for (int i = 0; i < kReadbackCount; ++i) {
        const QString name = fieldName(i);
        QTest::newRow(qPrintable(name)) << name << readings[i]
                                        << (name == u"EclTec" || name == u"InjTemp");
    }
    // flags 0x25
    for (const auto &[name, on] : {std::pair{"EclTecOn", 1}, {"InjTecOn", 0}, {"ScanOn", 1},
                                   {"HeaterOn", 0}, {"NarrowOn", 0}, {"SlowLockOn", 1}})
        QTest::newRow(name) << QString::fromLatin1(name) << static_cast<double>(on) << false;
}

void TestBenchServer::goldenFrame()
{
    QFETCH(QString, attribute);
    QFETCH(double, value);
    QFETCH(bool, alarm);
    QVERIFY(showFrame(kGoldenFrame));
    QCOMPARE(readQuality(*m_bench, attribute), alarm ? Tango::ATTR_ALARM : Tango::ATTR_VALID);
    QCOMPARE(numberOf(m_bench->read_attribute(qPrintable(attribute))), value);
    Tango::DeviceAttribute read = m_bench->read_attribute(qPrintable(attribute));
    if (read.get_type() == Tango::DEV_BOOLEAN) {
        // A switch's set point is what the bench shows, not a default nobody wrote.
        std::vector<Tango::DevBoolean> setPoint;
        QVERIFY(read.extract_set(setPoint));
        QCOMPARE(setPoint.front() ? 1.0 : 0.0, value);
    }
}

// The first and last counts in range and their neighbours outside, written out per rule
// rather than taken from the range code that panel and server share.
void TestBenchServer::alarmAtEachBoundary_data()
{
    QTest::addColumn<int>("reading");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("alarm");
    const auto rows = [](int reading, std::initializer_list<std::pair<int, bool>> counts) {
        for (const auto &[count, alarm] : counts)
            QTest::addRow("%s %d", qPrintable(fieldName(reading)), count) << reading << count << alarm;
    };
    for (int i = 0; i < kReadbackCount; ++i) {
        switch (kReadbacks[i].range) {
        case RangeRule::Pd:
        case RangeRule::Temperature: rows(i, {{100, true}, {101, false}, {3999, false}, {4000, true}}); break;
        case RangeRule::Tec: rows(i, {{10, true}, {11, false}, {90, false}, {91, true}}); break;
        case RangeRule::None: rows(i, {{0, false}, {4095, false}}); break;
        }
    }
}

// Tango's own limits decide the quality of a read: they must agree with the panel's colour.
void TestBenchServer::alarmAtEachBoundary()
{
    QFETCH(int, reading);
    QFETCH(int, count);
    QFETCH(bool, alarm);
    QVERIFY(showFrame(frameWith(reading, count)));
    QCOMPARE(readQuality(*m_bench, fieldName(reading)), alarm ? Tango::ATTR_ALARM : Tango::ATTR_VALID);
    QCOMPARE(m_bench->state(), alarm ? Tango::ALARM : Tango::ON);
}

void TestBenchServer::writesSendThePanelsFrames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("value");     // invalid: a command
    QTest::addColumn<QByteArray>("frame");   // empty: Tango refuses the write
    const auto row = [](const char *name, QVariant value, const QByteArray &frame = {}) {
        const QString what = QStringLiteral("%1 %2").arg(QLatin1String(name), value.toString()).trimmed();
        QTest::newRow(qPrintable(what + (frame.isEmpty() ? u" refused"_qs : QString())))
            << QString::fromLatin1(name) << value << frame;
    };
    const auto hex = [](const char *digits) { return QByteArray::fromHex(digits); };
    row("EclCurrent", 1234, hex("a504d2")); row("InjCurrent", 77, hex("a6004d"));
    row("Xdac", 4095, hex("a00fff"));       row("Ydac", 0, hex("a10000"));
    row("EclPiezo", 31.65, hex("a90800"));  row("UpPiezo", 63.3, hex("aa0000")); row("DownPiezo", 0.0, hex("ab0fff"));
    row("EclTecOn", true, hex("a701"));     row("InjTecOn", false, hex("a800"));  row("ScanOn", true, hex("ac01"));
    row("HeaterOn", true, hex("ad01"));     row("NarrowOn", false, hex("ae00"));  row("SlowLockOn", true, hex("b501"));
    row("WarmBoot", {}, hex("a4"));         row("XYSquare", {}, hex("a2"));
    row("Echo", {}, "\xaf" "Hi, this should show up on the console.");
    row("EclCurrent", 4096); row("Xdac", -1); row("EclPiezo", 63.31); row("DownPiezo", -0.01);
}

void TestBenchServer::writesSendThePanelsFrames()
{
    QFETCH(QString, name);
    QFETCH(QVariant, value);
    QFETCH(QByteArray, frame);
    QVERIFY(showFrame(kQuiet));
    m_controller.received().clear();
    // Keep-alives come on their own clock; no frame under test holds 0xA3.
    const auto sent = [this] { return m_controller.received().replace('\xa3', QByteArray()).toHex(); };
    const auto send = [&] {
        switch (value.typeId()) {
        case QMetaType::Int: return write(*m_bench, name, Tango::DevLong{value.toInt()});
        case QMetaType::Double: return write(*m_bench, name, value.toDouble());
        case QMetaType::Bool: return write(*m_bench, name, Tango::DevBoolean{value.toBool()});
        default: m_bench->command_inout(qPrintable(name));
        }
    };
    if (frame.isEmpty()) {
        QVERIFY_THROWS_EXCEPTION(Tango::DevFailed, send());
        // A command behind it: whatever the refused write had sent would arrive first.
        m_bench->command_inout("WarmBoot");
        QTRY_COMPARE(sent(), QByteArray("a4"));
        return;
    }
    send();
    QTRY_COMPARE(sent(), frame.toHex());
    if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::Double)   // reads what was written
        QCOMPARE(numberOf(m_bench->read_attribute(qPrintable(name))), value.toDouble());
}

// 1000 frames at 1000 per second, five joined in each write, are 1000 change events, each
// with its own frame's count, in order.
void TestBenchServer::everyFrameOneEvent()
{
    constexpr int kFrames = 1000;
    constexpr int kJoined = 5;
    constexpr int kReading = kReadbackCount - 1;   // any without an alarm range
    QVERIFY(showFrame(frameWith(kReading, 0)));
    EventCounter counter;
    const int id = m_bench->subscribe_event(fieldName(kReading).toStdString(), Tango::CHANGE_EVENT, &counter);
    QTRY_COMPARE(counter.count.load(), 1);   // the value at subscription

    int sent = 0;
    QTimer pace;
    connect(&pace, &QTimer::timeout, this, [&] {
        QByteArray frames;
        for (int i = 0; i < kJoined; ++i)
            frames += frameWith(kReading, ++sent);
        m_controller.send(frames);
        if (sent == kFrames)
            pace.stop();
    });
    pace.start(kJoined);
    QTRY_COMPARE_WITH_TIMEOUT(counter.count.load(), 1 + kFrames, 20000);
    QCOMPARE(counter.outOfStep.load(), 0);
    QCOMPARE(counter.last.load(), kFrames);
    m_bench->unsubscribe_event(id);
}

void TestBenchServer::eachSubscriptionGetsEachFrame_data()
{
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<int>("eventType");
    QTest::addColumn<QStringList>("seen");   // the value at subscription first
    const QStringList pdQualities{u"VALID"_qs, u"VALID"_qs, u"ALARM"_qs, u"ALARM"_qs, u"VALID"_qs};
    const QStringList allValid(pdQualities.size(), u"VALID"_qs);
    const QString pd = fieldName(0);
    QTest::newRow("EclPd change") << pd << int(Tango::CHANGE_EVENT) << pdQualities;
    QTest::newRow("EclPd archive") << pd << int(Tango::ARCHIVE_EVENT) << pdQualities;
    QTest::newRow("EclTemp archive") << u"EclTemp"_qs << int(Tango::ARCHIVE_EVENT) << allValid;
    QTest::newRow("EclTecOn change") << u"EclTecOn"_qs << int(Tango::CHANGE_EVENT) << allValid;
    QTest::newRow("StatusFrame archive") << u"StatusFrame"_qs << int(Tango::ARCHIVE_EVENT) << allValid;
    // State only on a change.
    QTest::newRow("State change") << u"State"_qs << int(Tango::CHANGE_EVENT)
                                  << QStringList{u"ON"_qs, u"ALARM"_qs, u"ON"_qs};
}

// Whichever attribute and kind of event a client takes, alone among the device's
// attributes, each frame of one write is one event, with its quality.
void TestBenchServer::eachSubscriptionGetsEachFrame()
{
    QFETCH(QString, attribute);
    QFETCH(int, eventType);
    QFETCH(QStringList, seen);
    QVERIFY(showFrame(kQuiet));
    EventLog log;
    const int id = m_bench->subscribe_event(attribute.toStdString(), Tango::EventType(eventType), &log);
    const auto unsubscribe = qScopeGuard([&] { m_bench->unsubscribe_event(id); });   // before the log goes
    QTRY_COMPARE(log.entries().size(), 1);
    m_controller.send(frameWith(0, 2000) + frameWith(0, 50) + frameWith(0, 50) + frameWith(0, 2000));
    QTRY_COMPARE(log.entries(), seen);
}

// A DevString carries bytes 0x80..0xFF unchanged, one byte per character.
void TestBenchServer::lastMessageKeepsEveryByte()
{
    const QByteArray text("Lock \x80\xe9\xff", 8);
    m_controller.send("\xaf" + text);
    QTRY_COMPARE(QByteArray::fromStdString(extracted<std::string>(m_bench->read_attribute("LastMessage"))).toHex(),
                 text.toHex());
}

void TestBenchServer::badProperties_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("status");
    for (const BadDevice &bad : kBadDevices)
        QTest::newRow(bad.property) << QString::fromLatin1(bad.name) << QString::fromLatin1(bad.status);
}

// A bad device is in FAULT and says why, also after Init.
void TestBenchServer::badProperties()
{
    QFETCH(QString, device);
    QFETCH(QString, status);
    auto bad = m_server->proxy(device);
    QCOMPARE(bad->state(), Tango::FAULT);
    QCOMPARE(QString::fromStdString(bad->status()), status);
    bad->command_inout("Init");
    QCOMPARE(bad->state(), Tango::FAULT);
}

// Init reads the properties again and connects anew.
void TestBenchServer::initReconnects()
{
    const int before = m_controller.connections();
    m_bench->command_inout("Init");
    QVERIFY(m_controller.waitForClient(before + 1));
    QVERIFY(showFrame(kGoldenFrame));
    QCOMPARE(m_bench->state(), Tango::ALARM);
}

void TestBenchServer::linkLossAndRecovery_data()
{
    QTest::addColumn<bool>("hangUp");
    // A hang-up is no error to the link; its watchdog finds the silence after it.
    QTest::newRow("silence") << false;
    QTest::newRow("controller hangs up") << true;
}

// At ten times the speed: the watchdog closes a silent link after 0.5 s and reopens it.
void TestBenchServer::linkLossAndRecovery()
{
    QFETCH(bool, hangUp);
    FakeController controller;
    Server server(m_dir, {{"lab/bench/9", port(controller.port())}}, 10);
    QVERIFY(server.waitUntilReady());
    auto bench = server.proxy(QStringLiteral("lab/bench/9"));
    QTimer stream;   // a frame every 50 ms, as a live controller sends them
    connect(&stream, &QTimer::timeout, this, [&controller] { controller.send(kQuiet); });
    QVERIFY(controller.waitForClient());
    stream.start(50);
    QTRY_COMPARE_WITH_TIMEOUT(bench->state(), Tango::ON, 10000);

    stream.stop();
    controller.stopListening();
    if (hangUp)
        controller.closeClient();
    QTRY_COMPARE_WITH_TIMEOUT(bench->state(), Tango::FAULT, 10000);
    // Nobody listens any more: only a link that was closed and reopened can be refused.
    QTRY_COMPARE(QString::fromStdString(bench->status()), QStringLiteral("Error: Connection refused"));
    for (const QString &name : {u"EclPd"_qs, u"EclTecOn"_qs})
        QCOMPARE(readQuality(*bench, name), Tango::ATTR_INVALID);

    controller.resumeListening();
    QVERIFY(controller.waitForClient(2));
    stream.start();
    QTRY_COMPARE_WITH_TIMEOUT(bench->state(), Tango::ON, 10000);
    QCOMPARE(QString::fromStdString(bench->status()), QStringLiteral("Connected!"));
    QCOMPARE(readQuality(*bench, u"EclPd"_qs), Tango::ATTR_VALID);
    bench.reset();
    QVERIFY(server.endsCleanly(SIGTERM));
}

// One server, two benches, each on its own simulator: a write reaches only its own.
void TestBenchServer::twoBenchesTwoSimulators()
{
    SimProcess sims[2]{SimProcess(QStringLiteral(NORVANE_SIM_PATH)), SimProcess(QStringLiteral(NORVANE_SIM_PATH))};
    QStringList lines[2];
    for (int i = 0; i < 2; ++i) {
        connect(&sims[i], &SimProcess::lineRead, this, [&lines, i](const QString &line) { lines[i] << line; });
        sims[i].start({QStringLiteral("--rate"), QStringLiteral("50")});
        QVERIFY2(sims[i].waitForListening(), qPrintable(sims[i].errorString()));
    }
    Server server(m_dir, {{"lab/bench/1", port(sims[0].port())}, {"lab/bench/2", port(sims[1].port())}});
    QVERIFY(server.waitUntilReady());
    std::unique_ptr<Tango::DeviceProxy> benches[2]{server.proxy(u"lab/bench/1"_qs), server.proxy(u"lab/bench/2"_qs)};
    for (const auto &bench : benches)
        QTRY_VERIFY_WITH_TIMEOUT(readQuality(*bench, u"EclPd"_qs) != Tango::ATTR_INVALID, 10000);

    write(*benches[0], u"EclCurrent"_qs, Tango::DevLong{1111});
    write(*benches[1], u"EclCurrent"_qs, Tango::DevLong{2222});
    const auto saw = [&lines](int sim, int value) {
        return (lines[sim].join(u'\n') + u'\n').contains(QStringLiteral(" SetEclCurrent %1\n").arg(value));
    };
    QTRY_VERIFY(saw(0, 1111) && saw(1, 2222));
    QVERIFY(!saw(0, 2222) && !saw(1, 1111));

    benches[0].reset();
    benches[1].reset();
    QVERIFY(server.endsCleanly(SIGINT));
}

QTEST_GUILESS_MAIN(TestBenchServer)
#include "tst_benchserver.moc"
