#pragma once
// A fake clock for anything that takes a Clock, with or without a window: the test sets
// the time and calls the tick handlers itself.

#include "link/Clock.h"

#include <QTime>

struct FakeClock {
    double now = 1000.0;
    Clock clock()
    {
        return Clock::manual([this] { return now; }, QTime(12, 34, 56));
    }
};
