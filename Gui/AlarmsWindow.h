#pragma once
// The Alarms window: this run's episodes, newest first, and their acknowledgement.

#include <QDateTime>
#include <QWidget>

#include <functional>

class AlarmMonitor;
class QPushButton;
class QTableWidget;

class AlarmsWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AlarmsWindow)

public:
    enum Column { Alarm, Began, Ended, Worst, FirstOut, Acknowledged, ColumnCount };

    // `wallTime` turns the link's steady seconds into local time.
    AlarmsWindow(AlarmMonitor &monitor, std::function<QDateTime(double)> wallTime, QWidget *parent = nullptr);

    // The rows again from the monitor; its changes call it while the window is shown.
    void refresh();
    QTableWidget *table() const { return m_table; }

signals:
    // A first-out's row was activated and it has a capture.
    void incidentRequested(int episode);

protected:
    void showEvent(QShowEvent *event) override;

private:
    AlarmMonitor &m_monitor;
    std::function<QDateTime(double)> m_wallTime;
    QTableWidget *m_table = nullptr;
    QPushButton *cmdAcknowledge = nullptr;
};
