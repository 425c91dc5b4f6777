#include "Gui/trends/TrendPlot.h"

#include <QVBoxLayout>

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kWheelPanShare = 0.1;   // of the span, per wheel notch
const QColor kBandColour(120, 200, 120, 60);
const QColor kAlarmColour(220, 0, 0);
const QColor kHiddenText(170, 170, 170);

} // namespace

struct TrendPlot::Private {
    struct Trace {
        QCPGraph *graph;
        QCPGraph *alarm = nullptr;
        QCPLegend *legend;
        int panel;
        QString name;
    };
    QCustomPlot *plot = nullptr;
    QCPMarginGroup *margins = nullptr;
    QVector<QCPAxisRect *> panels;
    QVector<QCPLegend *> legends;
    QVector<bool> fixedPanels;   // panels whose range never scales
    QVector<QCPRange> bands;     // per panel; empty where it has none
    QVector<Trace> traces;
    bool settingRange = false;
    double cursorX = -1;   // the mouse's pixel column over the panels, -1 when elsewhere

    QCPAxis *timeAxis() const { return panels.isEmpty() ? nullptr : panels.back()->axis(QCPAxis::atBottom); }
};

TrendPlot::TrendPlot(QWidget *parent) : QWidget(parent), d(std::make_unique<Private>())
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    d->plot = new QCustomPlot(this);
    d->plot->setObjectName(QStringLiteral("plotArea"));
    d->plot->setAutoAddPlottableToLegend(false);   // each panel has its own legend
    d->plot->plotLayout()->clear();
    d->plot->plotLayout()->setRowSpacing(0);
    d->plot->setNoAntialiasingOnDrag(true);
    d->plot->setInteraction(QCP::iRangeDrag, true);
    d->plot->setMouseTracking(true);
    d->plot->addLayer(QStringLiteral("bands"), d->plot->layer(QStringLiteral("grid")), QCustomPlot::limAbove);
    d->margins = new QCPMarginGroup(d->plot);
    layout->addWidget(d->plot);

    connect(d->plot, &QCustomPlot::mouseWheel, this, [this](QWheelEvent *event) {
        const int notches = event->angleDelta().y() / 120;
        if (notches != 0)
            handleWheel(notches);
        event->accept();
    });
    connect(d->plot, &QCustomPlot::mouseMove, this, [this](QMouseEvent *event) {
        QCPAxis *axis = d->timeAxis();
        if (!axis)
            return;
        const bool inside = std::any_of(d->panels.cbegin(), d->panels.cend(), [&](QCPAxisRect *rect) {
            return rect->rect().contains(event->position().toPoint());
        });
        d->cursorX = inside ? event->position().x() : -1;
        emit cursorMoved(inside ? axis->pixelToCoord(d->cursorX) : std::nan(""));
    });
    connect(d->plot, &QCustomPlot::legendClick, this,
            [this](QCPLegend *, QCPAbstractLegendItem *item, QMouseEvent *) {
                auto *entry = qobject_cast<QCPPlottableLegendItem *>(item);
                for (int i = 0; entry && i < d->traces.size(); ++i) {
                    if (d->traces[i].graph == entry->plottable())
                        toggleFromLegend(i);
                }
            });
}

TrendPlot::~TrendPlot() = default;

int TrendPlot::addPanel(const QString &axisLabel)
{
    auto *rect = new QCPAxisRect(d->plot);
    const int row = static_cast<int>(d->panels.size());
    d->plot->plotLayout()->addElement(row, 0, rect);
    rect->setMarginGroup(QCP::msLeft | QCP::msRight, d->margins);
    rect->setRangeDrag(Qt::Horizontal);
    rect->setRangeZoom(Qt::Orientations());
    rect->axis(QCPAxis::atLeft)->setLabel(axisLabel);

    auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
    ticker->setDateTimeSpec(Qt::LocalTime);
    ticker->setDateTimeFormat(QStringLiteral("HH:mm:ss"));
    rect->axis(QCPAxis::atBottom)->setTicker(ticker);
    // Only the lowest panel labels the time; the others follow its range.
    for (QCPAxisRect *above : std::as_const(d->panels)) {
        above->axis(QCPAxis::atBottom)->setTickLabels(false);
        above->setAutoMargins(QCP::msLeft | QCP::msRight | QCP::msTop);
        above->setMargins(QMargins(0, 0, 0, 4));
    }
    connect(rect->axis(QCPAxis::atBottom), qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this,
            [this, rect](const QCPRange &range) {
                if (d->settingRange)
                    return;
                d->settingRange = true;
                for (QCPAxisRect *other : std::as_const(d->panels)) {
                    if (other != rect)
                        other->axis(QCPAxis::atBottom)->setRange(range);
                }
                d->settingRange = false;
                emit timeRangeMoved(range.lower, range.upper);
            });

    auto *legend = new QCPLegend;
    rect->insetLayout()->addElement(legend, Qt::AlignTop | Qt::AlignLeft);
    legend->setLayer(QStringLiteral("legend"));
    legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    legend->setWrap(8);
    legend->setBrush(QColor(255, 255, 255, 210));
    legend->setIconSize(14, 8);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    legend->setFont(small);
    legend->setRowSpacing(0);
    legend->setColumnSpacing(4);

    d->panels.push_back(rect);
    d->legends.push_back(legend);
    d->fixedPanels.push_back(false);
    d->bands.push_back(QCPRange(0, 0));
    if (d->panels.size() > 1)
        rect->axis(QCPAxis::atBottom)->setRange(d->panels.front()->axis(QCPAxis::atBottom)->range());
    return row;
}

