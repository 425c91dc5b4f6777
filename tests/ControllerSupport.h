#pragma once
// A real local controller on an ephemeral port, for tests with or without a window.

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

// The controller end: accepts clients on 127.0.0.1, records what they send.
class FakeController final : public QObject
{
public:
    FakeController()
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *next = m_server.nextPendingConnection()) {
                ++m_connections;
                m_client = next;
                next->setSocketOption(QAbstractSocket::LowDelayOption, 1);
                QObject::connect(next, &QTcpSocket::readyRead, this,
                                 [this, next] { m_received += next->readAll(); });
            }
        });
        m_server.listen(QHostAddress::LocalHost, 0);
        m_port = m_server.serverPort();
    }

    quint16 port() const { return m_port; }
    int connections() const { return m_connections; }
    QTcpSocket *client() const { return m_client; }
    QByteArray &received() { return m_received; }
    void stopListening() { m_server.close(); }
    // On the same port, where a client that lost it comes back.
    void resumeListening() { m_server.listen(QHostAddress::LocalHost, m_port); }

    bool waitForClient(int count = 1)
    {
        return QTest::qWaitFor([&] { return m_connections >= count && m_client; }, 5000);
    }

    // One write, flushed so that it travels as one segment.
    void send(const QByteArray &bytes)
    {
        m_client->write(bytes);
        m_client->flush();
    }

    void closeClient()
    {
        m_client->disconnectFromHost();
    }

private:
    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    QByteArray m_received;
    int m_connections = 0;
    quint16 m_port = 0;
};

// A port on which nobody listens, for as long as the object lives: a socket bound to it
// that never listens. A connection to it is refused, and no other socket of the machine
// is given the port meanwhile. A server the test starts itself may still bind it (both
// ask to reuse the address).
class ClosedPort final : public QObject
{
public:
    explicit ClosedPort(QObject *parent = nullptr) : QObject(parent)
    {
        m_socket.bind(QHostAddress::LocalHost, 0, QAbstractSocket::ReuseAddressHint);
    }
    quint16 port() const { return m_socket.localPort(); }

private:
    QTcpSocket m_socket;
};

inline QByteArray statusFrame(std::uint8_t fill = 0x00)
{
    QByteArray frame(33, static_cast<char>(fill));
    frame[0] = static_cast<char>(0xA1);
    return frame;
}
