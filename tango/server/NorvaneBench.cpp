// The NorvaneBench device class: one device per bench, its attributes from kBenchAttributes,
// its commands, and the bridge through which the Qt thread updates it. Tango's header
// compiles slowly, so the server's other files stay clear of it where they can.

#include "tango/server/BenchServer.h"
#include "tango/tables/BenchTables.h"
#include "tango/server/AttributeFactory.h"
#include "tango/server/LinkHub.h"

#include <QCoreApplication>
#include <QTimer>

#include <sys/time.h>

#include <algorithm>
#include <array>
#include <bitset>
#include <cstring>
#include <mutex>
#include <string>

#include <tango.h>

#include "tango/server/TangoWorkarounds.h"

namespace {

timeval timeNow()
{
    timeval now{};
    gettimeofday(&now, nullptr);
    return now;
}

std::string text(std::string_view view)
{
    return std::string(view);
}

// A reading's quality under its attribute's alarm and warning limits as configured now,
// the class defaults or a lab's; inclusive, as Tango's own check.
template <typename T>
Tango::AttrQuality configuredQuality(Tango::Attribute &attribute, T value)
{
    const std::bitset<Tango::Attribute::numFlags> &set = attribute.is_alarmed();
    if (set.none())
        return Tango::ATTR_VALID;
    T limit{};
    if (set.test(Tango::Attribute::min_level) && (attribute.get_min_alarm(limit), value <= limit))
        return Tango::ATTR_ALARM;
    if (set.test(Tango::Attribute::max_level) && (attribute.get_max_alarm(limit), value >= limit))
        return Tango::ATTR_ALARM;
    if (set.test(Tango::Attribute::min_warn) && (attribute.get_min_warning(limit), value <= limit))
        return Tango::ATTR_WARNING;
    if (set.test(Tango::Attribute::max_warn) && (attribute.get_max_warning(limit), value >= limit))
        return Tango::ATTR_WARNING;
    return Tango::ATTR_VALID;
}

std::string lostText()
{
    return text(LinkEvent{LinkEvent::Kind::Lost, {}}).trimmed().toStdString();
}

} // namespace

constexpr bool readingsComeFirst()
{
    for (int i = 0; i < kReadbackCount; ++i)
        if (kBenchAttributes[i].kind != AttrKind::Reading || kBenchAttributes[i].row != i)
            return false;
    return true;
}
static_assert(readingsComeFirst(), "a frame's readings are found by their index");

class NorvaneBench;

// The Qt thread's only way to a device. A device that goes detaches first, under the same
// lock, so that no frame reaches it half destroyed. A frame takes the device's monitor
// only while it updates values and pushes events; request threads never wait for the Qt
// thread, so the lock order (bridge, then monitor) cannot close a cycle.
class DeviceBridge final : public BenchSink
{
public:
    explicit DeviceBridge(NorvaneBench *device) : m_device(device) {}

    void detach()
    {
        std::lock_guard lock(m_mutex);
        m_device = nullptr;
    }

    void statusFrame(QByteArrayView frame) override;
    void message(QByteArrayView text) override;
    void linkDown() override;
    void linkEvent(const LinkEvent &event) override;

private:
    template <typename Update>
    void withDevice(Update &&update);

    std::mutex m_mutex;
    NorvaneBench *m_device;
};

class NorvaneBench final : public Tango::Device_4Impl
{
public:
    NorvaneBench(Tango::DeviceClass *deviceClass, std::string &name, LinkHub &hub);
    ~NorvaneBench() override;

    void init_device() override;
    // Values come from the link, never from reading attributes here.
    Tango::DevState dev_state() override { return get_state(); }
    Tango::ConstDevString dev_status() override { return get_status().c_str(); }

    void readAttribute(const BenchAttribute &row, Tango::Attribute &attribute);
    // Throws unless what is asked can reach the controller now: only a connected link
    // carries it, and nothing waits for the link to return.
    void checkCarried();
    void writeAttribute(const BenchAttribute &row, Tango::WAttribute &attribute);
    void sendCommand(Command command);

