// Stand-ins for the pure functions the simulator links against, until their own
// sources land on this branch. Delete this file when they do.

#include "commands/CommandFrames.h"
#include "status/StatusFrame.h"

const CommandInfo *commandByOpcode(std::uint8_t opcode)
{
    for (const CommandInfo &info : kCommands) {
        if (info.opcode == opcode)
            return &info;
    }
    return nullptr;
}

int frameLength(Payload payload)
{
    switch (payload) {
    case Payload::None: return 1;
    case Payload::Switch: return 2;
    case Payload::WholeCount:
    case Payload::PiezoCount: return 3;
    case Payload::Text: return 40;
    }
    return 1;
}

QByteArray encodeStatusFrame(const StatusReadings &readings)
{
    QByteArray frame(kStatusFrameSize, '\0');
    frame[0] = static_cast<char>(kStatusOpcode);
    for (int i = 0; i < kReadbackCount; ++i) {
        const int value = readings.values[static_cast<std::size_t>(i)];
        const int offset = kReadbacks[static_cast<std::size_t>(i)].offset;
        frame[offset] = static_cast<char>((value >> 8) & 0x0F);
        frame[offset + 1] = static_cast<char>(value & 0xFF);
    }
    frame[kFlagsOffset] = static_cast<char>(readings.flags);
    return frame;
}
