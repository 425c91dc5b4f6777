// Connection supervision against a real local controller, through fake time.

#include "PanelSupport.h"

#include <QTcpServer>

namespace {

const QString kOpening = QStringLiteral(" Opening connection...");
const QString kConnected = QStringLiteral(" Connected!");
const QString kLost = QStringLiteral(" Lost connection, closed.  ");
const QString kReopening = QStringLiteral(" Reopening...");

} // namespace

class TestSupervision : public QObject
{
    Q_OBJECT

private slots:
    void silentControllerCyclesEveryTick();
    void refusedConnectionIsRetriedWithLostAndReopenLines();
    void unreachableControllerRestartsSilently();
    void controllerClosingItsEndIsNoError();
    void keepAliveOnlyWhileConnected();
    void watchdogFiresStrictlyAfterFiveSeconds_data();
    void watchdogFiresStrictlyAfterFiveSeconds();
    void editedPortIsUsedByTheNextAttempt();
    void badPortTextIsReportedAndRetried_data();
    void badPortTextIsReportedAndRetried();
    void exitClosesTheConnectionWithoutAConsoleLine();
    void closedLinkStaysClosedUntilStart_data();
    void closedLinkStaysClosedUntilStart();
    void programsClockRunsTheRoundsFromStartToClose();
};

void TestSupervision::silentControllerCyclesEveryTick()
{
    FakeController controller;
    FakeClock clock;
    auto panel = makePanel(clock, controller.port());
    QTRY_COMPARE(consoleTexts(*panel), QStringList({kOpening, kConnected}));

    for (int cycle = 2; cycle <= 3; ++cycle) {
        clock.now += 4.5;
        panel->handleKeepAliveTick();
        QTRY_COMPARE(controller.connections(), cycle);
        QTRY_COMPARE(consoleTexts(*panel).count(kConnected), cycle);
    }
    QCOMPARE(consoleTexts(*panel),
             QStringList({kOpening, kConnected, kLost, kReopening, kConnected, kLost, kReopening, kConnected}));
}

void TestSupervision::refusedConnectionIsRetriedWithLostAndReopenLines()
{
    FakeClock clock;
    auto panel = makeRefusedPanel(clock);
    QTRY_COMPARE(consoleTexts(*panel).size(), 2);
    QVERIFY(consoleTexts(*panel)[1].startsWith(QStringLiteral(" Error: ")));
    QCOMPARE(consoleTexts(*panel)[1], QStringLiteral(" Error: Connection refused"));
    QVERIFY(panel->socket().state() != DeviceSocket::Closed);
    QVERIFY(panel->socket().state() != DeviceSocket::Connecting);

    clock.now += 4.5;
    panel->handleKeepAliveTick();
    QTRY_COMPARE(consoleTexts(*panel).size(), 5);
    QCOMPARE(consoleTexts(*panel).mid(2, 2), QStringList({kLost, kReopening}));
    QCOMPARE(consoleTexts(*panel)[4], QStringLiteral(" Error: Connection refused"));
}

void TestSupervision::unreachableControllerRestartsSilently()
{
    // A listener whose accept queue is full leaves further connects unanswered.
    QTcpServer jammed;
    jammed.setListenBacklogSize(0);
    QVERIFY(jammed.listen(QHostAddress::LocalHost, 0));
    jammed.pauseAccepting();
    std::vector<std::unique_ptr<QTcpSocket>> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.push_back(std::make_unique<QTcpSocket>());
        fillers.back()->connectToHost(QHostAddress::LocalHost, jammed.serverPort());
    }
    QTest::qWait(200);   // let the queue fill; the panel's attempt must then hang

    FakeClock clock;
    auto panel = makePanel(clock, jammed.serverPort());
    for (int tick = 0; tick < 3; ++tick) {
        QTest::qWait(100);
        QCOMPARE(panel->socket().state(), DeviceSocket::Connecting);
        clock.now += 4.5;
        panel->handleKeepAliveTick();
    }
    QCOMPARE(consoleTexts(*panel), QStringList({kOpening}));
}