    // On the Qt thread, under the monitor.
    void handleStatusFrame(QByteArrayView frame);
    void handleMessage(QByteArrayView text);
    void handleLinkDown();
    void handleLinkEvent(const LinkEvent &event);

private:
    // INIT waits for the first frame after Init; after a loss the bench stays in FAULT
    // until frames return, however often the link reconnects meanwhile.
    enum class Phase { Misconfigured, Waiting, Running, Down };

    template <typename T>
    void push(int attributeIndex, T *value, const timeval &when, Tango::AttrQuality quality, long size = 1);
    void pushFrame(const timeval &when, Tango::AttrQuality quality);
    void changeState(Tango::DevState state);
    void showLinkStatus();

    LinkHub &m_hub;   // outlives every device
    std::shared_ptr<DeviceBridge> m_bridge;
    Phase m_phase = Phase::Waiting;
    bool m_connected = false;
    std::string m_linkText;   // what the link did last, in the console's words
    std::string m_cause;      // why the bench went to FAULT
    std::array<Tango::Attribute *, kBenchAttributeCount> m_attributes{};

    std::array<Tango::DevUChar, kStatusFrameSize> m_frame{};
    std::array<Tango::DevLong, kReadbackCount> m_counts{};
    std::array<Tango::DevDouble, kReadbackCount> m_degrees{};
    std::array<Tango::AttrQuality, kReadbackCount> m_quality{};
    std::array<Tango::DevBoolean, kSwitchCount> m_switches{};
    std::array<Tango::DevLong, kBenchSetpointCount> m_writtenCounts{};
    std::array<Tango::DevDouble, kBenchSetpointCount> m_writtenVolts{};
    std::array<bool, kBenchSetpointCount> m_written{};
    std::string m_message;
    Tango::DevString m_messageText = nullptr;
    Tango::DevState m_pushedState = Tango::UNKNOWN;
};

template <typename Update>
void DeviceBridge::withDevice(Update &&update)
{
    std::lock_guard lock(m_mutex);
    if (!m_device)
        return;
    try {
        Tango::AutoTangoMonitor guard(&m_device->get_dev_monitor());
        update(*m_device);
    } catch (const Tango::DevFailed &failure) {
        // A monitor held past its timeout, or no subscriber channel: this update is lost,
        // the next frame brings a whole new one.
        Tango::Except::print_exception(failure);
    }
}

void DeviceBridge::statusFrame(QByteArrayView frame) { withDevice([frame](NorvaneBench &d) { d.handleStatusFrame(frame); }); }
void DeviceBridge::message(QByteArrayView text) { withDevice([text](NorvaneBench &d) { d.handleMessage(text); }); }
void DeviceBridge::linkDown() { withDevice([](NorvaneBench &d) { d.handleLinkDown(); }); }
void DeviceBridge::linkEvent(const LinkEvent &event) { withDevice([&event](NorvaneBench &d) { d.handleLinkEvent(event); }); }

NorvaneBench::NorvaneBench(Tango::DeviceClass *deviceClass, std::string &name, LinkHub &hub)
    : Tango::Device_4Impl(deviceClass, name), m_hub(hub), m_bridge(std::make_shared<DeviceBridge>(this))
{
    m_hub.enroll();
    for (int i = 0; i < kBenchAttributeCount; ++i)
        m_attributes[i] = &dev_attr->get_attr_by_name(text(kBenchAttributes[i].name).c_str());
    m_messageText = m_message.data();
    set_change_event("State", true, false);
    set_archive_event("State", true, false);
    init_device();
}

NorvaneBench::~NorvaneBench()
{
    m_bridge->detach();
    m_hub.withdraw(m_bridge.get());
}

