// The NorvaneBench device class: one device per bench, its attributes from kBenchAttributes,
// its commands, and the bridge through which the Qt thread updates it. Tango's header
// compiles slowly, so the server's other files stay clear of it where they can.

#include "tango/server/BenchServer.h"
#include "tango/tables/BenchTables.h"
#include "tango/server/AttributeFactory.h"
#include "tango/server/LinkHub.h"
#include "link/DeviceSocket.h"

#include <QCoreApplication>

#include <sys/time.h>

#include <algorithm>
#include <atomic>
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

// The bench's own default port; the address has none, so that an unregistered bench
// contacts nothing rather than whatever answers on this host.
const std::string kBenchPort = std::to_string(kDefaultPort);
// Seconds without a status frame before the readings are stale: ten reports missed at
// ten a second.
constexpr double kDefaultFreshnessLimit = 1.0;

// The reading that reports a set point back: its name is the set point's and "Dac".
constexpr int readbackOf(int setpoint)
{
    std::string_view name;
    for (const BenchAttribute &row : kBenchAttributes)
        if (row.kind == AttrKind::Setpoint && row.row == setpoint)
            name = row.name;
    for (const BenchAttribute &row : kBenchAttributes)
        if (row.kind == AttrKind::Reading && row.name.size() == name.size() + 3 && row.name.starts_with(name)
            && row.name.ends_with("Dac"))
            return row.row;
    return -1;
}

constexpr std::array<int, kBenchSetpointCount> readbacks()
{
    std::array<int, kBenchSetpointCount> rows{};
    for (int i = 0; i < kBenchSetpointCount; ++i)
        rows[i] = readbackOf(i);
    return rows;
}
constexpr std::array<int, kBenchSetpointCount> kSetpointReadback = readbacks();

constexpr std::array<int, kBenchSetpointCount> setpointIndices()
{
    std::array<int, kBenchSetpointCount> indices{};
    for (int i = 0; i < kBenchAttributeCount; ++i)
        if (kBenchAttributes[i].kind == AttrKind::Setpoint)
            indices[kBenchAttributes[i].row] = i;
    return indices;
}
constexpr std::array<int, kBenchSetpointCount> kSetpointIndex = setpointIndices();
static_assert(std::find(kSetpointReadback.begin(), kSetpointReadback.end(), -1) == kSetpointReadback.end(),
              "every set point has its readback");

// A piezo DAC count in volts: the inverse of the command's full scale less whole steps.
double piezoVolts(int count)
{
    return (kCountMax - count) / kCountMax * kPiezoVoltsMax;
}

std::string &deviceDescription()
{
    static std::string description = "One optical bench, reached through its controller's TCP link";
    return description;
}

QString qtext(std::string_view view)
{
    return QString::fromLatin1(view.data(), static_cast<qsizetype>(view.size()));
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
        m_leaving = true;   // ends a wait for the monitor that the leaving thread may hold
        std::lock_guard lock(m_mutex);
        m_device = nullptr;
    }

    void statusFrame(QByteArrayView frame) override;
    void message(QByteArrayView text) override;
    void linkDown() override;
    void linkEvent(const LinkEvent &event) override;
    void frameAge(double seconds) override;
    void requestLost(const CommandRequest &request) override;

    // The device's freshness limit, so that a check within it costs no monitor.
    void setFreshnessLimit(double seconds) { m_freshnessLimit = seconds; }
    double lastFrameAge() const { return m_frameAge; }

private:
    // A frame or a freshness check may be skipped when the monitor stays taken past its
    // timeout: the next one brings a whole new picture. What the link did may not.
    enum class Skippable { No, Yes };
    template <typename Update>
    void withDevice(Skippable skippable, Update &&update);

    std::mutex m_mutex;
    std::atomic<bool> m_leaving{false};
    std::atomic<double> m_freshnessLimit{0};
    std::atomic<double> m_frameAge{0};
    NorvaneBench *m_device;
};

class NorvaneBench final : public TANGO_BASE_CLASS
{
public:
    NorvaneBench(Tango::DeviceClass *deviceClass, std::string &name, LinkHub &hub);
    ~NorvaneBench() override;

    void init_device() override;
    // Values come from the link, never from reading attributes here.
    Tango::DevState dev_state() override { return get_state(); }
    Tango::ConstDevString dev_status() override { return get_status().c_str(); }