void TestSupervision::controllerClosingItsEndIsNoError()
{
    FakeController controller;
    FakeClock clock;
    auto panel = makePanel(clock, controller.port());
    QVERIFY(controller.waitForClient());
    QTRY_COMPARE(panel->socket().state(), DeviceSocket::Connected);
    controller.send(QByteArray("\xAF" "bye", 4));
    QTRY_VERIFY(panel->lastDataTime().has_value());
    controller.closeClient();
    QTRY_COMPARE(panel->socket().state(), DeviceSocket::Closing);

    clock.now += 4.5;   // still within five seconds of the last byte
    panel->handleKeepAliveTick();
    QCOMPARE(consoleTexts(*panel), QStringList({kOpening, kConnected, QStringLiteral(" bye")}));

    clock.now += 1.0;
    panel->handleKeepAliveTick();
    QTRY_COMPARE(controller.connections(), 2);
    QTRY_COMPARE(consoleTexts(*panel),
                 QStringList({kOpening, kConnected, QStringLiteral(" bye"), kLost, kReopening, kConnected}));
}

void TestSupervision::keepAliveOnlyWhileConnected()
{
    FakeController controller;
    FakeClock clock;
    auto panel = makePanel(clock, controller.port());
    QTRY_COMPARE(panel->socket().state(), DeviceSocket::Connected);
    controller.send(statusFrame());
    QTRY_VERIFY(panel->lastDataTime().has_value());

    clock.now += 1.0;
    panel->handleKeepAliveTick();
    QTRY_COMPARE(controller.received(), QByteArray("\xA3", 1));

    controller.closeClient();
    QTRY_COMPARE(panel->socket().state(), DeviceSocket::Closing);
    clock.now += 1.0;
    panel->handleKeepAliveTick();
    QTest::qWait(50);
    QCOMPARE(controller.received(), QByteArray("\xA3", 1));
}

void TestSupervision::watchdogFiresStrictlyAfterFiveSeconds_data()
{
    QTest::addColumn<double>("silence");
    QTest::addColumn<bool>("fires");
    QTest::newRow("4.5 s holds") << 4.5 << false;
    QTest::newRow("exactly 5 s holds") << 5.0 << false;
    QTest::newRow("5.001 s fires") << 5.001 << true;
    QTest::newRow("9.5 s fires") << 9.5 << true;
}

void TestSupervision::watchdogFiresStrictlyAfterFiveSeconds()
{
    QFETCH(double, silence);
    QFETCH(bool, fires);
    FakeController controller;
    FakeClock clock;
    auto panel = makePanel(clock, controller.port());
    QTRY_COMPARE(panel->socket().state(), DeviceSocket::Connected);
    controller.send(statusFrame());
    QTRY_VERIFY(panel->lastDataTime().has_value());

    clock.now += silence;
    panel->handleKeepAliveTick();
    QCOMPARE(consoleTexts(*panel).contains(kLost), fires);
    QCOMPARE(panel->lastDataTime().has_value(), !fires);
}

void TestSupervision::editedPortIsUsedByTheNextAttempt()
{
    FakeController controller;
    FakeClock clock;
    auto panel = makeRefusedPanel(clock);
    QTRY_COMPARE(consoleTexts(*panel).size(), 2);

    panel->setAddress(panel->host(), QString::number(controller.port()));
    QCOMPARE(controller.connections(), 0);
    clock.now += 4.5;
    panel->handleKeepAliveTick();
    QVERIFY(controller.waitForClient());
    QTRY_COMPARE(consoleTexts(*panel).back(), kConnected);
}

