#pragma once
// Host-to-controller command frames: the seventeen opcodes and their payload encoders.

#include "instrument/Bench.h"

#include <QByteArray>
#include <QStringView>

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

enum class Payload : std::uint8_t {
    None,        // opcode alone
    Switch,      // one byte, 0 or 1
    WholeCount,  // two bytes, high first: field value rounded ties-to-even
    PiezoCount,  // two bytes, high first: full scale less the whole steps of the volts (piezoSteps)
    Text,        // the 39 bytes of kEchoText
};

struct CommandInfo {
    Command command;
    std::string_view name;
    std::uint8_t opcode;
    Payload payload;
};

inline constexpr std::string_view kEchoText = "Hi, this should show up on the console.";

inline constexpr std::array<CommandInfo, 17> kCommands{{
    {Command::SetXdac,       "SetXdac",       0xA0, Payload::WholeCount},
    {Command::SetYdac,       "SetYdac",       0xA1, Payload::WholeCount},
    {Command::XYSquare,      "XYSquare",      0xA2, Payload::None},
    {Command::KeepAlive,     "KeepAlive",     0xA3, Payload::None},
    {Command::WarmBoot,      "WarmBoot",      0xA4, Payload::None},
    {Command::SetEclCurrent, "SetEclCurrent", 0xA5, Payload::WholeCount},
    {Command::SetInjCurrent, "SetInjCurrent", 0xA6, Payload::WholeCount},
    {Command::SetEclTec,     "SetEclTec",     0xA7, Payload::Switch},
    {Command::SetInjTec,     "SetInjTec",     0xA8, Payload::Switch},
    {Command::SetEclPiezo,   "SetEclPiezo",   0xA9, Payload::PiezoCount},
    {Command::SetUpPiezo,    "SetUpPiezo",    0xAA, Payload::PiezoCount},
    {Command::SetDownPiezo,  "SetDownPiezo",  0xAB, Payload::PiezoCount},
    {Command::SetScanEn,     "SetScanEn",     0xAC, Payload::Switch},
    {Command::SetHeater,     "SetHeater",     0xAD, Payload::Switch},
    {Command::SetNarrow,     "SetNarrow",     0xAE, Payload::Switch},
    {Command::Echo,          "Echo",          0xAF, Payload::Text},
    {Command::SetSlowLock,   "SetSlowLock",   0xB5, Payload::Switch},
}};

constexpr const CommandInfo &commandInfo(Command c) { return kCommands[static_cast<std::size_t>(c)]; }

// The payload follows from what a command sets: a switch's state, or a setpoint's count in
// its family's scale. The opcodes are the wire's alone, so the two tables meet here.
constexpr bool payloadsFollowTheFields()
{
    for (std::size_t i = 0; i < kCommands.size(); ++i) {
        if (static_cast<std::size_t>(kCommands[i].command) != i)
            return false;
    }
    for (const BenchField &row : kBenchFields) {
        const Payload payload = commandInfo(row.command).payload;
        if (row.kind == FieldKind::Switch && payload != Payload::Switch)
            return false;
        if (row.kind == FieldKind::Setpoint
            && payload != (row.family == FieldFamily::Piezo ? Payload::PiezoCount : Payload::WholeCount))
            return false;
        if (row.kind == FieldKind::Command && commandInfo(row.command).name != row.attribute)
            return false;
    }
    return true;
}
static_assert(payloadsFollowTheFields());

// The row for an opcode, or nullptr for a byte that opens no command frame.
const CommandInfo *commandByOpcode(std::uint8_t opcode);

// Whole frame length for a payload kind, opcode included (1, 2, 3 or 40).
int frameLength(Payload payload);

// Counts as the fields produce them; nullopt when the count is outside 0..65535,
// so that a wrapped value never reaches a DAC.
std::optional<int> wholeCount(QStringView fieldText);
std::optional<int> piezoCount(QStringView fieldText);

// One command with its payload already computed: what a link carries, whatever the
// transport. `count` is read by the count commands, `on` by the switch commands.
struct CommandRequest {
    Command command;
    int count = 0;   // 0..65535, as it goes on the wire
    bool on = false;

    friend bool operator==(const CommandRequest &, const CommandRequest &) = default;
};

// The request a field's text and a check box's state make. fieldText is read by the
// count commands, checked by the switch commands; the others ignore both. nullopt when
// the count is out of range.
std::optional<CommandRequest> commandRequest(Command c, QStringView fieldText = {}, bool checked = false);

// The frame's bytes for a request.
QByteArray encodeRequest(const CommandRequest &request);

// commandRequest() then encodeRequest(): the bytes a field's text sends.
std::optional<QByteArray> encodeCommand(Command c, QStringView fieldText = {}, bool checked = false);
