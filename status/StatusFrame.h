#pragma once
// The controller's 33-byte status frame: decoding, and the texts and ranges it shows.

#include "commands/CommandFrames.h"
#include "instrument/Bench.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>
#include <string_view>

inline constexpr int kStatusFrameSize = 33;
inline constexpr std::uint8_t kStatusOpcode = 0xA1;
inline constexpr std::uint8_t kMessageOpcode = 0xAF;

struct ReadbackInfo {
    std::string_view field;   // the reading's name; its readback box is "txt" + field
    int offset;               // of the high byte in the frame
    TextFormat format;
    RangeRule range;
};

// The readings of kBenchFields in frame order. Those before the flags byte are shown
// before the switches, the DACs after.
inline constexpr int kReadbackCount = fieldCount(FieldKind::Reading);
inline constexpr auto kReadbacks = [] {
    std::array<ReadbackInfo, kReadbackCount> rows{};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const BenchField &row = kFieldsOf<FieldKind::Reading>[i];
        rows[i] = {row.field, row.offset, row.format, row.range};
    }
    return rows;
}();

inline constexpr int kFlagsOffset = kStatusFlagsOffset;
inline constexpr int kReadbacksBeforeSwitches = [] {
    int n = 0;
    for (const ReadbackInfo &row : kReadbacks)
        n += row.offset < kFlagsOffset ? 1 : 0;
    return n;
}();

// Each switch once: its status bit, the command that sets it, and its name, as the
// readings are named; Gui/Panels.h maps it to its check box.
struct SwitchInfo {
    std::string_view name;
    std::uint8_t mask;
    Command command;
};
inline constexpr int kSwitchCount = fieldCount(FieldKind::Switch);
inline constexpr auto kSwitches = [] {
    std::array<SwitchInfo, kSwitchCount> rows{};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const BenchField &row = kFieldsOf<FieldKind::Switch>[i];
        rows[i] = {row.field, row.mask, row.command};
    }
    return rows;
}();

// Every switch's bit; the others carry nothing.
inline constexpr std::uint8_t kSwitchBits = [] {
    std::uint8_t bits = 0;
    for (const SwitchInfo &row : kSwitches)
        bits |= row.mask;
    return bits;
}();

// Readings must sit in frame order, two bytes each, clear of the opcode, the flags byte and
// each other: decoding and encoding rely on it.
constexpr bool readingsTileTheFrame()
{
    int next = 1;
    for (const ReadbackInfo &row : kReadbacks) {
        if (next == kFlagsOffset)
            ++next;
        if (row.offset != next)
            return false;
        next += 2;
    }
    return next < kStatusFrameSize;
}
static_assert(readingsTileTheFrame());

struct StatusReadings {
    std::array<int, kReadbackCount> values{};   // each 0 to full scale, kReadbacks order
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
double temperature(int raw);       // celsiusOfCount()
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
