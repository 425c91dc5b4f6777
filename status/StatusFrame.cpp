#include "status/StatusFrame.h"

#include "commands/LeadingNumber.h"

#include <cmath>

namespace {

constexpr QChar kDegreeSign{0x00B0};

std::uint8_t byteAt(QByteArrayView frame, int offset)
{
    return static_cast<std::uint8_t>(frame[offset]);
}

} // namespace

StatusReadings decodeStatusFrame(QByteArrayView frame)
{
    StatusReadings readings;
    for (int i = 0; i < kReadbackCount; ++i) {
        const int offset = kReadbacks[i].offset;
        readings.values[i] = reading12(byteAt(frame, offset), byteAt(frame, offset + 1));
    }
    readings.flags = byteAt(frame, kFlagsOffset) & kSwitchBits;
    return readings;
}

QByteArray encodeStatusFrame(const StatusReadings &readings)
{
    QByteArray frame(kStatusFrameSize, '\0');
    frame[0] = static_cast<char>(kStatusOpcode);
    for (int i = 0; i < kReadbackCount; ++i) {
        const int value = readings.values[i] & 0x0FFF;
        frame[kReadbacks[i].offset] = static_cast<char>(value >> 8);
        frame[kReadbacks[i].offset + 1] = static_cast<char>(value & 0xFF);
    }
    frame[kFlagsOffset] = static_cast<char>(readings.flags);
    return frame;
}

QString signedText(int value)
{
    // a non-negative number keeps a blank where its sign would stand
    return value < 0 ? QString::number(value) : QLatin1Char(' ') + QString::number(value);
}

QString plainText(int value)
{
    return QString::number(value);
}

QString realText(double value)
{
    // QString::number formats in the C locale whatever the default locale is
    return QString::number(value, 'g', 15);
}

double temperature(int raw)
{
    return celsiusOfCount(raw);
}

QString temperatureText(int raw)
{
    // rounded through its own decimal text, as the box's text would be read back
    const double readBack = leadingNumber(realText(temperature(raw)));
    const double rounded = std::nearbyint(readBack * 100) / 100;
    return QLatin1Char(' ') + realText(rounded) + kDegreeSign;
}

QString readbackText(TextFormat format, int value)
{
    switch (format) {
    case TextFormat::Pd:
        return QStringLiteral("PD:") + signedText(value);
    case TextFormat::Tec:
        return QStringLiteral("TEC:") + signedText(value);
    case TextFormat::Temperature:
        return temperatureText(value);
    case TextFormat::Signed:
        return signedText(value);
    case TextFormat::Plain:
        return plainText(value);
    }
    return plainText(value);
}

bool inRange(RangeRule rule, int value)
{
    return inAlarmRange(rule, value);
}

ReadbackDisplay renderReadbacks(const StatusReadings &readings)
{
    return ReadbackRenderer().render(readings);
}

const ReadbackDisplay &ReadbackRenderer::render(const StatusReadings &readings)
{
    for (std::size_t i = 0; i < kReadbacks.size(); ++i) {
        const int value = readings.values[i];
        if (m_values[i] != value) {
            m_values[i] = value;
            m_display.texts[i] = readbackText(kReadbacks[i].format, value);
            m_display.alarm[i] = !inRange(kReadbacks[i].range, value);
        }
    }
    for (std::size_t i = 0; i < kSwitches.size(); ++i)
        m_display.checked[i] = (readings.flags & kSwitches[i].mask) != 0;
    return m_display;
}
