#pragma once
// Records what a link brings, as it arrives, to one CSV file; never sends.

#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

class Link;
struct StatusReadings;

class Recorder final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Recorder)

public:
    // A crash loses at most this much of the recording.
    static constexpr std::chrono::milliseconds kFlushInterval{1000};

    struct Options {
        std::function<QDateTime()> wallClock = [] { return QDateTime::currentDateTimeUtc(); };
        std::chrono::milliseconds flushInterval = kFlushInterval;
    };

    explicit Recorder(Link &link, QObject *parent = nullptr);
    Recorder(Link &link, Options options, QObject *parent = nullptr);
    ~Recorder() override;   // flushes and closes, without a console line

    // Truncates or creates `path`, writes the header and subscribes to the link, after
    // whoever subscribed before. Returns false, with the console line saying why, when
    // the file cannot be written; false too while already recording.
    bool start(const QString &path);

    // Flushes and closes, with its console line; nothing happens when not recording.
    void stop();

    // Hands the rows written so far to the system; the timer calls it. A failure stops
    // the recording. Returns whether the recording goes on.
    bool flush();

    bool isRecording() const { return m_file.isOpen(); }
    QString fileName() const { return m_file.fileName(); }

signals:
    // What the operator reads about the recording, worded as LinkEvent texts are.
    void logged(const QString &text);
    void recordingChanged(bool recording);

private:
    void handleStatus(const StatusReadings &readings, double steadySeconds);
    void handleMessage(const QString &text, double steadySeconds);
    void write(const QByteArray &row);
    bool stillOnDisk() const;
    void fail(const QString &reason);
    void finish();

    Link &m_link;
    Options m_options;
    QFile m_file;
    QTimer m_flushTimer;
    double m_startSteadySeconds = 0;
    QMetaObject::Connection m_statusConnection;
    QMetaObject::Connection m_messageConnection;
};
