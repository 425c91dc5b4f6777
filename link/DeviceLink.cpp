#include "link/DeviceLink.h"

#include "status/Arrival.h"

DeviceLink::DeviceLink(Options options, QObject *parent)
    : QObject(parent), m_clock(std::move(options.clock)),
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

    connect(&Sock, &DeviceSocket::connected, this, &DeviceLink::handleConnected);
    connect(&Sock, &DeviceSocket::error, this, &DeviceLink::handleError);
    connect(&Sock, &DeviceSocket::dataArrival, this, &DeviceLink::handleDataArrival);
    connect(&tmrKeepAlive, &QTimer::timeout, this, &DeviceLink::handleKeepAliveTick);
}

void DeviceLink::start()
{
    openConnection();
    emit consoleCleared();
    log(u" Opening connection...");
    if (m_runKeepAliveTimer)
        tmrKeepAlive.start();
}

void DeviceLink::openConnection()
{
    if (m_cutter)
        m_cutter->reset();
    const Address address = m_address ? m_address() : Address{};
    Sock.connectToHost(address.host, address.port);
}

void DeviceLink::handleConnected()
{
    // The silence clock is left alone: a connection counts as silent until its first byte.
    log(u" Connected!");
}

void DeviceLink::handleError(int, const QString &description)
{
    // Only logged; the watchdog restores the connection at a later tick.
    log(QString(QStringLiteral(" Error: ") + description));
    emit linkDown(m_clock.steadySeconds());
}

void DeviceLink::handleKeepAliveTick()
{
    if (Sock.state() == DeviceSocket::Connected)
        send(Command::KeepAlive);

    const double now = m_clock.steadySeconds();
    const bool silent = !m_lastDataTime || *m_lastDataTime + kSilenceLimitSeconds < now;
    if (silent) {
        m_lastDataTime.reset();
        const DeviceSocket::State state = Sock.state();
        if (state != DeviceSocket::Connecting && state != DeviceSocket::Closed) {
            log(u" Lost connection, closed.  ");
            m_reopenPending = true;
        }
        Sock.close();
        emit linkDown(now);
        if (Sock.state() == DeviceSocket::Closed) {
            openConnection();
            if (m_reopenPending) {
                log(u" Reopening...");
                m_reopenPending = false;
            }
        }
    }
    emit consoleCaretToEnd();
}

void DeviceLink::handleDataArrival(qint64 bytesAvailable)
{
    deliverArrival(Sock.read(bytesAvailable));
}

void DeviceLink::deliverArrival(QByteArrayView bytes)
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

void DeviceLink::deliverFrame(Arrival kind, QByteArrayView bytes, double now)
{
    switch (kind) {
    case Arrival::Status:
        emit statusFrameArrived(bytes);
        emit statusArrived(decodeStatusFrame(bytes), now);
        break;
    case Arrival::Message: {
        const QString text = messageText(bytes);
        log(QString(u' ' + text));
        emit messageArrived(text, now);
        break;
    }
    case Arrival::Dropped:
        break;
    }
}

void DeviceLink::send(Command command, QStringView fieldText, bool checked)
{
    if (const std::optional<QByteArray> frame = encodeCommand(command, fieldText, checked))
        Sock.send(*frame);
}

void DeviceLink::log(QStringView text)
{
    emit logLine(consoleLine(m_clock.timeOfDay(), text));
}
