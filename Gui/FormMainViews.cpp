// The window's views beside the panel: the trend history it feeds from the start, and
// the View menu that opens the Trends window on it, from its plugin; the alarms, their
// window and the cue that unacknowledged ones exist.

#include "Gui/AlarmAttention.h"
#include "Gui/AlarmsWindow.h"
#include "Gui/FormMain.h"
#include "Gui/TrendsViewPlugin.h"

#include <QLineEdit>
#include <QMenuBar>
#include <QRegularExpression>

#include <cmath>

void FormMain::connectViews()
{
    // Connected after the panel's own handlers, so a frame is shown before it is kept.
    connect(&m_link, &Link::statusArrived, this,
            [this](const StatusReadings &readings, double time) { m_history.addStatus(readings, time); });
    connect(&m_link, &Link::messageArrived, this,
            [this](const QString &text, double time) { m_history.addMessage(text, time); });
    connect(&m_link, &Link::linkDown, this, [this](double time) { m_history.addLinkDown(time); });

    QMenu *mnuView = menuBar()->addMenu(QStringLiteral("&View"));
    mnuView->setObjectName(QStringLiteral("mnuView"));
    QAction *mnuTrends = mnuView->addAction(QStringLiteral("&Trends"));
    mnuTrends->setObjectName(QStringLiteral("mnuTrends"));
    mnuTrends->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    connect(mnuTrends, &QAction::triggered, this, &FormMain::showTrends);
    connectAlarms();
}

void FormMain::showTrends()
{
    if (!m_trends) {
        const TrendsViewPlugin plugin = loadTrendsViewPlugin();
        if (!plugin.factory) {
            // One line with the whole reason; the panel goes on as it was.
            log(QStringLiteral(" Trends need the norvane package's plugin: %1").arg(plugin.problem.simplified()));
            return;
        }
        m_trends = plugin.factory->createTrendsWindow(m_history, [this] { return m_link.now(); }, this);
    }
    m_trends->show();
    m_trends->raise();
    m_trends->activateWindow();
}

void FormMain::connectAlarms()
{
    // After the panel and the history, so that alarms add to the panel and change nothing.
    m_alarms.subscribe();
    connect(&m_alarms, &AlarmMonitor::logged, this, &FormMain::log);
    connect(&m_alarms, &AlarmMonitor::changed, this, &FormMain::updateAlarmCue);
    m_attention = new AlarmAttention(m_alarms, *this, [this] { return m_link.now(); }, [this] { return host(); }, this);

    mnuAlarms = findChild<QMenu *>(QStringLiteral("mnuView"))->addAction(QStringLiteral("&Alarms (0)"));
    mnuAlarms->setObjectName(QStringLiteral("mnuAlarms"));
    mnuAlarms->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(mnuAlarms, &QAction::triggered, this, &FormMain::showAlarms);
}

void FormMain::updateAlarmCue()
{
    const int count = m_alarms.tracker().unacknowledged();
    mnuAlarms->setText(QStringLiteral("&Alarms (%1)").arg(count));
    // The title, in the taskbar too: text, not colour alone, and nothing in the window
    // repaints, so the instrument panels stay as they are.
    const QString cue = count == 1 ? QStringLiteral("\u26a0 1 ALARM") : QStringLiteral("\u26a0 %1 ALARMS").arg(count);
    static const QRegularExpression prefix(QStringLiteral("^\u26a0 \\d+ ALARMS? - "));
    QString title = windowTitle().remove(prefix);
    if (count > 0)
        title.prepend(cue + QStringLiteral(" - "));
    setWindowTitle(title);
}

void FormMain::showAlarms()
{
    if (!m_alarmsWindow) {
        auto *window = new AlarmsWindow(
            m_alarms,
            [this](double steady) {
                return QDateTime::currentDateTime().addMSecs(std::llround((steady - m_link.now()) * 1000));
            },
            this);
        connect(window, &AlarmsWindow::incidentRequested, this, &FormMain::showIncident);
        m_alarmsWindow = window;
    }
    // The device's name, as in the main window's title, tells one bench's alarms from another's.
    const QString device = m_controls.txtIP->isEnabled() ? QString() : host();
    m_alarmsWindow->setWindowTitle(device.isEmpty() ? QStringLiteral("Alarms") : QStringLiteral("Alarms - ") + device);
    m_alarmsWindow->show();
    m_alarmsWindow->raise();
    m_alarmsWindow->activateWindow();
}

void FormMain::setNotifications(bool on)
{
    m_attention->setNotifier(on ? AlarmAttention::Notifier(AlarmAttention::notifyDesktop) : nullptr);
}

void FormMain::showIncident(int episode)
{
    const TrendsViewPlugin plugin = loadTrendsViewPlugin();
    if (!plugin.factory) {
        log(QStringLiteral(" Trends need the norvane package's plugin: %1").arg(plugin.problem.simplified()));
        return;
    }
    const QString path = m_alarms.incidentPath(episode);
    QString problem;
    QWidget *window = plugin.factory->createIncidentWindow(
        path, m_alarms.tracker().episodes()[static_cast<std::size_t>(episode)].incidentUtc, m_alarmsWindow, &problem);
    if (!window) {
        log(QStringLiteral(" Cannot show %1: %2").arg(path, problem));
        return;
    }
    window->show();
    window->raise();
    window->activateWindow();
}
