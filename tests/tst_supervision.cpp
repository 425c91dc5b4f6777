// The TCP link's supervision against a real local controller, through fake time, with no
// window: keep-alive, the silence watchdog, reopening, close() and what the operator reads.

#include "ControllerSupport.h"
#include "TestSupport.h"

#include "link/TcpLink.h"

#include <QTimer>

namespace {

const QString kOpening = QStringLiteral(" Opening connection...");
const QString kConnected = QStringLiteral(" Connected!");
const QString kLost = QStringLiteral(" Lost connection, closed.  ");
const QString kReopening = QStringLiteral(" Reopening...");
const QString kRefused = QStringLiteral(" Error: Connection refused");

// A link on a fake clock whose rounds the test drives, and every event's text it told.
struct SupervisedLink {
    FakeClock clock;
    TcpLink link{TcpLink::Options{.clock = clock.clock()}};
    QStringList told;

    explicit SupervisedLink(const QString &port)
    {
        link.address() = {QStringLiteral("127.0.0.1"), port};
        QObject::connect(&link, &Link::happened, &link, [this](const LinkEvent &event) { told << text(event); });
        link.start();
    }
    explicit SupervisedLink(quint16 port) : SupervisedLink(QString::number(port)) {}

    void round(double seconds = 4.5)
    {
        clock.now += seconds;
        link.handleKeepAliveTick();
    }
    DeviceSocket::State state() { return link.socket().state(); }
};

} // namespace

class TestSupervision : public QObject
{
    Q_OBJECT

private slots:
    void silentControllerCyclesEveryRound();
    void refusedConnectionIsRetriedWithLostAndReopenLines();
    void unreachableControllerRestartsSilently();
    void controllerClosingItsEndIsNoError();
    void keepAliveOnlyWhileConnected();
    void watchdogFiresStrictlyAfterFiveSeconds_data();
    void watchdogFiresStrictlyAfterFiveSeconds();
    void editedPortIsUsedByTheNextAttempt();
    void badPortTextIsReportedAndRetried_data();
    void badPortTextIsReportedAndRetried();
    void closedLinkStaysClosedUntilStart_data();
    void closedLinkStaysClosedUntilStart();
    void programsClockRunsTheRoundsFromStartToClose();
};

void TestSupervision::silentControllerCyclesEveryRound()
{
    FakeController controller;
    SupervisedLink s(controller.port());
    QTRY_COMPARE(s.told, QStringList({kOpening, kConnected}));

    for (int cycle = 2; cycle <= 3; ++cycle) {
        s.round();
        QTRY_COMPARE(controller.connections(), cycle);
        QTRY_COMPARE(s.told.count(kConnected), cycle);
    }
    QCOMPARE(s.told, QStringList({kOpening, kConnected, kLost, kReopening, kConnected, kLost, kReopening, kConnected}));
}

void TestSupervision::refusedConnectionIsRetriedWithLostAndReopenLines()
{
    ClosedPort closed;
    SupervisedLink s(closed.port());
    QTRY_COMPARE(s.told, QStringList({kOpening, kRefused}));
    QVERIFY(s.state() != DeviceSocket::Closed && s.state() != DeviceSocket::Connecting);

    s.round();
    QTRY_COMPARE(s.told, QStringList({kOpening, kRefused, kLost, kReopening, kRefused}));
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
    QTest::qWait(200);   // let the queue fill; the link's attempt must then hang

    SupervisedLink s(jammed.serverPort());
    for (int round = 0; round < 3; ++round) {
        QTest::qWait(100);
        QCOMPARE(s.state(), DeviceSocket::Connecting);
        s.round();
    }
    QCOMPARE(s.told, QStringList({kOpening}));
}