int TrendPlot::addTrace(int panel, const QString &name, const QColor &colour, bool steps)
{
    QCPAxisRect *rect = d->panels[panel];
    auto *graph = new QCPGraph(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft));
    graph->setName(name);
    // One-pixel pens keep the painter on its fast path; a wider pen strokes every
    // segment of a column's min-max zigzag as a polygon, hundreds of times slower.
    graph->setPen(QPen(colour, 1));
    // The history already hands over two points a column at most; the library's own
    // thinning would only add its cost, and switch on or off around that very count.
    graph->setAdaptiveSampling(false);
    if (steps)
        graph->setLineStyle(QCPGraph::lsStepLeft);
    graph->addToLegend(d->legends[panel]);
    d->traces.push_back({graph, nullptr, d->legends[panel], panel, name});
    return static_cast<int>(d->traces.size()) - 1;
}

void TrendPlot::addBand(int panel, double low, double high)
{
    QCPAxisRect *rect = d->panels[panel];
    auto *band = new QCPItemRect(d->plot);
    band->setLayer(QStringLiteral("bands"));
    band->setClipAxisRect(rect);
    for (QCPItemPosition *corner : {band->topLeft, band->bottomRight}) {
        corner->setAxes(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft));
        corner->setAxisRect(rect);
        corner->setTypeX(QCPItemPosition::ptAxisRectRatio);
        corner->setTypeY(QCPItemPosition::ptPlotCoords);
    }
    band->topLeft->setCoords(0, high);
    band->bottomRight->setCoords(1, low);
    band->setPen(Qt::NoPen);
    band->setBrush(kBandColour);
    d->bands[panel] = QCPRange(low, high);
}

void TrendPlot::addMarker(double time)
{
    for (QCPAxisRect *rect : std::as_const(d->panels)) {
        auto *line = new QCPItemStraightLine(d->plot);
        line->setClipAxisRect(rect);
        for (QCPItemPosition *end : {line->point1, line->point2}) {
            end->setAxes(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft));
            end->setAxisRect(rect);
            end->setTypeY(QCPItemPosition::ptAxisRectRatio);
        }
        line->point1->setCoords(time, 0);
        line->point2->setCoords(time, 1);
        line->setPen(QPen(Qt::black, 2, Qt::DashLine));
    }
}

void TrendPlot::setPanelTicks(int panel, const QVector<double> &ticks, const QVector<QString> &labels, double low,
                              double high)
{
    auto ticker = QSharedPointer<QCPAxisTickerText>::create();
    ticker->setTicks(ticks, labels);
    QCPAxis *axis = d->panels[panel]->axis(QCPAxis::atLeft);
    axis->setTicker(ticker);
    axis->setRange(low, high);
    d->fixedPanels[panel] = true;
}

void TrendPlot::setTraceData(int trace, const QVector<double> &times, const QVector<double> &values)
{
    d->traces[trace].graph->setData(times, values, true);
}

void TrendPlot::setAlarmData(int trace, const QVector<double> &times, const QVector<double> &values)
{
    Private::Trace &entry = d->traces[trace];
    if (!entry.alarm) {
        QCPAxisRect *rect = d->panels[entry.panel];
        entry.alarm = new QCPGraph(rect->axis(QCPAxis::atBottom), rect->axis(QCPAxis::atLeft));
        entry.alarm->setName(entry.name + QStringLiteral(" alarm"));
        entry.alarm->setPen(QPen(kAlarmColour, 1));
        entry.alarm->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, kAlarmColour, kAlarmColour, 4));
        entry.alarm->setVisible(entry.graph->visible());
    }
    entry.alarm->setData(times, values, true);
}

namespace {

QVector<QPointF> pointsOf(const QCPGraph *graph)
{
    QVector<QPointF> points;
    if (!graph)
        return points;
    points.reserve(graph->data()->size());
    for (const QCPGraphData &point : *graph->data())
        points.push_back({point.key, point.value});
    return points;
}

} // namespace

