#include "alarms/IncidentHistory.h"

#include "history/RecordingFormat.h"

#include <QFile>

namespace {

// One RFC 4180 record from `pos`; a quoted cell may hold commas and line breaks.
QStringList nextRecord(const QString &text, qsizetype &pos)
{
    QStringList cells;
    QString cell;
    bool quoted = false;
    for (; pos < text.size(); ++pos) {
        const QChar c = text.at(pos);
        if (quoted) {
            if (c == u'"' && pos + 1 < text.size() && text.at(pos + 1) == u'"') {
                cell += c;
                ++pos;
            } else if (c == u'"') {
                quoted = false;
            } else {
                cell += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            cells << std::exchange(cell, QString());
        } else if (c == u'\r' && pos + 1 < text.size() && text.at(pos + 1) == u'\n') {
            pos += 2;
            break;
        } else {
            cell += c;
        }
    }
    cells << cell;
    return cells;
}

} // namespace

std::unique_ptr<TrendHistory> loadIncidentHistory(const QString &path, QString *problem)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = file.errorString();
        return nullptr;
    }
    const QString text = QString::fromUtf8(file.readAll());
    qsizetype pos = 0;
    if (nextRecord(text, pos) != recordingColumns()) {
        *problem = QStringLiteral("Not a recording");
        return nullptr;
    }
    std::unique_ptr<TrendHistory> history;
    while (pos < text.size()) {
        const QStringList cells = nextRecord(text, pos);
        if (cells.size() != kRecordingColumnCount)
            break;   // a capture cut short by a crash ends here
        const double elapsed = cells[kElapsedColumn].toDouble();
        if (!history) {
            const QDateTime utc = QDateTime::fromString(cells[kTimeColumn], Qt::ISODateWithMs);
            history = std::make_unique<TrendHistory>(elapsed, utc);
        }
        if (cells[kFirstReadingColumn].isEmpty()) {
            history->addMessage(cells[kMessageColumn], elapsed);
            continue;
        }
        StatusReadings readings;
        for (int i = 0; i < kReadbackCount; ++i)
            readings.values[static_cast<std::size_t>(i)] = cells[kFirstReadingColumn + i].toInt();
        for (int i = 0; i < kSwitchCount; ++i) {
            if (cells[kFirstSwitchColumn + i] == QLatin1String("1"))
                readings.flags |= kSwitches[static_cast<std::size_t>(i)].mask;
        }
        history->addStatus(readings, elapsed);
    }
    if (!history)
        *problem = QStringLiteral("No frames");
    return history;
}
