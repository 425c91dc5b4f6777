#pragma once
// The simulated controller on TCP: status frames to every client, commands to one bench.

#include "sim/CommandParser.h"
#include "sim/Instrument.h"

#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <vector>

class QTcpSocket;

struct SimOptions {
    QHostAddress host = QHostAddress(QHostAddress::LocalHost);
    quint16 port = kDefaultPort;   // 0 picks a free port
    double rate = 10;              // status frames per second
    std::uint32_t seed = 1;
    bool changing = false;         // load test: every value changes in every frame
    bool stamp = false;            // each status frame carries its number and departure time (FrameStamp)

    // Faults; zero / false is the well-behaved controller.
    bool silent = false;           // accept, never send
    double closeAfter = 0;         // seconds after accepting, close
    double stall = 0;              // seconds of silence after each kStallSendingStretch of sending
    bool split = false;            // each status frame in two writes
    bool join = false;             // two status frames per write
    bool garbage = false;          // stray bytes now and then
    qint64 flood = 0;              // bytes of one message burst soon after connect
    bool refuse = false;           // close each connection as soon as it is accepted
};

inline constexpr double kStallSendingStretch = 5.0;   // seconds of normal sending before each stall
inline constexpr double kFloodDelay = 0.5;            // seconds after accepting
inline constexpr int kSplitHeadBytes = 20;
inline constexpr int kSplitGapMs = 5;                // long enough for TCP to deliver the halves apart

class SimServer final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SimServer)

public:
    // Monotonic seconds. Status frames, stalls, closes and garbage follow it, so tests
    // can drive them with a fake clock and call tick() themselves.
    using Clock = std::function<double()>;

    explicit SimServer(SimOptions options, QObject *parent = nullptr);
    ~SimServer() override;

    void setClock(Clock clock);   // before listen()
    bool listen();
    QString errorString() const { return m_server.errorString(); }
    QHostAddress serverAddress() const { return m_server.serverAddress(); }
    quint16 serverPort() const { return m_server.serverPort(); }

    // Sends what is due by the clock's present time; the timer calls it.
    void tick();

signals:
    // One event worth a line: a command received, a connection, skipped bytes, a fault.
    void logLine(const QString &text);

private:
    struct Client;

    void handleNewConnection();
    void handleReadyRead(QTcpSocket *socket);
    void handleDisconnected(QTcpSocket *socket);
    void execute(Client &client, const ParsedCommand &command);
    void warmReboot();
    void sendStatusFrame(Client &client, const QByteArray &frame, double now);
    void sendMessage(Client &client, QByteArrayView text, double now);
    void serviceFaults(Client &client, double now);
    void drain(Client &client, double now);
    bool mayWrite(Client &client, double now);
    void pruneClients();
    Client *findClient(QTcpSocket *socket);

    SimOptions m_options;
    Clock m_clock;
    QTcpServer m_server;
    QTimer m_timer;
    Instrument m_instrument;
    std::mt19937 m_random;
    std::vector<std::unique_ptr<Client>> m_clients;
    double m_epoch = 0;
    qint64 m_framesMade = 0;
    bool m_prunePending = false;
};
