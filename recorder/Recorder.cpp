#include "recorder/Recorder.h"

#include "link/Link.h"
#include "history/RecordingFormat.h"

#include <QFileInfo>

#include <sys/stat.h>

Recorder::Recorder(Link &link, QObject *parent) : Recorder(link, Options{}, parent) {}

Recorder::Recorder(Link &link, Options options, QObject *parent)
    : QObject(parent), m_link(link), m_options(std::move(options))
{
    m_flushTimer.setInterval(m_options.flushInterval);
    connect(&m_flushTimer, &QTimer::timeout, this, &Recorder::flush);
}

Recorder::~Recorder()
{
    finish();
}

bool Recorder::start(const QString &path)
{
    if (isRecording())
        return false;
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        emit logged(QStringLiteral(" Recording stopped: %1 (%2)").arg(m_file.errorString(), path));
        return false;
    }
    m_startSteadySeconds = m_link.now();
    m_statusConnection = connect(&m_link, &Link::statusArrived, this, &Recorder::handleStatus);
    m_messageConnection = connect(&m_link, &Link::messageArrived, this, &Recorder::handleMessage);
    m_flushTimer.start();
    emit logged(QStringLiteral(" Recording to ") + path);
    emit recordingChanged(true);
    // The header goes out at once, so that a disk that cannot take it says so now.
    write(recordingHeader());
    if (isRecording())
        flush();
    return isRecording();
}

void Recorder::stop()
{
    if (!isRecording())
        return;
    if (!flush())
        return;
    const QString path = m_file.fileName();
    finish();
    emit logged(QStringLiteral(" Recording stopped: ") + path);
    emit recordingChanged(false);
}

bool Recorder::flush()
{
    if (!isRecording())
        return false;
    if (!m_file.flush()) {
        fail(m_file.errorString());
        return false;
    }
    if (!stillOnDisk()) {
        fail(QStringLiteral("The file was removed"));
        return false;
    }
    return true;
}

void Recorder::handleStatus(const StatusReadings &readings, double steadySeconds)
{
    write(statusRow(m_options.wallClock(), steadySeconds - m_startSteadySeconds, readings));
}

void Recorder::handleMessage(const QString &text, double steadySeconds)
{
    write(messageRow(m_options.wallClock(), steadySeconds - m_startSteadySeconds, text));
}

void Recorder::write(const QByteArray &row)
{
    // QFile gathers rows in its buffer and writes it out whole when it fills, so a
    // row costs the window at most one write of that buffer.
    if (m_file.write(row) != row.size())
        fail(m_file.errorString());
}

bool Recorder::stillOnDisk() const
{
    // Rows written to a file that was deleted meanwhile would vanish with it unseen.
    struct stat opened = {};
    struct stat named = {};
    if (::fstat(m_file.handle(), &opened) != 0)
        return false;
    const QByteArray path = QFile::encodeName(m_file.fileName());
    if (::stat(path.constData(), &named) != 0)
        return false;
    return opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

void Recorder::fail(const QString &reason)
{
    const QString path = m_file.fileName();
    finish();
    emit logged(QStringLiteral(" Recording stopped: %1 (%2)").arg(reason, path));
    emit recordingChanged(false);
}

void Recorder::finish()
{
    m_flushTimer.stop();
    disconnect(m_statusConnection);
    disconnect(m_messageConnection);
    if (m_file.isOpen()) {
        m_file.close();
        m_file.unsetError();
    }
}
