#pragma once
// What the window and every other subscriber need from a link to the controller,
// whatever carries it: start, close, typed requests, the clock, and what happens.

#include "commands/CommandFrames.h"
#include "link/Clock.h"
#include "status/Arrival.h"
#include "status/StatusFrame.h"

#include <QObject>
#include <QString>

// Something the link did or saw that the operator reads about. The wording lives in
// text() so that every view of a link, with or without widgets, says the same.
struct LinkEvent {
    enum class Kind : std::uint8_t {
        Opening,     // start(): the first attempt is under way; a console starts afresh
        Connected,
        Error,       // detail: the transport's description
        Lost,        // the watchdog gave up on a silent connection
        Reopening,   // a new attempt after Lost
        Message,     // detail: a message frame's text
    };
    Kind kind;
    QString detail;

    friend bool operator==(const LinkEvent &, const LinkEvent &) = default;
};

// The event as the operator reads it, with its leading space and without a time stamp.
QString text(const LinkEvent &event);

class Link : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Link)

public:
    ~Link() override = default;

    // The first connection attempt, then LinkEvent::Opening, then supervision begins.
    virtual void start() = 0;
    virtual void close() = 0;

    // A request that cannot be carried now is lost without a word.
    virtual void send(const CommandRequest &request) = 0;

    double now() const { return m_clock.steadySeconds(); }
    QTime timeOfDay() const { return m_clock.timeOfDay(); }

    // Every signal is emitted synchronously, inside the event that raises it, so that
    // subscribers connected directly see the effects in the order they happen.
signals:
    void happened(const LinkEvent &event);
    // An applied status frame and its arrival on the steady clock.
    void statusArrived(const StatusReadings &readings, double steadySeconds);
    // A message frame's text; its LinkEvent::Message comes just before.
    void messageArrived(const QString &text, double steadySeconds);
    // The watchdog found the link silent, or the transport reported an error.
    void linkDown(double steadySeconds);
    // One round of supervision is over; views settle (the console's caret goes to its end).
    void supervised();
    // A status frame's 33 bytes as received, just before its statusArrived.
    void statusFrameArrived(QByteArrayView frame);

protected:
    explicit Link(Clock clock, QObject *parent = nullptr) : QObject(parent), m_clock(std::move(clock)) {}

    // What every link does with one frame, however it came: a status frame is applied, a
    // message is told; anything else is dropped.
    void deliverFrame(Arrival kind, QByteArrayView bytes, double steadySeconds);

    const Clock m_clock;
};
