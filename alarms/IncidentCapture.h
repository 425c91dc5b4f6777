#pragma once
// The raw traffic around a trip: a bounded ring of the last minute's status frames and
// messages, and the capture files it seeds, in the recording format.

#include <QByteArrayView>
#include <QDateTime>
#include <QFile>
#include <QString>

#include <array>
#include <deque>
#include <memory>
#include <vector>

class FrameRing
{
public:
    static constexpr std::size_t kFrameBytes = 33;
    struct Frame {
        double steady;
        std::array<char, kFrameBytes> bytes;
    };

    explicit FrameRing(std::size_t capacity);

    // The oldest frame gives way once the ring is full.
    void push(QByteArrayView frame, double steady);
    std::size_t size() const { return m_size; }
    std::size_t capacity() const { return m_frames.size(); }
    const Frame &at(std::size_t i) const { return m_frames[(m_first + i) % m_frames.size()]; }   // 0: oldest

private:
    std::vector<Frame> m_frames;   // allocated once, up front
    std::size_t m_first = 0;
    std::size_t m_size = 0;
};

class IncidentCaptures
{
public:
    struct Options {
        double beforeSeconds = 60;
        double afterSeconds = 30;
        // A minute at a thousand frames a second: 60,000 frames of 48 bytes, 2.9 MB.
        std::size_t ringFrames = 60000;
        std::size_t ringMessages = 1000;
    };

    IncidentCaptures();
    explicit IncidentCaptures(Options options);
    ~IncidentCaptures();

    // Each returns the reason writing failed, with the file's path, or an empty string.
    QString addFrame(QByteArrayView frame, double steady);
    QString addMessage(const QString &text, double steady);
    // Completes the captures whose window has passed and hands the others' rows to disk.
    QString tick(double steady);
    // A capture of the ring from `trip` less the time before, going on until the time after.
    QString begin(const QString &path, double trip, const QDateTime &tripUtc);
    // Completes every capture with what it has.
    void finishAll();

    int openCount() const { return static_cast<int>(m_open.size()); }
    const FrameRing &ring() const { return m_ring; }

private:
    struct Capture {
        QFile file;
        double trip;
        QDateTime tripUtc;
        double firstSteady = -1;
    };
    struct Message {
        double steady;
        QString text;
    };

    QString closeExpired(double steady);
    QString writeFrame(Capture &capture, const FrameRing::Frame &frame);
    QString writeMessage(Capture &capture, const Message &message);
    QString write(Capture &capture, const QByteArray &row);
    QString failed(Capture &capture, const QString &reason);

    Options m_options;
    FrameRing m_ring;
    std::deque<Message> m_messages;
    std::vector<std::unique_ptr<Capture>> m_open;
};
