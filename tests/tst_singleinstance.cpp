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
    void onlyALiveHolderMeansAnotherRuns_data();
    void onlyALiveHolderMeansAnotherRuns();
    void unusableLockFoldersDoNotStopThePanel_data();
    void unusableLockFoldersDoNotStopThePanel();

private:
    QProcess *startPanel(const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());
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

QProcess *TestSingleInstance::startPanel(const QProcessEnvironment &environment)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setProcessEnvironment(environment);
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

    QVERIFY(acquireSingleInstanceLock().lock != nullptr);
}

// /proc takes no new files, not even from root.
const QString kUnusable = QStringLiteral("/proc/norvane-test.lock");

void TestSingleInstance::onlyALiveHolderMeansAnotherRuns_data()
{
    QTest::addColumn<bool>("firstUsable");
    QTest::addColumn<bool>("secondUsable");
    QTest::addColumn<bool>("secondHeld");
    QTest::addColumn<InstanceLock::Outcome>("outcome");
    QTest::addColumn<int>("lockedAt");   // which path ends up locked; -1 none

    using O = InstanceLock::Outcome;
    QTest::newRow("first place free") << true << true << false << O::Held << 0;
    QTest::newRow("first unusable, second free") << false << true << false << O::Held << 1;
    QTest::newRow("first unusable, second held") << false << true << true << O::AnotherRuns << -1;
    QTest::newRow("nothing usable") << false << false << false << O::Unchecked << -1;
}

void TestSingleInstance::onlyALiveHolderMeansAnotherRuns()
{
    QFETCH(bool, firstUsable);
    QFETCH(bool, secondUsable);
    QFETCH(bool, secondHeld);
    QFETCH(InstanceLock::Outcome, outcome);
    QFETCH(int, lockedAt);

    const QStringList paths{firstUsable ? m_runtime->filePath("first/norvane.lock") : kUnusable,
                            secondUsable ? m_runtime->filePath("second.lock") : kUnusable + "2"};
    QLockFile holder(paths[1]);
    if (secondHeld)
        QVERIFY(holder.tryLock(0));

    const InstanceLock instance = acquireSingleInstanceLock(paths);
    QCOMPARE(instance.outcome, outcome);
    QCOMPARE(instance.lock != nullptr, lockedAt >= 0);
    if (lockedAt >= 0)
        QCOMPARE(instance.lock->fileName(), paths[lockedAt]);
    if (outcome == InstanceLock::Outcome::Unchecked) {
        QVERIFY2(instance.problem.contains(paths[0]) && instance.problem.contains(paths[1]),
                 qPrintable(instance.problem));
    }
}

void TestSingleInstance::unusableLockFoldersDoNotStopThePanel_data()
{
    QTest::addColumn<bool>("cacheUsable");
    QTest::newRow("temporary folder unusable, cache usable") << true;
    QTest::newRow("no usable folder at all") << false;
}

void TestSingleInstance::unusableLockFoldersDoNotStopThePanel()
{
    QFETCH(bool, cacheUsable);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    environment.insert(QStringLiteral("TMPDIR"), QStringLiteral("/proc"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), cacheUsable ? m_runtime->path() : QStringLiteral("/proc"));

    QProcess *first = startPanel(environment);
    QVERIFY(first->waitForStarted());
    if (cacheUsable) {
        const QString fallback = m_runtime->filePath(QStringLiteral("norvane/norvane.lock"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(fallback), 10000);
        // The fallback lock still keeps a second panel out.
        QProcess *second = startPanel(environment);
        QVERIFY(second->waitForFinished(10000));
        QCOMPARE(second->exitCode(), 0);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(first->peek(4096).contains("starting anyway"), 10000);
        QVERIFY(first->peek(4096).contains("/proc"));
    }
    QVERIFY(!first->waitForFinished(300));
    QCOMPARE(first->state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
