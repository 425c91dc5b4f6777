#pragma once
// The NorvaneBench Tango device server: its Tango start-up, the Qt event loop that owns
// every bench's link, and its shutdown.

#include "link/Clock.h"

// Runs the server with Tango's command line (INSTANCE, -nodb, -dlist, -file=, -ORB...).
// Returns 0 after SIGINT, SIGTERM or the admin device's Kill; non-zero when it cannot start.
// The links run on `clock`: a test's own build of the server passes a faster one, so that
// the shipped one reads no hidden setting.
int runBenchServer(int argc, char *argv[], Clock clock = Clock::system());
