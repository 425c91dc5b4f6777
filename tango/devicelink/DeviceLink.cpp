#include "tango/devicelink/DeviceLink.h"

#include "tango/devicelink/DeviceRequests.h"

namespace {

QString textOf(QByteArrayView hex)
{
    return QString::fromUtf8(QByteArray::fromHex(hex.toByteArray())).simplified();
}

} // namespace

DeviceLink::DeviceLink(QString device, QString client, Options options, QObject *parent)
    : Link(std::move(options.clock), parent),
      m_device(std::move(device)),
      m_client(std::move(client)),
      m_runWatchdogTimer(options.runWatchdogTimer)
{
    tmrWatchdog.setObjectName(QStringLiteral("tmrWatchdog"));
    tmrWatchdog.setParent(this);
    tmrWatchdog.setInterval(options.watchdogInterval);
    connect(&tmrWatchdog, &QTimer::timeout, this, &DeviceLink::handleWatchdogTick);
}

DeviceLink::~DeviceLink()
{
    stopClient();
}

void DeviceLink::start()
{
    launchClient();
    log(LinkEvent::Kind::Opening);
    if (m_runWatchdogTimer)
        tmrWatchdog.start();
}

void DeviceLink::close()
{
    stopClient();
    m_phase = Phase::Down;
}

void DeviceLink::launchClient()
{
    stopClient();
    m_phase = Phase::Starting;
    m_faulted = false;
    m_lastDataTime.reset();
    m_sessionStart = m_clock.steadySeconds();
    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(m_process, &QProcess::readyReadStandardOutput, this, &DeviceLink::readClient);
    connect(m_process, &QProcess::finished, this, &DeviceLink::handleClientFinished);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            handleClientFinished();
    });
    m_process->start(m_client, {m_device});
}

void DeviceLink::stopClient()
{
    if (!m_process)
        return;
    QProcess *process = std::exchange(m_process, nullptr);
    process->disconnect(this);
    // The client holds nothing worth a goodbye: its subscriptions lapse on the server.
    process->kill();
    process->waitForFinished(1000);
    process->deleteLater();
}

void DeviceLink::readClient()
{
    // A session ended by a line below deletes its process later; read no further from it.
    QProcess *process = m_process;
    while (process && process == m_process && process->canReadLine())
        handleClientLine(QByteArrayView(process->readLine()).trimmed());
}

void DeviceLink::handleClientFinished()
{
    readClient();   // its last words first
    if (!m_process)
        return;
    const QString why = m_process->error() == QProcess::FailedToStart
                            ? QStringLiteral("the Tango client %1 cannot start: %2").arg(m_client, m_process->errorString())
                            : QStringLiteral("the Tango client stopped");
    endSession(m_phase == Phase::Up ? LinkEvent::Kind::Lost : LinkEvent::Kind::Error, why);
}

void DeviceLink::handleClientLine(QByteArrayView line)
{
    const qsizetype space = line.indexOf(' ');
    const QByteArrayView word = space < 0 ? line : line.first(space);
    const QByteArrayView rest = space < 0 ? QByteArrayView() : line.sliced(space + 1);
    if (word == "frame" || word == "message") {
        QByteArray bytes = QByteArray::fromHex(rest.toByteArray());
        if (word == "message")
            bytes.prepend(static_cast<char>(kMessageOpcode));
        deliver(bytes);
    } else if (word == "state") {
        const qsizetype gap = rest.indexOf(' ');
        handleState(gap < 0 ? rest : rest.first(gap), gap < 0 ? QString() : textOf(rest.sliced(gap + 1)));
    } else if (word == "up") {
        handleUp();
    } else if (word == "error") {
        log(LinkEvent::Kind::Error, textOf(rest));
    } else if (word == "down") {
        endSession(m_phase == Phase::Up ? LinkEvent::Kind::Lost : LinkEvent::Kind::Error, textOf(rest));
    }
}

void DeviceLink::deliver(const QByteArray &bytes)
{
    if (m_phase == Phase::Down)
        return;
    // The same receive rules as a socket arrival: one event is one frame.
    const double now = m_clock.steadySeconds();
    m_lastDataTime = now;
    deliverFrame(classifyArrival(bytes), bytes, now);
}

void DeviceLink::handleState(QByteArrayView name, const QString &status)
{
    m_faulted = name == "FAULT";
    m_faultStatus = status;
    if (m_faulted && m_phase == Phase::Up)
        endSession(LinkEvent::Kind::Lost);
}

void DeviceLink::handleUp()
{
    if (m_phase != Phase::Starting)
        return;
    if (m_faulted) {
        const QString detail = m_faultStatus.isEmpty() ? QStringLiteral("%1 is in FAULT").arg(m_device)
                                                       : QStringLiteral("%1 is in FAULT: %2").arg(m_device, m_faultStatus);
        endSession(LinkEvent::Kind::Error, detail);
        return;
    }
    m_phase = Phase::Up;
    log(LinkEvent::Kind::Connected);
}

void DeviceLink::endSession(LinkEvent::Kind kind, const QString &detail)
{
    if (m_phase == Phase::Down)
        return;
    stopClient();
    m_phase = Phase::Down;
    m_lastDataTime.reset();
    if (kind == LinkEvent::Kind::Lost)
        m_reopenPending = true;
    log(kind, detail);
    emit linkDown(m_clock.steadySeconds());
}

void DeviceLink::handleWatchdogTick()
{
    const double now = m_clock.steadySeconds();
    const bool silent = !m_lastDataTime || *m_lastDataTime + kSilenceLimitSeconds < now;
    if (m_phase == Phase::Up && silent)
        endSession(LinkEvent::Kind::Lost);
    else if (m_phase == Phase::Starting && m_sessionStart + kStartLimitSeconds < now)
        endSession(LinkEvent::Kind::Error, QStringLiteral("no answer from %1").arg(m_device));
    if (m_phase == Phase::Down) {
        launchClient();
        if (std::exchange(m_reopenPending, false))
            log(LinkEvent::Kind::Reopening);
    }
    emit supervised();
}

void DeviceLink::send(const CommandRequest &request)
{
    if (m_phase != Phase::Up || !m_process)
        return;
    if (const std::optional<QByteArray> line = deviceRequestLine(request))
        m_process->write(*line);
}

void DeviceLink::log(LinkEvent::Kind kind, const QString &detail)
{
    emit happened({kind, detail});
}
