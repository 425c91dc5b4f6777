#include "alarms/AlarmJournal.h"

#include "history/RecordingFormat.h"

#include <sys/stat.h>

QByteArray journalHeader()
{
    return QByteArrayLiteral("time_utc,event,alarm,value,first_out,incident\r\n");
}

QByteArray journalRow(const QDateTime &utc, JournalEvent event, const QString &alarm,
                      std::optional<int> value, std::optional<bool> firstOut, const QString &incident)
{
    static const char *const kEvents[] = {"began", "ended", "acknowledged"};
    QString row = utcText(utc);
    row += u',';
    row += QLatin1String(kEvents[static_cast<int>(event)]);
    row += u',';
    row += csvField(alarm);
    row += u',';
    if (value)
        row += QString::number(*value);
    row += u',';
    if (firstOut)
        row += *firstOut ? u'1' : u'0';
    row += u',';
    row += csvField(incident);
    row += QStringLiteral("\r\n");
    return row.toUtf8();
}

QString AlarmJournal::open(const QString &path)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append))
        return m_file.errorString();
    if (m_file.size() == 0)
        return append(journalHeader());
    return {};
}

QString AlarmJournal::append(const QByteArray &row)
{
    if (!m_file.isOpen())
        return QStringLiteral("The journal is closed");
    QString problem;
    if (m_file.write(row) != row.size() || !m_file.flush())
        problem = m_file.errorString();
    else if (!stillOnDisk(m_file))
        problem = QStringLiteral("The file was removed");
    if (!problem.isEmpty()) {
        m_file.close();
        m_file.unsetError();
    }
    return problem;
}

bool stillOnDisk(const QFile &file)
{
    struct stat opened = {};
    struct stat named = {};
    if (::fstat(file.handle(), &opened) != 0)
        return false;
    const QByteArray path = QFile::encodeName(file.fileName());
    if (::stat(path.constData(), &named) != 0)
        return false;
    return opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}
