// The panel attached through a control-system device: its lock per device and desk, the
// loading of its link, and the program when the device link is missing. The option itself
// is in tst_commandline.

#include "Gui/SingleInstance.h"
#include "link/DeviceLinkPlugin.h"

#include <QDir>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

Q_DECLARE_METATYPE(InstanceLock::Outcome)

namespace {

const QString kMissingPlugin = QStringLiteral("norvane: --device needs the norvane-tango package (");

// What a test may change of the environment; each is put back afterwards.
constexpr const char *kSavedNames[] = {"DISPLAY", "WAYLAND_DISPLAY", "NORVANE_PLUGIN_PATH", "XDG_RUNTIME_DIR"};

void setEnvironment(const char *name, const std::optional<QByteArray> &value)
{
    if (value)
        qputenv(name, *value);
    else
        qunsetenv(name);
}

} // namespace

namespace QTest {
template <> char *toString(const InstanceLock::Outcome &outcome)
{
    constexpr const char *kNames[] = {"Held", "AnotherRuns", "Unchecked"};
    return qstrdup(kNames[static_cast<int>(outcome)]);
}
} // namespace QTest

class TestDeviceOption : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void lockPerDeviceAndDesk_data();
    void lockPerDeviceAndDesk();
    void deskFollowsTheDisplay_data();
    void deskFollowsTheDisplay();

    void pluginLoading_data();
    void pluginLoading();

    void programWithoutDeviceLink_data();
    void programWithoutDeviceLink();

private:
    QProcessEnvironment panelEnvironment(const QString &pluginPath) const;

    std::unique_ptr<QTemporaryDir> m_folder;
    QList<std::optional<QByteArray>> m_saved;
};

void TestDeviceOption::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("norvane"));
}

