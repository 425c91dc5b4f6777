#include "history/TrendExport.h"

#include "history/RecordingFormat.h"

qint64 writeHistoryCsv(const TrendHistory &history, QIODevice &device)
{
    constexpr qsizetype kChunkBytes = 256 * 1024;
    const double origin = history.oldestTime();
    QByteArray chunk = recordingHeader();
    qint64 rows = 0;
    bool failed = false;
    const auto add = [&](const QByteArray &row) {
        chunk += row;
        ++rows;
        if (chunk.size() >= kChunkBytes && !failed) {
            failed = device.write(chunk) != chunk.size();
            chunk.clear();
        }
    };
    history.visit({
        [&](double time, const StatusReadings &readings) {
            add(statusRow(history.utcAt(time), time - origin, readings));
        },
        [&](double time, const StatusReadings &low, const StatusReadings &high) {
            add(bucketRow(history.utcAt(time), time - origin, low, high));
        },
        [&](double time, const QString &text) { add(messageRow(history.utcAt(time), time - origin, text)); },
    });
    if (!failed && !chunk.isEmpty())
        failed = device.write(chunk) != chunk.size();
    return failed ? -1 : rows;
}
