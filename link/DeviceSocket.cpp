#include "link/DeviceSocket.h"

#include <QTimer>

DeviceSocket::DeviceSocket(QObject *parent) : QObject(parent)
{
    m_socket.setReadBufferSize(kMaxArrival);
    connect(&m_socket, &QTcpSocket::connected, this, &DeviceSocket::handleConnected);
    connect(&m_socket, &QTcpSocket::readyRead, this, &DeviceSocket::handleReadyRead);
    connect(&m_socket, &QTcpSocket::disconnected, this, &DeviceSocket::handleDisconnected);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &DeviceSocket::handleErrorOccurred);
}

DeviceSocket::~DeviceSocket()
{
    // QTcpSocket's destructor disconnects from the host and says so, which would reach the
    // link through closedByPeer after its supervisor is gone.
    QObject::disconnect(&m_socket, nullptr, this, nullptr);
}

quint16 parsePortText(const QString &text)
{
    bool ok = false;
    const uint port = text.trimmed().toUInt(&ok, 10);
    return ok && port >= 1 && port <= 65535 ? static_cast<quint16>(port) : 0;
}

void DeviceSocket::connectToHost(const QString &host, const QString &portText)
{
    close();
    m_inConnectRequest = true;
    if (const quint16 port = parsePortText(portText)) {
        m_state = Connecting;
        m_socket.connectToHost(host, port);
    } else {
        m_state = Failed;
        reportError(QAbstractSocket::UnknownSocketError,
                    QStringLiteral("Invalid port \"%1\": expected a whole number from 1 to 65535")
                        .arg(portText));
    }
    m_inConnectRequest = false;
}

void DeviceSocket::close()
{
    ++m_attempt;
    m_state = Closed;   // before abort(), so that its disconnected signal is ignored
    m_socket.abort();
}

bool DeviceSocket::send(const QByteArray &frame)
{
    if (m_state != Connected || m_socket.state() != QAbstractSocket::ConnectedState)
        return false;
    if (m_socket.write(frame) != frame.size())
        return false;
    m_socket.flush();
    return true;
}

QByteArray DeviceSocket::read(qint64 count)
{
    return m_socket.read(count);
}

void DeviceSocket::handleConnected()
{
    if (m_state != Connecting)
        return;
    m_state = Connected;
    // A command must leave at once, not wait behind an unacknowledged keep-alive.
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    emit connected();
}

void DeviceSocket::handleReadyRead()
{
    const qint64 available = m_socket.bytesAvailable();
    if (available > 0)
        emit dataArrival(available);
}

void DeviceSocket::handleDisconnected()
{
    // The peer closed its end: no error event, and the state stays Closing until closed.
    const bool wasConnected = m_state == Connected;
    if (m_state == Connected || m_state == Connecting)
        m_state = Closing;
    if (wasConnected)
        emit closedByPeer();
}

void DeviceSocket::handleErrorOccurred(QAbstractSocket::SocketError socketError)
{
    if (m_state == Closed)
        return;
    if (socketError == QAbstractSocket::RemoteHostClosedError) {
        handleDisconnected();
        return;
    }
    m_state = Failed;
    reportError(socketError, m_socket.errorString());
}

void DeviceSocket::reportError(int number, const QString &description)
{
    if (!m_inConnectRequest) {
        emit error(number, description);
        return;
    }
    // Raised inside the connect request itself: delivered afterwards, as an event like
    // every other socket error, and dropped if the attempt was abandoned meanwhile.
    QTimer::singleShot(0, this, [this, attempt = m_attempt, number, description] {
        if (attempt == m_attempt)
            emit error(number, description);
    });
}
