#pragma once
// Status readings for the tests that need no window: all alike, or one picked out.

#include "status/StatusFrame.h"

inline StatusReadings readingsOf(int value, std::uint8_t flags = 0)
{
    StatusReadings readings;
    readings.values.fill(value);
    readings.flags = flags;
    return readings;
}

// `fill` everywhere but reading `index`, which holds `value`.
inline StatusReadings readingsWith(int fill, int index, int value, std::uint8_t flags = 0)
{
    StatusReadings readings = readingsOf(fill, flags);
    readings.values[static_cast<std::size_t>(index)] = value;
    return readings;
}
