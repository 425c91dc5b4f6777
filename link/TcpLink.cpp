#include "link/TcpLink.h"

#include "status/Arrival.h"

TcpLink::TcpLink() : TcpLink(Options{}) {}

TcpLink::TcpLink(Options options, QObject *parent)
    : Link(std::move(options.clock), parent),
      m_supervisor(*this, m_clock, QStringLiteral("tmrKeepAlive"), this)
{
    if (options.cutFrames)
        m_cutter.emplace();
    Sock.setObjectName(QStringLiteral("Sock"));
    Sock.setParent(this);

    connect(&Sock, &DeviceSocket::connected, this, &TcpLink::handleConnected);
    connect(&Sock, &DeviceSocket::error, this, &TcpLink::handleError);
    connect(&Sock, &DeviceSocket::dataArrival, this, &TcpLink::handleDataArrival);
    connect(&m_supervisor, &Supervisor::happened, this, &Link::happened);
    connect(&m_supervisor, &Supervisor::supervised, this, &Link::supervised);
    connect(&Sock, &DeviceSocket::closedByPeer, this, [this] {
        if (!m_hangUpIsLoss)
            return;
        m_supervisor.forgetArrivals();
        handleError(QAbstractSocket::RemoteHostClosedError, QStringLiteral("The remote host closed the connection"));
    });
}

void TcpLink::start()
{
    openConnection();
    m_supervisor.begin();
}

void TcpLink::close()
{
    m_supervisor.close();
    Sock.close();
}

void TcpLink::openConnection()
{
    if (m_cutter)
        m_cutter->reset();
    Sock.connectToHost(m_address.host, m_address.port);
}

void TcpLink::handleConnected()
{
    // The silence clock is left alone: a connection counts as silent until its first byte.
    log(LinkEvent::Kind::Connected);
}

void TcpLink::handleError(int, const QString &description)
{
    // Only logged; the watchdog restores the connection at a later round.
    log(LinkEvent::Kind::Error, description);
    emit linkDown(m_clock.steadySeconds());
}

void TcpLink::keepAlive()
{
    if (Sock.state() == DeviceSocket::Connected)
        send({Command::KeepAlive});
}

void TcpLink::judgeRound(double now, bool silent)
{
    if (!silent)
        return;
    // An attempt still connecting, or none, was never up: it is abandoned without a word.
    const DeviceSocket::State state = Sock.state();
    if (state != DeviceSocket::Connecting && state != DeviceSocket::Closed)
        m_supervisor.lose();
    Sock.close();
    emit linkDown(now);
}

void TcpLink::handleDataArrival(qint64 bytesAvailable)
{
    deliverArrival(Sock.read(bytesAvailable));
}

void TcpLink::deliverArrival(QByteArrayView bytes)
{
    // Every arrival holds off the watchdog, also one that is then dropped.
    const double now = m_clock.steadySeconds();
    m_supervisor.noteArrival(now);
    if (m_cutter) {
        m_cutter->cut(bytes, [this, now](Arrival kind, QByteArrayView frame) { deliverFrame(kind, frame, now); });
        return;
    }
    deliverFrame(classifyArrival(bytes), bytes, now);
}

bool TcpLink::write(const CommandRequest &request)
{
    return Sock.send(encodeRequest(request));
}

void TcpLink::log(LinkEvent::Kind kind, const QString &detail)
{
    emit happened({kind, detail});
}