QVector<QPointF> TrendPlot::traceData(int trace) const
{
    return pointsOf(d->traces[trace].graph);
}

QVector<QPointF> TrendPlot::alarmData(int trace) const
{
    return pointsOf(d->traces[trace].alarm);
}

std::optional<double> TrendPlot::valueAt(int trace, double time) const
{
    const QSharedPointer<QCPGraphDataContainer> data = d->traces[trace].graph->data();
    auto it = std::upper_bound(data->constBegin(), data->constEnd(), time,
                               [](double key, const QCPGraphData &point) { return key < point.key; });
    if (it == data->constBegin())
        return std::nullopt;
    --it;
    if (std::isnan(it->value))
        return std::nullopt;
    return it->value;
}

bool TrendPlot::isTraceVisible(int trace) const
{
    return d->traces[trace].graph->visible();
}

void TrendPlot::setTraceVisible(int trace, bool visible)
{
    Private::Trace &entry = d->traces[trace];
    entry.graph->setVisible(visible);
    if (entry.alarm)
        entry.alarm->setVisible(visible);
    if (QCPPlottableLegendItem *item = entry.legend->itemWithPlottable(entry.graph))
        item->setTextColor(visible ? QColor(Qt::black) : kHiddenText);
}

QString TrendPlot::traceName(int trace) const
{
    return d->traces[trace].name;
}

int TrendPlot::traceCount() const
{
    return static_cast<int>(d->traces.size());
}

QRect TrendPlot::legendRect(int trace) const
{
    const Private::Trace &entry = d->traces[trace];
    QCPPlottableLegendItem *item = entry.legend->itemWithPlottable(entry.graph);
    return item ? item->outerRect() : QRect();
}

void TrendPlot::toggleFromLegend(int trace)
{
    const bool visible = !isTraceVisible(trace);
    setTraceVisible(trace, visible);
    emit traceToggled(trace, visible);
    redraw();
}

void TrendPlot::setTimeRange(double from, double to)
{
    d->settingRange = true;
    for (QCPAxisRect *rect : std::as_const(d->panels))
        rect->axis(QCPAxis::atBottom)->setRange(from, to);
    d->settingRange = false;
}

double TrendPlot::timeFrom() const
{
    return d->timeAxis() ? d->timeAxis()->range().lower : 0;
}

double TrendPlot::timeTo() const
{
    return d->timeAxis() ? d->timeAxis()->range().upper : 0;
}

void TrendPlot::setAutoScale(bool on)
{
    m_autoScale = on;
    for (qsizetype i = 0; i < d->panels.size(); ++i) {
        QCPAxisRect *rect = d->panels[i];
        const bool dragY = !on && !d->fixedPanels[i];
        rect->setRangeDrag(dragY ? Qt::Horizontal | Qt::Vertical : Qt::Horizontal);
    }
}

int TrendPlot::columns() const
{
    return d->panels.isEmpty() ? 0 : std::max(1, d->panels.back()->width());
}

void TrendPlot::redraw()
{
    if (m_autoScale) {
        for (qsizetype i = 0; i < d->panels.size(); ++i) {
            if (d->fixedPanels[i])
                continue;
            QCPRange range;
            bool found = false;
            for (const Private::Trace &entry : std::as_const(d->traces)) {
                if (entry.panel != i || !entry.graph->visible())
                    continue;
                bool any = false;
                const QCPRange own = entry.graph->getValueRange(any);
                if (!any)
                    continue;
                range = found ? QCPRange(std::min(range.lower, own.lower), std::max(range.upper, own.upper)) : own;
                found = true;
            }
            if (!found)
                continue;
            // Data wholly outside the band still shows the band's nearer edge.
            const QCPRange band = d->bands[i];
            if (band.size() > 0 && range.upper < band.lower)
                range.upper = band.lower + (band.lower - range.lower) * 0.1;
            else if (band.size() > 0 && range.lower > band.upper)
                range.lower = band.upper - (range.upper - band.upper) * 0.1;
            const double margin = std::max(range.size() * 0.08, 0.5);
            d->panels[i]->axis(QCPAxis::atLeft)->setRange(range.lower - margin, range.upper + margin);
        }
    }
    d->plot->replot();
    // Live, the time under a resting mouse moves on.
    if (d->cursorX >= 0 && d->timeAxis())
        emit cursorMoved(d->timeAxis()->pixelToCoord(d->cursorX));
}

void TrendPlot::handleWheel(int notches)
{
    QCPAxis *axis = d->timeAxis();
    if (!axis)
        return;
    const double shift = -notches * kWheelPanShare * axis->range().size();
    axis->setRange(axis->range().lower + shift, axis->range().upper + shift);
}
