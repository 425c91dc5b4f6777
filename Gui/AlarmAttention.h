#pragma once
// Calls the operator when a first fault begins: the taskbar's urgency while the window is
// not active, and one desktop notification, rate-limited. Consequences stay quiet.

#include <QObject>
#include <QString>

#include <functional>

class AlarmMonitor;
class QWidget;

class AlarmAttention final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AlarmAttention)

public:
    // A bench bouncing all night gives one notification per this many seconds at most.
    static constexpr double kNotifyInterval = 60;

    using Notifier = std::function<void(const QString &summary, const QString &body)>;

    // `now` reads the steady clock; `bench` names the bench in a notification.
    AlarmAttention(AlarmMonitor &monitor, QWidget &window, std::function<double()> now,
                   std::function<QString()> bench, QObject *parent = nullptr);

    // Null, as at first, sends none: a window made by a test stays off the desktop.
    void setNotifier(Notifier notifier) { m_notify = std::move(notifier); }

    // Sends to org.freedesktop.Notifications without waiting; nothing when no bus.
    static void notifyDesktop(const QString &summary, const QString &body);

private:
    void handleBegan(int episode);

    AlarmMonitor &m_monitor;
    QWidget &m_window;
    std::function<double()> m_now;
    std::function<QString()> m_bench;
    Notifier m_notify;
    double m_lastNotified = -1;
};
