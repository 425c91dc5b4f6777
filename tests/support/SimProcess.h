#pragma once
// norvane-sim as a child process: started on a port, its "listening on" line read, stopped with the object.

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

// Failures are reported, never fatal: the caller decides whether a simulator that would
// not start fails a test, ends a benchmark or is tried again.
class SimProcess final : public QObject
{
    Q_OBJECT

public:
    explicit SimProcess(QString program, QObject *parent = nullptr);
    ~SimProcess() override;   // stops the simulator as stop() does, without signals

    // Starts the simulator with `arguments` on `port` (0: a free one of its choosing)
    // and returns at once; listening() or failed() follows. Once per object.
    void start(const QStringList &arguments, quint16 port = 0);
    // Waits without an event loop until the simulator listens or fails, at most `msecs`.
    // False on failure or timeout, with errorString() saying why.
    bool waitForListening(int msecs = 10000);

    // Asks it to quit (SIGTERM) and returns at once; finished() follows.
    void terminate();
    void kill();
    // Asks it to quit and waits up to `msecs`, then kills it. True when it quit by
    // itself with exit code 0, as the simulator does on SIGTERM.
    bool stop(int msecs = 5000);

    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    bool isListening() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    QString errorString() const { return m_error; }

signals:
    // Each line of its standard output, trimmed, the listening line included.
    void lineRead(const QString &line);
    void listening(quint16 port);
    // It could not be run, ended before listening, or took too long in waitForListening.
    void failed(const QString &why);
    // It ended after listening.
    void finished(int exitCode, QProcess::ExitStatus status);

private:
    void handleReadyRead();
    void handleErrorOccurred(QProcess::ProcessError error);
    void handleFinished(int exitCode, QProcess::ExitStatus status);
    void fail(const QString &why);
    QString name() const;
    QString withStandardError(const QString &what) const;

    QProcess m_process;
    QByteArray m_standardError;
    quint16 m_port = 0;
    bool m_failed = false;
    QString m_error;
};
