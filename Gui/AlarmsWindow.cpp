#include "Gui/AlarmsWindow.h"

#include "alarms/AlarmMonitor.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString timeText(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

AlarmsWindow::AlarmsWindow(AlarmMonitor &monitor, std::function<QDateTime(double)> wallTime, QWidget *parent)
    : QWidget(parent, Qt::Window), m_monitor(monitor), m_wallTime(std::move(wallTime))
{
    setObjectName(QStringLiteral("AlarmsWindow"));
    setAccessibleName(QStringLiteral("Alarms"));
    resize(720, 320);

    m_table = new QTableWidget(0, ColumnCount, this);
    m_table->setObjectName(QStringLiteral("tblAlarms"));
    m_table->setAccessibleName(QStringLiteral("Alarm episodes, newest first"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Alarm"), QStringLiteral("Began"), QStringLiteral("Ended"),
                                        QStringLiteral("Worst"), QStringLiteral("First out"),
                                        QStringLiteral("Acknowledged")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setTabKeyNavigation(false);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);

    cmdAcknowledge = new QPushButton(QStringLiteral("&Acknowledge all"), this);
    cmdAcknowledge->setObjectName(QStringLiteral("cmdAcknowledgeAll"));
    cmdAcknowledge->setAccessibleName(QStringLiteral("Acknowledge all"));
    // Where the platform turns mnemonics off, Alt+A still acknowledges.
    cmdAcknowledge->setShortcut(QKeySequence(Qt::ALT | Qt::Key_A));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    layout->addWidget(cmdAcknowledge, 0, Qt::AlignRight);

    connect(cmdAcknowledge, &QPushButton::clicked, &m_monitor, &AlarmMonitor::acknowledgeAll);
    connect(&m_monitor, &AlarmMonitor::changed, this, [this] {
        if (isVisible())
            refresh();
    });
    // Enter or a double click on a first-out's row opens its capture.
    connect(m_table, &QTableWidget::itemActivated, this, [this](QTableWidgetItem *item) {
        const int episode = item->data(Qt::UserRole).toInt();
        if (!m_monitor.incidentPath(episode).isEmpty())
            emit incidentRequested(episode);
    });
}

void AlarmsWindow::refresh()
{
    const std::vector<Episode> &episodes = m_monitor.tracker().episodes();
    const int count = static_cast<int>(episodes.size());
    const int current = m_table->currentRow();
    m_table->setRowCount(count);
    for (int row = 0; row < count; ++row) {
        const int index = count - 1 - row;
        const Episode &episode = episodes[static_cast<std::size_t>(index)];
        const QString cells[ColumnCount] = {
            alarmName(episode.alarm),
            timeText(m_wallTime(episode.began)),
            episode.active() ? QStringLiteral("active") : timeText(m_wallTime(episode.ended)),
            worstText(episode),
            episode.firstOut ? QStringLiteral("yes") : QStringLiteral("no"),
            episode.acknowledged ? QStringLiteral("yes") : QStringLiteral("no"),
        };
        for (int column = 0; column < ColumnCount; ++column) {
            QTableWidgetItem *item = m_table->item(row, column);
            if (!item) {
                item = new QTableWidgetItem;
                m_table->setItem(row, column, item);
            }
            item->setText(cells[column]);
            item->setData(Qt::UserRole, index);
        }
    }
    if (current >= 0 && current < count)
        m_table->setCurrentCell(current, 0);
    cmdAcknowledge->setEnabled(m_monitor.tracker().unacknowledged() > 0);
}

void AlarmsWindow::showEvent(QShowEvent *event)
{
    refresh();
    QWidget::showEvent(event);
}
