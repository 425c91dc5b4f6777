#include "tests/support/SimProcess.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QRegularExpression>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace {

// Enough of its standard error to say why it stopped; a simulator gone wild cannot fill memory.
constexpr qsizetype kKeptErrorBytes = 4096;

} // namespace

SimProcess::SimProcess(QString program, QObject *parent) : QObject(parent)
{
    m_process.setProgram(std::move(program));
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
#ifdef Q_OS_LINUX
    // Dies with its parent, even when the parent is killed.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &SimProcess::handleReadyRead);
    connect(&m_process, &QProcess::readyReadStandardError, this, [this] {
        m_standardError += m_process.readAllStandardError();
        if (m_standardError.size() > kKeptErrorBytes)
            m_standardError = m_standardError.last(kKeptErrorBytes);
    });
    connect(&m_process, &QProcess::errorOccurred, this, &SimProcess::handleErrorOccurred);
    connect(&m_process, &QProcess::finished, this, &SimProcess::handleFinished);
}

SimProcess::~SimProcess()
{
    // The receivers may be half destroyed already when this is one of their members.
    blockSignals(true);
    stop();
}

void SimProcess::start(const QStringList &arguments, quint16 port)
{
    m_process.setArguments(arguments + QStringList{QStringLiteral("--port"), QString::number(port)});
    m_process.start();
}

bool SimProcess::waitForListening(int msecs)
{
    const QDeadlineTimer deadline(msecs);
    while (!isListening() && !m_failed) {
        if (deadline.hasExpired()) {
            fail(QStringLiteral("%1 did not report a port within %2 s").arg(name()).arg(msecs / 1000.0));
            break;
        }
        if (!m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime())) && !m_failed
            && m_process.state() == QProcess::NotRunning)
            fail(QStringLiteral("%1 is not running").arg(name()));
    }
    return isListening() && !m_failed;
}

void SimProcess::terminate()
{
    m_process.terminate();
}

void SimProcess::kill()
{
    m_process.kill();
}

bool SimProcess::stop(int msecs)
{
    if (isRunning()) {
        m_process.terminate();
        if (!m_process.waitForFinished(msecs)) {
            m_process.kill();
            m_process.waitForFinished(msecs);
            m_error = QStringLiteral("%1 did not quit within %2 s and was killed").arg(name()).arg(msecs / 1000.0);
            return false;
        }
    }
    if (m_process.exitStatus() == QProcess::CrashExit || m_process.exitCode() != 0) {
        m_error = withStandardError(m_process.exitStatus() == QProcess::CrashExit
                                        ? QStringLiteral("%1 crashed").arg(name())
                                        : QStringLiteral("%1 exited with code %2").arg(name()).arg(m_process.exitCode()));
        return false;
    }
    return true;
}

void SimProcess::handleReadyRead()
{
    static const QRegularExpression listeningLine(QStringLiteral("^listening on \\S+:(\\d+)$"));
    while (m_process.canReadLine()) {
        const QString line = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        emit lineRead(line);
        if (isListening() || m_failed)
            continue;
        if (const QRegularExpressionMatch match = listeningLine.match(line); match.hasMatch()) {
            m_port = match.captured(1).toUShort();
            if (m_port != 0)
                emit listening(m_port);
        }
    }
}

void SimProcess::handleErrorOccurred(QProcess::ProcessError error)
{
    // Every other error ends in finished(), which tells the rest.
    if (error == QProcess::FailedToStart)
        fail(QStringLiteral("cannot run %1: %2").arg(m_process.program(), m_process.errorString()));
}

void SimProcess::handleFinished(int exitCode, QProcess::ExitStatus status)
{
    handleReadyRead();
    m_standardError += m_process.readAllStandardError();
    if (isListening()) {
        emit finished(exitCode, status);
        return;
    }
    if (m_failed)
        return;
    fail(withStandardError(status == QProcess::CrashExit
                               ? QStringLiteral("%1 crashed before listening").arg(name())
                               : QStringLiteral("%1 exited with code %2 before listening").arg(name()).arg(exitCode)));
}

void SimProcess::fail(const QString &why)
{
    m_failed = true;
    m_error = why;
    emit failed(why);
}

QString SimProcess::name() const
{
    return QFileInfo(m_process.program()).fileName();
}

QString SimProcess::withStandardError(const QString &what) const
{
    const QString text = QString::fromLocal8Bit(m_standardError).trimmed();
    return text.isEmpty() ? what : what + QStringLiteral(": ") + text;
}
