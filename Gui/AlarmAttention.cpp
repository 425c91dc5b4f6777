#include "Gui/AlarmAttention.h"

#include "alarms/AlarmMonitor.h"
#include "status/StatusFrame.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>
#include <QWidget>

AlarmAttention::AlarmAttention(AlarmMonitor &monitor, QWidget &window, std::function<double()> now,
                               std::function<QString()> bench, QObject *parent)
    : QObject(parent), m_monitor(monitor), m_window(window), m_now(std::move(now)), m_bench(std::move(bench))
{
    connect(&m_monitor, &AlarmMonitor::episodeBegan, this, &AlarmAttention::handleBegan);
}

void AlarmAttention::handleBegan(int index)
{
    const Episode &episode = m_monitor.tracker().episodes()[static_cast<std::size_t>(index)];
    if (!episode.firstOut)
        return;
    if (!m_window.isActiveWindow())
        QApplication::alert(&m_window);
    const double now = m_now();
    if (!m_notify || (m_lastNotified >= 0 && now - m_lastNotified < kNotifyInterval))
        return;
    m_lastNotified = now;
    const QString alarm = alarmName(episode.alarm);
    const int reading = kAlarms[static_cast<std::size_t>(episode.alarm)].reading;
    const QString body = reading < 0
        ? QStringLiteral("No frames from the controller")
        : QStringLiteral("%1 reads %2").arg(alarm, readbackText(kReadbacks[static_cast<std::size_t>(reading)].format,
                                                               episode.firstValue).trimmed());
    m_notify(QStringLiteral("%1 alarm on %2").arg(alarm, m_bench()), body);
}

void AlarmAttention::notifyDesktop(const QString &summary, const QString &body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Norvane") << 0u << QStringLiteral("org.norvane.Norvane") << summary << body
         << QStringList() << QVariantMap() << -1;
    // No reply is awaited: without a notification service the call just goes unanswered.
    call.setAutoStartService(false);
    bus.send(call);
}
