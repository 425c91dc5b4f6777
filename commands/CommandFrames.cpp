#include "commands/CommandFrames.h"

#include "commands/LeadingNumber.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMaxCount = 65535;

// Checked on the double, before any conversion: an infinite or huge value has no int.
std::optional<int> toCount(double n)
{
    if (!(n >= 0 && n <= kMaxCount))
        return std::nullopt;
    return static_cast<int>(n);
}

void appendCount(QByteArray &frame, int count)
{
    frame.append(static_cast<char>(count / 256));
    frame.append(static_cast<char>(count % 256));
}

} // namespace

const CommandInfo *commandByOpcode(std::uint8_t opcode)
{
    const auto it = std::find_if(kCommands.begin(), kCommands.end(),
                                 [opcode](const CommandInfo &info) { return info.opcode == opcode; });
    return it == kCommands.end() ? nullptr : &*it;
}

int frameLength(Payload payload)
{
    switch (payload) {
    case Payload::None:
        return 1;
    case Payload::Switch:
        return 2;
    case Payload::WholeCount:
    case Payload::PiezoCount:
        return 3;
    case Payload::Text:
        return 1 + static_cast<int>(kEchoText.size());
    }
    return 1;
}

std::optional<int> wholeCount(QStringView fieldText)
{
    // nearbyint in the default rounding mode rounds ties to even
    return toCount(std::nearbyint(leadingNumber(fieldText)));
}

std::optional<int> piezoCount(QStringView fieldText)
{
    return toCount(kFullScaleCount - std::floor(piezoSteps(leadingNumber(fieldText))));
}

std::optional<CommandRequest> commandRequest(Command c, QStringView fieldText, bool checked)
{
    switch (commandInfo(c).payload) {
    case Payload::WholeCount:
    case Payload::PiezoCount: {
        const auto count = commandInfo(c).payload == Payload::WholeCount ? wholeCount(fieldText)
                                                                         : piezoCount(fieldText);
        if (!count)
            return std::nullopt;
        return CommandRequest{c, *count};
    }
    case Payload::Switch:
        return CommandRequest{c, 0, checked};
    case Payload::None:
    case Payload::Text:
        break;
    }
    return CommandRequest{c};
}

QByteArray encodeRequest(const CommandRequest &request)
{
    const CommandInfo &info = commandInfo(request.command);
    QByteArray frame;
    frame.reserve(frameLength(info.payload));
    frame.append(static_cast<char>(info.opcode));

    switch (info.payload) {
    case Payload::None:
        break;
    case Payload::Switch:
        frame.append(request.on ? '\1' : '\0');
        break;
    case Payload::WholeCount:
    case Payload::PiezoCount:
        appendCount(frame, request.count);
        break;
    case Payload::Text:
        frame.append(kEchoText.data(), static_cast<qsizetype>(kEchoText.size()));
        break;
    }
    return frame;
}

std::optional<QByteArray> encodeCommand(Command c, QStringView fieldText, bool checked)
{
    if (const std::optional<CommandRequest> request = commandRequest(c, fieldText, checked))
        return encodeRequest(*request);
    return std::nullopt;
}
