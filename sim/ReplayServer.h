#pragma once
// Serves a recording on TCP as the controller sent it: each row's frame at its elapsed
// time, scaled by the speed, to every client.

#include "commands/CommandFrames.h"
#include "sim/ReplayReader.h"

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

#include <functional>
#include <vector>

class QTcpSocket;

struct ReplayOptions {
    QHostAddress host = QHostAddress(QHostAddress::LocalHost);
    quint16 port = kDefaultPort;   // 0 picks a free port
    double speed = 1;       // 2 plays twice as fast
    bool loop = false;      // start over at the end instead of finishing
};

class ReplayServer final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReplayServer)

public:
    using Clock = std::function<double()>;   // monotonic seconds

    // `recording` must outlive the server and have a good header; rows after a bad
    // one are never sent, so check the whole recording first.
    ReplayServer(QByteArrayView recording, ReplayOptions options, QObject *parent = nullptr);
    ~ReplayServer() override;

    void setClock(Clock clock);   // before listen()
    bool listen();
    QString errorString() const { return m_server.errorString(); }
    QHostAddress serverAddress() const { return m_server.serverAddress(); }
    quint16 serverPort() const { return m_server.serverPort(); }
    int clientCount() const { return static_cast<int>(m_clients.size()); }

    // Sends the next frame if it is due, and sets the timer for the one after. The
    // recording's time starts with the first client; a client that comes later, or again,
    // joins where the recording has got to.
    void tick();

signals:
    void logLine(const QString &text);
    // The last frame is out and every client has been let go.
    void finished();

private:
    void handleNewConnection();
    void scheduleTick();
    void advance();
    void finish();
    void forget(QTcpSocket *socket);

    ReplayReader m_reader;
    ReplayOptions m_options;
    Clock m_clock;
    QTcpServer m_server;
    QTimer m_timer;
    std::vector<QTcpSocket *> m_clients;   // children of m_server
    ReplayStep m_next;
    bool m_started = false;
    bool m_finishing = false;
    double m_epoch = 0;             // clock time of elapsed 0 in the current round
    double m_lastElapsedS = 0;
    int m_framesThisRound = 0;
};