    void readAttribute(const BenchAttribute &row, Tango::Attribute &attribute);
    void readDiagnosis(int which, Tango::Attribute &attribute);
    // Throws unless what is asked can reach the controller now: a bench that is ON or in
    // ALARM, on a connected link. The reason is the same whatever the state.
    void checkCarried();
    void writeAttribute(const BenchAttribute &row, Tango::WAttribute &attribute);
    void sendCommand(Command command);

    // On the Qt thread, under the monitor.
    void handleStatusFrame(QByteArrayView frame, const timeval &arrival);
    void handleMessage(QByteArrayView text, const timeval &arrival);
    void handleLinkDown();
    void handleLinkEvent(const LinkEvent &event);
    void handleStale();
    void handleRequestLost(const CommandRequest &request);

private:
    // INIT waits for the first frame after Init; after a loss or a silence the bench stays
    // in FAULT until frames return, however often the link reconnects meanwhile.
    enum class Phase { Misconfigured, Waiting, Running, Down };

    void misconfigured(const std::string &problem);
    void enterFault(std::string cause);
    void send(const CommandRequest &request, const std::string &what);
    template <typename T>
    void push(int attributeIndex, T *value, const timeval &when, Tango::AttrQuality quality, long size = 1);
    void pushFrame(const timeval &when, Tango::AttrQuality quality);
    void pushSetpoint(int setpoint, const timeval &when, Tango::AttrQuality quality);
    void changeState(Tango::DevState state);
    void showStatus();
    std::string alarmText() const;

    LinkHub &m_hub;   // outlives every device
    std::shared_ptr<DeviceBridge> m_bridge;
    Phase m_phase = Phase::Waiting;
    std::optional<LinkEvent::Kind> m_linkKind;   // what the link did last
    std::string m_linkText;                      // the same in the console's words
    std::string m_cause;                         // why the bench went to FAULT
    std::string m_target;                        // host:port
    std::string m_problem;                       // a misconfigured bench's
    double m_freshnessLimit = kDefaultFreshnessLimit;
    std::array<Tango::Attribute *, kBenchAttributeCount> m_attributes{};

    timeval m_frameTime{};   // the last status frame's arrival
    Tango::DevDouble m_frameAge = 0;   // as of the last freshness check
    Tango::DevLong64 m_framesReceived = 0;
    Tango::DevLong m_connections = 0;
    Tango::DevLong m_reconnects = 0;
    Tango::DevString m_targetText = nullptr;
    std::array<Tango::DevUChar, kStatusFrameSize> m_frame{};
    std::array<Tango::DevLong, kReadbackCount> m_counts{};
    std::array<Tango::DevDouble, kReadbackCount> m_degrees{};
    std::array<Tango::AttrQuality, kReadbackCount> m_quality{};
    std::bitset<kReadbackCount> m_alarmed;
    std::array<Tango::DevBoolean, kSwitchCount> m_switches{};
    std::array<Tango::DevDouble, kBenchSetpointCount> m_readbackVolts{};
    std::array<int, kBenchSetpointCount> m_pushedReadback{};   // -1: none since the last INVALID
    std::string m_message;
    Tango::DevString m_messageText = nullptr;
    Tango::DevState m_pushedState = Tango::UNKNOWN;
};

template <typename Update>
void DeviceBridge::withDevice(Skippable skippable, Update &&update)
{
    std::lock_guard lock(m_mutex);
    while (m_device && !m_leaving) {
        try {
            Tango::AutoTangoMonitor guard(&m_device->get_dev_monitor());
            update(*m_device);
            return;
        } catch (const Tango::DevFailed &failure) {
            // Only the monitor throws here: the device's own pushes catch their failures.
            Tango::Except::print_exception(failure);
            if (skippable == Skippable::Yes)
                return;
        }
    }
}

void DeviceBridge::statusFrame(QByteArrayView frame)
{
    timeval arrival{};
    gettimeofday(&arrival, nullptr);
    withDevice(Skippable::Yes, [frame, &arrival](NorvaneBench &d) { d.handleStatusFrame(frame, arrival); });
}

void DeviceBridge::message(QByteArrayView text)
{
    const timeval arrival = timeNow();
    withDevice(Skippable::No, [text, &arrival](NorvaneBench &d) { d.handleMessage(text, arrival); });
}

