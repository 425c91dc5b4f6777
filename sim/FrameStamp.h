#pragma once
// A status frame's sequence number and departure time, carried in bits the frame does not use.

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>

// The high nibble of each reading's high byte is not data (reading12 masks it), so a
// stamped frame decodes to exactly the readings it had: 15 nibbles, 60 bits, of which
// the sequence number takes the first 24 and the time the other 36. Both wrap.
struct FrameStamp {
    std::uint32_t sequence = 0;   // modulo kStampSequenceModulo
    std::uint64_t micros = 0;     // CLOCK_MONOTONIC in µs, modulo kStampMicrosModulo (19 h)
};

inline constexpr std::uint32_t kStampSequenceModulo = 1u << 24;
inline constexpr std::uint64_t kStampMicrosModulo = std::uint64_t{1} << 36;

// Precondition: a status frame of full length. Overwrites the high nibbles only.
void stampFrame(QByteArray &frame, FrameStamp stamp);
// Precondition: a status frame of full length.
FrameStamp readStamp(QByteArrayView frame);

// This machine's CLOCK_MONOTONIC in µs: the same clock in every process.
std::uint64_t monotonicMicros();

// From a stamp's time to `now` (both µs of CLOCK_MONOTONIC), across the wrap.
constexpr std::uint64_t stampAge(std::uint64_t stampMicros, std::uint64_t now)
{
    return (now - stampMicros) % kStampMicrosModulo;
}
