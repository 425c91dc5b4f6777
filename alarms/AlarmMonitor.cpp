#include "alarms/AlarmMonitor.h"

#include "link/Link.h"

#include <QDir>

#include <algorithm>
#include <cstring>

QString incidentFileName(const QDateTime &utc, const QString &alarm)
{
    return QStringLiteral("incident-%1-%2.csv").arg(utc.toUTC().toString(QStringLiteral("yyyyMMdd-HHmmss")), alarm);
}

AlarmMonitor::AlarmMonitor(Link &link, QObject *parent) : AlarmMonitor(link, Options{}, parent) {}

AlarmMonitor::AlarmMonitor(Link &link, Options options, QObject *parent)
    : QObject(parent), m_link(link), m_options(std::move(options))
{
}

AlarmMonitor::~AlarmMonitor() = default;

void AlarmMonitor::subscribe()
{
    connect(&m_link, &Link::statusFrameArrived, this, [this](QByteArrayView frame) {
        if (!m_captures)
            return;
        // The frame's time comes with statusArrived, just after.
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(frame.size()), m_pendingFrame.size());
        std::memcpy(m_pendingFrame.data(), frame.data(), n);
    });
    connect(&m_link, &Link::statusArrived, this, &AlarmMonitor::handleStatus);
    connect(&m_link, &Link::messageArrived, this, [this](const QString &text, double time) {
        if (m_captures) {
            if (QString problem = m_captures->addMessage(text, time); !problem.isEmpty())
                stopDisk(problem);
        }
    });
    connect(&m_link, &Link::happened, this, &AlarmMonitor::handleEvent);
    connect(&m_link, &Link::supervised, this, [this] {
        const double now = m_link.now();
        if (m_captures) {
            if (QString problem = m_captures->tick(now); !problem.isEmpty())
                stopDisk(problem);
        }
        apply(m_tracker.tick(now));
    });
}

bool AlarmMonitor::keepOnDisk(const QString &folder)
{
    const QString path = QDir(folder).filePath(QStringLiteral("alarms.csv"));
    QString problem;
    if (!QDir().mkpath(folder))
        problem = QStringLiteral("Cannot create the folder (%1)").arg(folder);
    else if (QString reason = m_journal.open(path); !reason.isEmpty())
        problem = QStringLiteral("%1 (%2)").arg(reason, path);
    if (!problem.isEmpty()) {
        emit logged(QStringLiteral(" Incidents stopped: ") + problem);
        return false;
    }
    m_folder = QDir(folder).absolutePath();
    m_captures = std::make_unique<IncidentCaptures>(m_options.captures);
    return true;
}

void AlarmMonitor::keepNothingOnDisk()
{
    m_captures.reset();
    m_journal.close();
}

void AlarmMonitor::acknowledgeAll()
{
    const std::vector<int> acknowledged = m_tracker.acknowledgeAll();
    if (acknowledged.empty())
        return;
    if (keepsOnDisk()) {
        const QDateTime utc = m_options.wallClock();
        for (const int i : acknowledged) {
            const Episode &episode = m_tracker.episodes()[static_cast<std::size_t>(i)];
            journal(journalRow(utc, JournalEvent::Acknowledged,
                               alarmName(episode.alarm), {}, {}, {}));
        }
    }
    emit changed();
}

QString AlarmMonitor::incidentPath(int episode) const
{
    const QString &name = m_tracker.episodes()[static_cast<std::size_t>(episode)].incident;
    return name.isEmpty() ? QString() : QDir(m_folder).filePath(name);
}

void AlarmMonitor::handleStatus(const StatusReadings &readings, double steadySeconds)
{
    if (m_captures) {
        const QByteArrayView frame(m_pendingFrame.data(), static_cast<qsizetype>(m_pendingFrame.size()));
        if (QString problem = m_captures->addFrame(frame, steadySeconds); !problem.isEmpty())
            stopDisk(problem);
    }
    if (std::vector<AlarmChange> changes = m_tracker.status(readings, steadySeconds); !changes.empty())
        apply(changes);
}

void AlarmMonitor::handleEvent(const LinkEvent &event)
{
    if (event.kind == LinkEvent::Kind::Lost || event.kind == LinkEvent::Kind::Error)
        apply(m_tracker.linkDown(m_link.now()));
}

void AlarmMonitor::apply(const std::vector<AlarmChange> &changes)
{
    if (changes.empty())
        return;
    for (const AlarmChange &change : changes) {
        // Read again each time: begin() below may name the capture.
        const auto episode = [&]() -> const Episode & {
            return m_tracker.episodes()[static_cast<std::size_t>(change.episode)];
        };
        const QString alarm = alarmName(episode().alarm);
        const bool link = episode().alarm == kLinkAlarm;
        if (change.kind == AlarmChange::Kind::Ended) {
            if (keepsOnDisk()) {
                journal(journalRow(m_options.wallClock(), JournalEvent::Ended, alarm,
                                   link ? std::nullopt : std::optional<int>(episode().worst), {}, {}));
            }
            continue;
        }
        const QDateTime utc = m_options.wallClock();
        QString incident;
        if (episode().firstOut && m_captures) {
            incident = incidentFileName(utc, alarm);
            if (QString problem = m_captures->begin(QDir(m_folder).filePath(incident), episode().began, utc);
                !problem.isEmpty()) {
                stopDisk(problem);
                incident.clear();
            }
        }
        if (!incident.isEmpty())
            m_tracker.setIncident(change.episode, incident, utc);
        if (keepsOnDisk()) {
            journal(journalRow(utc, JournalEvent::Began, alarm,
                               link ? std::nullopt : std::optional<int>(episode().firstValue),
                               episode().firstOut, incident));
        }
        emit episodeBegan(change.episode);
    }
    emit changed();
}

void AlarmMonitor::journal(const QByteArray &row)
{
    const QString path = m_journal.fileName();
    if (QString problem = m_journal.append(row); !problem.isEmpty())
        stopDisk(QStringLiteral("%1 (%2)").arg(problem, path));
}

void AlarmMonitor::stopDisk(const QString &reason)
{
    // One line, and nothing more is written: the next row would meet the same disk.
    const bool wasOn = m_captures != nullptr;
    m_captures.reset();
    m_journal.close();
    if (wasOn)
        emit logged(QStringLiteral(" Incidents stopped: ") + reason);
}
