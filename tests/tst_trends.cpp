// The Trends window: opened from View, fed through the link, paused, broken at gaps,
// and its history saved as CSV.

#include "PanelSupport.h"

#include "Gui/trends/TrendPlot.h"
#include "Gui/trends/TrendsWindow.h"
#include "history/RecordingFormat.h"

#include "ReadingsSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtPlugin>

#include <cmath>

// Linked in, so that View, Trends opens the window of the code under test.
Q_IMPORT_PLUGIN(TrendsPlugin)

namespace {

constexpr int kEclPd = 0;
constexpr int kEclTemp = 2;
constexpr int kChkNarrow = kReadbackCount + 4;
constexpr int kPlotFill = 1000;   // every reading but the one a test picks out

int nanCount(const QVector<QPointF> &points)
{
    return static_cast<int>(std::count_if(points.begin(), points.end(), [](QPointF p) { return std::isnan(p.y()); }));
}

} // namespace

Q_DECLARE_METATYPE(StatusReadings)

class TestTrends : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void opensFromViewMenu_data();
    void opensFromViewMenu();
    void panelExitClosesTrends();
    void followsTheLink_data();
    void followsTheLink();
    void alarmStandsOut();
    void pauseKeepsCollecting();
    void dragPausesAndMovesBack();
    void gapIsShownAsGap_data();
    void gapIsShownAsGap();
    void legendSwitchesTrace();
    void cursorReadout();
    void saveHistoryAsCsv();

private:
    // A frame through the link's receive dispatch, `seconds` after the last one.
    void deliver(const StatusReadings &readings, double seconds = 0.1)
    {
        m_clock.now += seconds;
        m_panel->deliverArrival(encodeStatusFrame(readings));
    }
    TrendsWindow *openTrends();

    FakeClock m_clock;
    std::unique_ptr<FakeController> m_controller;
    std::unique_ptr<TcpPanel> m_panel;
};

void TestTrends::init()
{
    m_controller = std::make_unique<FakeController>();
    m_panel = makePanel(m_clock, m_controller->port());
    QVERIFY(panelConnected(*m_controller, *m_panel));
    m_panel->show();
    m_panel->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_panel.get()));
}

void TestTrends::cleanup()
{
    m_panel.reset();
    m_controller.reset();
}

TrendsWindow *TestTrends::openTrends()
{
    QTest::keyClick(m_panel.get(), Qt::Key_T, Qt::ControlModifier);
    auto *trends = m_panel->findChild<TrendsWindow *>(QStringLiteral("TrendsWindow"));
    if (!trends || !QTest::qWaitForWindowExposed(trends))
        return nullptr;
    return trends;
}

void TestTrends::opensFromViewMenu_data()
{
    QTest::addColumn<bool>("shortcut");

    QTest::newRow("View, Trends") << false;
    QTest::newRow("Ctrl+T") << true;
}

void TestTrends::opensFromViewMenu()
{
    QFETCH(bool, shortcut);

    if (shortcut) {
        QTest::keyClick(m_panel.get(), Qt::Key_T, Qt::ControlModifier);
    } else {
        QTest::keyClick(m_panel.get(), Qt::Key_V, Qt::AltModifier);
        auto *mnuView = m_panel->findChild<QMenu *>(QStringLiteral("mnuView"));
        QTRY_VERIFY(mnuView->isVisible());
        QTest::keyClick(mnuView, Qt::Key_T);
    }
    auto *trends = m_panel->findChild<TrendsWindow *>(QStringLiteral("TrendsWindow"));
    QVERIFY(trends);
    QTRY_VERIFY(trends->isVisible());
    QVERIFY(trends->isWindow());
    QVERIFY(!trends->isModal());
    QCOMPARE(trends->windowTitle(), QStringLiteral("Trends"));
    auto *timer = trends->findChild<QTimer *>(QStringLiteral("tmrRedraw"));
    QVERIFY(timer->isActive());
    QVERIFY(timer->interval() >= 100);

    // Closing it leaves the panel running and stops its redraws.
    trends->close();
    QVERIFY(!trends->isVisible());
    QVERIFY(!timer->isActive());
    QVERIFY(m_panel->isVisible());
    QCOMPARE(m_panel->socket().state(), DeviceSocket::Connected);
    deliver(readingsWith(kPlotFill, kEclPd, 321));
    QCOMPARE(findText(*m_panel, "txtEclPd"), QStringLiteral("PD: 321"));

    // Opened again, the same window shows what came meanwhile.
    QVERIFY(openTrends() == trends);
    QTRY_VERIFY(trends->isVisible());
    const QVector<QPointF> points = trends->plot().traceData(trends->plotTrace(kEclPd));
    QVERIFY(!points.isEmpty());
    QCOMPARE(points.back().y(), 321.0);
}

