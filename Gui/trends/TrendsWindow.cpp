#include "Gui/trends/TrendsWindow.h"

#include "Gui/trends/TrendPlot.h"
#include "history/TrendExport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardPaths>
#include <QVBoxLayout>

#include <array>
#include <cmath>

namespace {

struct Span {
    const char *text;
    double seconds;
};
constexpr std::array<Span, 5> kSpans{{
    {"1 min", 60}, {"10 min", 600}, {"1 h", 3600}, {"8 h", 8 * 3600}, {"24 h", 24 * 3600},
}};

enum Panel { Temperatures, Tecs, Photodiodes, Dacs, Switches };

// Switch k is drawn between k * kSwitchPitch (off) and that plus one (on).
constexpr double kSwitchPitch = 1.5;

const std::array<QColor, 8> kColours{{
    QColor(31, 119, 180), QColor(255, 127, 14), QColor(44, 160, 44), QColor(148, 103, 189),
    QColor(140, 86, 75), QColor(227, 119, 194), QColor(127, 127, 127), QColor(23, 190, 207),
}};

QString nameOf(std::string_view name)
{
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

Panel panelOf(TextFormat format)
{
    switch (format) {
    case TextFormat::Temperature:
        return Temperatures;
    case TextFormat::Tec:
        return Tecs;
    case TextFormat::Pd:
        return Photodiodes;
    case TextFormat::Signed:
    case TextFormat::Plain:
        break;
    }
    return Dacs;
}

double rawValue(int, double raw)
{
    return raw;
}

double degrees(int, double raw)
{
    return temperature(static_cast<int>(raw));
}

double switchLevel(int historyTrace, double bit)
{
    return (historyTrace - kReadbackCount) * kSwitchPitch + bit;
}

} // namespace

TrendsWindow::TrendsWindow(const TrendHistory &history, std::function<double()> now, QWidget *parent)
    : QWidget(parent, Qt::Window), m_history(history), m_now(std::move(now)),
      m_epochOffset(static_cast<double>(history.utcAt(0).toMSecsSinceEpoch()) / 1000)
{
    setObjectName(QStringLiteral("TrendsWindow"));
    setWindowTitle(QStringLiteral("Trends"));
    resize(1100, 820);

    cboSpan = new QComboBox(this);
    cboSpan->setObjectName(QStringLiteral("cboSpan"));
    for (const Span &span : kSpans)
        cboSpan->addItem(QString::fromLatin1(span.text));
    cmdPause = new QPushButton(QStringLiteral("Pause"), this);
    cmdPause->setObjectName(QStringLiteral("cmdPause"));
    cmdPause->setCheckable(true);
    chkAutoY = new QCheckBox(QStringLiteral("Scale y axes"), this);
    chkAutoY->setObjectName(QStringLiteral("chkAutoY"));
    chkAutoY->setChecked(true);
    cmdSaveCsv = new QPushButton(QStringLiteral("Save history as CSV…"), this);
    cmdSaveCsv->setObjectName(QStringLiteral("cmdSaveCsv"));
    lblCursor = new QLabel(this);
    lblCursor->setObjectName(QStringLiteral("lblCursor"));
    lblCursor->setWordWrap(true);
    lblCursor->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    m_plot = new TrendPlot(this);
    m_plot->setObjectName(QStringLiteral("plotTrends"));

    auto *controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Span"), this));
    controls->addWidget(cboSpan);
    controls->addWidget(cmdPause);
    controls->addWidget(chkAutoY);
    controls->addStretch();
    controls->addWidget(lblStatus);
    controls->addWidget(cmdSaveCsv);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(m_plot, 1);
    layout->addWidget(lblCursor);

    buildPlot();

    tmrRedraw.setParent(this);
    tmrRedraw.setObjectName(QStringLiteral("tmrRedraw"));
    tmrRedraw.setInterval(kRedrawInterval);
    connect(&tmrRedraw, &QTimer::timeout, this, &TrendsWindow::handleRedrawTick);
    connect(cboSpan, &QComboBox::currentIndexChanged, this, [this] {
        m_dirty = true;
        refresh();
    });
    connect(cmdPause, &QPushButton::toggled, this, &TrendsWindow::setPaused);
    connect(chkAutoY, &QCheckBox::toggled, this, [this](bool on) {
        m_plot->setAutoScale(on);
        m_dirty = true;
    });
    connect(cmdSaveCsv, &QPushButton::clicked, this, &TrendsWindow::handleSaveClicked);
    connect(m_plot, &TrendPlot::timeRangeMoved, this, &TrendsWindow::handleTimeRangeMoved);
    connect(m_plot, &TrendPlot::cursorMoved, this, &TrendsWindow::handleCursorMoved);
    connect(m_plot, &TrendPlot::traceToggled, this, [this] { m_dirty = true; });
}

void TrendsWindow::buildPlot()
{
    m_plot->addPanel(QStringLiteral("Temperature (°C)"));
    m_plot->addPanel(QStringLiteral("TEC"));
    m_plot->addPanel(QStringLiteral("Photodiodes"));
    m_plot->addPanel(QStringLiteral("DACs, Pot"));
    m_plot->addPanel(QStringLiteral("Switches"));

    std::array<int, 5> used{};
    std::array<bool, 5> banded{};
    for (int i = 0; i < kReadbackCount; ++i) {
        const ReadbackInfo &info = kReadbacks[static_cast<std::size_t>(i)];
        const Panel panel = panelOf(info.format);
        const QColor colour = kColours[static_cast<std::size_t>(used[panel]++) % kColours.size()];
        const bool isTemperature = info.format == TextFormat::Temperature;
        const int trace = m_plot->addTrace(panel, nameOf(info.field), colour);
        m_traces.push_back({i, trace, isTemperature ? &degrees : &rawValue, info.range});
        if (info.range != RangeRule::None && !banded[panel]) {
            const CountRange range = alarmRange(info.range);
            if (isTemperature)
                m_plot->addBand(panel, temperature(range.most), temperature(range.least));
            else
                m_plot->addBand(panel, range.least, range.most);
            banded[panel] = true;
        }
    }

    QVector<double> ticks;
    QVector<QString> labels;
    for (int k = 0; k < kSwitchCount; ++k) {
        const QString name = nameOf(kSwitches[static_cast<std::size_t>(k)].name);
        const int trace = m_plot->addTrace(Switches, name, kColours[static_cast<std::size_t>(k)], true);
        m_traces.push_back({kReadbackCount + k, trace, &switchLevel, RangeRule::None});
        ticks << k * kSwitchPitch + 0.5;
        labels << name;
    }
    // Room at the top for the legend.
    m_plot->setPanelTicks(Switches, ticks, labels, -0.3, kSwitchCount * kSwitchPitch + 1.2);
}

int TrendsWindow::plotTrace(int historyTrace) const
{
    for (const Trace &trace : m_traces) {
        if (trace.history == historyTrace)
            return trace.plot;
    }
    return -1;
}

double TrendsWindow::spanSeconds() const
{
    return kSpans[static_cast<std::size_t>(std::max(0, cboSpan->currentIndex()))].seconds;
}

double TrendsWindow::viewEnd() const
{
    return m_paused ? m_pausedEnd : m_now();
}

void TrendsWindow::setPaused(bool paused)
{
    if (paused && !m_paused)
        m_pausedEnd = m_now();
    m_paused = paused;
    const QSignalBlocker blocker(cmdPause);
    cmdPause->setChecked(paused);
    cmdPause->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    m_dirty = true;
}

void TrendsWindow::showIncident(double trip, double end)
{
    m_plot->addMarker(epoch(trip));
    setPaused(true);
    m_pausedEnd = end;
}

void TrendsWindow::refresh()
{
    const double to = viewEnd();
    const double from = to - spanSeconds();
    const int columns = m_plot->columns();
    QVector<double> times;
    QVector<double> values;
    QVector<double> alarms;
    for (const Trace &trace : m_traces) {
        if (!m_plot->isTraceVisible(trace.plot))
            continue;
        const std::vector<TrendPoint> points = m_history.plotPoints(trace.history, from, to, columns);
        times.resize(static_cast<qsizetype>(points.size()));
        values.resize(times.size());
        alarms.resize(times.size());
        bool anyAlarm = false;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const auto at = static_cast<qsizetype>(i);
            const double raw = points[i].value;
            times[at] = epoch(points[i].time);
            values[at] = std::isnan(raw) ? raw : trace.toPlot(trace.history, raw);
            const bool alarm = !std::isnan(raw) && !inRange(trace.range, static_cast<int>(raw));
            alarms[at] = alarm ? values[at] : std::nan("");
            anyAlarm = anyAlarm || alarm;
        }
        m_plot->setTraceData(trace.plot, times, values);
        if (trace.range != RangeRule::None)
            m_plot->setAlarmData(trace.plot, times, anyAlarm ? alarms : QVector<double>(times.size(), std::nan("")));
    }
    m_plot->setTimeRange(epoch(from), epoch(to));
    m_plot->redraw();
    m_dirty = false;
    m_drawnRevision = m_history.revision();
}

