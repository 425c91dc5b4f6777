// The single-instance rule, with real panel processes.

#include "Gui/SingleInstance.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void secondInstanceEndsSilently();
    void lockOfAKilledInstanceIsTakenOver();

private:
    QProcess *startPanel();
    QString lockFile() const { return m_runtime->path() + "/norvane.lock"; }

    std::unique_ptr<QTemporaryDir> m_runtime;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

void TestSingleInstance::init()
{
    m_runtime = std::make_unique<QTemporaryDir>();
    QVERIFY(m_runtime->isValid());
    QFile::setPermissions(m_runtime->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", m_runtime->path().toLocal8Bit());
}

void TestSingleInstance::cleanup()
{
    for (auto &process : m_processes) {
        process->kill();
        process->waitForFinished();
    }
    m_processes.clear();
}

QProcess *TestSingleInstance::startPanel()
{
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->start(QStringLiteral(NORVANE_PATH), {});
    m_processes.push_back(std::move(process));
    return m_processes.back().get();
}

void TestSingleInstance::secondInstanceEndsSilently()
{
    QProcess *first = startPanel();
    QVERIFY(first->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lockFile()), 10000);

    QProcess *second = startPanel();
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(second->readAll(), QByteArray());
    QCOMPARE(first->state(), QProcess::Running);
}

void TestSingleInstance::lockOfAKilledInstanceIsTakenOver()
{
    QProcess *first = startPanel();
    QVERIFY(first->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lockFile()), 10000);
    ::kill(static_cast<pid_t>(first->processId()), SIGKILL);
    QVERIFY(first->waitForFinished());
    QVERIFY(QFile::exists(lockFile()));

    QVERIFY(acquireSingleInstanceLock() != nullptr);
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
