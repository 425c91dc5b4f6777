#pragma once
// The TCP link: the one connection to the controller, kept alive and supervised, and
// the receive dispatch that hands each arrival to whoever subscribes. No widgets.

#include "commands/CommandFrames.h"
#include "link/Clock.h"
#include "link/DeviceSocket.h"
#include "link/Link.h"
#include "link/LinkAddress.h"
#include "link/Supervisor.h"
#include "status/FrameCutter.h"

#include <optional>

class TcpLink final : public Link, private Supervised
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TcpLink)

public:
    struct Options {
        Clock clock = Clock::system();
        // Every whole status frame of an arrival, a cut-off one carried over; the panel
        // keeps one frame per arrival.
        bool cutFrames = false;
    };

    TcpLink();
    explicit TcpLink(Options options, QObject *parent = nullptr);

    // Where the next attempt connects; its owner (the window's fields) edits it.
    LinkAddress &address() { return m_address; }
    // Off: a connection the controller closes shows as silence, as the panel has it. On
    // (the server): an error and linkDown at once, and the next tick reopens.
    void setHangUpIsLoss(bool on) { m_hangUpIsLoss = on; }

    // Start-up: the first connection request, then LinkEvent::Opening, then the timer.
    void start() override;

    // One tick of tmrKeepAlive, which a manual clock leaves to its owner: keep-alive,
    // silence watchdog, then supervised(). Nothing between close() and the next start().
    void handleKeepAliveTick() { m_supervisor.handleRound(); }

    // The receive dispatch of one arrival whose bytes are already read; the socket's
    // data arrival runs it too. Public so that benchmarks drive the real path.
    void deliverArrival(QByteArrayView bytes);

    // A frame that cannot be written is lost without a word.
    void send(const CommandRequest &request) override { write(request); }
    // The same, saying whether the socket took the whole frame.
    bool write(const CommandRequest &request);

    // Closed until the next start(): no keep-alive, no reopening.
    void close() override;

    DeviceSocket &socket() { return Sock; }
    std::optional<double> lastDataTime() const { return m_supervisor.lastDataTime(); }

private:
    void keepAlive() override;
    void judgeRound(double now, bool silent) override;
    bool isBetweenAttempts() const override { return Sock.state() == DeviceSocket::Closed; }
    void openNextAttempt() override { openConnection(); }

    void openConnection();
    void handleConnected();
    void handleError(int number, const QString &description);
    void handleDataArrival(qint64 bytesAvailable);
    void log(LinkEvent::Kind kind, const QString &detail = {});

    LinkAddress m_address;
    DeviceSocket Sock;
    Supervisor m_supervisor;
    bool m_hangUpIsLoss = false;
    std::optional<FrameCutter> m_cutter;
};