void DeviceBridge::linkDown() { withDevice(Skippable::No, [](NorvaneBench &d) { d.handleLinkDown(); }); }
void DeviceBridge::linkEvent(const LinkEvent &event) { withDevice(Skippable::No, [&event](NorvaneBench &d) { d.handleLinkEvent(event); }); }
void DeviceBridge::frameAge(double seconds)
{
    m_frameAge = seconds;
    if (seconds > m_freshnessLimit)
        withDevice(Skippable::Yes, [](NorvaneBench &d) { d.handleStale(); });
}
void DeviceBridge::requestLost(const CommandRequest &request) { withDevice(Skippable::No, [&request](NorvaneBench &d) { d.handleRequestLost(request); }); }

NorvaneBench::NorvaneBench(Tango::DeviceClass *deviceClass, std::string &name, LinkHub &hub)
    : TANGO_BASE_CLASS(deviceClass, name, deviceDescription()),
      m_hub(hub), m_bridge(std::make_shared<DeviceBridge>(this))
{
    m_hub.enroll();
    for (int i = 0; i < kBenchAttributeCount; ++i)
        m_attributes[i] = &dev_attr->get_attr_by_name(text(kBenchAttributes[i].name).c_str());
    m_messageText = m_message.data();
    m_targetText = m_target.data();
    m_pushedReadback.fill(-1);
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
    std::string address;
    std::string port = kBenchPort;
    std::string freshness;
    bool addressSet = false;
    if (Tango::Util::_UseDb) {
        Tango::DbData properties{Tango::DbDatum("Address"), Tango::DbDatum("Port"), Tango::DbDatum("FreshnessLimit")};
        get_db_device()->get_property(properties);
        addressSet = !properties[0].is_empty();
        if (addressSet)
            properties[0] >> address;
        if (!properties[1].is_empty())
            properties[1] >> port;
        if (!properties[2].is_empty())
            properties[2] >> freshness;
    }
    m_linkKind.reset();
    m_linkText.clear();
    m_connections = 0;
    m_reconnects = 0;
    m_framesReceived = 0;
    if (!addressSet)
        return misconfigured("Property Address is not set: the controller's host name or IP address");
    const QString host = QString::fromStdString(address);
    const QString portText = QString::fromStdString(port);
    if (const std::optional<QString> problem = LinkHub::addressProblem(host, portText))
        return misconfigured(problem->toStdString());
    bool ok = true;
    m_freshnessLimit = freshness.empty() ? kDefaultFreshnessLimit : QString::fromStdString(freshness).toDouble(&ok);
    if (!ok || !(m_freshnessLimit > 0))
        return misconfigured("Property FreshnessLimit is not a number of seconds above 0: \"" + freshness + '"');
    m_target = host.trimmed().toStdString() + ':' + std::to_string(parsePortText(portText));
    m_targetText = m_target.data();
    m_bridge->setFreshnessLimit(m_freshnessLimit);
    m_phase = Phase::Waiting;
    changeState(Tango::INIT);
    showStatus();   // the link says what it does as soon as it starts
    INFO_STREAM << "Opening the link to " << m_target << std::endl;
    m_hub.open(m_bridge, host, portText);
}

// Nothing is contacted; readings a client saw before Init go INVALID.
void NorvaneBench::misconfigured(const std::string &problem)
{
    m_problem = problem;
    m_target.clear();
    m_targetText = m_target.data();
    m_hub.drop(m_bridge.get());
    m_phase = Phase::Misconfigured;
    changeState(Tango::FAULT);
    showStatus();
    ERROR_STREAM << problem << std::endl;
    if (!Tango::Util::instance()->is_svr_starting())
        pushFrame(timeNow(), Tango::ATTR_INVALID);
}