void TrendsWindow::handleRedrawTick()
{
    if (!m_paused || m_dirty || m_drawnRevision != m_history.revision())
        refresh();
}

void TrendsWindow::handleTimeRangeMoved(double, double to)
{
    // Dragging or scrolling through time holds the view where the operator left it.
    if (!m_paused)
        setPaused(true);
    m_pausedEnd = to - m_epochOffset;
    m_dirty = true;
}

void TrendsWindow::handleCursorMoved(double time)
{
    if (std::isnan(time)) {
        lblCursor->clear();
        return;
    }
    QStringList parts{QDateTime::fromMSecsSinceEpoch(std::llround(time * 1000)).toLocalTime().toString(
        QStringLiteral("HH:mm:ss.zzz"))};
    for (const Trace &trace : m_traces) {
        if (!m_plot->isTraceVisible(trace.plot))
            continue;
        const std::optional<double> value = m_plot->valueAt(trace.plot, time);
        QString text = QStringLiteral("—");
        if (value && trace.toPlot == &degrees)
            text = QString::number(*value, 'f', 2) + QStringLiteral(" °C");
        else if (value && trace.toPlot == &switchLevel)
            text = *value - (trace.history - kReadbackCount) * kSwitchPitch > 0.5 ? QStringLiteral("on")
                                                                                  : QStringLiteral("off");
        else if (value)
            text = QString::number(*value, 'f', 0);
        parts << m_plot->traceName(trace.plot) + u' ' + text;
    }
    lblCursor->setText(parts.join(QStringLiteral("   ")));
}

void TrendsWindow::handleSaveClicked()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString name = QStringLiteral("norvane-history-%1.csv")
                             .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    QFileDialog dialog(this, QStringLiteral("Save history as CSV"), QDir(folder).filePath(name),
                       QStringLiteral("CSV files (*.csv)"));
    dialog.setObjectName(QStringLiteral("dlgSaveCsv"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        saveCsv(dialog.selectedFiles().constFirst());
}

bool TrendsWindow::saveCsv(const QString &path)
{
    QSaveFile file(path);
    qint64 rows = -1;
    if (file.open(QIODevice::WriteOnly))
        rows = writeHistoryCsv(m_history, file);
    if (rows >= 0 && file.commit()) {
        lblStatus->setText(QStringLiteral("Saved %1 rows to %2").arg(rows).arg(QDir::toNativeSeparators(path)));
        return true;
    }
    lblStatus->setText(QStringLiteral("Not saved: %1 (%2)").arg(file.errorString(), QDir::toNativeSeparators(path)));
    return false;
}

void TrendsWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_dirty = true;
    tmrRedraw.start();
    refresh();
}

void TrendsWindow::hideEvent(QHideEvent *event)
{
    tmrRedraw.stop();
    QWidget::hideEvent(event);
}
