// Fuzzes the command encoders with arbitrary field texts. Texts that a setpoint box has
// settled (pasted whole, or typed key by key with backspaces) must give a count 0..4095;
// raw texts may be refused but never sent wrapped; every frame has its table length.
//
// Input: byte 0 picks the field (low bits), UTF-16 (0x08) and the switch state (0x10);
// the rest is the text.

#include "commands/SetpointRules.h"
#include "commands/CommandFrames.h"
#include "commands/LeadingNumber.h"

#include <QRegularExpression>
#include <QString>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

struct Field {
    Command command;
    FieldFamily family;
    qsizetype maxLength;
};

constexpr std::array<Field, 7> kFields{{
    {Command::SetEclCurrent, FieldFamily::Current, 4},
    {Command::SetInjCurrent, FieldFamily::Current, 4},
    {Command::SetEclPiezo, FieldFamily::Piezo, 5},
    {Command::SetUpPiezo, FieldFamily::Piezo, 5},
    {Command::SetDownPiezo, FieldFamily::Piezo, 5},
    {Command::SetXdac, FieldFamily::Dac, 4},
    {Command::SetYdac, FieldFamily::Dac, 4},
}};

// Opcode and whole frame length of each command, in the enum's order, as the controller reads them.
struct Wire {
    std::uint8_t opcode;
    int length;
};
constexpr std::array<Wire, 17> kWire{{
    {0xA0, 3}, {0xA1, 3}, {0xA2, 1}, {0xA3, 1}, {0xA4, 1}, {0xA5, 3}, {0xA6, 3}, {0xA7, 2}, {0xA8, 2},
    {0xA9, 3}, {0xAA, 3}, {0xAB, 3}, {0xAC, 2}, {0xAD, 2}, {0xAE, 2}, {0xAF, 40}, {0xB5, 2},
}};

[[noreturn]] void fail(const char *what, Command command, QStringView text, const QByteArray &frame = {})
{
    std::fprintf(stderr, "%s: %s\n  text (UTF-16 hex): %s\n  frame: %s\n",
                 commandInfo(command).name.data(), what,
                 QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2).toHex(' ').constData(),
                 frame.toHex(' ').constData());
    std::abort();
}

int countOf(const QByteArray &frame)
{
    return static_cast<std::uint8_t>(frame[1]) * 256 + static_cast<std::uint8_t>(frame[2]);
}

// What a box holds after its Change rule has run: the rule's nested rewrite must find
// nothing left to do, and the count its button then sends must fit a 12-bit DAC.
void checkSettled(const Field &field, const QString &settled)
{
    if (settleText(field.family, settled) != settled)
        fail("settled text is not settled again", field.command, settled);

    static const QRegularExpression wholeNumber(
        QRegularExpression::anchoredPattern(QStringLiteral("0|[1-9]\\d{0,3}")));
    if (field.family == FieldFamily::Current && !settled.isEmpty()
        && (!wholeNumber.match(settled).hasMatch() || settled.toInt() > 4095))
        fail("current box holds more than a whole number 0..4095", field.command, settled);

    const std::optional<QByteArray> frame = encodeCommand(field.command, settled);
    if (!frame)
        fail("settled text was refused", field.command, settled);
    if (frame->size() != 3 || static_cast<std::uint8_t>(frame->at(0)) != commandInfo(field.command).opcode)
        fail("frame is not opcode and two count bytes", field.command, settled, *frame);
    if (static_cast<std::uint8_t>(frame->at(1)) > 15 || countOf(*frame) > 4095)
        fail("settled text sends a count above 4095", field.command, settled, *frame);

    if (field.command == Command::SetInjCurrent) {
        const QString limited = injectionLimit(settled);
        if (settleText(field.family, limited) != limited)
            fail("injection limit left an unsettled text", field.command, limited);
        const std::optional<QByteArray> limitedFrame = encodeCommand(field.command, limited);
        if (!limitedFrame || countOf(*limitedFrame) > 100)
            fail("injection limit let a count above 100 through", field.command, limited,
                 limitedFrame.value_or(QByteArray()));
    }
}

// The box typed into key by key from empty; U+0008 deletes the last character.
// Keys beyond the length limit are refused, as the box refuses them.
void typeInto(const Field &field, QStringView keys)
{
    QString box = settleText(field.family, QString());
    checkSettled(field, box);
    for (const QChar key : keys) {
        if (key == u'\b') {
            box.chop(1);
        } else if (box.size() < field.maxLength) {
            box += key;
        } else {
            continue;
        }
        box = settleText(field.family, box);
        checkSettled(field, box);
    }
}

// The count the wire must carry for a raw text; NaN-safe, and outside 0..65535 when
// the encoder has to refuse it.
double intendedCount(Command command, QStringView text)
{
    const double value = leadingNumber(text);
    if (commandInfo(command).payload == Payload::PiezoCount)
        return 4095 - std::floor(value / 63.3 * 4095);
    return std::nearbyint(value);
}

void checkRaw(QStringView text, bool checked)
{
    for (const CommandInfo &info : kCommands) {
        const Wire wire = kWire[static_cast<std::size_t>(info.command)];
        const std::optional<QByteArray> frame = encodeCommand(info.command, text, checked);
        const bool counted = info.payload == Payload::WholeCount || info.payload == Payload::PiezoCount;
        if (!frame) {
            if (!counted)
                fail("frame without a count was refused", info.command, text);
            const double intended = intendedCount(info.command, text);
            if (intended >= 0 && intended <= 65535)
                fail("a count that fits two bytes was refused", info.command, text);
            continue;
        }
        if (frame->size() != wire.length || static_cast<std::uint8_t>(frame->at(0)) != wire.opcode)
            fail("frame length or opcode differs from the table", info.command, text, *frame);
        if (info.payload == Payload::Switch && frame->at(1) != (checked ? 1 : 0))
            fail("switch byte is not the box's state", info.command, text, *frame);
        if (counted && !(intendedCount(info.command, text) == countOf(*frame)))
            fail("count on the wire is not the field's count (wrapped?)", info.command, text, *frame);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t control = data[0];
    const Field &field = kFields[(control & 0x07) % kFields.size()];
    const bool utf16 = control & 0x08;
    const bool checked = control & 0x10;

    QString text;
    if (utf16) {
        for (std::size_t i = 1; i + 1 < size; i += 2)
            text += QChar(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    } else {
        text = QString::fromUtf8(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));
    }

    checkSettled(field, settleText(field.family, text.first(std::min(text.size(), field.maxLength))));
    typeInto(field, text);
    checkRaw(text, checked);
    return 0;
}
