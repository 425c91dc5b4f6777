#pragma once
// Every use of cppTango beyond its public interface, each behind the version check that
// compiles it out where the library has the fix. Include only after <tango.h>.

namespace Tango {
class Util;
}

// Without a database, cppTango before 9.3.5 publishes the heartbeat as
// ".../dserver/EXEC/INST#dbase=no.heartbeat" while its clients listen for
// ".../dserver/EXEC/INST.heartbeat": they never hear one and drop every subscription after
// ten seconds. Publishes the name they listen for; call after server_init().
void publishHeartbeatForClients(Tango::Util &util);

// Runs the server: `serveOnce` in a loop on this thread, which calls it until it returns
// true, then waits until Tango has shut down. Call after server_init().
void runServerLoop(Tango::Util &util, bool (*serveOnce)());

namespace Tango {
class Attribute;
}

// Whether a lab set abs_change or rel_change on the attribute: cppTango keeps them
// protected and offers only the whole configuration, too costly per frame.
bool changeCriteriaSet(Tango::Attribute &attribute);