void TestSupervision::controllerClosingItsEndIsNoError()
{
    FakeController controller;
    SupervisedLink s(controller.port());
    QVERIFY(controller.waitForClient());
    QTRY_COMPARE(s.state(), DeviceSocket::Connected);
    controller.send(QByteArray("\xAF" "bye", 4));
    QTRY_VERIFY(s.link.lastDataTime().has_value());
    controller.closeClient();
    QTRY_COMPARE(s.state(), DeviceSocket::Closing);

    s.round(4.5);   // still within five seconds of the last byte
    QCOMPARE(s.told, QStringList({kOpening, kConnected, QStringLiteral(" bye")}));

    s.round(1.0);
    QTRY_COMPARE(controller.connections(), 2);
    QTRY_COMPARE(s.told, QStringList({kOpening, kConnected, QStringLiteral(" bye"), kLost, kReopening, kConnected}));
}

void TestSupervision::keepAliveOnlyWhileConnected()
{
    FakeController controller;
    SupervisedLink s(controller.port());
    QTRY_COMPARE(s.state(), DeviceSocket::Connected);
    controller.send(statusFrame());
    QTRY_VERIFY(s.link.lastDataTime().has_value());

    s.round(1.0);
    QTRY_COMPARE(controller.received(), QByteArray("\xA3", 1));

    controller.closeClient();
    QTRY_COMPARE(s.state(), DeviceSocket::Closing);
    s.round(1.0);
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
    SupervisedLink s(controller.port());
    QTRY_COMPARE(s.state(), DeviceSocket::Connected);
    controller.send(statusFrame());
    QTRY_VERIFY(s.link.lastDataTime().has_value());
    const QSignalSpy down(&s.link, &Link::linkDown);

    s.round(silence);
    QCOMPARE(s.told.contains(kLost), fires);
    QCOMPARE(s.link.lastDataTime().has_value(), !fires);
    QCOMPARE(down.count(), fires ? 1 : 0);
}

void TestSupervision::editedPortIsUsedByTheNextAttempt()
{
    FakeController controller;
    ClosedPort closed;
    SupervisedLink s(closed.port());
    QTRY_COMPARE(s.told.size(), 2);

    s.link.address().port = QString::number(controller.port());
    QCOMPARE(controller.connections(), 0);
    s.round();
    QVERIFY(controller.waitForClient());
    QTRY_COMPARE(s.told.back(), kConnected);
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
    SupervisedLink s(port);
    QCOMPARE(s.told, QStringList({kOpening}));
    QTRY_COMPARE(s.told.size(), 2);
    QVERIFY(s.told[1].startsWith(QStringLiteral(" Error: Invalid port")));
    QCOMPARE(s.state(), DeviceSocket::Failed);

    s.round();
    QCOMPARE(s.told.mid(2, 2), QStringList({kLost, kReopening}));
    QTRY_COMPARE(s.told.size(), 5);
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
    SupervisedLink s(controller.port());
    QVERIFY(controller.waitForClient());
    QTRY_COMPARE(s.state(), DeviceSocket::Connected);
    const QStringList before = s.told;

    // Closing hangs up at once and tells nothing.
    s.link.close();
    QCOMPARE(s.state(), DeviceSocket::Closed);
    QTRY_COMPARE(controller.client()->state(), QAbstractSocket::UnconnectedState);
    for (int round = 0; round < 3; ++round) {
        s.round();
        QCOMPARE(s.state(), DeviceSocket::Closed);
    }
    QCOMPARE(controller.received(), QByteArray());
    QCOMPARE(s.told, before);
    if (!startAgain)
        return;
    s.link.start();
    QVERIFY(controller.waitForClient(2));
    QTRY_COMPARE(s.told.back(), kConnected);
    QVERIFY(!s.told.contains(kReopening));
}

void TestSupervision::programsClockRunsTheRoundsFromStartToClose()
{
    // The program's own clock: its timer, as profiles know it, ticks from start() to close().
    const ClosedPort closed;
    TcpLink link;
    link.address() = {QStringLiteral("127.0.0.1"), QString::number(closed.port())};
    auto *timer = link.findChild<QTimer *>(QStringLiteral("tmrKeepAlive"));
    QVERIFY(timer && !timer->isActive());
    link.start();
    QVERIFY(timer->isActive());
    QCOMPARE(timer->intervalAsDuration(), Supervisor::kRoundInterval);
    link.close();
    QVERIFY(!timer->isActive());
}

QTEST_GUILESS_MAIN(TestSupervision)
#include "tst_supervision.moc"
