// The installed programs as a user starts them: the panel's options, its single
// instance and bad input, with real processes against a local controller.

#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

class TestPanelProgram : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void connectsWhereTheOptionsSay_data();
    void connectsWhereTheOptionsSay();
    void badOptionEndsWithStatus2_data();
    void badOptionEndsWithStatus2();
    void secondInstanceWithOptionsEndsAtOnce();
    void printsAndEndsWithoutDisplay_data();
    void printsAndEndsWithoutDisplay();

private:
    QProcess *start(const QString &program, const QStringList &arguments, QProcessEnvironment environment);
    QProcess *startPanel(const QStringList &arguments) { return start(kPanel, arguments, m_environment); }

    const QString kPanel = QStringLiteral(NORVANE_PATH);
    std::unique_ptr<QTemporaryDir> m_runtime;
    QProcessEnvironment m_environment;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

void TestPanelProgram::init()
{
    // A runtime folder of its own, so that no panel of the user's holds the lock.
    m_runtime = std::make_unique<QTemporaryDir>();
    QVERIFY(m_runtime->isValid());
    QFile::setPermissions(m_runtime->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime->path());
    m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
}

void TestPanelProgram::cleanup()
{
    for (auto &process : m_processes) {
        process->kill();
        process->waitForFinished();
    }
    m_processes.clear();
}

QProcess *TestPanelProgram::start(const QString &program, const QStringList &arguments,
                                  QProcessEnvironment environment)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment);
    process->start(program, arguments);
    m_processes.push_back(std::move(process));
    return m_processes.back().get();
}

void TestPanelProgram::connectsWhereTheOptionsSay_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("127.0.0.1") << QStringLiteral("127.0.0.1");
    // Not the built-in address, so only --address can lead the panel there.
    QTest::newRow("127.0.0.2") << QStringLiteral("127.0.0.2");
}

void TestPanelProgram::connectsWhereTheOptionsSay()
{
    QFETCH(QString, address);
    QTcpServer controller;
    if (!controller.listen(QHostAddress(address), 0))
        QSKIP("this system does not listen on that loopback address");
    QSignalSpy accepted(&controller, &QTcpServer::newConnection);

    QProcess *panel = startPanel({"--address", address, "--port", QString::number(controller.serverPort())});

    QVERIFY(accepted.wait(20000));
    QCOMPARE(panel->state(), QProcess::Running);
}

void TestPanelProgram::badOptionEndsWithStatus2_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("error");
    // Each row also names the listening controller, so a panel that carried on would connect.
    QTest::newRow("unknown option") << QStringList{"--adress", "127.0.0.1"} << "norvane: Unknown option 'adress'.";
    QTest::newRow("missing value") << QStringList{"--address"} << "norvane: Missing value after '--address'.";
    QTest::newRow("stray argument") << QStringList{"127.0.0.1"} << "norvane: Unexpected argument '127.0.0.1'.";
    QTest::newRow("port 0 after a good one") << QStringList{"--port", "0"}
                                             << "norvane: --port needs a whole number from 1 to 65535.";
}

void TestPanelProgram::badOptionEndsWithStatus2()
{
    QFETCH(QStringList, options);
    QFETCH(QString, error);
    QTcpServer controller;
    QVERIFY(controller.listen(QHostAddress::LocalHost, 0));

    QProcess *panel = startPanel(QStringList{"--address", "127.0.0.1", "--port", QString::number(controller.serverPort())}
                                 + options);

    QVERIFY(panel->waitForFinished(20000));
    QCOMPARE(panel->exitStatus(), QProcess::NormalExit);
    QCOMPARE(panel->exitCode(), 2);
    const QStringList lines = QString::fromLocal8Bit(panel->readAllStandardError()).split(u'\n');
    QCOMPARE(lines.first(), error);
    QVERIFY(lines.size() > 2);
    QCOMPARE(lines.at(1), QStringLiteral("Usage: norvane [options]"));
    QCOMPARE(panel->readAllStandardOutput(), QByteArray());
    // The process is gone, so any connection it made already waits in the backlog.
    controller.waitForNewConnection(0);
    QVERIFY(!controller.hasPendingConnections());
}

void TestPanelProgram::secondInstanceWithOptionsEndsAtOnce()
{
    QTcpServer first;
    QTcpServer second;
    QVERIFY(first.listen(QHostAddress::LocalHost, 0));
    QVERIFY(second.listen(QHostAddress::LocalHost, 0));
    QSignalSpy accepted(&first, &QTcpServer::newConnection);
    QProcess *running = startPanel({"--port", QString::number(first.serverPort())});
    QVERIFY(accepted.wait(20000));   // connecting, so past its lock

    QProcess *another = startPanel({"--address", "127.0.0.1", "--port", QString::number(second.serverPort())});

    QVERIFY(another->waitForFinished(20000));
    QCOMPARE(another->exitStatus(), QProcess::NormalExit);
    QCOMPARE(another->exitCode(), 0);
    QCOMPARE(another->readAllStandardError(), QByteArray());
    second.waitForNewConnection(0);
    QVERIFY(!second.hasPendingConnections());
    QCOMPARE(running->state(), QProcess::Running);
}

void TestPanelProgram::printsAndEndsWithoutDisplay_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("firstLine");
    const QString version = QStringLiteral(NORVANE_VERSION);
    QTest::newRow("panel --version") << kPanel << "--version" << "norvane " + version;
    QTest::newRow("panel --help") << kPanel << "--help" << "Usage: norvane [options]";
    QTest::newRow("sim --version") << QStringLiteral(NORVANE_SIM_PATH) << "--version" << "norvane-sim " + version;
}

void TestPanelProgram::printsAndEndsWithoutDisplay()
{
    QFETCH(QString, program);
    QFETCH(QString, option);
    QFETCH(QString, firstLine);
    QProcessEnvironment headless = m_environment;
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        headless.remove(QString::fromLatin1(name));

    QProcess *process = start(program, {option}, headless);

    QVERIFY(process->waitForFinished(20000));
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(process->exitCode(), 0);
    QCOMPARE(QString::fromLocal8Bit(process->readAllStandardOutput()).section(u'\n', 0, 0), firstLine);
    QCOMPARE(process->readAllStandardError(), QByteArray());
}

QTEST_GUILESS_MAIN(TestPanelProgram)
#include "tst_panelprogram.moc"
