#pragma once
// The link through a NorvaneBench device: the bench's frames and messages come as the
// device's change events, requests go as attribute writes and commands. The Tango client
// runs in a process of its own, one per session, so that nothing it does can take the
// panel down; the panel watches the device instead of the controller.

#include "link/Link.h"
#include "link/Supervisor.h"

#include <QByteArrayView>
#include <QProcess>

#include <chrono>
#include <string_view>

class DeviceLink final : public Link, private Supervised
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeviceLink)

public:
    // A session that has not come up after this long is given up.
    static constexpr double kStartLimitSeconds = 15.0;
    // A Tango client asked to end is killed if it has not ended after this long.
    static constexpr std::chrono::milliseconds kClientEndLimit{1000};

    // client: the Tango client program; device: what it attaches to.
    DeviceLink(QString device, QString client, Clock clock = Clock::system(), QObject *parent = nullptr);
    ~DeviceLink() override;

    const QString &device() const { return m_device; }

    void start() override;
    // Closed until the next start(): the session ends and no other starts.
    void close() override;
    // Carried only while the device answers; anything else is lost without a word.
    void send(const CommandRequest &request) override;

    // One tick of tmrWatchdog, which a manual clock leaves to its owner: a silent or
    // failed session ends, a new one starts.
    void handleWatchdogTick() { m_supervisor.handleRound(); }

    // One line of the client's output, as the client process delivers them. A line the
    // client does not say ends the session as an error.
    void handleClientLine(QByteArrayView line);

    bool isUp() const { return m_phase == Phase::Up; }
    // The running Tango client's process id, 0 between sessions: its CPU is the panel's too.
    qint64 clientProcessId() const { return m_process ? m_process->processId() : 0; }

private:
    enum class Phase : std::uint8_t {
        Down,       // no session; the next tick starts one
        Starting,   // the client subscribes
        Up,         // subscribed, and the device is not in FAULT
    };

    void judgeRound(double now, bool silent) override;
    bool isBetweenAttempts() const override { return m_phase == Phase::Down; }
    void openNextAttempt() override { launchClient(); }

    void launchClient();
    // Asks the client to end and leaves it to end by itself, never waiting for it.
    void stopClient();
    void readClient();
    void handleClientFinished();
    void handleUp();
    void handleState(std::string_view name, const QString &status);
    // The session ends: the link is down, the console says why.
    void endSession(LinkEvent::Kind kind, const QString &detail = {});
    void deliver(QByteArray bytes);
    void log(LinkEvent::Kind kind, const QString &detail = {});

    QString m_device;
    QString m_client;
    QProcess *m_process = nullptr;
    Supervisor m_supervisor;
    Phase m_phase = Phase::Down;
    bool m_faulted = false;          // the device's last State was FAULT
    QString m_faultStatus;
    double m_sessionStart = 0;
};
