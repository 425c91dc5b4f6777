// The real panel against the real simulator process on an ephemeral port.

#include "PanelSupport.h"

#include "tests/support/SimProcess.h"

#include <QCheckBox>
#include <QPushButton>

Q_DECLARE_METATYPE(StatusReadings)

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void commandsShowInTheReadbacks();
    void echoAppearsOnTheConsole();
    void warmRebootIsSurvived();

private:
    bool open(const QStringList &simArguments);
    QLineEdit *box(const char *name) { return m_panel->findChild<QLineEdit *>(QString::fromLatin1(name)); }

    FakeClock m_clock;
    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<TcpPanel> m_panel;
};

// The simulator started with `simArguments`, and a panel on it, shown and connected.
bool TestEndToEnd::open(const QStringList &simArguments)
{
    m_sim = std::make_unique<SimProcess>(QStringLiteral(NORVANE_SIM_PATH));
    m_sim->start(simArguments + QStringList{QStringLiteral("--quiet")});
    if (!m_sim->waitForListening(10000)) {
        qWarning("%s", qPrintable(m_sim->errorString()));
        return false;
    }
    m_panel = makePanel(m_clock, m_sim->port());
    m_panel->show();
    return QTest::qWaitFor([this] { return m_panel->socket().state() == DeviceSocket::Connected; });
}

void TestEndToEnd::cleanup()
{
    m_panel.reset();
    if (m_sim)
        QVERIFY2(m_sim->stop(30000), qPrintable(m_sim->errorString()));
    m_sim.reset();
}

void TestEndToEnd::commandsShowInTheReadbacks()
{
    QVERIFY(open({QStringLiteral("--rate"), QStringLiteral("20")}));
    QTRY_COMPARE(m_panel->guard(), FormMain::PanelGuard::Applied);
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
    const auto mask = std::find_if(kSwitches.begin(), kSwitches.end(), [](const auto &row) {
        return row.command == Command::SetHeater;
    })->mask;
    QSignalSpy frames(&m_panel->link(), &Link::statusArrived);
    QTest::keyClick(heater, Qt::Key_Space);
    QVERIFY(heater->isChecked());
    // A frame of the controller's says it is on: the switch was really sent.
    const auto reportedOn = [&] {
        return std::any_of(frames.cbegin(), frames.cend(),
                           [&](const QList<QVariant> &args) { return args[0].value<StatusReadings>().flags & mask; });
    };
    QTRY_VERIFY(reportedOn());
    QVERIFY(heater->isChecked());
}

void TestEndToEnd::echoAppearsOnTheConsole()
{
    // At this rate the first status frame is due in 1000 s: the reply arrives alone.
    QVERIFY(open({QStringLiteral("--rate"), QStringLiteral("0.001")}));
    QTest::mouseClick(m_panel->findChild<QPushButton *>(QStringLiteral("cmdEcho")), Qt::LeftButton);
    QTRY_VERIFY(consoleTexts(*m_panel).contains(QStringLiteral(" Hi, this should show up on the console.")));
}

void TestEndToEnd::warmRebootIsSurvived()
{
    // The first frame is due 2 s after the simulator listens, long after the reboot's
    // message, which arrives alone; a frame on the new connection shows the bench again.
    QVERIFY(open({QStringLiteral("--rate"), QStringLiteral("0.5")}));
    QTest::mouseClick(m_panel->findChild<QPushButton *>(QStringLiteral("cmdWarmBoot")), Qt::LeftButton);
    QTRY_COMPARE(m_panel->socket().state(), DeviceSocket::Closing);
    QTRY_VERIFY(findText(*m_panel, "txtMsg").contains(QStringLiteral(" Warm reboot: controller restarting")));
    m_clock.now += 9.0;
    m_panel->handleKeepAliveTick();
    QCOMPARE(consoleTexts(*m_panel).mid(consoleTexts(*m_panel).size() - 2),
             QStringList({" Lost connection, closed.  ", " Reopening..."}));
    QTRY_COMPARE(m_panel->socket().state(), DeviceSocket::Connected);
    QTRY_COMPARE_WITH_TIMEOUT(box("txtEclCurrentDac")->text(), QStringLiteral("0"), 10000);
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