void NorvaneBench::init_device()
{
    std::string address = "127.0.0.1";
    std::string port = "44174";
    if (Tango::Util::_UseDb) {
        Tango::DbData properties{Tango::DbDatum("Address"), Tango::DbDatum("Port")};
        get_db_device()->get_property(properties);
        if (!properties[0].is_empty())
            properties[0] >> address;
        if (!properties[1].is_empty())
            properties[1] >> port;
    }
    const QString host = QString::fromStdString(address);
    const QString portText = QString::fromStdString(port);
    m_connected = false;
    if (const std::optional<QString> problem = LinkHub::addressProblem(host, portText)) {
        m_phase = Phase::Misconfigured;
        m_hub.drop(m_bridge.get());
        changeState(Tango::FAULT);
        set_status(problem->toStdString());
        return;
    }
    m_phase = Phase::Waiting;
    changeState(Tango::INIT);
    set_status(std::string());   // the link says what it does as soon as it starts
    m_hub.open(m_bridge, host, portText);
}

void NorvaneBench::readAttribute(const BenchAttribute &row, Tango::Attribute &attribute)
{
    const bool live = m_phase == Phase::Running;
    switch (row.kind) {
    case AttrKind::Reading:
        if (!live)
            attribute.set_quality(Tango::ATTR_INVALID);
        else if (isTemperature(row.row))
            attribute.set_value(&m_degrees[row.row]);
        else
            attribute.set_value(&m_counts[row.row]);
        break;
    case AttrKind::Switch:
        if (live) {
            attribute.set_value(&m_switches[row.row]);
            // A switch's set point is what the bench shows, also when another client
            // or panel flipped it; left alone, Tango would report a stale or default one.
            if (auto *writable = dynamic_cast<Tango::WAttribute *>(&attribute))
                writable->set_write_value(m_switches[row.row]);
        } else
            attribute.set_quality(Tango::ATTR_INVALID);
        break;
    case AttrKind::Setpoint:
        if (!m_written[row.row])
            attribute.set_quality(Tango::ATTR_INVALID);
        else if (kBenchSetpoints[row.row].family == FieldFamily::Piezo)
            attribute.set_value(&m_writtenVolts[row.row]);
        else
            attribute.set_value(&m_writtenCounts[row.row]);
        break;
    case AttrKind::Frame:
        if (live)
            attribute.set_value(m_frame.data(), kStatusFrameSize);
        else
            attribute.set_quality(Tango::ATTR_INVALID);
        break;
    case AttrKind::Message:
        attribute.set_value(&m_messageText);
        break;
    }
}

void NorvaneBench::checkCarried()
{
    if (!m_connected)
        Tango::Except::throw_exception(std::string("NorvaneBench_") + Tango::DevStateName[get_state()],
                                       get_status(), "NorvaneBench::is_allowed");
}

void NorvaneBench::writeAttribute(const BenchAttribute &row, Tango::WAttribute &attribute)
{
    if (row.kind == AttrKind::Switch) {
        Tango::DevBoolean on = false;
        attribute.get_write_value(on);
        m_hub.send(m_bridge.get(), {.command = kSwitches[row.row].command, .on = on});
        return;
    }
    const BenchSetpoint &setpoint = kBenchSetpoints[row.row];
    Tango::DevDouble volts = 0;
    Tango::DevLong count = 0;
    if (setpoint.family == FieldFamily::Piezo)
        attribute.get_write_value(volts);
    else
        attribute.get_write_value(count);
    const double value = setpoint.family == FieldFamily::Piezo ? volts : count;
    const QString typed = setpointText(setpoint, value);
    const std::optional<CommandRequest> request = commandRequest(setpoint.command, typed);
    if (!request) {
        // The panel's field would send nothing for it; a script must hear so.
        Tango::Except::throw_exception(
            "NorvaneBench_FieldRule",
            QStringLiteral("%1: the field's rule sends nothing for \"%2\"")
                .arg(QLatin1String(row.name.data(), static_cast<qsizetype>(row.name.size())), typed).toStdString(),
            "NorvaneBench::write");
    }
    m_writtenVolts[row.row] = volts;
    m_writtenCounts[row.row] = count;
    m_written[row.row] = true;
    m_hub.send(m_bridge.get(), *request);
}