// Exit closes the link, without a console line, and Trends with it.
void TestTrends::panelExitClosesTrends()
{
    TrendsWindow *trends = openTrends();
    QVERIFY(trends && trends->isVisible());
    const QStringList before = consoleTexts(*m_panel);
    m_panel->findChild<QAction *>(QStringLiteral("mnuExit"))->trigger();
    QVERIFY(!m_panel->isVisible());
    QVERIFY(!trends->isVisible());
    QCOMPARE(m_panel->socket().state(), DeviceSocket::Closed);
    QTRY_COMPARE(m_controller->client()->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(consoleTexts(*m_panel), before);
}

void TestTrends::followsTheLink_data()
{
    QTest::addColumn<int>("trace");
    QTest::addColumn<StatusReadings>("readings");
    QTest::addColumn<double>("plotted");

    QTest::newRow("EclPd raw") << kEclPd << readingsWith(kPlotFill, kEclPd, 2345) << 2345.0;
    QTest::newRow("EclTemp in degrees, unrounded") << kEclTemp << readingsWith(kPlotFill, kEclTemp, 2000)
                                                   << 29.5 - 27.9 / 4095 * 2000;
    QTest::newRow("Pot raw") << 7 << readingsWith(kPlotFill, 7, 4000) << 4000.0;
    QTest::newRow("chkNarrow on, fifth step") << kChkNarrow << readingsWith(kPlotFill, kEclPd, 0, 0x10) << 4 * 1.5 + 1;
    QTest::newRow("chkNarrow off") << kChkNarrow << readingsWith(kPlotFill, kEclPd, 0, 0x2F) << 4 * 1.5;
}

void TestTrends::followsTheLink()
{
    QFETCH(int, trace);
    QFETCH(StatusReadings, readings);
    QFETCH(double, plotted);

    // Collected before the window opened, and after.
    deliver(readingsWith(kPlotFill, kEclPd, 100));
    TrendsWindow *trends = openTrends();
    QVERIFY(trends);
    deliver(readings);
    trends->refresh();
    const QVector<QPointF> points = trends->plot().traceData(trends->plotTrace(trace));
    QCOMPARE(points.size(), 2);
    QCOMPARE(points.back().y(), plotted);
    // Live: the view ends now.
    QCOMPARE(trends->viewEnd(), m_clock.now);
    QVERIFY(std::abs(trends->plot().timeTo() - trends->plot().timeFrom() - trends->spanSeconds()) < 1e-3);
}

void TestTrends::alarmStandsOut()
{
    TrendsWindow *trends = openTrends();
    deliver(readingsWith(kPlotFill, kEclPd, 2000));
    deliver(readingsWith(kPlotFill, kEclPd, 50));   // below 101: in alarm
    deliver(readingsWith(kPlotFill, kEclPd, 2000));
    trends->refresh();
    const QVector<QPointF> alarm = trends->plot().alarmData(trends->plotTrace(kEclPd));
    QCOMPARE(alarm.size(), 3);
    QVERIFY(std::isnan(alarm[0].y()));
    QCOMPARE(alarm[1].y(), 50.0);
    QVERIFY(std::isnan(alarm[2].y()));
}

void TestTrends::pauseKeepsCollecting()
{
    TrendsWindow *trends = openTrends();
    deliver(readingsWith(kPlotFill, kEclPd, 10));
    auto *pause = trends->findChild<QPushButton *>(QStringLiteral("cmdPause"));
    QTest::mouseClick(pause, Qt::LeftButton);
    QVERIFY(trends->isPaused());
    QCOMPARE(pause->text(), QStringLiteral("Resume"));
    const double frozenEnd = trends->viewEnd();
    trends->refresh();
    const double shownEnd = trends->plot().timeTo();
    const std::size_t before = m_panel->trendHistory().rawFrames();

    for (int i = 0; i < 20; ++i)
        deliver(readingsWith(kPlotFill, kEclPd, 20 + i));
    trends->refresh();
    QCOMPARE(m_panel->trendHistory().rawFrames(), before + 20);
    QCOMPARE(trends->viewEnd(), frozenEnd);
    QCOMPARE(trends->plot().timeTo(), shownEnd);
    QCOMPARE(trends->plot().valueAt(trends->plotTrace(kEclPd), shownEnd), 10.0);

    QTest::mouseClick(pause, Qt::LeftButton);
    QVERIFY(!trends->isPaused());
    QCOMPARE(pause->text(), QStringLiteral("Pause"));
    trends->refresh();
    QCOMPARE(trends->viewEnd(), m_clock.now);
    QCOMPARE(trends->plot().traceData(trends->plotTrace(kEclPd)).back().y(), 39.0);
}

void TestTrends::dragPausesAndMovesBack()
{
    TrendsWindow *trends = openTrends();
    for (int i = 0; i < 100; ++i)
        deliver(readingsWith(kPlotFill, kEclPd, i));
    trends->refresh();
    QVERIFY(!trends->isPaused());
    auto *area = trends->findChild<QWidget *>(QStringLiteral("plotArea"));
    const QPoint start(area->width() / 2, area->height() / 4);
    QTest::mousePress(area, Qt::LeftButton, {}, start);
    QTest::mouseMove(area, start + QPoint(200, 0));
    QTest::mouseRelease(area, Qt::LeftButton, {}, start + QPoint(200, 0));
    QVERIFY(trends->isPaused());
    QVERIFY(trends->viewEnd() < m_clock.now - 1);

    // Scrolling moves on through time; Resume returns to live.
    const double dragged = trends->viewEnd();
    QWheelEvent wheel(QPointF(start), area->mapToGlobal(QPointF(start)), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(area, &wheel);
    QVERIFY(trends->viewEnd() < dragged);
    QTest::mouseClick(trends->findChild<QPushButton *>(QStringLiteral("cmdPause")), Qt::LeftButton);
    QCOMPARE(trends->viewEnd(), m_clock.now);
}

void TestTrends::gapIsShownAsGap_data()
{
    QTest::addColumn<bool>("dropLink");
    QTest::addColumn<double>("silence");

    QTest::newRow("6 s of silence") << false << 6.0;
    QTest::newRow("link down, back within a second") << true << 0.5;
}

void TestTrends::gapIsShownAsGap()
{
    QFETCH(bool, dropLink);
    QFETCH(double, silence);

    TrendsWindow *trends = openTrends();
    for (int i = 0; i < 5; ++i)
        deliver(readingsWith(kPlotFill, kEclPd, 500));
    if (dropLink)
        emit m_panel->link().linkDown(m_clock.now + 0.1);   // as a socket error reports it
    deliver(readingsWith(kPlotFill, kEclPd, 600), silence);
    for (int i = 0; i < 4; ++i)
        deliver(readingsWith(kPlotFill, kEclPd, 600));
    trends->refresh();

    const QVector<QPointF> points = trends->plot().traceData(trends->plotTrace(kEclPd));
    QCOMPARE(nanCount(points), 1);
    const auto gap = std::find_if(points.begin(), points.end(), [](QPointF p) { return std::isnan(p.y()); });
    QVERIFY(gap != points.begin() && gap + 1 != points.end());
    QCOMPARE((gap - 1)->y(), 500.0);
    QCOMPARE((gap + 1)->y(), 600.0);
    // Every trace breaks there, never joined through a zero.
    QCOMPARE(nanCount(trends->plot().traceData(trends->plotTrace(kChkNarrow))), 1);
    for (const QPointF &point : points)
        QVERIFY(std::isnan(point.y()) || point.y() >= 500);
}

void TestTrends::legendSwitchesTrace()
{
    TrendsWindow *trends = openTrends();
    deliver(readingsWith(kPlotFill, kEclPd, 700));
    trends->refresh();
    TrendPlot &plot = trends->plot();
    const int trace = trends->plotTrace(kEclPd);
    auto *area = trends->findChild<QWidget *>(QStringLiteral("plotArea"));
    const QRect entry = plot.legendRect(trace);
    QVERIFY(entry.isValid());

    QTest::mouseClick(area, Qt::LeftButton, {}, entry.center());
    QVERIFY(!plot.isTraceVisible(trace));
    deliver(readingsWith(kPlotFill, kEclPd, 800));
    trends->refresh();
    QCOMPARE(plot.traceData(trace).back().y(), 700.0);   // a hidden trace is not fetched

    QTest::mouseClick(area, Qt::LeftButton, {}, entry.center());
    QVERIFY(plot.isTraceVisible(trace));
    trends->refresh();
    QCOMPARE(plot.traceData(trace).back().y(), 800.0);
}

void TestTrends::cursorReadout()
{
    TrendsWindow *trends = openTrends();
    for (int i = 0; i < 600; ++i)
        deliver(readingsWith(kPlotFill, kEclPd, 1234, 0x01));
    trends->refresh();
    auto *area = trends->findChild<QWidget *>(QStringLiteral("plotArea"));
    QTest::mouseMove(area, QPoint(area->width() / 2, area->height() / 2));
    const QString readout = trends->findChild<QLabel *>(QStringLiteral("lblCursor"))->text();
    QVERIFY2(readout.contains(QStringLiteral("EclPd 1234")), qPrintable(readout));
    QVERIFY2(readout.contains(QStringLiteral("EclTemp 22.69 °C")), qPrintable(readout));
    QVERIFY2(readout.contains(QStringLiteral("EclTec on")), qPrintable(readout));
    QVERIFY2(readout.contains(QStringLiteral("InjTec off")), qPrintable(readout));
    QVERIFY(readout.contains(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d "))));
}

void TestTrends::saveHistoryAsCsv()
{
    TrendsWindow *trends = openTrends();
    const StatusReadings first = readingsWith(kPlotFill, kEclTemp, 1500, 0x21);
    deliver(first);
    m_clock.now += 0.25;
    m_panel->deliverArrival(QByteArray("\xAF" "a, \"b\"", 7));
    deliver(readingsWith(kPlotFill, kEclPd, 77));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.csv"));
    QTimer::singleShot(0, trends, [&] {
        auto *dialog = trends->findChild<QFileDialog *>(QStringLiteral("dlgSaveCsv"));
        QVERIFY(dialog);
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        name->setText(path);   // typed, its completer's popup would take the Enter
        QTest::keyClick(name, Qt::Key_Return);
    });
    QTest::mouseClick(trends->findChild<QPushButton *>(QStringLiteral("cmdSaveCsv")), Qt::LeftButton);

    const QList<QByteArray> rows = contents(path).split('\n');
    QCOMPARE(rows.size(), 5);   // header, two status rows, a message, and the empty tail
    QCOMPARE(rows[0] + '\n', recordingHeader());
    const QDateTime firstUtc = m_panel->trendHistory().utcAt(m_panel->trendHistory().oldestTime());
    QCOMPARE(rows[1] + '\n', statusRow(firstUtc, 0, first));
    QVERIFY(rows[1].contains(",1500,"));
    QVERIFY(rows[2].startsWith(utcText(firstUtc.addMSecs(250)).toLatin1() + ",0.250,"));
    QVERIFY(rows[2].endsWith(",\"a, \"\"b\"\"\"\r"));
    QVERIFY(rows[3].contains(",0.350,77,"));
    QVERIFY(trends->findChild<QLabel *>(QStringLiteral("lblStatus"))->text().startsWith(QStringLiteral("Saved 3 rows")));
}

QTEST_MAIN(TestTrends)
#include "tst_trends.moc"
