#include "status/RecordingFormat.h"

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
    for (const SwitchInfo &info : kSwitches)
        columns << fieldName(info.name);
    columns << QStringLiteral("message");
    return columns;
}

QByteArray recordingHeader()
{
    return record(recordingColumns());
}

QByteArray statusRow(const QDateTime &utc, double elapsedS, const StatusReadings &readings)
{
    QStringList cells = leadingCells(utc, elapsedS);
    for (int value : readings.values)
        cells << QString::number(value);
    for (int reading : kDegreeColumnReadings)
        cells << degreesText(readings.values[reading]);
    for (std::size_t i = 0; i < kSwitches.size(); ++i)
        cells << QString::number(bit(readings.flags, i));
    cells << QString();
    return record(cells);
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
