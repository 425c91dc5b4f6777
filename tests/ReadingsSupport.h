#pragma once
// Status readings for the tests: all alike, one picked out, or the golden frame.

#include "status/StatusFrame.h"

inline StatusReadings readingsOf(int value, std::uint8_t flags = 0)
{
    StatusReadings readings;
    readings.values.fill(value);
    readings.flags = flags;
    return readings;
}

// The status frame of readingsOf(value, flags).
inline QByteArray frameOf(int value, std::uint8_t flags = 0)
{
    return encodeStatusFrame(readingsOf(value, flags));
}

// `fill` everywhere but reading `index`, which holds `value`.
inline StatusReadings readingsWith(int fill, int index, int value, std::uint8_t flags = 0)
{
    StatusReadings readings = readingsOf(fill, flags);
    readings.values[static_cast<std::size_t>(index)] = value;
    return readings;
}

// Every field a distinct value, written out by hand rather than encoded, so that a wrong or
// swapped offset, bit or row shows.
// a1 | EclPd EclTec EclTemp InjTec InjTemp UpPd DownPd Pot | flags | seven DACs | 00
inline const QByteArray kGoldenFrame = QByteArray::fromHex(
    "a1"
    "012c" "0005" "07d0" "0032" "0fd0" "0a8c" "0578" "07ff"
    "25"
    "0c1f" "029a" "004d" "0e10" "0309" "0641" "0999"
    "00");
