#pragma once
// The NorvaneBench Tango device server: its Tango start-up, the Qt event loop that owns
// every bench's link, and its shutdown.

// Runs the server with Tango's command line (INSTANCE, -nodb, -dlist, -file=, -ORB...).
// Returns 0 after SIGINT, SIGTERM or the admin device's Kill; non-zero when it cannot start.
// timeScale > 1 runs the links' clock and ticks that much faster: a test's own build of the
// server passes it, so that the shipped one reads no hidden setting.
int runBenchServer(int argc, char *argv[], double timeScale = 1);