void NorvaneBench::sendCommand(Command command)
{
    m_hub.send(m_bridge.get(), {command});
}

void NorvaneBench::handleStatusFrame(QByteArrayView frame)
{
    if (m_phase == Phase::Misconfigured)
        return;
    if (m_phase != Phase::Running) {
        m_phase = Phase::Running;
        showLinkStatus();
    }
    std::copy(frame.begin(), frame.end(), m_frame.begin());
    const StatusReadings readings = decodeStatusFrame(frame);
    bool alarm = false;
    const timeval now = timeNow();
    for (int i = 0; i < kReadbackCount; ++i) {
        const int count = readings.values[i];
        m_counts[i] = count;
        m_degrees[i] = readingValue(i, count);
        // Readings come first in kBenchAttributes, in frame order.
        Tango::Attribute &attribute = *m_attributes[i];
        m_quality[i] = isTemperature(i) ? configuredQuality(attribute, m_degrees[i]) : configuredQuality(attribute, m_counts[i]);
        // A warning is ALARM to the State, as in Tango's own rule.
        alarm = alarm || m_quality[i] != Tango::ATTR_VALID;
    }
    for (int i = 0; i < kSwitchCount; ++i)
        m_switches[i] = (readings.flags & kSwitches[i].mask) != 0;

    pushFrame(now, Tango::ATTR_VALID);
    changeState(alarm ? Tango::ALARM : Tango::ON);
}

void NorvaneBench::handleMessage(QByteArrayView text)
{
    // A DevString is a C string: Latin-1 keeps each byte 0x01..0xFF as one character;
    // a NUL byte would end it, so the text ends at the first one.
    m_message.assign(text.data(), static_cast<std::size_t>(text.size()));
    m_message.resize(std::strlen(m_message.c_str()));
    m_messageText = m_message.data();
    const timeval now = timeNow();
    for (int i = 0; i < kBenchAttributeCount; ++i)
        if (kBenchAttributes[i].kind == AttrKind::Message)
            push(i, &m_messageText, now, Tango::ATTR_VALID);
}

void NorvaneBench::handleLinkDown()
{
    m_connected = false;
    if (m_phase == Phase::Misconfigured || m_phase == Phase::Down)
        return;
    // The link says what ended it just before: an error, or its watchdog's silence.
    m_cause = m_linkText == lostText() ? "Lost connection, closed: nothing from the controller for 5 s."
                  : m_linkText + '.';
    m_phase = Phase::Down;
    pushFrame(timeNow(), Tango::ATTR_INVALID);
    changeState(Tango::FAULT);
    showLinkStatus();
}

void NorvaneBench::handleLinkEvent(const LinkEvent &event)
{
    m_connected = event.kind == LinkEvent::Kind::Connected;
    m_linkText = text(event).trimmed().toStdString();
    showLinkStatus();
}

void NorvaneBench::showLinkStatus()
{
    if (m_phase == Phase::Misconfigured)
        return;
    // In FAULT the link's latest words alone would not say why ("Connected!"); an error says it itself.
    std::string status = m_linkText;
    if (m_phase == Phase::Down && !m_linkText.starts_with("Error:"))
        status = m_linkText == lostText() ? m_cause : m_cause + ' ' + m_linkText;
    set_status(status);
}

template <typename T>
void NorvaneBench::push(int attributeIndex, T *value, const timeval &when, Tango::AttrQuality quality, long size)
{
    // Most attributes of a frame have no client at all; building an event that Tango then
    // throws away was most of the device's own cost per frame.
    Tango::Attribute &attribute = *m_attributes[attributeIndex];
    const bool change = attribute.change_event_subscribed();
    const bool archive = attribute.archive_event_subscribed();
    timeval stamp = when;
    if (change) {
        attribute.set_value_date_quality(value, stamp, quality, size);
        attribute.fire_change_event();
    }
    if (archive) {
        attribute.set_value_date_quality(value, stamp, quality, size);
        attribute.fire_archive_event();
    }
}

