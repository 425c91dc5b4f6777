#include "sim/FrameStamp.h"

#include "status/StatusFrame.h"

#include <ctime>

namespace {

constexpr int kSequenceBits = 24;

} // namespace

void stampFrame(QByteArray &frame, FrameStamp stamp)
{
    const std::uint64_t bits = (stamp.sequence % kStampSequenceModulo)
                             | (stamp.micros % kStampMicrosModulo) << kSequenceBits;
    for (std::size_t i = 0; i < kReadbacks.size(); ++i) {
        char &high = frame[kReadbacks[i].offset];
        const auto nibble = static_cast<std::uint8_t>((bits >> (4 * i)) & 0x0F);
        high = static_cast<char>((static_cast<std::uint8_t>(high) & 0x0F) | nibble << 4);
    }
}

FrameStamp readStamp(QByteArrayView frame)
{
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < kReadbacks.size(); ++i) {
        const auto high = static_cast<std::uint8_t>(frame[kReadbacks[i].offset]);
        bits |= static_cast<std::uint64_t>(high >> 4) << (4 * i);
    }
    return {static_cast<std::uint32_t>(bits % kStampSequenceModulo), bits >> kSequenceBits};
}

std::uint64_t monotonicMicros()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000 + static_cast<std::uint64_t>(now.tv_nsec) / 1000;
}
