// What the buttons and switches put on the wire, as a real local controller receives it.

#include "PanelSupport.h"

#include <QCheckBox>
#include <QPushButton>

class TestPanelActions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void buttonsSendTheirFrames_data();
    void buttonsSendTheirFrames();
    void switchesSendTheirState_data();
    void switchesSendTheirState();
    void keepAliveTick();
    void switchSendsNothingBeforeTheFirstFrame();
    void frameWrittenSwitchIsNotSentBack();
    void clickWhileClosedIsLostSilently();
    void buttonByMouseSpaceAndEnter();
    void repeatsAreNotSuppressed();

private:
    void connectPanel(int connection = 1) { QVERIFY(panelConnected(*m_controller, *m_panel, connection)); }
    void applyFrame(const QByteArray &frame) { QVERIFY(feed(*m_controller, m_clock, *m_panel, frame)); }
    template <typename T> T *widget(const QString &name) { return m_panel->findChild<T *>(name); }

    FakeClock m_clock;
    std::unique_ptr<FakeController> m_controller;
    std::unique_ptr<TcpPanel> m_panel;
};

void TestPanelActions::init()
{
    m_controller = std::make_unique<FakeController>();
    m_panel = makePanel(m_clock, m_controller->port());
    m_panel->show();
    QVERIFY(QTest::qWaitForWindowActive(m_panel.get()));
    connectPanel();
}

void TestPanelActions::cleanup()
{
    m_panel.reset();
    m_controller.reset();
}

void TestPanelActions::buttonsSendTheirFrames_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("SetXdac 99.5") << "cmdXdac" << "txtXdac" << "99.5" << QByteArray::fromHex("a00064");
    QTest::newRow("SetYdac 2.5 ties to even") << "cmdYdac" << "txtYdac" << "2.5" << QByteArray::fromHex("a10002");
    QTest::newRow("XYSquare") << "cmdXYsquare" << "" << "" << QByteArray::fromHex("a2");
    QTest::newRow("WarmBoot") << "cmdWarmBoot" << "" << "" << QByteArray::fromHex("a4");
    QTest::newRow("SetEclCurrent 4095") << "cmdSetEcl" << "txtEclCurrent" << "4095" << QByteArray::fromHex("a50fff");
    QTest::newRow("SetEclCurrent empty") << "cmdSetEcl" << "txtEclCurrent" << "" << QByteArray::fromHex("a50000");
    QTest::newRow("SetInjCurrent 256") << "cmdSetInj" << "txtInjCurrent" << "256" << QByteArray::fromHex("a60100");
    QTest::newRow("SetEclPiezo 10") << "cmdEclPiezo" << "txtEclPiezo" << "10" << QByteArray::fromHex("a90d79");
    QTest::newRow("SetUpPiezo 31.65") << "cmdUpPiezo" << "txtUpPiezo" << "31.65" << QByteArray::fromHex("aa0800");
    QTest::newRow("SetDownPiezo letters") << "cmdDownPiezo" << "txtDownPiezo" << "abc" << QByteArray::fromHex("ab0fff");
    QTest::newRow("Echo") << "cmdEcho" << "" << ""
                          << QByteArray("\xAF" "Hi, this should show up on the console.");
}

void TestPanelActions::buttonsSendTheirFrames()
{
    QFETCH(QString, button);
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QByteArray, frame);
    if (!field.isEmpty())
        widget<QLineEdit>(field)->setText(text);
    widget<QPushButton>(button)->click();
    QTRY_COMPARE(m_controller->received(), frame);
}

void TestPanelActions::switchesSendTheirState_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<char>("opcode");
    QTest::newRow("SetEclTec") << "chkEclTec" << '\xA7';
    QTest::newRow("SetInjTec") << "chkInjTec" << '\xA8';
    QTest::newRow("SetScanEn") << "chkScanEn" << '\xAC';
    QTest::newRow("SetHeater") << "chkHeater" << '\xAD';
    QTest::newRow("SetNarrow") << "chkNarrow" << '\xAE';
    QTest::newRow("SetSlowLock") << "chkSlowLock" << '\xB5';
}

void TestPanelActions::switchesSendTheirState()
{
    QFETCH(QString, box);
    QFETCH(char, opcode);
    applyFrame(statusFrame());
    auto *check = widget<QCheckBox>(box);
    QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));
    QTest::keyClick(check, Qt::Key_Space);
    const char expected[] = {opcode, '\x01', opcode, '\x00'};
    QTRY_COMPARE(m_controller->received(), QByteArray(expected, 4));
}

void TestPanelActions::keepAliveTick()
{
    applyFrame(statusFrame());
    m_panel->handleKeepAliveTick();
    QTRY_COMPARE(m_controller->received(), QByteArray("\xA3"));
}

void TestPanelActions::switchSendsNothingBeforeTheFirstFrame()
{
    auto *heater = widget<QCheckBox>(QStringLiteral("chkHeater"));
    QTest::keyClick(heater, Qt::Key_Space);
    QVERIFY(heater->isChecked());
    applyFrame(statusFrame());   // unchecks it again, under the guard
    QVERIFY(!heater->isChecked());
    QTest::keyClick(heater, Qt::Key_Space);
    QTRY_COMPARE(m_controller->received(), QByteArray::fromHex("ad01"));
}

void TestPanelActions::frameWrittenSwitchIsNotSentBack()
{
    applyFrame(statusFrame());
    QByteArray frame = statusFrame();
    frame[17] = 0x20;
    applyFrame(frame);
    QVERIFY(widget<QCheckBox>(QStringLiteral("chkSlowLock"))->isChecked());
    widget<QPushButton>(QStringLiteral("cmdXYsquare"))->click();   // a marker behind anything sent
    QTRY_COMPARE(m_controller->received(), QByteArray("\xA2"));
}

void TestPanelActions::clickWhileClosedIsLostSilently()
{
    m_panel->socket().close();
    QTest::failOnWarning(QRegularExpression(".*"));   // not even the toolkit may complain
    const QString console = findText(*m_panel, "txtMsg");
    auto *warmBoot = widget<QPushButton>(QStringLiteral("cmdWarmBoot"));
    QTest::mouseClick(warmBoot, Qt::LeftButton);
    QCOMPARE(findText(*m_panel, "txtMsg"), console);
    QCOMPARE(m_panel->socket().state(), DeviceSocket::Closed);

    m_clock.now += 4.5;
    m_panel->handleKeepAliveTick();   // reopens
    connectPanel(2);
    QTest::mouseClick(warmBoot, Qt::LeftButton);
    QTRY_COMPARE(m_controller->received(), QByteArray("\xA4"));
}

void TestPanelActions::buttonByMouseSpaceAndEnter()
{
    auto *button = widget<QPushButton>(QStringLiteral("cmdSetEcl"));
    auto *field = widget<QLineEdit>(QStringLiteral("txtEclCurrent"));
    field->setText(QStringLiteral("7"));
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::keyClick(button, Qt::Key_Space);
    QTest::mouseClick(field, Qt::LeftButton);
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), field);
    QTRY_COMPARE(m_controller->received(), QByteArray::fromHex("a50007a50007a50007"));
}

void TestPanelActions::repeatsAreNotSuppressed()
{
    auto *button = widget<QPushButton>(QStringLiteral("cmdXdac"));
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE(m_controller->received(), QByteArray::fromHex("a00000a00000"));
}

QTEST_MAIN(TestPanelActions)
#include "tst_panelactions.moc"