void NorvaneBench::pushFrame(const timeval &when, Tango::AttrQuality quality)
{
    // Readings carry their own quality unless the whole frame is invalid.
    const auto qualityOf = [&](int reading) { return quality == Tango::ATTR_VALID ? m_quality[reading] : quality; };
    for (int i = 0; i < kBenchAttributeCount; ++i) {
        const BenchAttribute &row = kBenchAttributes[i];
        if (row.kind == AttrKind::Reading && isTemperature(row.row))
            push(i, &m_degrees[row.row], when, qualityOf(row.row));
        else if (row.kind == AttrKind::Reading)
            push(i, &m_counts[row.row], when, qualityOf(row.row));
        else if (row.kind == AttrKind::Switch)
            push(i, &m_switches[row.row], when, quality);
        else if (row.kind == AttrKind::Frame)
            push(i, m_frame.data(), when, quality, kStatusFrameSize);
    }
}

void NorvaneBench::changeState(Tango::DevState state)
{
    if (state == m_pushedState)
        return;
    set_state(state);
    m_pushedState = state;
    if (Tango::Util::instance()->is_svr_starting())
        return;   // no event channel yet; subscribers read the state when they subscribe
    timeval now = timeNow();
    push_change_event("State", &m_pushedState, now, Tango::ATTR_VALID);
    push_archive_event("State", &m_pushedState, now, Tango::ATTR_VALID);
}

constexpr const char *kArchivePeriodMs = "60000";
constexpr const char *kArchiveCounts = "20";     // half a percent of the 12-bit scale
constexpr const char *kArchiveDegrees = "0.1";

// One attribute class for every row of kBenchAttributes; Base is Tango::Attr or Tango::SpectrumAttr.
template <typename Base>
class BenchAttr final : public Base
{
public:
    template <typename... Args>
    BenchAttr(const BenchAttribute &row, Args... args) : Base(args...), m_row(row)
    {
        Tango::UserDefaultAttrProp properties;
        properties.set_unit(text(row.unit).c_str());
        properties.set_format(text(row.format).c_str());
        properties.set_description(text(row.description).c_str());
        properties.set_label(text(row.name).c_str());
        if (row.kind == AttrKind::Reading) {
            if (const std::optional<AlarmLimits> limits = alarmLimits(row.row)) {
                properties.set_min_alarm(limits->min.toStdString().c_str());
                properties.set_max_alarm(limits->max.toStdString().c_str());
            }
        }
        if (row.kind == AttrKind::Setpoint) {
            // Both limits as the same kind of text: GCC 12 misreads a literal copied into
            // the property (-Wrestrict).
            const std::string least = QString::number(0).toStdString();
            const std::string most = QString::number(kBenchSetpoints[row.row].max).toStdString();
            properties.set_min_value(least.c_str());
            properties.set_max_value(most.c_str());
        }
        // An archiver that nobody configured stores what matters at ten frames a second:
        // a reading's change beyond its noise, any switch or quality change, and one
        // event a minute. A message is archived as it comes.
        const bool criteria = row.kind != AttrKind::Setpoint && row.kind != AttrKind::Message;
        if (criteria) {
            properties.set_archive_event_period(kArchivePeriodMs);
            if (row.kind == AttrKind::Reading)
                properties.set_archive_event_abs_change(isTemperature(row.row) ? kArchiveDegrees : kArchiveCounts);
        }
        this->set_default_properties(properties);
        if (row.kind != AttrKind::Setpoint) {
            // Change events carry every frame: panels and scripts rely on each one.
            this->set_change_event(true, false);
            this->set_archive_event(true, criteria);
        }
    }

