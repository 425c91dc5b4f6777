// NorvaneBench as a lab's client sees it: a real server process, a C++ DeviceProxy, and a
// local controller that records every byte the server sends it.

#include "ControllerSupport.h"
#include "ReadingsSupport.h"
#include "tests/support/SimProcess.h"
#include "tests/support/BenchServerProcess.h"

#include <QDateTime>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <memory>
#include <mutex>

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

// A device and its property lines, as Tango's file database has them.
using Devices = QList<std::pair<const char *, QStringList>>;
// A bench on this host whose readings stay fresh for `freshSeconds` without a frame: most
// cases send frames one at a time.
QStringList bench(quint16 port, int freshSeconds = 3600)
{
    return {u"Address: 127.0.0.1"_qs, QStringLiteral("Port: %1").arg(port),
            QStringLiteral("FreshnessLimit: %1").arg(freshSeconds)};
}

// Devices beside the good bench whose properties are bad, and what each must say; %1 is
// the good bench's controller, which a bench without an address must not contact.
struct BadDevice { const char *name; const char *properties; const char *status; };
constexpr BadDevice kBadDevices[] = {
    {"lab/bad/1", "Address: 127.0.0.1|Port: abc", "Property Port is not a port number 1..65535: \"abc\""},
    {"lab/bad/2", "Address: 127.0.0.1|Port: 0", "Property Port is not a port number 1..65535: \"0\""},
    {"lab/bad/3", "Address: 127.0.0.1|Port: 70000", "Property Port is not a port number 1..65535: \"70000\""},
    {"lab/bad/4", "Address: \" \"", "Property Address is empty"},
    {"lab/bad/5", "Port: %1", "Property Address is not set: the controller's host name or IP address"},
    {"lab/bad/6", "Address: 127.0.0.1|Port: %1|FreshnessLimit: 0",
     "Property FreshnessLimit is not a number of seconds above 0: \"0\""},
};

// One NorvaneBench process on its own file database.
class Server
{
public:
    // A fast server's links count time ten times as fast, so that reconnecting takes 0.45 s.
    enum class Clock { Real, Fast };
    Server(const QTemporaryDir &dir, const Devices &devices, Clock clock = Clock::Real)
        : m_process(QString::fromUtf8(clock == Clock::Fast ? NORVANE_FAST_BENCH_PATH : NORVANEBENCH_PATH),
                    dir.path(), benches(devices))
    {
    }

    bool waitUntilReady()
    {
        const bool ready = m_process.start(kStartMs);
        if (!ready)
            qWarning("%s", qPrintable(m_process.errorString()));
        return ready;
    }

    std::unique_ptr<Tango::DeviceProxy> proxy(const QString &device) const
    {
        std::string name = m_process.deviceName(device).toStdString();
        return std::make_unique<Tango::DeviceProxy>(name);
    }

    // The target its Status names, before the link's words.
    static QString target(quint16 port) { return QStringLiteral("127.0.0.1:%1: ").arg(port); }

    // Sends it `signal` (0 sends none); true when it then ends by itself with status 0.
    bool endsCleanly(int signal = 0) { return m_process.endsCleanly(signal, kStartMs); }

private:
    static QList<BenchServerProcess::Device> benches(const Devices &devices)
    {
        QList<BenchServerProcess::Device> benches;
        for (const auto &[name, properties] : devices)
            benches.append({QString::fromLatin1(name), properties});
        return benches;
    }

    BenchServerProcess m_process;
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

// A set point's write part.
double setPointOf(Tango::DeviceAttribute &&read)
{
    if (read.get_type() == Tango::DEV_DOUBLE) {
        std::vector<Tango::DevDouble> values;
        return read.extract_set(values) ? values.at(0) : qQNaN();
    }
    std::vector<Tango::DevLong> values;
    return read.extract_set(values) ? values.at(0) : qQNaN();
}

template <typename T>
void write(Tango::DeviceProxy &device, const QString &name, T value)
{
    Tango::DeviceAttribute attribute(qPrintable(name), value);
    device.write_attribute(attribute);
}

// Sets one alarm or archive property of `attribute` as a lab would.
void configure(Tango::DeviceProxy &device, const QString &attribute, const QString &property, const QString &value)
{
    std::vector<std::string> names{attribute.toStdString()};
    const std::unique_ptr<Tango::AttributeInfoListEx> config(device.get_attribute_config_ex(names));
    Tango::AttributeInfoEx &info = config->front();
    const std::pair<const char *, std::string *> fields[]{
        {"min_alarm", &info.alarms.min_alarm}, {"max_alarm", &info.alarms.max_alarm},
        {"min_warning", &info.alarms.min_warning}, {"max_warning", &info.alarms.max_warning},
        {"archive_abs_change", &info.events.arch_event.archive_abs_change},
        {"abs_change", &info.events.ch_event.abs_change}, {"max_value", &info.max_value},
        {"archive_period", &info.events.arch_event.archive_period}};
    for (const auto &[key, field] : fields)
        if (property == QLatin1String(key))
            *field = value.toStdString();
    device.set_attribute_config(*config);
}

// A write of `value` to `name`, or the command `name` when `value` is invalid.
void request(Tango::DeviceProxy &device, const QString &name, const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int: return write(device, name, Tango::DevLong{value.toInt()});
    case QMetaType::Double: return write(device, name, value.toDouble());
    case QMetaType::Bool: return write(device, name, Tango::DevBoolean{value.toBool()});
    default: device.command_inout(qPrintable(name));
    }
}

