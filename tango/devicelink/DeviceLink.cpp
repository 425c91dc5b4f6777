#include "tango/devicelink/DeviceLink.h"

#include "tango/devicelink/DeviceRequests.h"
#include "tango/relay/RelayLines.h"

#include <QTimer>

#include <string_view>

namespace {

QString textOf(const std::string &bytes)
{
    return QString::fromUtf8(bytes).simplified();
}

} // namespace

DeviceLink::DeviceLink(QString device, QString client, Clock clock, QObject *parent)
    : Link(std::move(clock), parent),
      m_device(std::move(device)),
      m_client(std::move(client)),
      m_supervisor(*this, m_clock, QStringLiteral("tmrWatchdog"), this)
{
    connect(&m_supervisor, &Supervisor::happened, this, &Link::happened);
    connect(&m_supervisor, &Supervisor::supervised, this, &Link::supervised);
}

DeviceLink::~DeviceLink()
{
    // The panel goes, and every client with it, including those still ending.
    if (m_process)
        m_process->disconnect(this);
    for (QProcess *process : findChildren<QProcess *>(Qt::FindDirectChildrenOnly)) {
        process->kill();
        process->waitForFinished();
    }
}

void DeviceLink::start()
{
    launchClient();
    m_supervisor.begin();
}

void DeviceLink::close()
{
    m_supervisor.close();
    stopClient();
    m_phase = Phase::Down;
}

void DeviceLink::launchClient()
{
    stopClient();
    m_phase = Phase::Starting;
    m_faulted = false;
    m_supervisor.forgetArrivals();
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
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
        return;
    }
    // The client holds nothing worth a goodbye: its subscriptions lapse on the server. It
    // stays this link's child until it has gone, so that none outlives the panel.
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    QTimer::singleShot(kClientEndLimit, process, &QProcess::kill);
    process->terminate();
}

void DeviceLink::readClient()
{
    // A session ended by a line below deletes its process later; read no further from it.
    QProcess *process = m_process;
    while (process && process == m_process && process->canReadLine())
        handleClientLine(process->readLine());
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
    line = line.trimmed();
    const std::optional<RelayLine> parsed = parseRelayLine(std::string_view(line.data(), line.size()));
    if (!parsed) {
        endSession(LinkEvent::Kind::Error,
                   QStringLiteral("the Tango client said what it never says: %1")
                       .arg(QString::fromUtf8(line.first(std::min<qsizetype>(line.size(), 80)))));
        return;
    }
    const QByteArray payload = QByteArray::fromStdString(parsed->payload);
    switch (parsed->word) {
    case RelayWord::Frame:
        deliver(payload);
        break;
    case RelayWord::Message:
        deliver(static_cast<char>(kMessageOpcode) + payload);
        break;
    case RelayWord::State:
        handleState(parsed->name, textOf(parsed->payload));
        break;
    case RelayWord::Up:
        handleUp();
        break;
    case RelayWord::Error:
        log(LinkEvent::Kind::Error, textOf(parsed->payload));
        break;
    case RelayWord::Fail:
        // The device serves something else than the panel reads: say so at every attempt.
        endSession(LinkEvent::Kind::Error, m_device + QStringLiteral(": ") + textOf(parsed->payload));
        break;
    case RelayWord::Down:
        endSession(m_phase == Phase::Up ? LinkEvent::Kind::Lost : LinkEvent::Kind::Error, textOf(parsed->payload));
        break;
    }
}

void DeviceLink::deliver(QByteArray bytes)
{
    if (m_phase == Phase::Down)
        return;
    // The same receive rules as a socket arrival: one event is one frame.
    const double now = m_clock.steadySeconds();
    m_supervisor.noteArrival(now);
    deliverFrame(classifyArrival(bytes), bytes, now);
}

void DeviceLink::handleState(std::string_view name, const QString &status)
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
    m_supervisor.forgetArrivals();
    if (kind == LinkEvent::Kind::Lost)
        m_supervisor.lose();
    else
        log(kind, detail);
    emit linkDown(m_clock.steadySeconds());
}

void DeviceLink::judgeRound(double now, bool silent)
{
    if (m_phase == Phase::Up && silent)
        endSession(LinkEvent::Kind::Lost);
    else if (m_phase == Phase::Starting && m_sessionStart + kStartLimitSeconds < now)
        endSession(LinkEvent::Kind::Error, QStringLiteral("no answer from %1").arg(m_device));
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
