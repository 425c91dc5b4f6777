#pragma once
// The recording's CSV rows: header, status, message and coarsened-bucket rows, RFC 4180, UTF-8.

#include "status/StatusFrame.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QStringView>

// The column names in order: time_utc, elapsed_s, the readings by field, the two
// temperatures in °C, the switches by name, message.
QStringList recordingColumns();

// The temperature readings, in kReadbacks order; their °C columns follow the raw readings.
inline constexpr int kTemperatureCount = 2;
inline constexpr std::array<int, kTemperatureCount> kDegreeColumnReadings = [] {
    std::array<int, kTemperatureCount> readings{};
    std::size_t next = 0;
    for (int i = 0; i < kReadbackCount; ++i) {
        if (kReadbacks[i].format == TextFormat::Temperature && next < readings.size())
            readings[next++] = i;
    }
    return readings;
}();
inline constexpr int kTimeColumn = 0;
inline constexpr int kElapsedColumn = 1;
inline constexpr int kFirstReadingColumn = 2;
inline constexpr int kFirstDegreeColumn = kFirstReadingColumn + kReadbackCount;
inline constexpr int kFirstSwitchColumn = kFirstDegreeColumn + kTemperatureCount;
inline constexpr int kMessageColumn = kFirstSwitchColumn + kSwitchCount;
inline constexpr int kRecordingColumnCount = kMessageColumn + 1;

// Each function returns one record ending in CR LF. `utc` is written in UTC, whatever
// zone it carries; `elapsedS` with three decimals.
QByteArray recordingHeader();
QByteArray statusRow(const QDateTime &utc, double elapsedS, const StatusReadings &readings);
// The reading, temperature and switch cells stay empty.
QByteArray messageRow(const QDateTime &utc, double elapsedS, QStringView text);
// Coarsened history: each cell "MIN..MAX", or one value where they agree. A switch's
// bit in `min` is its lowest state over the bucket, in `max` its highest.
QByteArray bucketRow(const QDateTime &utc, double elapsedS, const StatusReadings &min,
                     const StatusReadings &max);

// One field as RFC 4180 writes it: quoted, with quotes doubled, when it holds a comma,
// a quote, CR or LF; otherwise as it is.
QString csvField(QStringView text);

// The °C the panel shows for a raw temperature reading, without the degree sign: "14.02".
QString degreesText(int raw);

// "2026-12-08T18:56:10.123Z"
QString utcText(const QDateTime &time);
