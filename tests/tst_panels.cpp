// The window as the operator first sees it: controls, geometry, captions, tab order.

#include "PanelSupport.h"

#include "Gui/GlyphLine.h"
#include "Gui/Panels.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>

class TestPanels : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void window();
    void controls_data();
    void controls();
    void rangeTooltips_data();
    void rangeTooltips();
    void glyphsAreGreen();
    void tabVisitsTheControlsInOrder();
    void enterOnTheFirstFocusPressesBounce();
    void typingIntoAReadbackChangesNothing();
    void onTopNeitherMovesNorResizes();

private:
    FakeClock m_clock;
    std::unique_ptr<TcpPanel> m_panel;
};

void TestPanels::init()
{
    m_panel = makeRefusedPanel(m_clock, false);
    m_panel->show();
    QVERIFY(QTest::qWaitForWindowActive(m_panel.get()));
}

void TestPanels::cleanup()
{
    m_panel.reset();
}

void TestPanels::window()
{
    QCOMPARE(m_panel->windowTitle(), QStringLiteral("Viruduzi"));
    QCOMPARE(m_panel->centralWidget()->size(), QSize(381, 703));
    QCOMPARE(m_panel->palette().color(QPalette::Window), QColor(Qt::white));
    QVERIFY(!m_panel->windowIcon().isNull());
    const QList<QAction *> menus = m_panel->menuBar()->actions();
    QCOMPARE(menus.size(), 2);
    QCOMPARE(menus[0]->text(), QStringLiteral("&File"));
    QCOMPARE(menus[1]->text(), QStringLiteral("&View"));
    // File items are added above Exit, which stays last.
    QCOMPARE(menus[0]->menu()->actions().back()->text(), QStringLiteral("E&xit"));
}

void TestPanels::controls_data()
{
    // A sample across kinds, written out independently of the layout tables.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tooltip");
    QTest::addColumn<int>("maxLength");

    QTest::newRow("Frame3") << "Frame3" << "client" << QRect(8, 8, 368, 89) << "External Cavity Laser" << "" << 0;
    QTest::newRow("Frame10") << "Frame10" << "client" << QRect(136, 448, 136, 49) << "Port" << "" << 0;
    QTest::newRow("txtEclTemp") << "txtEclTemp" << "Frame3" << QRect(8, 16, 67, 19) << "?°" << "" << 0;
    QTest::newRow("txtEclPd") << "txtEclPd" << "Frame3" << QRect(220, 16, 67, 19) << "PD: ?%" << "" << 0;
    QTest::newRow("txtEclCurrent")
        << "txtEclCurrent" << "Frame3" << QRect(8, 47, 67, 19) << "0" << "0 to 4095" << 4;
    QTest::newRow("txtDownPiezo")
        << "txtDownPiezo" << "Frame6" << QRect(88, 16, 67, 19) << "0" << "0 to 63.3" << 5;
    QTest::newRow("txtYdacDac")
        << "txtYdacDac" << "Frame2" << QRect(8, 32, 51, 19) << "?" << "DAC readback: 0 to 4095" << 0;
    QTest::newRow("cmdSetInj") << "cmdSetInj" << "Frame4" << QRect(73, 45, 65, 23) << "Set Current" << "" << 0;
    QTest::newRow("cmdEcho") << "cmdEcho" << "client" << QRect(328, 384, 47, 41) << "Bounce Hi!"
                             << "Puts test text on the debug display." << 0;
    QTest::newRow("chkSlowLock") << "chkSlowLock" << "Frame3" << QRect(296, 32, 67, 17) << "Slow lock" << "" << 0;
    QTest::newRow("chkOnTop") << "chkOnTop" << "client" << QRect(280, 448, 65, 17) << "On Top" << "" << 0;
    QTest::newRow("txtIP") << "txtIP" << "Frame9" << QRect(8, 16, 115, 19) << "127.0.0.1" << "" << 15;
    QTest::newRow("txtPort") << "txtPort" << "Frame10" << QRect(8, 16, 115, 19) << QString() << "" << 5;
    QTest::newRow("txtMsg") << "txtMsg" << "client" << QRect(0, 504, 377, 193) << QString() << "" << 0;
}

void TestPanels::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(QString, tooltip);
    QFETCH(int, maxLength);

    auto *widget = m_panel->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget()->objectName(), parent);
    QCOMPARE(widget->geometry(), geometry);
    QCOMPARE(widget->toolTip(), tooltip);
    if (auto *box = qobject_cast<QGroupBox *>(widget))
        QCOMPARE(box->title(), text);
    else if (auto *button = qobject_cast<QAbstractButton *>(widget))
        QCOMPARE(button->text(), text);
    else if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
        if (!text.isNull())
            QCOMPARE(edit->text(), text);
        if (maxLength > 0)
            QCOMPARE(edit->maxLength(), maxLength);
    }
}

