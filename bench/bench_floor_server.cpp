// NorvaneFloor: the least a Tango server can do to deliver NorvaneBench's events, the floor
// that bench_tango measures NorvaneBench against. Same attributes (names, types, event
// kinds, from kBenchAttributes), and every status frame pushes the same per-frame events
// to whoever subscribed, but the frames are made here: no socket, no link, no decoding.
// A thread per device wakes at the frame rate, stamps a fixed frame as norvane-sim --stamp
// does and pushes under the device's monitor. Tango's own loop runs the rest.
//   NorvaneFloor INSTANCE      (devices and their Rate property, frames/s, from TANGO_HOST)

#include "sim/FrameStamp.h"
#include "tango/server/AttributeFactory.h"
#include "tango/tables/BenchTables.h"

#include <tango.h>

#include <sys/time.h>

#include <array>
#include <atomic>
#include <cmath>
#include <ctime>
#include <string>
#include <thread>

namespace {

std::string text(std::string_view view)
{
    return std::string(view);
}

timespec after(timespec start, double seconds)
{
    const auto whole = static_cast<time_t>(seconds);
    start.tv_sec += whole;
    start.tv_nsec += static_cast<long>((seconds - static_cast<double>(whole)) * 1e9);
    if (start.tv_nsec >= 1000000000) {
        start.tv_sec += 1;
        start.tv_nsec -= 1000000000;
    }
    return start;
}

double secondsBetween(const timespec &from, const timespec &to)
{
    return static_cast<double>(to.tv_sec - from.tv_sec) + static_cast<double>(to.tv_nsec - from.tv_nsec) / 1e9;
}

// As norvane-sim paces itself: catch up on frames that fell due while late, but at most
// a tenth of a second's worth at once.
constexpr double kMaxCatchUpSeconds = 0.1;

} // namespace

class NorvaneFloor final : public TANGO_BASE_CLASS
{
public:
    NorvaneFloor(Tango::DeviceClass *deviceClass, std::string &name) : TANGO_BASE_CLASS(deviceClass, name)
    {
        for (int i = 0; i < kBenchAttributeCount; ++i)
            m_attributes[i] = &dev_attr->get_attr_by_name(text(kBenchAttributes[i].name).c_str());
        StatusReadings readings;
        readings.values.fill(2000);
        m_frameTemplate = encodeStatusFrame(readings);
        for (int i = 0; i < kReadbackCount; ++i) {
            m_counts[i] = readings.values[i];
            m_degrees[i] = readingValue(i, readings.values[i]);
        }
        init_device();
    }

    ~NorvaneFloor() override { stop(); }

    void init_device() override
    {
        stop();
        double rate = 10;
        if (Tango::Util::_UseDb) {
            Tango::DbData properties{Tango::DbDatum("Rate")};
            get_db_device()->get_property(properties);
            if (!properties[0].is_empty())
                properties[0] >> rate;
        }
        if (!(rate > 0))
            rate = 10;
        set_state(Tango::ON);
        set_status("Pushing " + std::to_string(rate) + " frames/s");
        m_running = true;
        m_pusher = std::thread([this, rate] { pushFrames(rate); });
    }

    void readAttribute(const BenchAttribute &row, Tango::Attribute &attribute)
    {
        switch (row.kind) {
        case AttrKind::Reading:
            if (isTemperature(row.row))
                attribute.set_value(&m_degrees[row.row]);
            else
                attribute.set_value(&m_counts[row.row]);
            break;
        case AttrKind::Switch:
            attribute.set_value(&m_switches[row.row]);
            break;
        case AttrKind::Setpoint:
            attribute.set_quality(Tango::ATTR_INVALID);   // nothing is ever written here
            break;
        case AttrKind::Frame:
            attribute.set_value(m_frame.data(), kStatusFrameSize);
            break;
        case AttrKind::Message:
            attribute.set_value(&m_messageText);
            break;
        }
    }

private:
    void stop()
    {
        m_running = false;
        if (m_pusher.joinable())
            m_pusher.join();
    }

    void pushFrames(double rate)
    {
        omni_thread::ensure_self self;   // Tango's monitor knows its owners as omniORB threads
        const double period = 1 / rate;
        const auto maxBurst = std::max<long long>(1, std::llround(rate * kMaxCatchUpSeconds));
        timespec epoch{};
        clock_gettime(CLOCK_MONOTONIC, &epoch);
        long long made = 0;
        while (m_running) {
            const timespec next = after(epoch, static_cast<double>(made + 1) * period);
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            long long due = static_cast<long long>(std::floor(secondsBetween(epoch, now) * rate)) - made;
            if (due > maxBurst) {
                made += due - maxBurst;
                due = maxBurst;
            }
            for (; due > 0 && m_running; --due)
                pushFrame(static_cast<std::uint32_t>(++made));
        }
    }

