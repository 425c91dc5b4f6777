#pragma once
// A fake clock for anything that takes a Clock, with or without a window.

#include "link/Clock.h"

#include <QTime>

struct FakeClock {
    double now = 1000.0;
    Clock clock()
    {
        return {[this] { return now; }, [] { return QTime(12, 34, 56); }};
    }
};
