#pragma once
// The alarm journal on disk: one CSV row per episode's beginning, end and acknowledgement,
// appended and flushed row by row, RFC 4180, UTF-8, CR LF.

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

#include <optional>

enum class JournalEvent { Began, Ended, Acknowledged };

QByteArray journalHeader();   // "time_utc,event,alarm,value,first_out,incident\r\n"

// `value` and `firstOut` are left empty when absent.
QByteArray journalRow(const QDateTime &utc, JournalEvent event, const QString &alarm,
                      std::optional<int> value, std::optional<bool> firstOut, const QString &incident);

class AlarmJournal
{
public:
    // Opens `path` for appending, writing the header only into an empty file. Returns
    // the reason it cannot, or an empty string.
    QString open(const QString &path);
    // Writes and flushes one row; the reason it failed, or an empty string. A failure
    // closes the journal.
    QString append(const QByteArray &row);
    void close() { m_file.close(); }
    bool isOpen() const { return m_file.isOpen(); }
    QString fileName() const { return m_file.fileName(); }

private:
    QFile m_file;
};

// Whether the file `file` has open is still the one its name finds: rows written to a
// file deleted meanwhile, or into a removed folder, would vanish unseen.
bool stillOnDisk(const QFile &file);
