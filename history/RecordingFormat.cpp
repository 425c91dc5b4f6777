#include "history/RecordingFormat.h"

#include <charconv>

namespace {

constexpr QLatin1StringView kDegreeSuffix("_degC");
constexpr QChar kDegreeSign{0x00B0};

QString fieldName(std::string_view name)
{
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

QString elapsedText(double elapsedS)
{
    return QString::number(elapsedS, 'f', 3);
}

QString range(const QString &low, const QString &high)
{
    return low == high ? low : low + QLatin1StringView("..") + high;
}

QByteArray record(const QStringList &cells)
{
    return (cells.join(u',') + QLatin1StringView("\r\n")).toUtf8();
}

QStringList leadingCells(const QDateTime &utc, double elapsedS)
{
    QStringList cells;
    cells.reserve(kRecordingColumnCount);
    cells << utcText(utc) << elapsedText(elapsedS);
    return cells;
}

// A status row is written for every frame, up to a thousand a second, beside the
// window: its cells go straight into bytes, without a string per cell.
void appendNumber(QByteArray &row, long long value, int width = 0)
{
    char digits[24];
    const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, value);
    for (auto length = end.ptr - digits; length < width; ++length)
        row += '0';
    row.append(digits, end.ptr - digits);
}

void appendElapsed(QByteArray &row, double elapsedS)
{
    char digits[48];
    const std::to_chars_result end =
        std::to_chars(digits, digits + sizeof digits, elapsedS, std::chars_format::fixed, 3);
    row.append(digits, end.ec == std::errc() ? end.ptr - digits : 0);
}

// Civil date of a day counted from 1970-01-01, proleptic Gregorian.
void appendDate(QByteArray &row, long long days)
{
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthIndex = (5 * dayOfYear + 2) / 153;
    const long long day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const long long month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    appendNumber(row, yearOfEra + era * 400 + (month <= 2 ? 1 : 0), 4);
    row += '-';
    appendNumber(row, month, 2);
    row += '-';
    appendNumber(row, day, 2);
}

void appendUtc(QByteArray &row, const QDateTime &time)
{
    constexpr long long kMsPerDay = 86400000;
    const long long msecs = time.toMSecsSinceEpoch();
    const long long days = (msecs >= 0 ? msecs : msecs - kMsPerDay + 1) / kMsPerDay;
    const long long ofDay = msecs - days * kMsPerDay;
    appendDate(row, days);
    row += 'T';
    appendNumber(row, ofDay / 3600000, 2);
    row += ':';
    appendNumber(row, ofDay / 60000 % 60, 2);
    row += ':';
    appendNumber(row, ofDay / 1000 % 60, 2);
    row += '.';
    appendNumber(row, ofDay % 1000, 3);
    row += 'Z';
}

// Each raw temperature's text, made once per thread as it is first needed.
const QByteArray &degreesBytes(int raw)
{
    thread_local std::array<QByteArray, 4096> cache;
    QByteArray &text = cache[static_cast<std::size_t>(raw & 0x0FFF)];
    if (text.isEmpty())
        text = degreesText(raw & 0x0FFF).toUtf8();
    return text;
}

int bit(std::uint8_t flags, std::size_t index)
{
    return (flags & kSwitches[index].mask) != 0 ? 1 : 0;
}

} // namespace

QStringList recordingColumns()
{
    QStringList columns{QStringLiteral("time_utc"), QStringLiteral("elapsed_s")};
    for (const ReadbackInfo &info : kReadbacks)
        columns << fieldName(info.field);
    for (int reading : kDegreeColumnReadings)
        columns << fieldName(kReadbacks[reading].field) + kDegreeSuffix;
    // Switch columns keep the prefix that recordings have always had: without it EclTec
    // would name both a reading and a switch.
    for (const SwitchInfo &info : kSwitches)
        columns << QStringLiteral("chk") + fieldName(info.name);
    columns << QStringLiteral("message");
    return columns;
}

QByteArray recordingHeader()
{
    return record(recordingColumns());
}

QByteArray statusRow(const QDateTime &utc, double elapsedS, const StatusReadings &readings)
{
    QByteArray row;
    row.reserve(160);
    appendUtc(row, utc);
    row += ',';
    appendElapsed(row, elapsedS);
    for (int value : readings.values) {
        row += ',';
        appendNumber(row, value);
    }
    for (int reading : kDegreeColumnReadings) {
        row += ',';
        row += degreesBytes(readings.values[reading]);
    }
    for (std::size_t i = 0; i < kSwitches.size(); ++i) {
        row += ',';
        row += static_cast<char>('0' + bit(readings.flags, i));
    }
    row += ",\r\n";   // the message cell stays empty
    return row;
}

QByteArray messageRow(const QDateTime &utc, double elapsedS, QStringView text)
{
    QStringList cells = leadingCells(utc, elapsedS);
    for (int i = kFirstReadingColumn; i < kMessageColumn; ++i)
        cells << QString();
    cells << csvField(text);
    return record(cells);
}

QByteArray bucketRow(const QDateTime &utc, double elapsedS, const StatusReadings &min,
                     const StatusReadings &max)
{
    QStringList cells = leadingCells(utc, elapsedS);
    for (int i = 0; i < kReadbackCount; ++i)
        cells << range(QString::number(min.values[i]), QString::number(max.values[i]));
    // The temperature falls as its reading rises: the highest reading is the coldest.
    for (int reading : kDegreeColumnReadings)
        cells << range(degreesText(max.values[reading]), degreesText(min.values[reading]));
    for (std::size_t i = 0; i < kSwitches.size(); ++i)
        cells << range(QString::number(bit(min.flags, i)), QString::number(bit(max.flags, i)));
    cells << QString();
    return record(cells);
}

QString csvField(QStringView text)
{
    const bool quote = text.contains(u',') || text.contains(u'"') || text.contains(u'\r')
                       || text.contains(u'\n');
    if (!quote)
        return text.toString();
    QString field = text.toString();
    field.replace(u'"', QStringLiteral("\"\""));
    return u'"' + field + u'"';
}

QString degreesText(int raw)
{
    QString text = temperatureText(raw).trimmed();
    if (text.endsWith(kDegreeSign))
        text.chop(1);
    return text;
}

QString utcText(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}
