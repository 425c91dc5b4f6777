// The setpoint fields under real keystrokes: corrections, default button, focus rules.

#include "PanelSupport.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QPushButton>

class TestSetpointFields : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void typing_data();
    void typing();
    void pasting_data();
    void pasting();
    void injectionLimitOnLeaving_data();
    void injectionLimitOnLeaving();
    void enterKeepsFiveHundredButMouseClickResetsIt();
    void defaultButtonAfterLeavingAField_data();
    void defaultButtonAfterLeavingAField();
    void xThenPiezoLeavesPiezoAsDefault();
    void deactivatingTheWindowRunsNoFocusRule();

private:
    QLineEdit *field(const QString &name) { return m_panel->findChild<QLineEdit *>(name); }
    QPushButton *button(const QString &name) { return m_panel->findChild<QPushButton *>(name); }
    // Gives a field the focus as the operator would, and empties it.
    QLineEdit *enter(const QString &name);

    FakeClock m_clock;
    std::unique_ptr<FakeController> m_controller;
    std::unique_ptr<TcpPanel> m_panel;
};

void TestSetpointFields::init()
{
    m_controller = std::make_unique<FakeController>();
    m_panel = makePanel(m_clock, m_controller->port());
    m_panel->show();
    QVERIFY(QTest::qWaitForWindowActive(m_panel.get()));
    QVERIFY(panelConnected(*m_controller, *m_panel));
}

void TestSetpointFields::cleanup()
{
    m_panel.reset();
    m_controller.reset();
}

QLineEdit *TestSetpointFields::enter(const QString &name)
{
    QLineEdit *box = field(name);
    QTest::mouseClick(box, Qt::LeftButton);
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    return box;
}

void TestSetpointFields::typing_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("text");
    QTest::newRow("piezo 63.3 stays") << "txtEclPiezo" << "63.3" << "63.3";
    QTest::newRow("piezo 63.30 stays") << "txtUpPiezo" << "63.30" << "63.30";
    QTest::newRow("piezo 63.31 empties") << "txtDownPiezo" << "63.31" << "";
    QTest::newRow("piezo 64 empties") << "txtEclPiezo" << "64" << "";
    QTest::newRow("piezo -0.1 empties") << "txtEclPiezo" << "-0.1" << "";
    QTest::newRow("piezo letters stay") << "txtEclPiezo" << "ab" << "ab";
    QTest::newRow("piezo 9e999 empties") << "txtEclPiezo" << "9e999" << "";
    QTest::newRow("piezo keeps 5 characters") << "txtUpPiezo" << "1.23456" << "1.234";
    QTest::newRow("current 007 is 7") << "txtEclCurrent" << "007" << "7";
    QTest::newRow("current lone period is 0") << "txtEclCurrent" << "." << "0";
    QTest::newRow("current 1 period 5 is 15") << "txtInjCurrent" << "1.5" << "15";
    QTest::newRow("current 4095 stays") << "txtEclCurrent" << "4095" << "4095";
    QTest::newRow("current 4096 empties") << "txtEclCurrent" << "4096" << "";
    QTest::newRow("current 5000 empties") << "txtEclCurrent" << "5000" << "";
    QTest::newRow("current keeps 4 characters") << "txtEclCurrent" << "12345" << "1234";
    QTest::newRow("X -1 is 0") << "txtXdac" << "-1" << "0";
    QTest::newRow("X 1e4 is 4095") << "txtXdac" << "1e4" << "4095";
    QTest::newRow("Y 2.5 stays") << "txtYdac" << "2.5" << "2.5";
    QTest::newRow("Y 9999 is 4095") << "txtYdac" << "9999" << "4095";
}

void TestSetpointFields::typing()
{
    QFETCH(QString, box);
    QFETCH(QString, keys);
    QFETCH(QString, text);
    QLineEdit *target = enter(box);
    QTest::keyClicks(target, keys);
    QCOMPARE(target->text(), text);
}

void TestSetpointFields::pasting_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("text");
    QTest::newRow("current 12.7 is 12") << "txtEclCurrent" << "12.7" << "12";
    QTest::newRow("current -5 empties") << "txtEclCurrent" << "-5" << "";
    QTest::newRow("current 3 and a letter is 3") << "txtInjCurrent" << "3x" << "3";
    QTest::newRow("current lone minus is 0") << "txtInjCurrent" << "-" << "0";
    QTest::newRow("paste cut to the limit") << "txtEclPiezo" << "0.000000001" << "0.000";
    QTest::newRow("long paste out of range") << "txtXdac" << "123456" << "1234";
}