    void read(Tango::DeviceImpl *device, Tango::Attribute &attribute) override
    {
        static_cast<NorvaneBench *>(device)->readAttribute(m_row, attribute);
    }
    void write(Tango::DeviceImpl *device, Tango::WAttribute &attribute) override
    {
        static_cast<NorvaneBench *>(device)->writeAttribute(m_row, attribute);
    }
    bool is_allowed(Tango::DeviceImpl *device, Tango::AttReqType request) override
    {
        if (request == Tango::WRITE_REQ)
            static_cast<NorvaneBench *>(device)->checkCarried();
        return true;
    }

private:
    const BenchAttribute &m_row;
};

// Each command sends its frame and returns without waiting for an answer, as the panel's buttons.
class BenchCommand final : public Tango::Command
{
public:
    explicit BenchCommand(::Command command)
        : Tango::Command(text(commandInfo(command).name).c_str(), Tango::DEV_VOID, Tango::DEV_VOID),
          m_command(command)
    {
    }

    CORBA::Any *execute(Tango::DeviceImpl *device, const CORBA::Any &) override
    {
        static_cast<NorvaneBench *>(device)->sendCommand(m_command);
        return insert();
    }

    bool is_allowed(Tango::DeviceImpl *device, const CORBA::Any &) override
    {
        static_cast<NorvaneBench *>(device)->checkCarried();
        return true;
    }

private:
    ::Command m_command;   // ours, not the base class's name
};

class NorvaneBenchClass final : public Tango::DeviceClass
{
public:
    static NorvaneBenchClass *create(LinkHub &hub)
    {
        std::string name = "NorvaneBench";
        return new NorvaneBenchClass(name, hub);
    }

    void attribute_factory(std::vector<Tango::Attr *> &attributes) override
    {
        addBenchAttributes<BenchAttr>(attributes);
    }

    void command_factory() override
    {
        for (Command command : kBenchCommands)
            command_list.push_back(new BenchCommand(command));
    }

    void device_factory(const Tango::DevVarStringArray *names) override
    {
        for (CORBA::ULong i = 0; i < names->length(); ++i) {
            std::string name((*names)[i].in());
            auto *device = new NorvaneBench(this, name, m_hub);
            device_list.push_back(device);
            // Without a database server, clients find a device by its name in the ORB; with
            // one, the name is not used.
            export_device(device, device->get_name().c_str());
        }
    }

private:
    NorvaneBenchClass(std::string &name, LinkHub &hub) : Tango::DeviceClass(name), m_hub(hub) {}

    LinkHub &m_hub;
};

namespace {

// The application's one hub, which runBenchServer() made its child.
LinkHub &applicationHub()
{
    return *QCoreApplication::instance()->findChild<LinkHub *>(QString(), Qt::FindDirectChildrenOnly);
}

// Tango's main thread runs this in a loop instead of the ORB's: the Qt events, until the
// server shuts down and its last device is gone. A timer wakes it while nothing else does.
bool serveQtEvents()
{
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return Tango::Util::instance()->is_svr_shutting_down() && !applicationHub().hasBenches();
}

} // namespace

void Tango::DServer::class_factory()
{
    add_class(NorvaneBenchClass::create(applicationHub()));
}

int runBenchServer(int argc, char *argv[], Clock clock)
{
    try {
        Tango::Util *util = Tango::Util::init(argc, argv);
        QCoreApplication app(argc, argv);
        // What the devices share is the application's child, which the device class finds
        // and which outlives every device.
        auto *hub = new LinkHub(std::move(clock), &app);
        // Tango's shutdown posts nothing to this thread when no device is left to go.
        QTimer wake;
        wake.start(std::chrono::milliseconds(100));
        util->server_init();
        publishHeartbeatForClients(*util);
        // Tango's signal thread or the admin's Kill deletes the devices; the loop ends after.
        runServerLoop(*util, &serveQtEvents);
        hub->closeAll();
        util->server_cleanup();
    } catch (const Tango::DevFailed &failure) {
        Tango::Except::print_exception(failure);
        return 1;
    } catch (const CORBA::Exception &failure) {
        Tango::Except::print_exception(failure);
        return 1;
    }
    return 0;
}
