#include "sim/ReplayReader.h"

#include "history/RecordingFormat.h"
#include "status/StatusFrame.h"

#include <QStringList>

#include <cmath>

namespace {

std::optional<int> wholeNumber(const QString &cell, int max)
{
    bool ok = false;
    const int value = cell.toInt(&ok);
    // only plain digits: no sign, blank or range as a bucket row writes it
    if (!ok || cell.isEmpty() || !cell.front().isDigit() || value > max)
        return std::nullopt;
    return value;
}

} // namespace

ReplayReader::ReplayReader(QByteArrayView text) : m_text(text) {}

ReplayReader::Cut ReplayReader::readRecord(QStringList &cells)
{
    cells.clear();
    m_quoteProblem.clear();
    QByteArray cell;
    bool quoted = false;
    bool inQuotes = false;
    const qsizetype size = m_text.size();
    qsizetype pos = m_pos;
    int line = m_line;
    const auto endCell = [&] {
        cells << QString::fromUtf8(cell);
        cell.clear();
        quoted = false;
    };
    while (pos < size) {
        const char c = m_text[pos];
        if (inQuotes) {
            if (c == '"') {
                if (pos + 1 < size && m_text[pos + 1] == '"') {
                    cell += '"';
                    pos += 2;
                    continue;
                }
                if (pos + 1 >= size)
                    break;   // a closing quote with nothing after: the record may go on
                inQuotes = false;
                const char after = m_text[pos + 1];
                if (after != ',' && after != '\r' && after != '\n' && m_quoteProblem.isEmpty())
                    m_quoteProblem = QStringLiteral("text after a closing quote");
            } else {
                if (c == '\n')
                    ++line;
                cell += c;
            }
            ++pos;
            continue;
        }
        if (c == '"' && cell.isEmpty() && !quoted) {
            inQuotes = quoted = true;
            ++pos;
        } else if (c == ',') {
            endCell();
            ++pos;
        } else if (c == '\n' || (c == '\r' && pos + 1 < size && m_text[pos + 1] == '\n')) {
            endCell();
            m_pos = pos + (c == '\r' ? 2 : 1);
            m_line = line + 1;
            return Cut::No;
        } else if (c == '\r' && pos + 1 >= size) {
            break;   // CR with its LF still to come
        } else {
            if ((c == '"' || quoted) && m_quoteProblem.isEmpty())
                m_quoteProblem = QStringLiteral("a quote inside a cell that is not quoted");
            cell += c;
            ++pos;
        }
    }
    m_pos = size;
    m_line = line;
    return Cut::Yes;
}

std::optional<QString> ReplayReader::readHeader()
{
    m_pos = 0;
    m_line = 1;
    if (m_text.isEmpty())
        return QStringLiteral("the file is empty");
    QStringList cells;
    if (readRecord(cells) == Cut::Yes)
        return QStringLiteral("the header is cut short");
    if (cells != recordingColumns())
        return QStringLiteral("the header is not a recording's: %1").arg(cells.join(u','));
    m_firstRecordPos = m_pos;
    m_firstRecordLine = m_line;
    m_lastElapsedS = 0;
    return std::nullopt;
}

void ReplayReader::rewind()
{
    m_pos = m_firstRecordPos;
    m_line = m_firstRecordLine;
    m_lastElapsedS = 0;
}

ReplayStep ReplayReader::next()
{
    ReplayStep step;
    step.line = m_line;
    if (m_pos >= m_text.size()) {
        step.kind = ReplayStep::Kind::End;
        return step;
    }
    QStringList cells;
    if (readRecord(cells) == Cut::Yes) {
        step.kind = ReplayStep::Kind::CutLastLine;
        return step;
    }
    if (const std::optional<QString> problem = decode(cells, step)) {
        step.kind = ReplayStep::Kind::Bad;
        step.problem = *problem;
        m_pos = m_text.size();   // nothing after a bad record is read
        return step;
    }
    step.kind = ReplayStep::Kind::Frame;
    m_lastElapsedS = step.elapsedS;
    return step;
}

std::optional<QString> ReplayReader::decode(const QStringList &cells, ReplayStep &step) const
{
    if (!m_quoteProblem.isEmpty())
        return m_quoteProblem;
    const QStringList columns = recordingColumns();
    if (cells.size() != kRecordingColumnCount)
        return QStringLiteral("%1 cells instead of %2").arg(cells.size()).arg(kRecordingColumnCount);
    const auto cellProblem = [&columns](int column, const QString &what) {
        return QStringLiteral("%1 %2").arg(columns.at(column), what);
    };

    if (!QDateTime::fromString(cells[kTimeColumn], Qt::ISODateWithMs).isValid())
        return cellProblem(kTimeColumn, QStringLiteral("is not a time: \"%1\"").arg(cells[kTimeColumn]));
    bool ok = false;
    const double elapsed = cells[kElapsedColumn].toDouble(&ok);
    if (!ok || !std::isfinite(elapsed) || elapsed < 0)
        return cellProblem(kElapsedColumn, QStringLiteral("is not seconds: \"%1\"").arg(cells[kElapsedColumn]));
    if (elapsed < m_lastElapsedS)
        return cellProblem(kElapsedColumn, QStringLiteral("runs backwards: %1 after %2")
                                               .arg(cells[kElapsedColumn]).arg(m_lastElapsedS, 0, 'f', 3));
    step.elapsedS = elapsed;

    const QString &message = cells[kMessageColumn];
    if (!message.isEmpty()) {
        for (int column = kFirstReadingColumn; column < kMessageColumn; ++column) {
            if (!cells[column].isEmpty())
                return cellProblem(column, QStringLiteral("is not empty on a message row"));
        }
        QByteArray frame(1, static_cast<char>(kMessageOpcode));
        frame.reserve(message.size() + 1);
        for (QChar ch : message) {
            if (ch.unicode() > 0xFF)
                return cellProblem(kMessageColumn, QStringLiteral("holds a character no frame can carry: U+%1")
                                                       .arg(ch.unicode(), 4, 16, QLatin1Char('0')));
            frame += static_cast<char>(ch.unicode());
        }
        step.frame = frame;
        return std::nullopt;
    }

    StatusReadings readings;
    for (int i = 0; i < kReadbackCount; ++i) {
        const QString &cell = cells[kFirstReadingColumn + i];
        const std::optional<int> value = wholeNumber(cell, kFullScaleCount);
        if (!value)
            return cellProblem(kFirstReadingColumn + i, QStringLiteral("is not a reading 0 to %1: \"%2\"")
                                                            .arg(QString::number(kFullScaleCount), cell));
        readings.values[i] = *value;
    }
    for (int i = 0; i < kTemperatureCount; ++i) {
        const QString &cell = cells[kFirstDegreeColumn + i];
        const QString shown = degreesText(readings.values[kDegreeColumnReadings[i]]);
        if (cell != shown)
            return cellProblem(kFirstDegreeColumn + i,
                               QStringLiteral("\"%1\" is not its reading's %2").arg(cell, shown));
    }
    for (int i = 0; i < kSwitchCount; ++i) {
        const QString &cell = cells[kFirstSwitchColumn + i];
        const std::optional<int> bit = wholeNumber(cell, 1);
        if (!bit)
            return cellProblem(kFirstSwitchColumn + i, QStringLiteral("is not 0 or 1: \"%1\"").arg(cell));
        if (*bit)
            readings.flags |= kSwitches[i].mask;
    }
    step.frame = encodeStatusFrame(readings);
    return std::nullopt;
}
