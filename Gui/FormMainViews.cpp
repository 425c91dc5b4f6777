// The window's views beside the panel: the trend history it feeds from the start, and
// the View menu that opens the Trends window on it, from its plugin.

#include "Gui/FormMain.h"
#include "Gui/TrendsViewPlugin.h"

#include <QMenuBar>

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
