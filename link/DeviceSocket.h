#pragma once
// The TCP link's client socket (the panel's, and each bench's in the server), reporting
// the states and events the link supervision is written against rather than QTcpSocket's own.

#include <QObject>
#include <QString>
#include <QTcpSocket>

#include <cstdint>

class DeviceSocket final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeviceSocket)

public:
    // Closing: the peer hung up; Failed: the attempt or connection failed. Both last until
    // close() or the next attempt.
    enum State : std::uint8_t { Closed, Connecting, Connected, Closing, Failed };

    // Bytes read per arrival at most, so that a flood neither exhausts memory nor
    // holds the event loop; the rest arrives as the next arrival.
    static constexpr qint64 kMaxArrival = 64 * 1024;

    explicit DeviceSocket(QObject *parent = nullptr);
    // Tearing the socket down reports nothing: its owner may be half gone by then.
    ~DeviceSocket() override;

    State state() const { return m_state; }

    // Returns at once. A port text that is not a whole number 1..65535 is refused:
    // the socket goes to Failed and an error event follows from the event loop.
    void connectToHost(const QString &host, const QString &portText);

    // Abandons whatever the socket is doing; the state reads Closed right after.
    void close();

    // One write of the whole frame, only while connected. Returns whether it was handed over.
    bool send(const QByteArray &frame);

    // The bytes of the current arrival (at most the count that dataArrival announced).
    QByteArray read(qint64 count);

signals:
    void connected();
    void dataArrival(qint64 bytesAvailable);
    void error(int number, const QString &description);
    // The peer closed a connected socket; no error follows.
    void closedByPeer();

private:
    void handleConnected();
    void handleReadyRead();
    void handleDisconnected();
    void handleErrorOccurred(QAbstractSocket::SocketError socketError);
    void reportError(int number, const QString &description);

    QTcpSocket m_socket;
    State m_state = Closed;
    std::uint64_t m_attempt = 0;   // errors queued for an abandoned attempt are dropped
    bool m_inConnectRequest = false;
};

// Port text as the connection fields hold it: blanks around a whole number 1..65535.
// Returns 0 for anything else; never wraps (70000 is not 4464).
quint16 parsePortText(const QString &text);
