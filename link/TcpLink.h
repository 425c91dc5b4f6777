#pragma once
// The TCP link: the one connection to the controller, kept alive and supervised, and
// the receive dispatch that hands each arrival to whoever subscribes. No widgets.

#include "commands/CommandFrames.h"
#include "link/Clock.h"
#include "link/DeviceSocket.h"
#include "link/Link.h"
#include "status/FrameCutter.h"

#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

class TcpLink final : public Link
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TcpLink)

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

    TcpLink();
    explicit TcpLink(Options options, QObject *parent = nullptr);

    void setAddressSource(AddressSource source) { m_address = std::move(source); }
    // Off: a connection the controller closes shows as silence, as the panel has it. On
    // (the server): an error and linkDown at once, and the next tick reopens.
    void setHangUpIsLoss(bool on) { m_hangUpIsLoss = on; }

    // Start-up: the first connection request, then LinkEvent::Opening, then the timer.
    void start() override;

    // One tick of tmrKeepAlive: keep-alive, silence watchdog, then supervised().
    void handleKeepAliveTick();

    // The receive dispatch of one arrival whose bytes are already read; the socket's
    // data arrival runs it too. Public so that benchmarks drive the real path.
    void deliverArrival(QByteArrayView bytes);

    // A frame that cannot be written is lost without a word.
    void send(const CommandRequest &request) override;

    void close() override { Sock.close(); }

    DeviceSocket &socket() { return Sock; }
    std::optional<double> lastDataTime() const { return m_lastDataTime; }

private:
    void openConnection();
    void handleConnected();
    void handleError(int number, const QString &description);
    void handleDataArrival(qint64 bytesAvailable);
    void log(LinkEvent::Kind kind, const QString &detail = {});

    bool m_runKeepAliveTimer;
    AddressSource m_address;
    DeviceSocket Sock;
    QTimer tmrKeepAlive;
    std::optional<double> m_lastDataTime;   // steady seconds of the last arrival; none yet
    bool m_reopenPending = false;
    bool m_hangUpIsLoss = false;
    std::optional<FrameCutter> m_cutter;
};
