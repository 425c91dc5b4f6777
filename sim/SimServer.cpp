#include "sim/SimServer.h"

#include "sim/FrameStamp.h"
#include "status/StatusFrame.h"

#include <QElapsedTimer>
#include <QTcpSocket>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMaxCatchUp = 1.0;            // seconds of frames sent at once after a pause
constexpr double kGarbageMinInterval = 0.5;
constexpr double kGarbageMaxInterval = 1.5;
constexpr int kGarbageMaxBytes = 8;
// A client that does not read loses status frames rather than growing our buffers.
constexpr qint64 kMaxBacklogBytes = 64 * 1024;
constexpr std::size_t kMaxQueuedChunks = 64;
constexpr int kMaxTickIntervalMs = 10;         // bounds the lateness of stalls and closes

constexpr QByteArrayView kRebootMessage = "Warm reboot: controller restarting";

QString peerName(const QTcpSocket &socket)
{
    return socket.peerAddress().toString() + u':' + QString::number(socket.peerPort());
}

QString seconds(double s)
{
    return QString::number(s, 'g', 6) + QStringLiteral(" s");
}

QByteArray floodText(qint64 length)
{
    QByteArray text;
    text.reserve(length);
    for (int line = 1; text.size() < length; ++line)
        text += "Flood line " + QByteArray::number(line).rightJustified(7, '0') + " from the controller\r\n";
    text.truncate(length);
    return text;
}

} // namespace

struct SimServer::Client {
    struct Chunk {
        QByteArray bytes;
        double notBefore;
    };

    QTcpSocket *socket = nullptr;   // child of m_server; null once gone
    QString peer;
    CommandParser parser;
    double acceptedAt = 0;
    double nextGarbageAt = 0;
    bool flooded = false;
    bool stalled = false;           // as last logged
    bool closing = false;           // no new output; disconnect once the queue is out
    bool gone = false;
    QByteArray heldFrame;           // --join: the first frame of a pair
    std::deque<Chunk> queue;        // one write each, in order
};

SimServer::SimServer(SimOptions options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_instrument(m_options.seed)
    , m_random(m_options.seed)
{
    auto elapsed = std::make_shared<QElapsedTimer>();
    elapsed->start();
    m_clock = [elapsed] { return static_cast<double>(elapsed->nsecsElapsed()) / 1e9; };

    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &SimServer::tick);
    connect(&m_server, &QTcpServer::newConnection, this, &SimServer::handleNewConnection);
}

SimServer::~SimServer()
{
    // The sockets outlive m_clients as children of m_server; keep their last signals away.
    for (const auto &client : m_clients) {
        if (client->gone)
            continue;
        client->socket->disconnect(this);
        client->socket->disconnectFromHost();
    }
}

void SimServer::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

bool SimServer::listen()
{
    if (!m_server.listen(m_options.host, m_options.port))
        return false;
    m_epoch = m_clock();
    m_framesMade = 0;
    const int frameMs = static_cast<int>(1000 / m_options.rate);
    m_timer.start(m_options.split ? 1 : std::clamp(frameMs, 1, kMaxTickIntervalMs));
    return true;
}

void SimServer::tick()
{
    const double now = m_clock();
    const double period = 1.0 / m_options.rate;
    qint64 due = static_cast<qint64>(std::floor((now - m_epoch) * m_options.rate)) - m_framesMade;
    const qint64 maxBurst = std::max<qint64>(1, std::llround(m_options.rate * kMaxCatchUp));
    if (due > maxBurst) {
        // After a long pause (a stopped process, a loaded machine) skip ahead rather than burst.
        m_instrument.advance(static_cast<double>(due - maxBurst) * period);
        m_framesMade += due - maxBurst;
        due = maxBurst;
    }
    for (; due > 0; --due) {
        m_instrument.advance(period);
        ++m_framesMade;
        QByteArray frame
            = encodeStatusFrame(m_options.changing ? changingReadings(m_framesMade) : m_instrument.readings());
        if (m_options.stamp)
            stampFrame(frame, {static_cast<std::uint32_t>(m_framesMade), monotonicMicros()});
        for (const auto &client : m_clients) {
            sendStatusFrame(*client, frame, now);
            drain(*client, now);
        }
    }
    for (const auto &client : m_clients) {
        serviceFaults(*client, now);
        drain(*client, now);
    }
}

void SimServer::handleNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        const double now = m_clock();
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto client = std::make_unique<Client>();
        client->socket = socket;
        client->peer = peerName(*socket);
        client->acceptedAt = now;
        client->nextGarbageAt = now + kGarbageMinInterval;

        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { handleReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { handleDisconnected(socket); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, socket](QAbstractSocket::SocketError error) {
            if (error != QAbstractSocket::RemoteHostClosedError)
                emit logLine(peerName(*socket) + QStringLiteral(": ") + socket->errorString());
        });

        Client &added = *m_clients.emplace_back(std::move(client));
        emit logLine(added.peer + QStringLiteral(" connected"));
        if (m_options.refuse) {
            emit logLine(added.peer + QStringLiteral(" refused"));
            added.closing = true;
            socket->disconnectFromHost();
        }
    }
}

void SimServer::handleReadyRead(QTcpSocket *socket)
{
    Client *client = findClient(socket);
    if (!client)
        return;
    const QByteArray bytes = socket->readAll();
    if (client->closing)
        return;   // a closing controller no longer listens
    const ParseResult result = client->parser.feed(bytes);
    if (!result.garbage.isEmpty()) {
        emit logLine(QStringLiteral("skipped %1 bytes from %2: %3")
                         .arg(result.garbage.size())
                         .arg(client->peer, describeGarbage(result.garbage)));
    }
    for (const ParsedCommand &command : result.commands) {
        emit logLine(describeCommand(command));
        execute(*client, command);
        if (client->closing)
            break;
    }
    drain(*client, m_clock());
}

