#include <tango.h>

#include "tango/server/TangoWorkarounds.h"

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
