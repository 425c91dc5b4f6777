#pragma once
// The controller's 33-byte status frame: decoding, and the texts and ranges it shows.

#include "commands/CommandFrames.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>
#include <string_view>

inline constexpr int kStatusFrameSize = 33;
inline constexpr std::uint8_t kStatusOpcode = 0xA1;
inline constexpr std::uint8_t kMessageOpcode = 0xAF;

enum class TextFormat : std::uint8_t { Pd, Tec, Temperature, Signed, Plain };
enum class RangeRule : std::uint8_t { None, Pd, Tec, Temperature };

struct ReadbackInfo {
    std::string_view field;   // the reading's name; its readback box is "txt" + field
    int offset;               // of the high byte in the frame
    TextFormat format;
    RangeRule range;
};

// Frame order. The first eight are shown before the switches, the seven DACs after.
inline constexpr int kReadbackCount = 15;
inline constexpr int kReadbacksBeforeSwitches = 8;
inline constexpr std::array<ReadbackInfo, kReadbackCount> kReadbacks{{
    {"EclPd",            1,  TextFormat::Pd,          RangeRule::Pd},
    {"EclTec",           3,  TextFormat::Tec,         RangeRule::Tec},
    {"EclTemp",          5,  TextFormat::Temperature, RangeRule::Temperature},
    {"InjTec",           7,  TextFormat::Tec,         RangeRule::Tec},
    {"InjTemp",          9,  TextFormat::Temperature, RangeRule::Temperature},
    {"UpPd",             11, TextFormat::Pd,          RangeRule::None},
    {"DownPd",           13, TextFormat::Pd,          RangeRule::None},
    {"Pot",              15, TextFormat::Signed,      RangeRule::None},
    {"EclCurrentDac",    18, TextFormat::Plain,       RangeRule::None},
    {"EclPiezoDac",      20, TextFormat::Plain,       RangeRule::None},
    {"InjCurrentDac",    22, TextFormat::Plain,       RangeRule::None},
    {"UpPiezoDac",       24, TextFormat::Plain,       RangeRule::None},
    {"DownPiezoDac",     26, TextFormat::Plain,       RangeRule::None},
    {"XdacDac",          28, TextFormat::Plain,       RangeRule::None},
    {"YdacDac",          30, TextFormat::Plain,       RangeRule::None},
}};

inline constexpr int kFlagsOffset = 17;
// Each switch once: its status bit, the command that sets it, and its name, as the
// readings are named; Gui/Panels.h maps it to its check box.
struct SwitchInfo {
    std::string_view name;
    std::uint8_t mask;
    Command command;
};
inline constexpr int kSwitchCount = 6;
inline constexpr std::array<SwitchInfo, kSwitchCount> kSwitches{{
    {"EclTec",     0x01, Command::SetEclTec},
    {"InjTec",     0x02, Command::SetInjTec},
    {"ScanEn",     0x04, Command::SetScanEn},
    {"Heater",     0x08, Command::SetHeater},
    {"Narrow",     0x10, Command::SetNarrow},
    {"SlowLock",   0x20, Command::SetSlowLock},
}};

struct StatusReadings {
    std::array<int, kReadbackCount> values{};   // each 0..4095, kReadbacks order
    std::uint8_t flags = 0;
};

constexpr int reading12(std::uint8_t high, std::uint8_t low)
{
    return (high & 0x0F) * 256 + low;   // upper nibble of the high byte is not data
}

// Precondition: frame.size() >= 32 (offsets 1..31 are read; opcode and byte 32 are not).
// Bits 6 and 7 of the flags byte are not read and come back clear.
StatusReadings decodeStatusFrame(QByteArrayView frame);

// The inverse, for the simulator and tests: opcode 0xA1, byte 32 zero, values masked to 12 bits.
QByteArray encodeStatusFrame(const StatusReadings &readings);

QString signedText(int value);     // " 123"
QString plainText(int value);      // "123"
QString realText(double value);    // up to 15 significant digits, '.' separator, no trailing zeros
double temperature(int raw);       // 29.5 - (27.9 / 4095) * raw
QString temperatureText(int raw);  // " 14°": rounded to hundredths by way of its text
QString readbackText(TextFormat format, int value);
bool inRange(RangeRule rule, int value);   // RangeRule::None is always in range

// Everything one frame shows, in kReadbacks / kSwitches order.
struct ReadbackDisplay {
    std::array<QString, kReadbackCount> texts;
    std::array<bool, kReadbackCount> alarm{};    // meaningful where range != None
    std::array<bool, kSwitchCount> checked{};
};
ReadbackDisplay renderReadbacks(const StatusReadings &readings);

// Renders frame after frame as renderReadbacks does, reusing the text of a reading that
// has not changed since the frame before: a controller may report a thousand times a
// second, and most readings hold still.
class ReadbackRenderer
{
public:
    const ReadbackDisplay &render(const StatusReadings &readings);

private:
    ReadbackDisplay m_display;
    std::array<int, kReadbackCount> m_values = filledWith(-1);   // -1: nothing rendered yet

    static constexpr std::array<int, kReadbackCount> filledWith(int value)
    {
        std::array<int, kReadbackCount> values{};
        values.fill(value);
        return values;
    }
};
