#include "sim/ReplayServer.h"

#include <QElapsedTimer>
#include <QTcpSocket>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// Frames due together still go out one write apart, so each arrives as its own.
constexpr int kMinGapMs = 1;
constexpr int kLetGoTimeoutMs = 2000;

} // namespace

ReplayServer::ReplayServer(QByteArrayView recording, ReplayOptions options, QObject *parent)
    : QObject(parent), m_reader(recording), m_options(std::move(options))
{
    auto elapsed = std::make_shared<QElapsedTimer>();
    elapsed->start();
    m_clock = [elapsed] { return static_cast<double>(elapsed->nsecsElapsed()) / 1e9; };

    m_reader.readHeader();
    m_next = m_reader.next();

    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ReplayServer::tick);
    connect(&m_server, &QTcpServer::newConnection, this, &ReplayServer::handleNewConnection);
}

ReplayServer::~ReplayServer()
{
    for (QTcpSocket *socket : m_clients)
        socket->disconnect(this);
}

void ReplayServer::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

bool ReplayServer::listen()
{
    return m_server.listen(m_options.host, m_options.port);
}

void ReplayServer::handleNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        const QString peer = socket->peerAddress().toString() + u':' + QString::number(socket->peerPort());
        // A replay answers nothing: what the panel sends is read and let go.
        connect(socket, &QTcpSocket::readyRead, this, [socket] { socket->readAll(); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket, peer] {
            emit logLine(peer + QStringLiteral(" disconnected"));
            forget(socket);
        });
        if (m_finishing) {
            socket->disconnectFromHost();
            continue;
        }
        m_clients.push_back(socket);
        emit logLine(peer + QStringLiteral(" connected"));
    }
    if (!m_started && !m_clients.empty()) {
        m_started = true;
        m_epoch = m_clock();
        scheduleTick();
    }
}

void ReplayServer::tick()
{
    if (!m_started || m_finishing)
        return;
    if (m_next.kind == ReplayStep::Kind::Frame) {
        const double due = m_epoch + m_next.elapsedS / m_options.speed;
        if (due > m_clock()) {
            scheduleTick();
            return;
        }
        for (QTcpSocket *socket : m_clients) {
            socket->write(m_next.frame);
            socket->flush();
        }
        m_lastElapsedS = m_next.elapsedS;
        ++m_framesThisRound;
        m_next = m_reader.next();
    }
    advance();
}

void ReplayServer::advance()
{
    if (m_next.kind != ReplayStep::Kind::Frame) {
        if (!m_options.loop || m_framesThisRound == 0) {
            finish();
            return;
        }
        emit logLine(QStringLiteral("end of the recording, starting over"));
        m_epoch += m_lastElapsedS / m_options.speed;
        m_framesThisRound = 0;
        m_reader.rewind();
        m_next = m_reader.next();
        if (m_next.kind != ReplayStep::Kind::Frame) {
            finish();
            return;
        }
    }
    scheduleTick();
}

void ReplayServer::scheduleTick()
{
    if (m_next.kind != ReplayStep::Kind::Frame)
        return;
    const double wait = m_epoch + m_next.elapsedS / m_options.speed - m_clock();
    const int ms = static_cast<int>(std::ceil(wait * 1000));
    m_timer.start(std::max(ms, kMinGapMs));
}

void ReplayServer::finish()
{
    m_finishing = true;
    m_timer.stop();
    emit logLine(QStringLiteral("end of the recording"));
    if (m_clients.empty()) {
        emit finished();
        return;
    }
    // Each client gets what was written before it is let go.
    for (QTcpSocket *socket : std::vector<QTcpSocket *>(m_clients))
        socket->disconnectFromHost();
    QTimer::singleShot(kLetGoTimeoutMs, this, [this] {
        if (!m_clients.empty()) {
            m_clients.clear();
            emit finished();
        }
    });
}

void ReplayServer::forget(QTcpSocket *socket)
{
    const auto found = std::find(m_clients.begin(), m_clients.end(), socket);
    socket->deleteLater();
    if (found == m_clients.end())
        return;
    m_clients.erase(found);
    if (m_finishing && m_clients.empty())
        emit finished();
}