    void pushFrame(std::uint32_t sequence)
    {
        QByteArray frame = m_frameTemplate;
        stampFrame(frame, {sequence, monotonicMicros()});
        try {
            Tango::AutoTangoMonitor guard(&get_dev_monitor());
            std::copy(frame.begin(), frame.end(), m_frame.begin());
            timeval now{};
            gettimeofday(&now, nullptr);
            for (int i = 0; i < kBenchAttributeCount; ++i) {
                const BenchAttribute &row = kBenchAttributes[i];
                if (row.kind == AttrKind::Reading && isTemperature(row.row))
                    push(i, &m_degrees[row.row], now);
                else if (row.kind == AttrKind::Reading)
                    push(i, &m_counts[row.row], now);
                else if (row.kind == AttrKind::Switch)
                    push(i, &m_switches[row.row], now);
                else if (row.kind == AttrKind::Frame)
                    push(i, m_frame.data(), now, kStatusFrameSize);
            }
        } catch (const Tango::DevFailed &failure) {
            Tango::Except::print_exception(failure);
        }
    }

    // Only what a client subscribed to: an event nobody takes is not part of the floor.
    // The subscription times are read without Tango's event mutex; a stale one costs or
    // saves one push.
    template <typename T>
    void push(int attributeIndex, T *value, timeval when, long size = 1)
    {
        Tango::Attribute &attribute = *m_attributes[attributeIndex];
        if (attribute.change_event_subscribed()) {
            attribute.set_value_date_quality(value, when, Tango::ATTR_VALID, size);
            attribute.fire_change_event();
        }
        if (attribute.archive_event_subscribed()) {
            attribute.set_value_date_quality(value, when, Tango::ATTR_VALID, size);
            attribute.fire_archive_event();
        }
    }

    std::array<Tango::Attribute *, kBenchAttributeCount> m_attributes{};
    QByteArray m_frameTemplate;
    std::array<Tango::DevUChar, kStatusFrameSize> m_frame{};
    std::array<Tango::DevLong, kReadbackCount> m_counts{};
    std::array<Tango::DevDouble, kReadbackCount> m_degrees{};
    std::array<Tango::DevBoolean, kSwitchCount> m_switches{};
    std::string m_message;
    Tango::DevString m_messageText = m_message.data();
    std::atomic<bool> m_running = false;
    std::thread m_pusher;
};

// One attribute class for every row, typed as NorvaneBench types it.
template <typename Base>
class FloorAttr final : public Base
{
public:
    template <typename... Args>
    FloorAttr(const BenchAttribute &row, Args... args) : Base(args...), m_row(row)
    {
        if (row.kind != AttrKind::Setpoint) {
            this->set_change_event(true, false);
            this->set_archive_event(true, false);
        }
    }

    void read(Tango::DeviceImpl *device, Tango::Attribute &attribute) override
    {
        static_cast<NorvaneFloor *>(device)->readAttribute(m_row, attribute);
    }
    void write(Tango::DeviceImpl *, Tango::WAttribute &) override {}

private:
    const BenchAttribute &m_row;
};

class NorvaneFloorClass final : public Tango::DeviceClass
{
public:
    static NorvaneFloorClass *create()
    {
        std::string name = "NorvaneFloor";
        return new NorvaneFloorClass(name);
    }

    void attribute_factory(std::vector<Tango::Attr *> &attributes) override
    {
        addBenchAttributes<FloorAttr>(attributes);
    }

    void command_factory() override {}

    void device_factory(const Tango::DevVarStringArray *names) override
    {
        for (CORBA::ULong i = 0; i < names->length(); ++i) {
            std::string name((*names)[i].in());
            auto *device = new NorvaneFloor(this, name);
            device_list.push_back(device);
            export_device(device);
        }
    }

private:
    explicit NorvaneFloorClass(std::string &name) : Tango::DeviceClass(name) {}
};

void Tango::DServer::class_factory()
{
    add_class(NorvaneFloorClass::create());
}

int main(int argc, char *argv[])
{
    try {
        Tango::Util *util = Tango::Util::init(argc, argv);
        util->server_init();
        util->server_run();
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
