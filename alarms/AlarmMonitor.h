#pragma once
// The alarms of a link: episodes from its frames and events, the journal and incident
// captures on disk when asked to keep them. Subscribes after the window; never sends.

#include "alarms/AlarmJournal.h"
#include "alarms/AlarmTracker.h"
#include "alarms/IncidentCapture.h"

#include <QDateTime>
#include <QObject>

#include <functional>
#include <memory>

class Link;
struct LinkEvent;

class AlarmMonitor final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AlarmMonitor)

public:
    struct Options {
        std::function<QDateTime()> wallClock = [] { return QDateTime::currentDateTimeUtc(); };
        IncidentCaptures::Options captures;
    };

    explicit AlarmMonitor(Link &link, QObject *parent = nullptr);
    AlarmMonitor(Link &link, Options options, QObject *parent = nullptr);
    ~AlarmMonitor() override;   // completes open captures with what they have

    // Connects to the link, after whoever connected before.
    void subscribe();

    // Creates `folder` if missing, appends to its journal and writes a capture for each
    // first-out from now on. False, with the console line saying why, if it cannot.
    bool keepOnDisk(const QString &folder);
    // Stops both, completing open captures, without a console line.
    void keepNothingOnDisk();
    bool keepsOnDisk() const { return m_journal.isOpen(); }

    void acknowledgeAll();

    const AlarmTracker &tracker() const { return m_tracker; }
    // The capture of a first-out, or an empty string.
    QString incidentPath(int episode) const;

signals:
    void episodeBegan(int episode);
    // Any episode began, ended or was acknowledged.
    void changed();
    // What the operator reads, worded as LinkEvent texts are.
    void logged(const QString &text);

private:
    void handleStatus(const StatusReadings &readings, double steadySeconds);
    void handleEvent(const LinkEvent &event);
    void apply(const std::vector<AlarmChange> &changes);
    void journal(const QByteArray &row);
    void stopDisk(const QString &reason);

    Link &m_link;
    Options m_options;
    AlarmTracker m_tracker;
    AlarmJournal m_journal;
    std::unique_ptr<IncidentCaptures> m_captures;
    QString m_folder;
    std::array<char, FrameRing::kFrameBytes> m_pendingFrame{};
};

// "incident-20261210-023412-EclTec.csv"
QString incidentFileName(const QDateTime &utc, const QString &alarm);