void TestDeviceOption::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    QFile::setPermissions(m_folder->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_saved.clear();
    for (const char *name : kSavedNames)
        m_saved << (qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
}

void TestDeviceOption::cleanup()
{
    for (qsizetype i = 0; i < m_saved.size(); ++i)
        setEnvironment(kSavedNames[i], m_saved[i]);
}

void TestDeviceOption::lockPerDeviceAndDesk_data()
{
    // An empty device stands for a panel on its own connection.
    QTest::addColumn<QString>("firstDevice");
    QTest::addColumn<QString>("firstDesk");
    QTest::addColumn<QString>("secondDevice");
    QTest::addColumn<QString>("secondDesk");
    QTest::addColumn<InstanceLock::Outcome>("outcome");

    using O = InstanceLock::Outcome;
    QTest::newRow("same device, same desk") << "lab/bench/1" << ":0" << "lab/bench/1" << ":0" << O::AnotherRuns;
    QTest::newRow("device name in other case") << "lab/bench/1" << ":0" << "LAB/Bench/1" << ":0" << O::AnotherRuns;
    QTest::newRow("other device, same desk") << "lab/bench/1" << ":0" << "lab/bench/2" << ":0" << O::Held;
    QTest::newRow("same device, other desk") << "lab/bench/1" << ":0" << "lab/bench/1" << ":1" << O::Held;
    QTest::newRow("same device, X and Wayland") << "lab/bench/1" << ":0" << "lab/bench/1" << "wayland-0" << O::Held;
    QTest::newRow("plain panel, then a device") << "" << ":0" << "lab/bench/1" << ":0" << O::Held;
    QTest::newRow("a device, then a plain panel") << "lab/bench/1" << ":0" << "" << ":0" << O::Held;
}

void TestDeviceOption::lockPerDeviceAndDesk()
{
    QFETCH(QString, firstDevice);
    QFETCH(QString, firstDesk);
    QFETCH(QString, secondDevice);
    QFETCH(QString, secondDesk);
    QFETCH(InstanceLock::Outcome, outcome);

    const auto path = [this](const QString &device, const QString &desk) {
        return m_folder->filePath(device.isEmpty() ? QStringLiteral("norvane.lock") : deviceLockFileName(device, desk));
    };
    const InstanceLock first = acquireSingleInstanceLock({path(firstDevice, firstDesk)});
    QCOMPARE(first.outcome, InstanceLock::Outcome::Held);

    const InstanceLock second = acquireSingleInstanceLock({path(secondDevice, secondDesk)});
    QCOMPARE(second.outcome, outcome);
}

void TestDeviceOption::deskFollowsTheDisplay_data()
{
    QTest::addColumn<bool>("hasDisplay");
    QTest::addColumn<bool>("hasWayland");
    QTest::addColumn<QString>("desk");

    QTest::newRow("X display") << true << false << ":1";
    QTest::newRow("X display beats Wayland") << true << true << ":1";
    QTest::newRow("Wayland alone") << false << true << "wayland-1";
    QTest::newRow("neither") << false << false << "";
}

void TestDeviceOption::deskFollowsTheDisplay()
{
    QFETCH(bool, hasDisplay);
    QFETCH(bool, hasWayland);
    QFETCH(QString, desk);
    setEnvironment("DISPLAY", hasDisplay ? std::optional<QByteArray>(":1") : std::nullopt);
    setEnvironment("WAYLAND_DISPLAY", hasWayland ? std::optional<QByteArray>("wayland-1") : std::nullopt);
    qputenv("XDG_RUNTIME_DIR", m_folder->path().toLocal8Bit());

    QCOMPARE(currentDesk(), desk);
    const InstanceLock instance = acquireDeviceInstanceLock(QStringLiteral("lab/bench/1"));
    QCOMPARE(instance.outcome, InstanceLock::Outcome::Held);
    QCOMPARE(instance.lock->fileName(), m_folder->filePath(deviceLockFileName("lab/bench/1", desk)));
    // The plain panel's lock beside it stays free.
    QCOMPARE(acquireSingleInstanceLock().outcome, InstanceLock::Outcome::Held);
}

void TestDeviceOption::pluginLoading_data()
{
    // Folders of NORVANE_PLUGIN_PATH in order: "empty", "broken" (a file of that name that
    // is no plugin), or "missing" (no such folder).
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QString>("problemNames");   // folder whose file or name the problem names

    QTest::newRow("nothing anywhere") << QStringList{"empty", "missing"} << "empty";
    QTest::newRow("broken file is reported") << QStringList{"broken"} << "broken";
    QTest::newRow("first file found is the one") << QStringList{"empty", "broken", "broken2"} << "broken";
    QTest::newRow("variable set but empty") << QStringList{} << "NORVANE_PLUGIN_PATH";
}

void TestDeviceOption::pluginLoading()
{
    QFETCH(QStringList, folders);
    QFETCH(QString, problemNames);

    QStringList paths;
    for (const QString &name : folders) {
        const QString folder = m_folder->filePath(name);
        if (name != QLatin1String("missing"))
            QVERIFY(QDir().mkpath(folder));
        if (name.startsWith(QLatin1String("broken"))) {
            QFile file(QDir(folder).filePath(QLatin1String(kDeviceLinkPluginFile)));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("not a shared object\n");
        }
        paths << folder;
    }
    qputenv("NORVANE_PLUGIN_PATH", paths.join(u':').toLocal8Bit());

    const DeviceLinkPlugin plugin = loadDeviceLinkPlugin();
    QVERIFY(plugin.factory == nullptr);
    QVERIFY(!plugin.problem.isEmpty());
    const QString named = problemNames == QLatin1String("NORVANE_PLUGIN_PATH")
                              ? problemNames
                              : m_folder->filePath(problemNames) + (problemNames.startsWith("broken") ? "/" : "");
    QVERIFY2(plugin.problem.contains(named), qPrintable(plugin.problem));
    if (folders.contains(QLatin1String("broken2")))
        QVERIFY2(!plugin.problem.contains(QLatin1String("broken2")), qPrintable(plugin.problem));
}

void TestDeviceOption::programWithoutDeviceLink_data()
{
    QTest::addColumn<QString>("plugin");     // "none", "broken" or "other version"
    QTest::addColumn<QString>("heldDesk");   // the desk of a panel already on the device; "-": none
    QTest::addColumn<int>("status");

    QTest::newRow("no plugin") << "none" << "-" << 2;
    QTest::newRow("broken plugin") << "broken" << "-" << 2;
    QTest::newRow("plugin of another version") << "other version" << "-" << 2;
    QTest::newRow("panel on the device elsewhere") << "none" << ":7" << 2;
    // The lock comes first: the second panel of a desk ends silently before any plugin.
    // The lock here is the test's own, as the desk is the panel's (DISPLAY=:5).
    QTest::newRow("panel on the device here") << "none" << ":5" << 0;
}

void TestDeviceOption::programWithoutDeviceLink()
{
    QFETCH(QString, plugin);
    QFETCH(QString, heldDesk);
    QFETCH(int, status);

    const QString device = QStringLiteral("lab/bench/1");
    QVERIFY(QDir().mkpath(m_folder->filePath("plugins")));
    if (plugin == QLatin1String("broken")) {
        QFile file(m_folder->filePath(QStringLiteral("plugins/") + QLatin1String(kDeviceLinkPluginFile)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\x7f" "ELF but no more");
    }
    if (plugin == QLatin1String("other version"))
        QVERIFY(QFile::copy(QStringLiteral(TST_OTHERVERSIONPLUGIN_PATH),
                            m_folder->filePath(QStringLiteral("plugins/") + QLatin1String(kDeviceLinkPluginFile))));
    QLockFile other(m_folder->filePath(deviceLockFileName(device, heldDesk)));
    if (heldDesk != QLatin1String("-"))
        QVERIFY(other.tryLock(0));

    const QString recording = m_folder->filePath("bench.csv");

    QProcess panel;
    panel.setProcessEnvironment(panelEnvironment(m_folder->filePath("plugins")));
    panel.start(QStringLiteral(NORVANE_PATH), {"--device", device, "--record", recording});
    // A panel that went on to show its window would not end by itself.
    QVERIFY(panel.waitForFinished(20000));
    QCOMPARE(panel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(panel.exitCode(), status);
    QCOMPARE(panel.readAllStandardOutput(), QByteArray());
    QVERIFY(!QFile::exists(recording));

    const QString errors = QString::fromLocal8Bit(panel.readAllStandardError());
    if (status == 0) {
        QCOMPARE(errors, QString());
        return;
    }
    QVERIFY2(errors.startsWith(kMissingPlugin) && errors.endsWith(QLatin1String(")\n")), qPrintable(errors));
    QCOMPARE(errors.count(u'\n'), 1);
    QVERIFY2(errors.contains(m_folder->filePath("plugins")), qPrintable(errors));
    if (plugin == QLatin1String("other version")) {
        const QString ours = QStringLiteral(NORVANE_DEVICE_LINK_IID).section(u'/', -1);
        QVERIFY2(errors.contains(QLatin1String("version 0.0-other")) && errors.contains(QLatin1String("version ") + ours),
                 qPrintable(errors));
    }
}

QProcessEnvironment TestDeviceOption::panelEnvironment(const QString &pluginPath) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_folder->path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":5"));
    environment.insert(QStringLiteral("NORVANE_PLUGIN_PATH"), pluginPath);
    return environment;
}

QTEST_MAIN(TestDeviceOption)
#include "tst_deviceoption.moc"