void TestSetpointFields::pasting()
{
    QFETCH(QString, box);
    QFETCH(QString, pasted);
    QFETCH(QString, text);
    QLineEdit *target = enter(box);
    QGuiApplication::clipboard()->setText(pasted);
    QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(target->text(), text);
}

void TestSetpointFields::injectionLimitOnLeaving_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("text");
    QTest::newRow("100 stays") << "100" << "100";
    QTest::newRow("101 is 0") << "101" << "0";
    QTest::newRow("empty stays empty") << "" << "";
}

void TestSetpointFields::injectionLimitOnLeaving()
{
    QFETCH(QString, keys);
    QFETCH(QString, text);
    QLineEdit *box = enter(QStringLiteral("txtInjCurrent"));
    QTest::keyClicks(box, keys);
    QTest::keyClick(box, Qt::Key_Tab);
    QCOMPARE(box->text(), text);
}

void TestSetpointFields::enterKeepsFiveHundredButMouseClickResetsIt()
{
    QLineEdit *box = enter(QStringLiteral("txtInjCurrent"));
    QTest::keyClicks(box, QStringLiteral("500"));
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), box);
    QCOMPARE(box->text(), QStringLiteral("500"));
    QTRY_COMPARE(m_controller->received(), QByteArray::fromHex("a601f4"));

    QTest::mouseClick(button(QStringLiteral("cmdSetInj")), Qt::LeftButton);
    QCOMPARE(box->text(), QStringLiteral("0"));
    QTRY_COMPARE(m_controller->received(), QByteArray::fromHex("a601f4a60000"));
}

void TestSetpointFields::defaultButtonAfterLeavingAField_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("leaveTo");
    QTest::addColumn<QByteArray>("sentByEnter");
    QTest::newRow("current for a switch keeps its button")
        << "txtEclCurrent" << "chkNarrow" << QByteArray::fromHex("a5002a");
    QTest::newRow("current for a readback keeps its button")
        << "txtEclCurrent" << "txtPot" << QByteArray::fromHex("a5002a");
    QTest::newRow("X for a switch gives up the default") << "txtXdac" << "chkNarrow" << QByteArray();
    QTest::newRow("X for a readback gives up the default") << "txtXdac" << "txtPot" << QByteArray();
}

void TestSetpointFields::defaultButtonAfterLeavingAField()
{
    QFETCH(QString, box);
    QFETCH(QString, leaveTo);
    QFETCH(QByteArray, sentByEnter);
    QLineEdit *source = enter(box);
    QTest::keyClicks(source, QStringLiteral("42"));
    QWidget *target = m_panel->findChild<QWidget *>(leaveTo);
    QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(4, target->height() / 2));
    QCOMPARE(QApplication::focusWidget(), target);
    QTest::keyClick(target, Qt::Key_Return);
    button(QStringLiteral("cmdXYsquare"))->click();   // a marker behind anything sent
    QTRY_COMPARE(m_controller->received(), sentByEnter + QByteArray("\xA2"));
}

void TestSetpointFields::xThenPiezoLeavesPiezoAsDefault()
{
    enter(QStringLiteral("txtXdac"));
    QCOMPARE(m_panel->defaultButton(), button(QStringLiteral("cmdXdac")));
    QVERIFY(button(QStringLiteral("cmdXdac"))->isDefault());
    // The X box gives up the default first; then the piezo box takes it.
    enter(QStringLiteral("txtEclPiezo"));
    QCOMPARE(m_panel->defaultButton(), button(QStringLiteral("cmdEclPiezo")));
    QVERIFY(!button(QStringLiteral("cmdXdac"))->isDefault());
    QVERIFY(button(QStringLiteral("cmdEclPiezo"))->isDefault());
}

void TestSetpointFields::deactivatingTheWindowRunsNoFocusRule()
{
    QLineEdit *box = enter(QStringLiteral("txtInjCurrent"));
    QTest::keyClicks(box, QStringLiteral("500"));
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QCOMPARE(box->text(), QStringLiteral("500"));

    m_panel->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_panel.get()));
    QCOMPARE(QApplication::focusWidget(), box);
    QCOMPARE(box->text(), QStringLiteral("500"));
    QCOMPARE(m_panel->defaultButton(), button(QStringLiteral("cmdSetInj")));
}

QTEST_MAIN(TestSetpointFields)
#include "tst_setpointfields.moc"
