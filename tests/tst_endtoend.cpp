// The real panel against the real simulator process on an ephemeral port.

#include "TestSupport.h"

#include "sim/SimProcess.h"

#include <QCheckBox>
#include <QPushButton>

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void commandsShowInTheReadbacks();
    void echoAppearsOnTheConsole();
    void warmRebootIsSurvived();

private:
    QLineEdit *box(const char *name) { return m_panel->findChild<QLineEdit *>(QString::fromLatin1(name)); }

    FakeClock m_clock;
    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<TcpPanel> m_panel;
};

void TestEndToEnd::init()
{
    m_sim = std::make_unique<SimProcess>(QStringLiteral(NORVANE_SIM_PATH));
    m_sim->start({"--rate", "20", "--quiet"});
    QVERIFY2(m_sim->waitForListening(10000), qPrintable(m_sim->errorString()));

    m_panel = std::make_unique<TcpPanel>(TcpLink::Options{m_clock.clock(), false});
    m_panel->setAddress(m_panel->host(), QString::number(m_sim->port()));
    m_panel->load();
    m_panel->show();
    QTRY_COMPARE(m_panel->guard(), FormMain::PanelGuard::Applied);
}

void TestEndToEnd::cleanup()
{
    m_panel.reset();
    QVERIFY2(m_sim->stop(30000), qPrintable(m_sim->errorString()));
}

void TestEndToEnd::commandsShowInTheReadbacks()
{
    auto *current = box("txtEclCurrent");
    QTest::mouseClick(current, Qt::LeftButton);
    current->selectAll();
    QTest::keyClicks(current, QStringLiteral("1200"));
    QTest::keyClick(current, Qt::Key_Return);
    QTRY_COMPARE(box("txtEclCurrentDac")->text(), QStringLiteral("1200"));

    auto *piezo = box("txtUpPiezo");
    QTest::mouseClick(piezo, Qt::LeftButton);
    piezo->selectAll();
    QTest::keyClicks(piezo, QStringLiteral("63.3"));
    QTest::mouseClick(m_panel->findChild<QPushButton *>(QStringLiteral("cmdUpPiezo")), Qt::LeftButton);
    QTRY_COMPARE(box("txtUpPiezoDac")->text(), QStringLiteral("0"));

    auto *heater = m_panel->findChild<QCheckBox *>(QStringLiteral("chkHeater"));
    QTest::keyClick(heater, Qt::Key_Space);
    QTRY_VERIFY(heater->isChecked());
    // The controller's frames keep it checked: the switch was really sent.
    QTest::qWait(200);
    QVERIFY(heater->isChecked());
}

void TestEndToEnd::echoAppearsOnTheConsole()
{
    QTest::mouseClick(m_panel->findChild<QPushButton *>(QStringLiteral("cmdEcho")), Qt::LeftButton);
    // A status frame can share the reply's arrival; the line then carries its bytes too.
    const QString echo = QStringLiteral(" Hi, this should show up on the console.");
    const auto echoed = [&] {
        const QStringList lines = consoleTexts(*m_panel);
        return std::any_of(lines.cbegin(), lines.cend(), [&](const QString &line) { return line.startsWith(echo); });
    };
    QTRY_VERIFY(echoed());
}

void TestEndToEnd::warmRebootIsSurvived()
{
    QTest::mouseClick(m_panel->findChild<QPushButton *>(QStringLiteral("cmdWarmBoot")), Qt::LeftButton);
    QTRY_COMPARE(m_panel->socket().state(), DeviceSocket::Closing);
    QTRY_VERIFY(findText(*m_panel, "txtMsg").contains(QStringLiteral(" Warm reboot: controller restarting")));
    m_clock.now += 9.0;
    m_panel->handleKeepAliveTick();
    QCOMPARE(consoleTexts(*m_panel).mid(consoleTexts(*m_panel).size() - 2),
             QStringList({" Lost connection, closed.  ", " Reopening..."}));
    QTRY_COMPARE(m_panel->socket().state(), DeviceSocket::Connected);
    QTRY_COMPARE(box("txtEclCurrentDac")->text(), QStringLiteral("0"));
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