void NorvaneBench::readAttribute(const BenchAttribute &row, Tango::Attribute &attribute)
{
    if (row.kind == AttrKind::Message) {
        attribute.set_value(&m_messageText);
        return;
    }
    if (m_phase != Phase::Running) {
        attribute.set_quality(Tango::ATTR_INVALID);
        return;
    }
    switch (row.kind) {
    case AttrKind::Reading:
        if (isTemperature(row.row))
            attribute.set_value_date_quality(&m_degrees[row.row], m_frameTime, Tango::ATTR_VALID);
        else
            attribute.set_value_date_quality(&m_counts[row.row], m_frameTime, Tango::ATTR_VALID);
        break;
    case AttrKind::Switch:
        attribute.set_value_date_quality(&m_switches[row.row], m_frameTime, Tango::ATTR_VALID);
        // A switch's set point is what the bench shows, also when another client or panel
        // flipped it; left alone, Tango would report a stale or default one.
        if (auto *writable = dynamic_cast<Tango::WAttribute *>(&attribute))
            writable->set_write_value(m_switches[row.row]);
        break;
    case AttrKind::Setpoint: {
        const int reading = kSetpointReadback[row.row];
        if (kBenchSetpoints[row.row].family == FieldFamily::Piezo) {
            m_readbackVolts[row.row] = piezoVolts(m_counts[reading]);
            attribute.set_value_date_quality(&m_readbackVolts[row.row], m_frameTime, Tango::ATTR_VALID);
        } else
            attribute.set_value_date_quality(&m_counts[reading], m_frameTime, Tango::ATTR_VALID);
        break;
    }
    case AttrKind::Frame:
        attribute.set_value_date_quality(m_frame.data(), m_frameTime, Tango::ATTR_VALID, kStatusFrameSize);
        break;
    case AttrKind::Message:
        break;
    }
}

void NorvaneBench::readDiagnosis(int which, Tango::Attribute &attribute)
{
    switch (which) {
    case 0:
        m_frameAge = m_bridge->lastFrameAge();
        attribute.set_value(&m_frameAge);
        break;
    case 1: attribute.set_value(&m_framesReceived); break;
    case 2: attribute.set_value(&m_reconnects); break;
    default: attribute.set_value(&m_targetText); break;
    }
}

void NorvaneBench::checkCarried()
{
    const Tango::DevState state = get_state();
    if ((state == Tango::ON || state == Tango::ALARM) && m_bridge->carrying())
        return;
    Tango::Except::throw_exception("NorvaneBench_NotConnected", get_status(), "NorvaneBench::is_allowed");
}

void NorvaneBench::send(const CommandRequest &request, const std::string &what)
{
    // The link may have gone since is_allowed: the hub then refuses, and so does the device.
    if (!m_hub.send(m_bridge.get(), request))
        Tango::Except::throw_exception("NorvaneBench_NotConnected", get_status(), "NorvaneBench::send");
    DEBUG_STREAM << "Sent " << what << std::endl;
}