void TestSupervision::badPortTextIsReportedAndRetried_data()
{
    QTest::addColumn<QString>("port");
    QTest::newRow("letters") << QStringLiteral("abc");
    QTest::newRow("empty") << QString();
    QTest::newRow("zero") << QStringLiteral("0");
    QTest::newRow("above 65535 does not wrap") << QStringLiteral("70000");
    QTest::newRow("negative") << QStringLiteral("-1");
}

void TestSupervision::badPortTextIsReportedAndRetried()
{
    QFETCH(QString, port);
    FakeClock clock;
    auto panel = std::make_unique<TcpPanel>(TcpLink::Options{clock.clock()});
    panel->setAddress(panel->host(), port);
    panel->load();
    QCOMPARE(consoleTexts(*panel), QStringList({kOpening}));
    QTRY_COMPARE(consoleTexts(*panel).size(), 2);
    QVERIFY(consoleTexts(*panel)[1].startsWith(QStringLiteral(" Error: Invalid port")));
    QCOMPARE(panel->socket().state(), DeviceSocket::Failed);

    clock.now += 4.5;
    panel->handleKeepAliveTick();
    QCOMPARE(consoleTexts(*panel).mid(2, 2), QStringList({kLost, kReopening}));
    QTRY_COMPARE(consoleTexts(*panel).size(), 5);
}

void TestSupervision::exitClosesTheConnectionWithoutAConsoleLine()
{
    FakeController controller;
    FakeClock clock;
    auto panel = makePanel(clock, controller.port());
    QVERIFY(controller.waitForClient());
    QTRY_COMPARE(panel->socket().state(), DeviceSocket::Connected);
    const QStringList before = consoleTexts(*panel);

    panel->show();
    panel->findChild<QAction *>(QStringLiteral("mnuExit"))->trigger();
    QCOMPARE(panel->socket().state(), DeviceSocket::Closed);
    QVERIFY(!panel->isVisible());
    QTRY_COMPARE(controller.client()->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(consoleTexts(*panel), before);
}

void TestSupervision::closedLinkStaysClosedUntilStart_data()
{
    QTest::addColumn<bool>("startAgain");
    QTest::newRow("silent rounds after close() neither send nor reopen") << false;
    QTest::newRow("start() after close() connects afresh") << true;
}

void TestSupervision::closedLinkStaysClosedUntilStart()
{
    QFETCH(bool, startAgain);
    FakeController controller;
    FakeClock clock;
    auto panel = makePanel(clock, controller.port());
    QVERIFY(controller.waitForClient());
    QTRY_COMPARE(panel->socket().state(), DeviceSocket::Connected);

    panel->link().close();
    for (int round = 0; round < 3; ++round) {
        clock.now += 4.5;
        panel->handleKeepAliveTick();
        QCOMPARE(panel->socket().state(), DeviceSocket::Closed);
    }
    QCOMPARE(controller.received(), QByteArray());
    QVERIFY(!consoleTexts(*panel).contains(kLost));
    if (!startAgain)
        return;
    panel->link().start();
    QVERIFY(controller.waitForClient(2));
    QTRY_COMPARE(consoleTexts(*panel).back(), kConnected);
    QVERIFY(!consoleTexts(*panel).contains(kReopening));
}

QTEST_MAIN(TestSupervision)
void TestSupervision::programsClockRunsTheRoundsFromStartToClose()
{
    // The program's own clock: its timer, as profiles know it, ticks from start() to close().
    TcpPanel panel;
    const ClosedPort closed;
    panel.setAddress(panel.host(), QString::number(closed.port()));
    auto *timer = panel.tcpLink().findChild<QTimer *>(QStringLiteral("tmrKeepAlive"));
    QVERIFY(timer && !timer->isActive());
    panel.load();
    QVERIFY(timer->isActive());
    QCOMPARE(timer->intervalAsDuration(), Supervisor::kRoundInterval);
    panel.tcpLink().close();
    QVERIFY(!timer->isActive());
}

#include "tst_supervision.moc"
