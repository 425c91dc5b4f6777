// Fuzzes the status frame decode and its readback texts with 33 arbitrary bytes
// (a shorter input is padded with zeros): every reading is a 12-bit value, every text
// has its box's format and shows that reading, and the bytes that carry nothing change nothing.

#include "status/StatusFrame.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, const QByteArray &frame, int index, const QString &text = {})
{
    std::fprintf(stderr, "status frame: %s (readback %d, text \"%s\")\n  frame: %s\n", what, index,
                 text.toUtf8().constData(), frame.toHex(' ').constData());
    std::abort();
}

QRegularExpression anchored(const char *pattern)
{
    return QRegularExpression(QRegularExpression::anchoredPattern(QString::fromUtf8(pattern)));
}

// A whole number has no leading zeros; a temperature drops trailing zeros and a bare point.
const QRegularExpression &formatPattern(TextFormat format)
{
    static const QRegularExpression pd = anchored("PD: (0|[1-9]\\d*)");
    static const QRegularExpression tec = anchored("TEC: (0|[1-9]\\d*)");
    static const QRegularExpression temperature = anchored(" (0|[1-9]\\d*)(\\.\\d?[1-9])?°");
    static const QRegularExpression signedNumber = anchored(" (0|[1-9]\\d*)");
    static const QRegularExpression plain = anchored("(0|[1-9]\\d*)");
    switch (format) {
    case TextFormat::Pd:
        return pd;
    case TextFormat::Tec:
        return tec;
    case TextFormat::Temperature:
        return temperature;
    case TextFormat::Signed:
        return signedNumber;
    case TextFormat::Plain:
        break;
    }
    return plain;
}

bool sameDisplay(const ReadbackDisplay &a, const ReadbackDisplay &b)
{
    return a.texts == b.texts && a.alarm == b.alarm && a.checked == b.checked;
}

void checkText(const QByteArray &frame, int index, TextFormat format, int reading, const QString &text)
{
    if (!formatPattern(format).match(text).hasMatch())
        fail("text does not match its format", frame, index, text);

    static const QRegularExpression digit(QStringLiteral("\\d"));
    const qsizetype digitsAt = text.indexOf(digit);
    if (format == TextFormat::Temperature) {
        const double shown = text.sliced(digitsAt).chopped(1).toDouble();
        const double exact = 29.5 - 27.9 / 4095 * reading;
        if (!(shown >= 1.6 && shown <= 29.5) || std::abs(shown - exact) > 0.005 + 1e-9)
            fail("temperature is not the reading's, to the hundredth", frame, index, text);
    } else if (text.sliced(digitsAt).toInt() != reading) {
        fail("text does not show the reading", frame, index, text);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QByteArray frame(kStatusFrameSize, '\0');
    std::copy_n(data, std::min<std::size_t>(size, kStatusFrameSize), frame.begin());

    const StatusReadings readings = decodeStatusFrame(frame);
    for (int i = 0; i < kReadbackCount; ++i) {
        if (readings.values[i] < 0 || readings.values[i] > 4095)
            fail("reading outside 0..4095", frame, i);
    }
    if (readings.flags & 0xC0)
        fail("switch bits 6 or 7 came back set", frame, -1);

    const ReadbackDisplay display = renderReadbacks(readings);
    for (int i = 0; i < kReadbackCount; ++i)
        checkText(frame, i, kReadbacks[i].format, readings.values[i], display.texts[i]);
    // The window renders frame after frame with one renderer, reusing unchanged texts:
    // whatever came before, it must show what a fresh rendering shows.
    static ReadbackRenderer window;
    if (!sameDisplay(window.render(readings), display))
        fail("a renderer that saw other frames before shows this one otherwise", frame, -1);

    // The opcode, byte 32, the upper nibble of every high byte and bits 6 and 7 of the
    // flags carry nothing: change them all and nothing shown may change.
    QByteArray unread = frame;
    unread[0] = static_cast<char>(~unread[0]);
    unread[32] = static_cast<char>(~unread[32]);
    for (const ReadbackInfo &info : kReadbacks)
        unread[info.offset] = static_cast<char>(unread[info.offset] ^ 0xF0);
    unread[kFlagsOffset] = static_cast<char>(unread[kFlagsOffset] ^ 0xC0);
    if (!sameDisplay(renderReadbacks(decodeStatusFrame(unread)), display))
        fail("a byte or bit that is not read changed the display", unread, -1);

    // The simulator's encoder must round-trip every reading the panel decodes.
    const QByteArray reencoded = encodeStatusFrame(readings);
    const StatusReadings again = decodeStatusFrame(reencoded);
    if (reencoded.size() != kStatusFrameSize || static_cast<std::uint8_t>(reencoded[0]) != kStatusOpcode
        || again.values != readings.values || again.flags != readings.flags)
        fail("encodeStatusFrame does not round-trip the decoded readings", reencoded, -1);
    return 0;
}
