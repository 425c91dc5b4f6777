// Receive dispatch: what each arrival from a real local controller becomes.

#include "PanelSupport.h"

#include "status/Arrival.h"

class TestDispatch : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void arrivals_data();
    void arrivals();
    void splitStatusFrameIsNotDecoded();
    void classify_data();
    void classify();

private:
    // Sends one arrival and waits until the panel has handled it.
    void deliver(const QByteArray &bytes) { QVERIFY(feed(*m_controller, m_clock, *m_panel, bytes)); }

    FakeClock m_clock;
    std::unique_ptr<FakeController> m_controller;
    std::unique_ptr<TcpPanel> m_panel;
};

void TestDispatch::init()
{
    m_controller = std::make_unique<FakeController>();
    m_panel = makePanel(m_clock, m_controller->port());
    QVERIFY(panelConnected(*m_controller, *m_panel));
}

void TestDispatch::cleanup()
{
    m_panel.reset();
    m_controller.reset();
}

void TestDispatch::arrivals_data()
{
    QTest::addColumn<QByteArray>("arrival");
    QTest::addColumn<QStringList>("lines");   // console lines after the connection lines
    QTest::addColumn<bool>("decoded");

    const QByteArray status = statusFrame();
    const QByteArray echo = QByteArray("\xAF") + "Hi, this should show up on the console.";
    QByteArray message33(33, 'x');
    message33[0] = '\xAF';
    QByteArray other33(33, 'x');
    other33[0] = '\xA2';

    QTest::newRow("lone 0xAF shows nothing") << QByteArray("\xAF", 1) << QStringList() << false;
    QTest::newRow("0xAF and one byte") << QByteArray("\xAFZ", 2) << QStringList({" Z"}) << false;
    QTest::newRow("echo text") << echo << QStringList({" Hi, this should show up on the console."}) << false;
    QTest::newRow("status frame") << status << QStringList() << true;
    QTest::newRow("33 bytes opening 0xAF are a message")
        << message33 << QStringList({" " + QString(32, u'x')}) << false;
    QTest::newRow("33 bytes opening other are dropped") << other33 << QStringList() << false;
    QTest::newRow("32-byte status frame is dropped") << status.left(32) << QStringList() << false;
    QTest::newRow("two status frames together are dropped") << status + status << QStringList() << false;
    QTest::newRow("message then status is one message")
        << QByteArray("\xAF" "ab", 3) + status
        << QStringList({" ab" + QString::fromLatin1(status)}) << false;
    QTest::newRow("bytes map one to one")
        << QByteArray("\xAF\xE9\xA1\xFF", 4) << QStringList({QString::fromUtf8(" é¡ÿ")}) << false;
    QTest::newRow("line breaks inside stay")
        << QByteArray("\xAF" "one\r\ntwo", 9) << QStringList({" one", "two"}) << false;
    QTest::newRow("markup is shown as text")
        << QByteArray("\xAF<b>bold</b>") << QStringList({" <b>bold</b>"}) << false;
}

void TestDispatch::arrivals()
{
    QFETCH(QByteArray, arrival);
    QFETCH(QStringList, lines);
    QFETCH(bool, decoded);

    deliver(arrival);
    QCOMPARE(consoleTexts(*m_panel).mid(2), lines);
    QCOMPARE(m_panel->guard(), decoded ? FormMain::PanelGuard::Applied : FormMain::PanelGuard::BeforeFirstFrame);
}

void TestDispatch::splitStatusFrameIsNotDecoded()
{
    QByteArray frame = statusFrame();
    frame[20] = '\xAF';   // the second part then opens like a message
    deliver(frame.left(20));
    deliver(frame.mid(20));
    QCOMPARE(m_panel->guard(), FormMain::PanelGuard::BeforeFirstFrame);
    QCOMPARE(consoleTexts(*m_panel).mid(2), QStringList({" " + QString::fromLatin1(frame.mid(21))}));
}

void TestDispatch::classify_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("kind");
    QTest::newRow("empty") << QByteArray() << int(Arrival::Dropped);
    QTest::newRow("status") << statusFrame() << int(Arrival::Status);
    QTest::newRow("34 bytes opening 0xA1") << statusFrame() + 'x' << int(Arrival::Dropped);
    QTest::newRow("message") << QByteArray("\xAFx") << int(Arrival::Message);
}

void TestDispatch::classify()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, kind);
    QCOMPARE(int(classifyArrival(bytes)), kind);
}

QTEST_MAIN(TestDispatch)
#include "tst_dispatch.moc"
