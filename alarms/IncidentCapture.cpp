#include "alarms/IncidentCapture.h"

#include "alarms/AlarmJournal.h"
#include "history/RecordingFormat.h"
#include "status/StatusFrame.h"

#include <algorithm>
#include <cmath>
#include <cstring>

FrameRing::FrameRing(std::size_t capacity) : m_frames(std::max<std::size_t>(capacity, 1)) {}

void FrameRing::push(QByteArrayView frame, double steady)
{
    const std::size_t slot = (m_first + m_size) % m_frames.size();
    Frame &entry = m_frames[slot];
    entry.steady = steady;
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(frame.size()), kFrameBytes);
    std::memcpy(entry.bytes.data(), frame.data(), n);
    std::fill(entry.bytes.begin() + static_cast<std::ptrdiff_t>(n), entry.bytes.end(), '\0');
    if (m_size < m_frames.size())
        ++m_size;
    else
        m_first = (m_first + 1) % m_frames.size();
}

IncidentCaptures::IncidentCaptures() : IncidentCaptures(Options{}) {}

IncidentCaptures::IncidentCaptures(Options options) : m_options(options), m_ring(options.ringFrames) {}

IncidentCaptures::~IncidentCaptures()
{
    finishAll();
}

QString IncidentCaptures::addFrame(QByteArrayView frame, double steady)
{
    m_ring.push(frame, steady);
    if (m_open.empty())
        return {};
    if (QString problem = closeExpired(steady); !problem.isEmpty())
        return problem;
    // A failure closes every capture; the loop ends there.
    for (const auto &capture : m_open) {
        if (QString p = writeFrame(*capture, m_ring.at(m_ring.size() - 1)); !p.isEmpty())
            return p;
    }
    return {};
}

QString IncidentCaptures::addMessage(const QString &text, double steady)
{
    m_messages.push_back({steady, text});
    while (m_messages.size() > m_options.ringMessages
           || (!m_messages.empty() && steady - m_messages.front().steady > m_options.beforeSeconds))
        m_messages.pop_front();
    if (m_open.empty())
        return {};
    if (QString problem = closeExpired(steady); !problem.isEmpty())
        return problem;
    for (const auto &capture : m_open) {
        if (QString p = writeMessage(*capture, m_messages.back()); !p.isEmpty())
            return p;
    }
    return {};
}

QString IncidentCaptures::tick(double steady)
{
    if (QString problem = closeExpired(steady); !problem.isEmpty())
        return problem;
    for (const auto &capture : m_open) {
        if (!capture->file.flush())
            return failed(*capture, capture->file.errorString());
        if (!stillOnDisk(capture->file))
            return failed(*capture, QStringLiteral("The file was removed"));
    }
    return {};
}

QString IncidentCaptures::closeExpired(double steady)
{
    for (auto it = m_open.begin(); it != m_open.end();) {
        Capture &capture = **it;
        if (steady <= capture.trip + m_options.afterSeconds) {
            ++it;
            continue;
        }
        if (!capture.file.flush())
            return failed(capture, capture.file.errorString());
        capture.file.close();
        it = m_open.erase(it);
    }
    return {};
}

QString IncidentCaptures::begin(const QString &path, double trip, const QDateTime &tripUtc)
{
    auto capture = std::make_unique<Capture>();
    capture->file.setFileName(path);
    capture->trip = trip;
    capture->tripUtc = tripUtc;
    if (!capture->file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QStringLiteral("%1 (%2)").arg(capture->file.errorString(), path);
    Capture &c = *capture;
    m_open.push_back(std::move(capture));
    if (QString p = write(c, recordingHeader()); !p.isEmpty())
        return p;

    // Frames and messages merged in the order they came.
    const double from = trip - m_options.beforeSeconds;
    std::size_t f = 0;
    while (f < m_ring.size() && m_ring.at(f).steady < from)
        ++f;
    auto m = std::find_if(m_messages.begin(), m_messages.end(), [from](const Message &x) { return x.steady >= from; });
    while (f < m_ring.size() || m != m_messages.end()) {
        QString p;
        if (m != m_messages.end() && (f == m_ring.size() || m->steady < m_ring.at(f).steady))
            p = writeMessage(c, *m++);
        else
            p = writeFrame(c, m_ring.at(f++));
        if (!p.isEmpty())
            return p;
    }
    if (!c.file.flush())
        return failed(c, c.file.errorString());
    return {};
}

void IncidentCaptures::finishAll()
{
    for (const auto &capture : m_open)
        capture->file.close();
    m_open.clear();
}

QString IncidentCaptures::writeFrame(Capture &capture, const FrameRing::Frame &frame)
{
    if (capture.firstSteady < 0)
        capture.firstSteady = frame.steady;
    const QDateTime utc = capture.tripUtc.addMSecs(std::llround((frame.steady - capture.trip) * 1000));
    const QByteArrayView bytes(frame.bytes.data(), static_cast<qsizetype>(frame.bytes.size()));
    return write(capture, statusRow(utc, frame.steady - capture.firstSteady, decodeStatusFrame(bytes)));
}

QString IncidentCaptures::writeMessage(Capture &capture, const Message &message)
{
    if (capture.firstSteady < 0)
        capture.firstSteady = message.steady;
    const QDateTime utc = capture.tripUtc.addMSecs(std::llround((message.steady - capture.trip) * 1000));
    return write(capture, messageRow(utc, message.steady - capture.firstSteady, message.text));
}

QString IncidentCaptures::write(Capture &capture, const QByteArray &row)
{
    if (capture.file.write(row) != row.size())
        return failed(capture, capture.file.errorString());
    return {};
}

QString IncidentCaptures::failed(Capture &capture, const QString &reason)
{
    const QString text = QStringLiteral("%1 (%2)").arg(reason, capture.file.fileName());
    // One failure stops every capture: the next would meet the same disk.
    finishAll();
    return text;
}