// Every write and command a client can ask for, each with a value in range.
const QList<std::pair<QString, QVariant>> kEveryRequest{
    {u"EclCurrent"_qs, 1000}, {u"InjCurrent"_qs, 50}, {u"Xdac"_qs, 10}, {u"Ydac"_qs, 20},
    {u"EclPiezo"_qs, 1.5}, {u"UpPiezo"_qs, 2.5}, {u"DownPiezo"_qs, 3.5},
    {u"EclTecOn"_qs, true}, {u"InjTecOn"_qs, true}, {u"ScanOn"_qs, true}, {u"HeaterOn"_qs, true},
    {u"NarrowOn"_qs, true}, {u"SlowLockOn"_qs, true},
    {u"WarmBoot"_qs, {}}, {u"XYSquare"_qs, {}}, {u"Echo"_qs, {}}};

// True when the request is refused with one reason whatever the state, and the Status as
// description; the Status is read around it, since a reconnecting link changes it.
bool refusedWithStateAndStatus(Tango::DeviceProxy &device, const QString &name, const QVariant &value)
{
    return QTest::qWaitFor([&] {
        const std::string status = device.status();
        const std::string reason = "NorvaneBench_NotConnected";
        try {
            request(device, name, value);
        } catch (const Tango::DevFailed &failure) {
            for (CORBA::ULong i = 0; i < failure.errors.length(); ++i)
                if (reason == failure.errors[i].reason.in())
                    return status == failure.errors[i].desc.in() && status == device.status();
        }
        return false;
    }, 5000);
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

QString qualityName(Tango::AttrQuality quality)
{
    switch (quality) {
    case Tango::ATTR_VALID: return QStringLiteral("VALID");
    case Tango::ATTR_ALARM: return QStringLiteral("ALARM");
    case Tango::ATTR_WARNING: return QStringLiteral("WARNING");
    case Tango::ATTR_INVALID: return QStringLiteral("INVALID");
    default: return QString::number(quality);
    }
}

// What one subscription was sent, in order: the state of each State event, the quality of
// any other.
class EventLog final : public Tango::CallBack
{
public:
    void push_event(Tango::EventData *event) override
    {
        QString entry = QStringLiteral("error");
        double value = qQNaN();
        if (!event->err && event->attr_value) {
            const QString name = QString::fromStdString(event->attr_value->get_name());
            if (name.compare(u"State", Qt::CaseInsensitive) == 0) {
                Tango::DevState state{};
                *event->attr_value >> state;
                entry = QString::fromLatin1(Tango::DevStateName[state]);
            } else {
                entry = qualityName(event->attr_value->get_quality());
                if (event->attr_value->get_quality() != Tango::ATTR_INVALID && event->attr_value->get_dim_x() == 1)
                    value = numberOf(std::move(*event->attr_value));
            }
        }
        std::lock_guard lock(m_mutex);
        m_entries << entry;
        m_values << value;
    }

    // Each event's value as a number; NaN for State, a frame or an invalid one.
    QList<double> values() const
    {
        std::lock_guard lock(m_mutex);
        return m_values;
    }

    QStringList entries() const
    {
        std::lock_guard lock(m_mutex);
        return m_entries;
    }

private:
    mutable std::mutex m_mutex;
    QStringList m_entries;
    QList<double> m_values;
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
    void labLimitsAtTheirBoundary_data();
    void labLimitsAtTheirBoundary();
    void writesSendThePanelsFrames_data();
    void writesSendThePanelsFrames();
    void refusedUnlessConnected_data();
    void refusedUnlessConnected();
    void everyFrameOneEvent();
    void eachSubscriptionGetsEachFrame_data();
    void eachSubscriptionGetsEachFrame();
    void archiveByTheLabsCriteria_data();
    void archiveByTheLabsCriteria();
    void lastMessageKeepsEveryByte();
    void setpointsSurviveARestart();
    void badProperties_data();
    void badProperties();
    void initReconnects();
    void linkLossAndRecovery_data();
    void linkLossAndRecovery();
    void twoBenchesTwoSimulators();
    void withoutDevices_data();
    void withoutDevices();
    void subscriptionsOutliveTheKeepAliveCheck();

private:
    bool showFrame(const QByteArray &frame);
    template <typename Events>
    bool joined(Events events, int reading = 0, FakeController *controller = nullptr);

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
    Devices devices{{"lab/bench/1", bench(m_controller.port())}};
    for (const BadDevice &bad : kBadDevices)
        devices.append({bad.name, QString::fromLatin1(bad.properties).replace(u"%1"_qs, QString::number(m_controller.port())).split(u'|')});
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

// ZeroMQ drops what is published before a subscriber has joined, so the event that
// subscribing delivers does not show that the next frame's will come. Alternates an alarm
// and a quiet frame, each an event of every kind, until two in a row arrive, the last quiet.
template <typename Events>
bool TestBenchServer::joined(Events events, int reading, FakeController *controller)
{
    if (!controller)
        controller = &m_controller;
    int inARow = 0;
    bool alarm = false;
    return QTest::qWaitFor([&] {
        alarm = !alarm;
        const qsizetype before = events();
        controller->send(alarm ? frameWith(reading, 4050) : kQuiet);
        inARow = QTest::qWaitFor([&] { return events() > before; }, 300) ? inARow + 1 : 0;
        return !alarm && inARow >= 2;
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

void TestBenchServer::labLimitsAtTheirBoundary_data()
{
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("limit");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("quality");
    const auto rows = [](const char *property, const char *limit, int inside, int at, const char *quality) {
        QTest::addRow("%s %s at %d", property, limit, inside) << property << limit << inside << u"VALID"_qs;
        QTest::addRow("%s %s at %d", property, limit, at) << property << limit << at << QString::fromLatin1(quality);
    };
    // UpPd's class limits are 100 and 4000.
    rows("max_alarm", "3000", 2999, 3000, "ALARM");
    rows("min_alarm", "500", 501, 500, "ALARM");
    rows("max_warning", "2500", 2499, 2500, "WARNING");
    rows("min_warning", "1000", 1001, 1000, "WARNING");
    rows("max_alarm", "4050", 4049, 4050, "ALARM");   // wider than the panel's
}

// A lab's limits, set the Tango way, decide the next frame's quality, State and change event.
void TestBenchServer::labLimitsAtTheirBoundary()
{
    QFETCH(QString, property);
    QFETCH(QString, limit);
    QFETCH(int, count);
    QFETCH(QString, quality);
    constexpr int kUpPd = 5;
    const auto configure = [this](const QString &name, const QString &value) {
        ::configure(*m_bench, fieldName(kUpPd), name, value);
    };
    const auto restore = qScopeGuard([&] { configure(property, property == u"min_alarm" ? u"100"_qs
                                                      : property == u"max_alarm" ? u"4000"_qs : u"Not specified"_qs); });
    configure(property, limit);
    EventLog log;
    const int id = m_bench->subscribe_event(fieldName(kUpPd).toStdString(), Tango::CHANGE_EVENT, &log);
    const auto unsubscribe = qScopeGuard([&] { m_bench->unsubscribe_event(id); });
    // Else the frame's event may go out before the subscription is joined.
    QVERIFY(joined([&] { return log.entries().size(); }, kUpPd));
    // Sent until it shows, whatever the link did meanwhile: the last event is this frame's.
    QVERIFY(showFrame(frameWith(kUpPd, count)));
    QCOMPARE(qualityName(readQuality(*m_bench, fieldName(kUpPd))), quality);
    QCOMPARE(m_bench->state(), quality == u"VALID" ? Tango::ON : Tango::ALARM);
    // The frame's own event carries it, whatever the link did after it on a loaded machine.
    QTRY_VERIFY(log.values().contains(count));
    QCOMPARE(log.entries().at(log.values().lastIndexOf(count)), quality);
}

void TestBenchServer::writesSendThePanelsFrames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("value");     // invalid: a command
    QTest::addColumn<QByteArray>("frame");   // empty: Tango refuses the write
    QTest::addColumn<QString>("maxValue");   // a lab's, for the write; empty: the class's
    const auto row = [](const char *name, QVariant value, const QByteArray &frame = {}, const char *maxValue = "") {
        const QString what = QStringLiteral("%1 %2").arg(QLatin1String(name), value.toString()).trimmed()
                             + (*maxValue ? QStringLiteral(" max_value %1").arg(QLatin1String(maxValue)) : QString());
        QTest::newRow(qPrintable(what + (frame.isEmpty() ? u" refused"_qs : QString())))
            << QString::fromLatin1(name) << value << frame << QString::fromLatin1(maxValue);
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
    row("UpPiezo", qQNaN());
    // The bench's own range holds whatever a lab allows; the injection laser's guard is the lab's to widen.
    row("EclCurrent", 4500, {}, "5000"); row("Xdac", 5000, {}, "5000"); row("InjCurrent", 101);
    row("InjCurrent", 3000, hex("a60bb8"), "4095");
}

void TestBenchServer::writesSendThePanelsFrames()
{
    QFETCH(QString, name);
    QFETCH(QVariant, value);
    QFETCH(QByteArray, frame);
    QFETCH(QString, maxValue);
    QVERIFY(showFrame(kQuiet));
    const std::string classMax = maxValue.isEmpty() ? std::string() : m_bench->get_attribute_config(name.toStdString()).max_value;
    if (!maxValue.isEmpty())
        configure(*m_bench, name, u"max_value"_qs, maxValue);
    // Tango keeps a limit from falling below the last write: one within both goes first.
    const auto restore = qScopeGuard([&] {
        if (maxValue.isEmpty())
            return;
        try {
            if (!frame.isEmpty()) {
                const qsizetype before = m_controller.received().size();
                request(*m_bench, name, value.typeId() == QMetaType::Int ? QVariant(0) : QVariant(0.0));
                if (!QTest::qWaitFor([&] { return m_controller.received().size() > before; }))
                    qWarning("the restoring write did not arrive");
            }
            configure(*m_bench, name, u"max_value"_qs, QString::fromStdString(classMax));
        } catch (const Tango::DevFailed &failure) {
            qWarning("%s", failure.errors[0].desc.in());
        }
    });
    m_controller.received().clear();
    // Keep-alives come on their own clock; no frame under test holds 0xA3.
    const auto sent = [this] { return m_controller.received().replace('\xa3', QByteArray()).toHex(); };
    const bool setpoint = value.typeId() == QMetaType::Int || value.typeId() == QMetaType::Double;
    if (frame.isEmpty()) {
        const double before = setPointOf(m_bench->read_attribute(qPrintable(name)));
        QVERIFY_THROWS_EXCEPTION(Tango::DevFailed, request(*m_bench, name, value));
        QCOMPARE(setPointOf(m_bench->read_attribute(qPrintable(name))), before);
        // A command behind it: whatever the refused write had sent would arrive first.
        m_bench->command_inout("WarmBoot");
        QTRY_COMPARE(sent(), QByteArray("a4"));
        return;
    }
    request(*m_bench, name, value);
    QTRY_COMPARE(sent(), frame.toHex());
    if (setpoint) {
        // Writes what was written; reads the controller's readback, 2000 counts in the quiet frame.
        QCOMPARE(setPointOf(m_bench->read_attribute(qPrintable(name))), value.toDouble());
        const double readback = value.typeId() == QMetaType::Double ? (4095 - 2000) / 4095.0 * 63.3 : 2000;
        QCOMPARE(numberOf(m_bench->read_attribute(qPrintable(name))), readback);
    }
}

void TestBenchServer::refusedUnlessConnected_data()
{
    QTest::addColumn<QString>("situation");
    for (const char *situation : {"no controller", "before the first connection", "after a loss"})
        QTest::newRow(situation) << QString::fromLatin1(situation);
}

// What the bench cannot carry is refused, and nothing of it leaves once the link returns.
void TestBenchServer::refusedUnlessConnected()
{
    QFETCH(QString, situation);
    if (situation == u"no controller") {
        auto bad = m_server->proxy(QString::fromLatin1(kBadDevices[0].name));
        for (const auto &[name, value] : kEveryRequest)
            QVERIFY2(refusedWithStateAndStatus(*bad, name, value), qPrintable(name));
        return;
    }
    FakeController controller;
    const bool lose = situation == u"after a loss";
    if (!lose)
        controller.stopListening();
    Server server(m_dir, {{"lab/bench/8", bench(controller.port())}}, Server::Clock::Fast);
    QVERIFY(server.waitUntilReady());
    auto bench = server.proxy(QStringLiteral("lab/bench/8"));
    if (lose) {
        QVERIFY(controller.waitForClient());
        controller.send(kQuiet);
        QTRY_COMPARE(bench->state(), Tango::ON);
        write(*bench, u"EclCurrent"_qs, Tango::DevLong{1234});
        QTRY_VERIFY(controller.received().contains(QByteArray::fromHex("a504d2")));
        controller.stopListening();
        controller.closeClient();
        QTRY_COMPARE(bench->state(), Tango::FAULT);
    }
    for (const auto &[name, value] : kEveryRequest)
        QVERIFY2(refusedWithStateAndStatus(*bench, name, value), qPrintable(name));

    controller.received().clear();
    controller.resumeListening();
    QVERIFY(controller.waitForClient(lose ? 2 : 1));
    // Connected is not enough: the bench takes requests once it reports again.
    QVERIFY(QTest::qWaitFor([&] {
        controller.send(kQuiet);
        try {
            bench->command_inout("WarmBoot");
            return true;
        } catch (const Tango::DevFailed &) {
            return false;
        }
    }, 10000));
    QTRY_COMPARE(controller.received().replace('\xa3', QByteArray()).toHex(), QByteArray("a4"));
    if (lose)   // the set point that reached the bench
        QCOMPARE(setPointOf(bench->read_attribute("EclCurrent")), 1234.0);
    bench.reset();
    QVERIFY(server.endsCleanly(SIGTERM));
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
    QVERIFY(joined([&] { return counter.count.load(); }, kReading));
    counter.count = 0;
    counter.last = 0;
    counter.outOfStep = 0;

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
    QTRY_COMPARE_WITH_TIMEOUT(counter.count.load(), kFrames, 20000);
    QCOMPARE(counter.outOfStep.load(), 0);
    QCOMPARE(counter.last.load(), kFrames);
    m_bench->unsubscribe_event(id);
}

void TestBenchServer::eachSubscriptionGetsEachFrame_data()
{
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<int>("eventType");
    QTest::addColumn<QStringList>("seen");
    QTest::addColumn<QString>("absChange");   // a lab's; empty: none
    const QStringList pdQualities{u"VALID"_qs, u"ALARM"_qs, u"ALARM"_qs, u"VALID"_qs};
    const QStringList allValid(pdQualities.size(), u"VALID"_qs);
    const QString pd = fieldName(0);
    QTest::newRow("EclPd change") << pd << int(Tango::CHANGE_EVENT) << pdQualities << QString();
    // By the archive's criteria: the repeated frames change nothing that matters.
    QTest::newRow("EclPd archive") << pd << int(Tango::ARCHIVE_EVENT) << QStringList{u"ALARM"_qs, u"VALID"_qs} << QString();
    QTest::newRow("EclTemp change") << u"EclTemp"_qs << int(Tango::CHANGE_EVENT) << allValid << QString();
    QTest::newRow("EclTecOn change") << u"EclTecOn"_qs << int(Tango::CHANGE_EVENT) << allValid << QString();
    QTest::newRow("StatusFrame change") << u"StatusFrame"_qs << int(Tango::CHANGE_EVENT) << allValid << QString();
    // State only on a change.
    QTest::newRow("State change") << u"State"_qs << int(Tango::CHANGE_EVENT) << QStringList{u"ALARM"_qs, u"ON"_qs} << QString();
    // A lab's criterion: the repeated frames, and the first one, equal to the last, are none.
    QTest::newRow("EclPd change, abs_change 100") << pd << int(Tango::CHANGE_EVENT)
                                                 << QStringList{u"ALARM"_qs, u"VALID"_qs} << u"100"_qs;
}

// Whichever attribute and kind of event a client takes, alone among the device's
// attributes, each frame of one write is one event, with its quality.
void TestBenchServer::eachSubscriptionGetsEachFrame()
{
    QFETCH(QString, attribute);
    QFETCH(int, eventType);
    QFETCH(QStringList, seen);
    QFETCH(QString, absChange);
    if (!absChange.isEmpty())
        configure(*m_bench, attribute, u"abs_change"_qs, absChange);
    const auto restore = qScopeGuard([&] {
        if (!absChange.isEmpty())
            configure(*m_bench, attribute, u"abs_change"_qs, u"Not specified"_qs);
    });
    QVERIFY(showFrame(kQuiet));
    EventLog log;
    const int id = m_bench->subscribe_event(attribute.toStdString(), Tango::EventType(eventType), &log);
    const auto unsubscribe = qScopeGuard([&] { m_bench->unsubscribe_event(id); });   // before the log goes
    QVERIFY(joined([&] { return log.entries().size(); }));
    const qsizetype before = log.entries().size();
    m_controller.send(frameWith(0, 2000) + frameWith(0, 50) + frameWith(0, 50) + frameWith(0, 2000));
    QTRY_COMPARE(log.entries().mid(before), seen);
}

void TestBenchServer::archiveByTheLabsCriteria_data()
{
    QTest::addColumn<QString>("property");   // empty: the class defaults
    QTest::addColumn<QString>("value");
    QTest::addColumn<QList<int>>("counts");
    QTest::addColumn<QList<int>>("pausesMs");   // before each frame
    QTest::addColumn<QList<double>>("archived");
    // From 2000, the last value archived.
    QTest::newRow("archive_abs_change 100") << u"archive_abs_change"_qs << u"100"_qs
        << QList<int>{2050, 2099, 2150, 2200, 2260} << QList<int>(5, 0) << QList<double>{2150, 2260};
    QTest::newRow("archive_period 300 ms") << u"archive_period"_qs << u"300"_qs
        << QList<int>{2005, 2010, 2015} << QList<int>{0, 400, 0} << QList<double>{2010};
    // The default abs change is 20 counts; an alarm's edge is a change of quality.
    QTest::newRow("a quality change") << QString() << QString()
        << QList<int>{105, 104, 100, 101} << QList<int>(4, 0) << QList<double>{105, 100, 101};
}

// Archive events follow the archive criteria as a lab sets them; change events stay one per frame.
void TestBenchServer::archiveByTheLabsCriteria()
{
    QFETCH(QString, property);
    QFETCH(QString, value);
    QFETCH(QList<int>, counts);
    QFETCH(QList<int>, pausesMs);
    QFETCH(QList<double>, archived);
    constexpr int kEclPd = 0;
    const QString name = fieldName(kEclPd);
    if (!property.isEmpty())
        configure(*m_bench, name, property, value);
    const auto restore = qScopeGuard([&] {
        configure(*m_bench, name, u"archive_abs_change"_qs, u"20"_qs);
        configure(*m_bench, name, u"archive_period"_qs, u"60000"_qs);
    });
    QVERIFY(showFrame(kQuiet));
    EventLog archive;
    EventLog change;
    const int ids[]{m_bench->subscribe_event(name.toStdString(), Tango::ARCHIVE_EVENT, &archive),
                    m_bench->subscribe_event(name.toStdString(), Tango::CHANGE_EVENT, &change)};
    const auto unsubscribe = qScopeGuard([&] {
        for (int id : ids)
            m_bench->unsubscribe_event(id);
    });
    QVERIFY(joined([&] { return std::min(archive.entries().size(), change.entries().size()); }, kEclPd));
    const qsizetype archivedBefore = archive.values().size();
    const qsizetype changesBefore = change.values().size();
    for (qsizetype i = 0; i < counts.size(); ++i) {
        QTest::qWait(pausesMs[i]);
        m_controller.send(frameWith(kEclPd, counts[i]));
    }
    QTRY_COMPARE(change.values().size(), changesBefore + counts.size());
    QCOMPARE(archive.values().mid(archivedBefore), archived);
}

// A DevString carries bytes 0x80..0xFF unchanged, one byte per character.
void TestBenchServer::lastMessageKeepsEveryByte()
{
    const QByteArray text("Lock \x80\xe9\xff", 8);
    m_controller.send("\xaf" + text);
    QTRY_COMPARE(QByteArray::fromStdString(extracted<std::string>(m_bench->read_attribute("LastMessage"))).toHex(),
                 text.toHex());
}

// A write is an event for every client, as is a change of its readback; a restart shows
// the last write and sends nothing.
void TestBenchServer::setpointsSurviveARestart()
{
    constexpr int kEclCurrentDac = 8;
    FakeController controller;
    Server server(m_dir, {{"lab/bench/7", bench(controller.port())}});
    QVERIFY(server.waitUntilReady());
    auto bench = server.proxy(u"lab/bench/7"_qs);
    QVERIFY(controller.waitForClient());
    controller.send(kQuiet);
    QTRY_COMPARE(bench->state(), Tango::ON);
    EventLog log;
    const int id = bench->subscribe_event("EclCurrent", Tango::CHANGE_EVENT, &log);
    // Written until an event shows it: one published before the subscription joined is lost.
    QVERIFY(QTest::qWaitFor([&] {
        const qsizetype before = log.entries().size();
        write(*bench, u"EclCurrent"_qs, Tango::DevLong{1234});
        return QTest::qWaitFor([&] { return log.entries().size() > before; }, 300);
    }, 10000));
    QCOMPARE(log.values().last(), 2000.0);   // the readback, until the controller reports anew
    controller.send(frameWith(kEclCurrentDac, 1234));
    QTRY_COMPARE(log.values().last(), 1234.0);
    bench->unsubscribe_event(id);
    bench.reset();
    QVERIFY(server.endsCleanly(SIGTERM));

    // The old connection's last bytes read before forgetting them: only what the new
    // server sends counts.
    QTRY_COMPARE(controller.client()->state(), QAbstractSocket::UnconnectedState);
    controller.received().clear();
    QVERIFY(server.waitUntilReady());
    QVERIFY(controller.waitForClient(2));
    bench = server.proxy(u"lab/bench/7"_qs);
    controller.send(kQuiet);
    QTRY_COMPARE(bench->state(), Tango::ON);
    QCOMPARE(setPointOf(bench->read_attribute("EclCurrent")), 1234.0);
    QCOMPARE(numberOf(bench->read_attribute("EclCurrent")), 2000.0);
    QCOMPARE(controller.received().replace('\xa3', QByteArray()).toHex(), QByteArray());
    bench.reset();
    QVERIFY(server.endsCleanly(SIGTERM));
}

void TestBenchServer::badProperties_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("status");
    for (const BadDevice &bad : kBadDevices)
        QTest::newRow(bad.name) << QString::fromLatin1(bad.name) << QString::fromLatin1(bad.status);
}

// A bad device is in FAULT and says why, also after Init.
void TestBenchServer::badProperties()
{
    QFETCH(QString, device);
    QFETCH(QString, status);
    auto bad = m_server->proxy(device);
    QCOMPARE(bad->state(), Tango::FAULT);
    QCOMPARE(QString::fromStdString(bad->status()), status);
    const int connections = m_controller.connections();
    bad->command_inout("Init");
    QCOMPARE(bad->state(), Tango::FAULT);
    QTest::qWait(100);
    QCOMPARE(m_controller.connections(), connections);
}

// Init reads the properties again and connects anew.
void TestBenchServer::initReconnects()
{
    const int before = m_controller.connections();
    m_bench->command_inout("Init");
    QVERIFY(m_controller.waitForClient(before + 1));
    QVERIFY(showFrame(kGoldenFrame));
    QCOMPARE(m_bench->state(), Tango::ALARM);
    QCOMPARE(QString::fromStdString(m_bench->status()),
             Server::target(m_controller.port()) + u"Connected! In alarm: EclTec, InjTemp."_qs);
    QCOMPARE(QString::fromStdString(extracted<std::string>(m_bench->read_attribute("Target"))),
             Server::target(m_controller.port()).chopped(2));
    QCOMPARE(extracted<Tango::DevLong>(m_bench->read_attribute("Reconnects")), 0);   // counted from Init
    QVERIFY(extracted<Tango::DevLong64>(m_bench->read_attribute("FramesReceived")) >= 1);
    // A reading is stamped with its frame's arrival, not the read's.
    QTest::qWait(300);
    const Tango::TimeVal stamp = m_bench->read_attribute("EclPd").get_date();
    QVERIFY(QDateTime::currentMSecsSinceEpoch() - (stamp.tv_sec * 1000LL + stamp.tv_usec / 1000) >= 250);
}

void TestBenchServer::linkLossAndRecovery_data()
{
    QTest::addColumn<bool>("hangUp");
    QTest::addColumn<bool>("listening");   // the controller takes the link's next attempt
    QTest::addColumn<QString>("status");   // in FAULT, once the link has reopened
    QTest::addColumn<int>("freshSeconds");
    const QString refused = u"Error: Connection refused"_qs;
    QTest::newRow("silence") << false << false << refused << 60;
    QTest::newRow("controller hangs up") << true << false << refused << 60;
    // Reconnected but still silent: the Status says why the bench is in FAULT.
    QTest::newRow("silence, still listening")
        << false << true << u"Lost connection, closed: nothing from the controller for 5 s. Connected!"_qs << 60;
    QTest::newRow("hang-up, still listening")
        << true << true << u"Error: The remote host closed the connection. Connected!"_qs << 60;
    // Connected and silent: stale long before the link's own watchdog closes it.
    QTest::newRow("stall") << false << true
        << u"No status frame for more than 3 s (FreshnessLimit): readings INVALID. Connected!"_qs << 3;
}

// At ten times the speed: the watchdog closes a silent link after 0.5 s and reopens it; a
// hang-up is a loss at once.
void TestBenchServer::linkLossAndRecovery()
{
    QFETCH(bool, hangUp);
    QFETCH(bool, listening);
    QFETCH(QString, status);
    QFETCH(int, freshSeconds);
    FakeController controller;
    Server server(m_dir, {{"lab/bench/9", bench(controller.port(), freshSeconds)}}, Server::Clock::Fast);
    QVERIFY(server.waitUntilReady());
    auto bench = server.proxy(QStringLiteral("lab/bench/9"));
    QTimer stream;   // a frame every 50 ms, as a live controller sends them
    connect(&stream, &QTimer::timeout, this, [&controller] { controller.send(kQuiet); });
    QVERIFY(controller.waitForClient());
    stream.start(50);
    QTRY_COMPARE_WITH_TIMEOUT(bench->state(), Tango::ON, 10000);
    stream.stop();
    EventLog archive;
    const int id = bench->subscribe_event("EclPd", Tango::ARCHIVE_EVENT, &archive);
    auto unsubscribe = qScopeGuard([&] { bench->unsubscribe_event(id); });
    QVERIFY(joined([&] { return archive.entries().size(); }, 0, &controller));
    const qsizetype archivedBefore = archive.entries().size();

    if (!listening)
        controller.stopListening();
    if (hangUp)
        controller.closeClient();
    QTRY_COMPARE_WITH_TIMEOUT(bench->state(), Tango::FAULT, 10000);
    QTRY_COMPARE(QString::fromStdString(bench->status()), Server::target(controller.port()) + status);
    for (const QString &name : {u"EclPd"_qs, u"EclTecOn"_qs})
        QCOMPARE(readQuality(*bench, name), Tango::ATTR_INVALID);

    if (!listening)
        controller.resumeListening();
    QVERIFY(controller.waitForClient(2));
    stream.start();
    QTRY_COMPARE_WITH_TIMEOUT(bench->state(), Tango::ON, 10000);
    QCOMPARE(QString::fromStdString(bench->status()), Server::target(controller.port()) + u"Connected!"_qs);
    QCOMPARE(readQuality(*bench, u"EclPd"_qs), Tango::ATTR_VALID);
    // The loss and the first frame after it are archived, the repeated frames are not.
    QTRY_COMPARE(archive.entries().mid(archivedBefore), (QStringList{u"INVALID"_qs, u"VALID"_qs}));
    stream.stop();
    bench->unsubscribe_event(id);
    unsubscribe.dismiss();
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
    Server server(m_dir, {{"lab/bench/1", bench(sims[0].port())}, {"lab/bench/2", bench(sims[1].port())}});
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

void TestBenchServer::withoutDevices_data()
{
    QTest::addColumn<bool>("kill");   // the admin device's Kill, else SIGTERM
    QTest::newRow("SIGTERM") << false;
    QTest::newRow("Kill") << true;
}

// A server with no device serves its admin device and ends as one with devices does.
void TestBenchServer::withoutDevices()
{
    QFETCH(bool, kill);
    Server server(m_dir, {});
    QVERIFY(server.waitUntilReady());
    if (kill)
        server.proxy(QStringLiteral("dserver/NorvaneBench/test"))->command_inout("Kill");
    QVERIFY(server.endsCleanly(kill ? 0 : SIGTERM));
}

// A client checks its subscriptions' heartbeat every ten seconds and drops those it has not
// heard; a server without a database must still be heard.
void TestBenchServer::subscriptionsOutliveTheKeepAliveCheck()
{
    QVERIFY(showFrame(kQuiet));
    EventLog log;
    const int id = m_bench->subscribe_event("EclPd", Tango::CHANGE_EVENT, &log);
    const auto unsubscribe = qScopeGuard([&] { m_bench->unsubscribe_event(id); });
    QVERIFY(joined([&] { return log.entries().size(); }));
    // Two of the client's checks, with the bench reporting: a silent one would be lost
    // and reopened meanwhile, and a frame could go to the connection on its way out.
    QTimer reporting;
    connect(&reporting, &QTimer::timeout, this, [this] { m_controller.send(kQuiet); });
    reporting.start(500);
    QTest::qWait(21000);
    reporting.stop();
    const qsizetype before = log.entries().size();
    m_controller.send(frameWith(0, 50));
    QTRY_VERIFY(log.entries().mid(before).contains(u"ALARM"_qs));
    QVERIFY2(!log.entries().contains(u"error"_qs), qPrintable(log.entries().join(u' ')));
}

QTEST_GUILESS_MAIN(TestBenchServer)
#include "tst_benchserver.moc"
