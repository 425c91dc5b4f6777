// Starting norvane-sim as a child: its port, its lines, and failures reported with its own words.

#include "tests/support/SimProcess.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

class TestSimProcess : public QObject
{
    Q_OBJECT

private slots:
    void reportsItsPortAndQuitsCleanly();
    void reportsLinesAndTheEndAsEvents();
    void failureSaysWhy_data();
    void failureSaysWhy();
    void takenPortFailsWithoutWaiting();
};

void TestSimProcess::reportsItsPortAndQuitsCleanly()
{
    SimProcess sim(QStringLiteral(NORVANE_SIM_PATH));
    sim.start({QStringLiteral("--quiet")});
    QVERIFY2(sim.waitForListening(), qPrintable(sim.errorString()));
    QVERIFY(sim.port() != 0);

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, sim.port());
    QVERIFY(client.waitForConnected(5000));
    QVERIFY(client.waitForReadyRead(5000));   // status frames flow

    QVERIFY2(sim.stop(), qPrintable(sim.errorString()));
    QVERIFY(!sim.isRunning());
}

// The soak's way: no blocking wait, everything through the event loop.
void TestSimProcess::reportsLinesAndTheEndAsEvents()
{
    SimProcess sim(QStringLiteral(NORVANE_SIM_PATH));
    QSignalSpy listening(&sim, &SimProcess::listening);
    QSignalSpy lines(&sim, &SimProcess::lineRead);
    QSignalSpy finished(&sim, &SimProcess::finished);
    sim.start({});
    QVERIFY(listening.wait(10000));
    const auto port = listening.at(0).at(0).value<quint16>();
    QCOMPARE(port, sim.port());
    QCOMPARE(lines.at(0).at(0).toString(), QStringLiteral("listening on 127.0.0.1:%1").arg(port));

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(client.waitForConnected(5000));
    const QString connected = QStringLiteral(" 127.0.0.1:%1 connected").arg(client.localPort());
    QTRY_VERIFY(std::any_of(lines.cbegin(), lines.cend(), [&](const QList<QVariant> &line) {
        return line.at(0).toString().endsWith(connected);
    }));

    sim.terminate();
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(0).at(0).toInt(), 0);
    QCOMPARE(listening.size(), 1);
}

void TestSimProcess::failureSaysWhy_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("why");
    const QString sim = QStringLiteral(NORVANE_SIM_PATH);
    QTest::newRow("no such program") << sim + QStringLiteral(".missing") << QStringList() << QStringLiteral("cannot run ");
    QTest::newRow("rate zero") << sim << QStringList{QStringLiteral("--rate"), QStringLiteral("0")}
                               << QStringLiteral("exited with code 2 before listening: norvane-sim: --rate needs");
    QTest::newRow("faults that do not combine") << sim << QStringList{QStringLiteral("--silent"), QStringLiteral("--split")}
                                                << QStringLiteral("--silent and --split do not combine");
}

void TestSimProcess::failureSaysWhy()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QString, why);
    SimProcess sim(program);
    QSignalSpy failed(&sim, &SimProcess::failed);
    sim.start(arguments);
    QVERIFY(!sim.waitForListening());
    QVERIFY2(sim.errorString().contains(why), qPrintable(sim.errorString()));
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed.at(0).at(0).toString(), sim.errorString());
    QVERIFY(!sim.isListening());
}

void TestSimProcess::takenPortFailsWithoutWaiting()
{
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress::LocalHost));
    SimProcess sim(QStringLiteral(NORVANE_SIM_PATH));
    QSignalSpy failed(&sim, &SimProcess::failed);
    sim.start({QStringLiteral("--quiet")}, holder.serverPort());
    QVERIFY(failed.wait(10000));
    QVERIFY2(sim.errorString().contains(QStringLiteral("cannot listen on 127.0.0.1:%1").arg(holder.serverPort())),
             qPrintable(sim.errorString()));
}

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_simprocess.moc"