void SimServer::handleDisconnected(QTcpSocket *socket)
{
    Client *client = findClient(socket);
    if (!client)
        return;
    client->gone = true;
    emit logLine(client->peer + QStringLiteral(" disconnected"));
    client->socket = nullptr;
    socket->deleteLater();
    // Not erased here: this can run inside a loop over m_clients.
    if (!m_prunePending) {
        m_prunePending = true;
        QMetaObject::invokeMethod(this, &SimServer::pruneClients, Qt::QueuedConnection);
    }
}

void SimServer::execute(Client &client, const ParsedCommand &command)
{
    switch (command.info->command) {
    case Command::WarmBoot:
        warmReboot();
        break;
    case Command::Echo:
        sendMessage(client, command.text, m_clock());
        break;
    case Command::KeepAlive:
        break;
    default:
        m_instrument.apply(command.info->command, command.value);
        break;
    }
}

void SimServer::warmReboot()
{
    // One bench behind every connection: a reboot drops them all.
    m_instrument.reset();
    const double now = m_clock();
    for (const auto &client : m_clients) {
        if (client->gone)
            continue;
        sendMessage(*client, kRebootMessage, now);
        client->closing = true;
        client->heldFrame.clear();
    }
    emit logLine(QStringLiteral("warm reboot: state reset, dropping every connection"));
    for (const auto &client : m_clients)
        drain(*client, now);
}

bool SimServer::mayWrite(Client &client, double now)
{
    if (m_options.silent || client.closing || client.gone)
        return false;
    if (m_options.stall <= 0)
        return true;
    const double cycle = kStallSendingStretch + m_options.stall;
    return std::fmod(now - client.acceptedAt, cycle) < kStallSendingStretch;
}

void SimServer::sendStatusFrame(Client &client, const QByteArray &frame, double now)
{
    if (!mayWrite(client, now) || client.queue.size() >= kMaxQueuedChunks
        || client.socket->bytesToWrite() > kMaxBacklogBytes) {
        return;
    }
    if (m_options.join) {
        if (client.heldFrame.isEmpty()) {
            client.heldFrame = frame;
            return;
        }
        client.queue.push_back({client.heldFrame + frame, now});
        client.heldFrame.clear();
    } else if (m_options.split) {
        client.queue.push_back({frame.first(kSplitHeadBytes), now});
        client.queue.push_back({frame.sliced(kSplitHeadBytes), now + kSplitGapMs / 1000.0});
    } else {
        client.queue.push_back({frame, now});
    }
}

void SimServer::sendMessage(Client &client, QByteArrayView text, double now)
{
    if (!mayWrite(client, now))
        return;
    QByteArray message;
    message.reserve(text.size() + 1);
    message.append(static_cast<char>(kMessageOpcode));
    message.append(text);
    client.queue.push_back({message, now});
}

void SimServer::serviceFaults(Client &client, double now)
{
    if (client.gone || client.closing)
        return;
    const double age = now - client.acceptedAt;
    if (m_options.closeAfter > 0 && age >= m_options.closeAfter) {
        emit logLine(client.peer + QStringLiteral(" closed after ") + seconds(m_options.closeAfter));
        client.closing = true;
        client.queue.clear();
        client.socket->disconnectFromHost();
        return;
    }
    if (m_options.stall > 0) {
        const bool stalled = !mayWrite(client, now);
        if (stalled != client.stalled) {
            client.stalled = stalled;
            emit logLine(client.peer + (stalled ? QStringLiteral(" stalled for ") + seconds(m_options.stall)
                                                : QStringLiteral(" resumed")));
        }
    }
    if (!mayWrite(client, now))
        return;
    if (m_options.flood > 0 && !client.flooded && age >= kFloodDelay) {
        client.flooded = true;
        sendMessage(client, floodText(m_options.flood - 1), now);
        emit logLine(client.peer + QStringLiteral(" flooded with %1 bytes").arg(m_options.flood));
    }
    if (m_options.garbage && now >= client.nextGarbageAt) {
        QByteArray stray(1 + static_cast<int>(m_random() % kGarbageMaxBytes), '\0');
        for (char &byte : stray)
            byte = static_cast<char>(m_random() & 0xFF);
        client.queue.push_back({stray, now});
        const double fraction = static_cast<double>(m_random()) / 4294967296.0;
        client.nextGarbageAt = now + kGarbageMinInterval + fraction * (kGarbageMaxInterval - kGarbageMinInterval);
        emit logLine(client.peer + QStringLiteral(" sent stray bytes: ") + describeGarbage(stray));
    }
}

void SimServer::drain(Client &client, double now)
{
    while (!client.gone && !client.queue.empty() && client.queue.front().notBefore <= now) {
        const QByteArray bytes = std::move(client.queue.front().bytes);
        client.queue.pop_front();
        client.socket->write(bytes);
        client.socket->flush();   // each chunk its own segment, never coalesced with the next
    }
    if (!client.gone && client.closing && client.queue.empty()
        && client.socket->state() == QAbstractSocket::ConnectedState) {
        client.socket->disconnectFromHost();
    }
}

void SimServer::pruneClients()
{
    m_prunePending = false;
    std::erase_if(m_clients, [](const auto &client) { return client->gone; });
}

SimServer::Client *SimServer::findClient(QTcpSocket *socket)
{
    const auto it = std::find_if(m_clients.begin(), m_clients.end(),
                                 [socket](const auto &client) { return !client->gone && client->socket == socket; });
    return it == m_clients.end() ? nullptr : it->get();
}