void NorvaneBench::writeAttribute(const BenchAttribute &row, Tango::WAttribute &attribute)
{
    if (row.kind == AttrKind::Switch) {
        Tango::DevBoolean on = false;
        attribute.get_write_value(on);
        send({.command = kSwitches[row.row].command, .on = on}, text(row.name) + (on ? " on" : " off"));
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
    // The bench's own range, whatever min_value and max_value a lab set: the field's rule
    // would otherwise empty or clamp the value into another one.
    if (!(value >= 0 && value <= setpoint.max)) {
        Tango::Except::throw_exception(
            "NorvaneBench_OutOfRange",
            QStringLiteral("%1: %2 is outside the bench's range 0..%3")
                .arg(qtext(row.name), QString::number(value), QString::number(setpoint.max)).toStdString(),
            "NorvaneBench::write");
    }
    const QString typed = setpointText(setpoint, value);
    const std::optional<CommandRequest> request = commandRequest(setpoint.command, typed);
    if (!request || typed.toDouble() != value) {
        Tango::Except::throw_exception(
            "NorvaneBench_FieldRule",
            QStringLiteral("%1: the field's rule would not send %2 as it is (\"%3\")")
                .arg(qtext(row.name), QString::number(value), typed).toStdString(),
            "NorvaneBench::write");
    }
    send(*request, text(row.name) + ' ' + typed.toStdString());
    // Every client sees the write, without polling.
    pushSetpoint(row.row, m_frameTime, Tango::ATTR_VALID);
}

void NorvaneBench::sendCommand(Command command)
{
    send({command}, text(commandInfo(command).name));
}

void NorvaneBench::handleStatusFrame(QByteArrayView frame, const timeval &arrival)
{
    if (m_phase == Phase::Misconfigured)
        return;
    ++m_framesReceived;
    m_frameTime = arrival;
    const bool recovered = m_phase != Phase::Running;
    std::copy(frame.begin(), frame.end(), m_frame.begin());
    const StatusReadings readings = decodeStatusFrame(frame);
    std::bitset<kReadbackCount> alarmed;
    for (int i = 0; i < kReadbackCount; ++i) {
        const int count = readings.values[i];
        m_counts[i] = count;
        m_degrees[i] = readingValue(i, count);
        // Readings come first in kBenchAttributes, in frame order.
        Tango::Attribute &attribute = *m_attributes[i];
        m_quality[i] = isTemperature(i) ? configuredQuality(attribute, m_degrees[i]) : configuredQuality(attribute, m_counts[i]);
        // A warning is ALARM to the State, as in Tango's own rule.
        alarmed[i] = m_quality[i] != Tango::ATTR_VALID;
    }
    for (int i = 0; i < kSwitchCount; ++i)
        m_switches[i] = (readings.flags & kSwitches[i].mask) != 0;

    if (recovered) {
        m_phase = Phase::Running;
        INFO_STREAM << "Status frames from " << m_target << std::endl;
    }
    pushFrame(arrival, Tango::ATTR_VALID);
    changeState(alarmed.any() ? Tango::ALARM : Tango::ON);
    if (recovered || alarmed != m_alarmed) {
        m_alarmed = alarmed;
        showStatus();
    }
}

void NorvaneBench::handleMessage(QByteArrayView text, const timeval &arrival)
{
    // A DevString is a C string: Latin-1 keeps each byte 0x01..0xFF as one character;
    // a NUL byte would end it, so the text ends at the first one.
    m_message.assign(text.data(), static_cast<std::size_t>(text.size()));
    m_message.resize(std::strlen(m_message.c_str()));
    m_messageText = m_message.data();
    for (int i = 0; i < kBenchAttributeCount; ++i)
        if (kBenchAttributes[i].kind == AttrKind::Message)
            push(i, &m_messageText, arrival, Tango::ATTR_VALID);
}

void NorvaneBench::handleLinkDown()
{
    if (m_phase == Phase::Misconfigured)
        return;
    // The link says what ended it just before: an error, its watchdog's silence, or an
    // attempt that never answered.
    std::string cause = "No answer from the controller.";
    if (m_linkKind == LinkEvent::Kind::Lost)
        cause = "Lost connection, closed: nothing from the controller for "
                + QString::number(kSilenceLimitSeconds).toStdString() + " s.";
    else if (m_linkKind == LinkEvent::Kind::Error)
        cause = m_linkText + '.';
    if (m_phase == Phase::Down) {
        showStatus();
        return;
    }
    enterFault(cause);
}

// State and Status first, then the INVALID events: a push that fails cannot leave the
// bench ON.
void NorvaneBench::enterFault(std::string cause)
{
    m_phase = Phase::Down;
    m_cause = std::move(cause);
    changeState(Tango::FAULT);
    showStatus();
    INFO_STREAM << "FAULT: " << get_status() << std::endl;
    pushFrame(timeNow(), Tango::ATTR_INVALID);
}

void NorvaneBench::handleLinkEvent(const LinkEvent &event)
{
    m_linkKind = event.kind;
    m_linkText = text(event).trimmed().toStdString();
    if (event.kind == LinkEvent::Kind::Connected && ++m_connections > 1)
        ++m_reconnects;
    INFO_STREAM << m_target << ": " << m_linkText << (event.detail.isEmpty() || event.kind == LinkEvent::Kind::Error
                                                          ? std::string() : ' ' + event.detail.toStdString())
                << std::endl;
    showStatus();
}

void NorvaneBench::handleStale()
{
    if (m_phase != Phase::Running)
        return;
    // FrameAge tells how long; the Status stays the same while the silence lasts.
    enterFault(QStringLiteral("No status frame for more than %1 s (FreshnessLimit): readings INVALID.")
                   .arg(m_freshnessLimit).toStdString());
}

void NorvaneBench::handleRequestLost(const CommandRequest &request)
{
    ERROR_STREAM << "Not sent, the link went: " << text(commandInfo(request.command).name) << std::endl;
}

std::string NorvaneBench::alarmText() const
{
    std::string names;
    for (int i = 0; i < kReadbackCount; ++i)
        if (m_alarmed[i])
            names += (names.empty() ? "" : ", ") + text(kBenchAttributes[i].name);
    return names.empty() ? names : " In alarm: " + names + '.';
}

void NorvaneBench::showStatus()
{
    if (m_phase == Phase::Misconfigured) {
        set_status(m_problem);
        return;
    }
    // In FAULT the link's latest words alone would not say why ("Connected!"); an error
    // says it itself.
    std::string status = m_linkText;
    if (m_phase == Phase::Down && m_linkKind != LinkEvent::Kind::Error)
        status = m_linkKind == LinkEvent::Kind::Lost ? m_cause : m_cause + ' ' + m_linkText;
    if (m_phase == Phase::Running)
        status += alarmText();
    set_status(m_target + ": " + status);
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
    try {
        if (change) {
            // A reading follows a lab's abs_change or rel_change; without either, each
            // frame is an event, as panels and scripts rely on.
            if (kBenchAttributes[attributeIndex].kind == AttrKind::Reading)
                attribute.set_change_event(true, changeCriteriaSet(attribute));
            attribute.set_value_date_quality(value, stamp, quality, size);
            attribute.fire_change_event();
        }
        if (archive) {
            attribute.set_value_date_quality(value, stamp, quality, size);
            attribute.fire_archive_event();
        }
    } catch (const Tango::DevFailed &failure) {
        // No subscriber channel, or one gone: this event is lost, the device's state is not.
        Tango::Except::print_exception(failure);
    }
}

void NorvaneBench::pushSetpoint(int setpoint, const timeval &when, Tango::AttrQuality quality)
{
    const int reading = kSetpointReadback[setpoint];
    m_pushedReadback[setpoint] = quality == Tango::ATTR_INVALID ? -1 : m_counts[reading];
    const int index = kSetpointIndex[setpoint];
    if (kBenchSetpoints[setpoint].family == FieldFamily::Piezo) {
        m_readbackVolts[setpoint] = piezoVolts(m_counts[reading]);
        push(index, &m_readbackVolts[setpoint], when, quality);
    } else
        push(index, &m_counts[reading], when, quality);
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
        else if (row.kind == AttrKind::Setpoint
                 && (quality == Tango::ATTR_INVALID || m_pushedReadback[row.row] != m_counts[kSetpointReadback[row.row]]))
            pushSetpoint(row.row, when, quality);
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
    try {
        push_change_event("State", &m_pushedState, now, Tango::ATTR_VALID);
        push_archive_event("State", &m_pushedState, now, Tango::ATTR_VALID);
    } catch (const Tango::DevFailed &failure) {
        Tango::Except::print_exception(failure);
    }
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
        properties.set_label(text(row.name).c_str());
        std::string description(row.description);
        if (row.kind == AttrKind::Reading) {
            if (const std::optional<AlarmLimits> limits = alarmLimits(row.row)) {
                properties.set_min_alarm(limits->min.toStdString().c_str());
                properties.set_max_alarm(limits->max.toStdString().c_str());
            }
        }
        if (row.kind == AttrKind::Setpoint) {
            const BenchSetpoint &setpoint = kBenchSetpoints[row.row];
            // Both limits as the same kind of text: GCC 12 misreads a literal copied into
            // the property (-Wrestrict). A guarded field (the injection laser) stops at its
            // guard unless a lab widens max_value; the bench's own range holds whatever a
            // lab sets.
            const double guard = kFieldsOf<FieldKind::Setpoint>[static_cast<std::size_t>(row.row)].guard;
            const std::string least = QString::number(0).toStdString();
            const std::string most = QString::number(guard > 0 ? guard : setpoint.max).toStdString();
            properties.set_min_value(least.c_str());
            properties.set_max_value(most.c_str());
            description = description.substr(0, description.find(';')) + "; reads the controller's readback "
                          + text(kBenchAttributes[kSetpointReadback[row.row]].name)
                          + (setpoint.family == FieldFamily::Piezo ? " in volts" : "")
                          + ", writes the last value accepted";
            // A restart shows the last value written and sends nothing until someone writes.
            this->set_memorized();
            this->set_memorized_init(false);
        }
        properties.set_description(description.c_str());
        // An archiver that nobody configured stores what matters at ten frames a second:
        // a reading's change beyond its noise, any switch or quality change, and one
        // event a minute. A message and a set point are archived as they come.
        const bool criteria = row.kind != AttrKind::Setpoint && row.kind != AttrKind::Message;
        if (criteria) {
            properties.set_archive_event_period(kArchivePeriodMs);
            if (row.kind == AttrKind::Reading)
                properties.set_archive_event_abs_change(isTemperature(row.row) ? kArchiveDegrees : kArchiveCounts);
        }
        this->set_default_properties(properties);
        // Change events carry every frame, and a set point's every write and readback change.
        this->set_change_event(true, false);
        this->set_archive_event(true, criteria);
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

// What a lab reads to see how the link fares; read-only, polled or read on demand.
struct Diagnosis {
    const char *name;
    Tango::CmdArgType type;
    const char *unit;
    const char *description;
};
constexpr Diagnosis kDiagnoses[]{
    {"FrameAge", Tango::DEV_DOUBLE, "s", "Seconds since the last status frame, as of the last freshness check"},
    {"FramesReceived", Tango::DEV_LONG64, "", "Status frames received since Init"},
    {"Reconnects", Tango::DEV_LONG, "", "Connections made since Init after the first"},
    {"Target", Tango::DEV_STRING, "", "The controller's host:port, from the properties Address and Port"},
};

class DiagnosisAttr final : public Tango::Attr
{
public:
    explicit DiagnosisAttr(int which)
        : Tango::Attr(kDiagnoses[which].name, kDiagnoses[which].type, Tango::READ), m_which(which)
    {
        Tango::UserDefaultAttrProp properties;
        properties.set_unit(kDiagnoses[which].unit);
        properties.set_description(kDiagnoses[which].description);
        set_default_properties(properties);
    }

    void read(Tango::DeviceImpl *device, Tango::Attribute &attribute) override
    {
        static_cast<NorvaneBench *>(device)->readDiagnosis(m_which, attribute);
    }

private:
    int m_which;
};

// Each command sends its frame and returns without waiting for an answer, as the panel's buttons.
class BenchCommand final : public Tango::Command
{
public:
    explicit BenchCommand(::Command command)
        : Tango::Command(text(commandInfo(command).name).c_str(), Tango::DEV_VOID, Tango::DEV_VOID,
                         "none", "none; returns once the frame is on its way, without waiting for an answer"),
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
        for (int i = 0; i < static_cast<int>(std::size(kDiagnoses)); ++i)
            attributes.push_back(new DiagnosisAttr(i));
    }

    void command_factory() override
    {
        for (Command command : kBenchCommands)
            command_list.push_back(new BenchCommand(command));
    }

    void device_factory(const Tango::DevVarStringArray *names) override
    {
        if (Tango::Util::_UseDb && !Tango::Util::_FileDb)
            describeClass();
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
    NorvaneBenchClass(std::string &name, LinkHub &hub) : Tango::DeviceClass(name), m_hub(hub)
    {
        // What Jive's wizard offers for a new device, with its default.
        const auto property = [this](std::string name, std::string description, std::string value = {}) {
            if (value.empty())
                add_wiz_dev_prop(name, description);
            else
                add_wiz_dev_prop(name, description, value);
        };
        property("Address", "The controller's host name or IP address. Required: without it the device is "
                            "FAULT and contacts nothing.");
        property("Port", "The controller's TCP port, 1..65535.", kBenchPort);
        property("FreshnessLimit", "Seconds without a status frame after which the readings are INVALID and "
                                   "the device FAULT.", QString::number(kDefaultFreshnessLimit).toStdString());
    }

    // The class's description and lineage, as Jive shows them.
    void describeClass()
    {
        try {
            Tango::DbData data{Tango::DbDatum("Description"), Tango::DbDatum("InheritedFrom")};
            std::string description = "One optical bench per device: its controller's readings, switches and "
                                      "set points over the controller's TCP link, with events for every status frame.";
            std::string base = "TANGO_BASE_CLASS";
            data[0] << description;
            data[1] << base;
            get_db_class()->put_property(data);
        } catch (const Tango::DevFailed &failure) {
            Tango::Except::print_exception(failure);
        }
    }

    LinkHub &m_hub;
};

namespace {

// The application's one hub, which runBenchServer() made its child.
LinkHub &applicationHub()
{
    return *QCoreApplication::instance()->findChild<LinkHub *>(QString(), Qt::FindDirectChildrenOnly);
}

// Tango's main thread runs this in a loop instead of the ORB's: the Qt events, until the
// server shuts down and its last device is gone. The hub's timer wakes it while nothing else does.
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
        // Tango's shutdown posts nothing to this thread when no device is left to go: the
        // hub's freshness check wakes it every 100 ms, which a second timer would double.
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
