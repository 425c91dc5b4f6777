#pragma once
// The device link: the one connection to the controller, kept alive and supervised, and
// the receive dispatch that hands each arrival to whoever subscribes. No widgets.

#include "commands/CommandFrames.h"
#include "link/Clock.h"
#include "link/DeviceSocket.h"
#include "status/FrameCutter.h"
#include "status/StatusFrame.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

class DeviceLink final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeviceLink)

public:
    static constexpr std::chrono::milliseconds kKeepAliveInterval{4500};
    static constexpr double kSilenceLimitSeconds = 5.0;

    struct Options {
        Clock clock = Clock::system();
        bool runKeepAliveTimer = true;   // tests turn it off and call handleKeepAliveTick()
        // Every whole status frame of an arrival, a cut-off one carried over; the panel
        // keeps one frame per arrival.
        bool cutFrames = false;
    };

    // Where the next attempt connects, read afresh at every attempt so that an edit
    // counts from the next one.
    struct Address {
        QString host;
        QString port;
    };
    using AddressSource = std::function<Address()>;

    explicit DeviceLink(Options options, QObject *parent = nullptr);

    void setAddressSource(AddressSource source) { m_address = std::move(source); }

    // Start-up: the first connection request, then the first console line, then the timer.
    void start();

    // One tick of tmrKeepAlive: keep-alive, silence watchdog, console caret.
    void handleKeepAliveTick();

    // The receive dispatch of one arrival whose bytes are already read; the socket's
    // data arrival runs it too. Public so that benchmarks drive the real path.
    void deliverArrival(QByteArrayView bytes);

    // A frame that cannot be built or written is lost without a word.
    void send(Command command, QStringView fieldText = {}, bool checked = false);

    void close() { Sock.close(); }

    DeviceSocket &socket() { return Sock; }
    std::optional<double> lastDataTime() const { return m_lastDataTime; }
    double now() const { return m_clock.steadySeconds(); }
    QTime timeOfDay() const { return m_clock.timeOfDay(); }

    // Every signal is emitted synchronously, inside the event that raises it, so that
    // subscribers connected directly see the effects in the order they happen.
signals:
    void consoleCleared();                    // just before the start-up line
    void logLine(const QString &line);       // a console line, stamped, with its CR LF
    void consoleCaretToEnd();                 // a tick's last effect
    // An applied status frame and its arrival on the steady clock.
    void statusArrived(const StatusReadings &readings, double steadySeconds);
    // The same frame's 33 bytes as received, just before statusArrived.
    void statusFrameArrived(QByteArrayView frame);
    // A message frame's text, as the console shows it.
    void messageArrived(const QString &text, double steadySeconds);
    // The watchdog found the link silent, or the socket reported an error.
    void linkDown(double steadySeconds);

private:
    void openConnection();
    void handleConnected();
    void handleError(int number, const QString &description);
    void handleDataArrival(qint64 bytesAvailable);
    void deliverFrame(Arrival kind, QByteArrayView bytes, double now);
    void log(QStringView text);

    Clock m_clock;
    bool m_runKeepAliveTimer;
    AddressSource m_address;
    DeviceSocket Sock;
    QTimer tmrKeepAlive;
    std::optional<double> m_lastDataTime;   // steady seconds of the last arrival; none yet
    bool m_reopenPending = false;
    std::optional<FrameCutter> m_cutter;
};
