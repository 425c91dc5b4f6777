#include "link/TcpLink.h"

#include "status/Arrival.h"

TcpLink::TcpLink() : TcpLink(Options{}) {}

TcpLink::TcpLink(Options options, QObject *parent)
    : Link(std::move(options.clock), parent),
      m_runKeepAliveTimer(options.runKeepAliveTimer)
{
    if (options.cutFrames)
        m_cutter.emplace();
    Sock.setObjectName(QStringLiteral("Sock"));
    Sock.setParent(this);
    tmrKeepAlive.setObjectName(QStringLiteral("tmrKeepAlive"));
    tmrKeepAlive.setParent(this);
    tmrKeepAlive.setInterval(kKeepAliveInterval);
    tmrKeepAlive.setTimerType(Qt::PreciseTimer);

    connect(&Sock, &DeviceSocket::connected, this, &TcpLink::handleConnected);
    connect(&Sock, &DeviceSocket::error, this, &TcpLink::handleError);
    connect(&Sock, &DeviceSocket::dataArrival, this, &TcpLink::handleDataArrival);
    connect(&tmrKeepAlive, &QTimer::timeout, this, &TcpLink::handleKeepAliveTick);
    connect(&Sock, &DeviceSocket::closedByPeer, this, [this] {
        if (!m_hangUpIsLoss)
            return;
        m_lastDataTime.reset();
        handleError(QAbstractSocket::RemoteHostClosedError, QStringLiteral("The remote host closed the connection"));
    });
}

void TcpLink::start()
{
    openConnection();
    log(LinkEvent::Kind::Opening);
    if (m_runKeepAliveTimer)
        tmrKeepAlive.start();
}

void TcpLink::openConnection()
{
    if (m_cutter)
        m_cutter->reset();
    const Address address = m_address ? m_address() : Address{};
    Sock.connectToHost(address.host, address.port);
}

void TcpLink::handleConnected()
{
    // The silence clock is left alone: a connection counts as silent until its first byte.
    log(LinkEvent::Kind::Connected);
}

void TcpLink::handleError(int, const QString &description)
{
    // Only logged; the watchdog restores the connection at a later tick.
    log(LinkEvent::Kind::Error, description);
    emit linkDown(m_clock.steadySeconds());
}

void TcpLink::handleKeepAliveTick()
{
    if (Sock.state() == DeviceSocket::Connected)
        send({Command::KeepAlive});

    const double now = m_clock.steadySeconds();
    const bool silent = !m_lastDataTime || *m_lastDataTime + kSilenceLimitSeconds < now;
    if (silent) {
        m_lastDataTime.reset();
        const DeviceSocket::State state = Sock.state();
        if (state != DeviceSocket::Connecting && state != DeviceSocket::Closed) {
            log(LinkEvent::Kind::Lost);
            m_reopenPending = true;
        }
        Sock.close();
        emit linkDown(now);
        if (Sock.state() == DeviceSocket::Closed) {
            openConnection();
            if (m_reopenPending) {
                log(LinkEvent::Kind::Reopening);
                m_reopenPending = false;
            }
        }
    }
    emit supervised();
}

void TcpLink::handleDataArrival(qint64 bytesAvailable)
{
    deliverArrival(Sock.read(bytesAvailable));
}

void TcpLink::deliverArrival(QByteArrayView bytes)
{
    // Every arrival holds off the watchdog, also one that is then dropped.
    const double now = m_clock.steadySeconds();
    m_lastDataTime = now;
    if (m_cutter) {
        m_cutter->cut(bytes, [this, now](Arrival kind, QByteArrayView frame) { deliverFrame(kind, frame, now); });
        return;
    }
    deliverFrame(classifyArrival(bytes), bytes, now);
}

void TcpLink::send(const CommandRequest &request)
{
    Sock.send(encodeRequest(request));
}

void TcpLink::log(LinkEvent::Kind kind, const QString &detail)
{
    emit happened({kind, detail});
}
