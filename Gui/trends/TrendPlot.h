#pragma once
// Strip charts stacked on one shared time axis, with shaded bands, alarm overlays,
// legends that switch traces and a cursor; the one place that knows the plotting library.

#include <QColor>
#include <QPointF>
#include <QVector>
#include <QWidget>

#include <memory>
#include <optional>

class TrendPlot final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrendPlot)

public:
    explicit TrendPlot(QWidget *parent = nullptr);
    ~TrendPlot() override;

    // Panels stack top to bottom in the order added; traces belong to one panel each.
    int addPanel(const QString &axisLabel);
    int addTrace(int panel, const QString &name, const QColor &colour, bool steps = false);
    // The in-range band, shaded across the whole width.
    void addBand(int panel, double low, double high);
    // A vertical line across every panel at `time`, as where a trip began.
    void addMarker(double time);
    // Named ticks instead of numbers, and a fixed range, for panels of on/off traces.
    void setPanelTicks(int panel, const QVector<double> &ticks, const QVector<QString> &labels, double low,
                       double high);

    // Times are seconds since the epoch, UTC; a NaN value breaks the line.
    void setTraceData(int trace, const QVector<double> &times, const QVector<double> &values);
    // Drawn over the trace where it is in alarm (NaN elsewhere).
    void setAlarmData(int trace, const QVector<double> &times, const QVector<double> &values);
    QVector<QPointF> traceData(int trace) const;
    QVector<QPointF> alarmData(int trace) const;
    // The value drawn at `time`: the last point at or before it, none in a gap.
    std::optional<double> valueAt(int trace, double time) const;

    bool isTraceVisible(int trace) const;
    void setTraceVisible(int trace, bool visible);
    QString traceName(int trace) const;
    int traceCount() const;
    // Where a trace's legend entry is, in the coordinates of the plot area ("plotArea").
    QRect legendRect(int trace) const;

    void setTimeRange(double from, double to);
    double timeFrom() const;
    double timeTo() const;
    // Self-scaling y axes, or ranges the operator fixes and may drag.
    void setAutoScale(bool on);
    // How many pixel columns a trace is drawn on.
    int columns() const;
    void redraw();

signals:
    // The operator dragged or scrolled the time axis.
    void timeRangeMoved(double from, double to);
    void cursorMoved(double time);   // NaN when the cursor left the plots
    void traceToggled(int trace, bool visible);

private:
    struct Private;
    void handleWheel(int notches);
    void toggleFromLegend(int trace);

    std::unique_ptr<Private> d;
    bool m_autoScale = true;
};