void TestPanels::rangeTooltips_data()
{
    QTest::addColumn<QString>("tooltip");
    QTest::addColumn<QStringList>("boxes");

    QTest::newRow("counts") << "0 to 4095" << QStringList{"txtEclCurrent", "txtInjCurrent", "txtXdac", "txtYdac"};
    QTest::newRow("volts") << "0 to 63.3" << QStringList{"txtDownPiezo", "txtEclPiezo", "txtUpPiezo"};
    QTest::newRow("DACs") << "DAC readback: 0 to 4095"
                          << QStringList{"txtDownPiezoDac", "txtEclCurrentDac", "txtEclPiezoDac", "txtInjCurrentDac",
                                         "txtUpPiezoDac", "txtXdacDac", "txtYdacDac"};
}

// Each range text is on exactly the boxes that stated it before.
void TestPanels::rangeTooltips()
{
    QFETCH(QString, tooltip);
    QFETCH(QStringList, boxes);

    QStringList found;
    for (const QLineEdit *box : m_panel->findChildren<QLineEdit *>()) {
        if (box->toolTip() == tooltip)
            found << box->objectName();
    }
    found.sort();
    QCOMPARE(found, boxes);
}

void TestPanels::glyphsAreGreen()
{
    const QColor green(0, 192, 0);
    for (const char *name : {"Label1", "Label3"}) {
        auto *label = m_panel->findChild<QLabel *>(QString::fromLatin1(name));
        QCOMPARE(label->palette().color(QPalette::WindowText), green);
        QVERIFY(label->font().bold());
        QCOMPARE(label->font().pointSize(), 18);
        QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(label->text()));
    }
    QCOMPARE(m_panel->findChild<QLabel *>(QStringLiteral("Label1"))->text(), QStringLiteral("(  O   )"));
    QCOMPARE(m_panel->findChild<QLabel *>(QStringLiteral("Label3"))->text(), QStringLiteral("( oo   )"));
    auto *bar = m_panel->findChild<GlyphLine *>(QStringLiteral("Line9"));
    QCOMPARE(bar->parentWidget()->objectName(), QStringLiteral("Frame3"));
    QCOMPARE(bar->line(), QLine(352, 72, 320, 72));
    QCOMPARE(m_panel->findChildren<GlyphLine *>().size(), 8);
}

void TestPanels::tabVisitsTheControlsInOrder()
{
    // The keyboard order, readback boxes, group boxes and glyphs passed over.
    const QStringList expected{
        "cmdEcho", "txtXdac", "cmdXdac", "cmdYdac", "txtYdac", "cmdXYsquare", "cmdWarmBoot",
        "cmdSetEcl", "txtUpPiezo", "txtDownPiezo", "txtEclCurrent", "cmdSetInj", "txtInjCurrent",
        "chkEclTec", "chkInjTec", "txtEclPiezo", "cmdEclPiezo", "cmdUpPiezo", "cmdDownPiezo",
        "chkScanEn", "chkNarrow", "chkHeater", "txtMsg", "txtIP", "txtPort", "chkSlowLock",
        "chkOnTop", "cmdEcho"};
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (int i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, expected);
}

void TestPanels::enterOnTheFirstFocusPressesBounce()
{
    auto *echo = m_panel->findChild<QPushButton *>(QStringLiteral("cmdEcho"));
    QCOMPARE(QApplication::focusWidget(), echo);
    QSignalSpy clicks(echo, &QPushButton::clicked);
    QTest::keyClick(echo, Qt::Key_Return);
    QTest::keyClick(echo, Qt::Key_Space);
    QCOMPARE(clicks.count(), 2);
}

void TestPanels::typingIntoAReadbackChangesNothing()
{
    auto *readback = m_panel->findChild<QLineEdit *>(QStringLiteral("txtPot"));
    QTest::mouseClick(readback, Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), readback);
    QTest::keyClicks(readback, QStringLiteral("123"));
    QTest::keyClick(readback, Qt::Key_Backspace);
    QCOMPARE(readback->text(), QStringLiteral("?"));
}

void TestPanels::onTopNeitherMovesNorResizes()
{
    auto *onTop = m_panel->findChild<QCheckBox *>(QStringLiteral("chkOnTop"));
    const QRect before = m_panel->geometry();
    QTest::mouseClick(onTop, Qt::LeftButton);
    QVERIFY(m_panel->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    QTest::mouseClick(onTop, Qt::LeftButton);
    QVERIFY(!m_panel->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(m_panel->geometry(), before);
    QVERIFY(m_panel->isVisible());
}

QTEST_MAIN(TestPanels)
#include "tst_panels.moc"
