#pragma once
// The Trends window: the trend history plotted on one time axis, live or paused, with
// spans from a minute to a day, a cursor readout and the history's export.

#include "history/TrendHistory.h"

#include <QTimer>
#include <QWidget>

#include <chrono>
#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class TrendPlot;

class TrendsWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrendsWindow)

public:
    static constexpr std::chrono::milliseconds kRedrawInterval{100};   // ten redraws a second at most

    // `now` reads the steady clock the history's times come from.
    TrendsWindow(const TrendHistory &history, std::function<double()> now, QWidget *parent = nullptr);

    // One redraw of the plots from the history; the redraw timer calls it while shown.
    void refresh();
    bool isPaused() const { return m_paused; }
    void setPaused(bool paused);
    double spanSeconds() const;
    // The steady time at the right edge of the view.
    double viewEnd() const;
    // Writes the history as CSV to `path`; the outcome shows in the window.
    bool saveCsv(const QString &path);

    // A capture read back: paused at `end`, the trip at `trip` marked; steady times.
    void showIncident(double trip, double end);

    TrendPlot &plot() { return *m_plot; }
    // The plot's trace that shows a history trace, -1 if none.
    int plotTrace(int historyTrace) const;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    struct Trace {
        int history;   // index into the history's traces
        int plot;      // index of the plot's trace
        double (*toPlot)(int historyTrace, double raw);
        RangeRule range;
    };

    void buildPlot();
    void handleRedrawTick();
    void handleTimeRangeMoved(double from, double to);
    void handleCursorMoved(double time);
    void handleSaveClicked();
    double epoch(double steadySeconds) const { return steadySeconds + m_epochOffset; }

    const TrendHistory &m_history;
    std::function<double()> m_now;
    double m_epochOffset;
    std::vector<Trace> m_traces;
    TrendPlot *m_plot = nullptr;
    QComboBox *cboSpan = nullptr;
    QPushButton *cmdPause = nullptr;
    QCheckBox *chkAutoY = nullptr;
    QPushButton *cmdSaveCsv = nullptr;
    QLabel *lblCursor = nullptr;
    QLabel *lblStatus = nullptr;
    QTimer tmrRedraw;
    bool m_paused = false;
    double m_pausedEnd = 0;
    bool m_dirty = true;
    std::uint64_t m_drawnRevision = 0;
};
