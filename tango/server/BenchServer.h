#pragma once
// The NorvaneBench Tango device server: its Tango start-up, the Qt event loop that owns
// every bench's link, and its shutdown.

// Runs the server with Tango's command line (INSTANCE, -nodb, -dlist, -file=, -ORB...).
// Returns 0 after SIGINT, SIGTERM or the admin device's Kill; non-zero when it cannot start.
int runBenchServer(int argc, char *argv[]);
