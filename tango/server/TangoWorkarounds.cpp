#include <tango.h>

#include "tango/server/TangoWorkarounds.h"

#include <climits>
#include <string>

#define NORVANE_TANGO_BEFORE(major, minor, patch)                                                       \
    (TANGO_VERSION_MAJOR < (major)                                                                      \
     || (TANGO_VERSION_MAJOR == (major)                                                                 \
         && (TANGO_VERSION_MINOR < (minor) || (TANGO_VERSION_MINOR == (minor) && TANGO_VERSION_PATCH < (patch)))))

#if NORVANE_TANGO_BEFORE(9, 3, 5)

#include <eventsupplier.h>

// The supplier's heartbeat name is private; an explicit instantiation may name it.
template <auto Member>
struct HeartbeatNameAccess {
    friend std::string &heartbeatName(Tango::ZmqEventSupplier &supplier) { return supplier.*Member; }
};
std::string &heartbeatName(Tango::ZmqEventSupplier &supplier);
template struct HeartbeatNameAccess<&Tango::ZmqEventSupplier::heartbeat_event_name>;

void publishHeartbeatForClients(Tango::Util &util)
{
    Tango::ZmqEventSupplier *supplier = util.get_zmq_event_supplier();
    if (!supplier)
        return;
    std::string &name = heartbeatName(*supplier);
    const std::string modifier = MODIFIER_DBASE_NO;
    if (const auto at = name.find(modifier); at != std::string::npos)
        name.erase(at, modifier.size());
}

#else

void publishHeartbeatForClients(Tango::Util &) {}

#endif

#if NORVANE_TANGO_BEFORE(9, 3, 5)

// With an event loop of its own, cppTango 9.3.4 shuts down on SIGTERM from that loop's
// thread and crashes there, joining a heartbeat thread it never started. Instead the loop
// runs in place of server_run(), which would have cleared the starting flag, and the ORB
// runs afterwards until Tango's own shutdown thread has stopped it.
void runServerLoop(Tango::Util &util, bool (*serveOnce)())
{
    util.set_svr_starting(false);
    while (!serveOnce()) {
    }
    try {
        util.get_orb()->run();
    } catch (const CORBA::Exception &) {
        // already shut down
    }
}

#else

void runServerLoop(Tango::Util &util, bool (*serveOnce)())
{
    util.server_set_event_loop(serveOnce);
    util.server_run();
}

#endif

namespace {
// A derived class may name its base's protected members; its pointers reach any Attribute.
struct ChangeCriteria : Tango::Attribute {
    static bool set(Tango::Attribute &attribute)
    {
        const double(&absolute)[2] = attribute.*(&ChangeCriteria::abs_change);
        const double(&relative)[2] = attribute.*(&ChangeCriteria::rel_change);
        const auto given = [](const double(&limits)[2]) { return limits[0] != INT_MAX || limits[1] != INT_MAX; };
        return given(absolute) || given(relative);
    }
};
} // namespace

bool changeCriteriaSet(Tango::Attribute &attribute)
{
    return ChangeCriteria::set(attribute);
}
