// View, Trends in a panel that does not link the Trends window: it loads the build's
// plugin, or writes one console line saying which file is missing and changes nothing else.

#include "PanelSupport.h"

#include <QApplication>
#include <QTemporaryDir>

class TestTrendsPlugin : public QObject
{
    Q_OBJECT

private slots:
    void opensOrSaysWhy_data();
    void opensOrSaysWhy();
};

void TestTrendsPlugin::opensOrSaysWhy_data()
{
    // %e: an empty folder, %j: one with a junk plugin file, %o: one with another plugin in its place
    QTest::addColumn<QString>("pluginPath");
    QTest::addColumn<QString>("reason");       // in the console's one new line; empty when Trends opens

    QTest::newRow("the build's plugin") << QStringLiteral(NORVANE_TRENDS_DIR) << QString();
    QTest::newRow("no plugin in the folder")
        << QStringLiteral("%e") << QStringLiteral("plugin: libnorvane_trends.so not found in %e");
    QTest::newRow("first folder without, second with")
        << QStringLiteral("%e:" NORVANE_TRENDS_DIR) << QString();
    QTest::newRow("no folder at all")
        << QString() << QStringLiteral("plugin: NORVANE_PLUGIN_PATH names no folder");
    QTest::newRow("a file that is no plugin, reported rather than skipped")
        << QStringLiteral("%j:" NORVANE_TRENDS_DIR)
        << QStringLiteral("'%j/libnorvane_trends.so'");
#ifdef NORVANE_OTHER_PLUGIN
    QTest::newRow("another interface's plugin, refused unloaded")
        << QStringLiteral("%o:" NORVANE_TRENDS_DIR)
        << QStringLiteral("%o/libnorvane_trends.so is org.norvane.DeviceLink/");
#endif
}

void TestTrendsPlugin::opensOrSaysWhy()
{
    QFETCH(QString, pluginPath);
    QFETCH(QString, reason);

    QTemporaryDir empty;
    QTemporaryDir junk;
    QFile file(junk.filePath(QStringLiteral("libnorvane_trends.so")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a library") > 0);
    file.close();
    QTemporaryDir other;
#ifdef NORVANE_OTHER_PLUGIN
    QVERIFY(QFile::copy(QStringLiteral(NORVANE_OTHER_PLUGIN), other.filePath(QStringLiteral("libnorvane_trends.so"))));
#endif
    const auto place = [&](QString text) {
        return text.replace(QStringLiteral("%e"), empty.path())
            .replace(QStringLiteral("%j"), junk.path())
            .replace(QStringLiteral("%o"), other.path());
    };
    qputenv("NORVANE_PLUGIN_PATH", place(pluginPath).toLocal8Bit());

    FakeController controller;
    FakeClock clock;
    const std::unique_ptr<TcpPanel> panel = makePanel(clock, controller.port());
    QVERIFY(controller.waitForClient());
    panel->show();
    QVERIFY(QTest::qWaitForWindowActive(panel.get()));
    const QStringList before = consoleTexts(*panel);
    const QWidgetList windowsBefore = QApplication::topLevelWidgets();
    const QByteArray sent = controller.received();

    QTest::keyClick(panel.get(), Qt::Key_T, Qt::ControlModifier);
    auto *trends = panel->findChild<QWidget *>(QStringLiteral("TrendsWindow"));
    const QStringList added = consoleTexts(*panel).mid(before.size());
    if (reason.isEmpty()) {
        QVERIFY(trends);
        QVERIFY(QTest::qWaitForWindowExposed(trends));
        QCOMPARE(trends->windowTitle(), QStringLiteral("Trends"));
        QCOMPARE(added, QStringList());
    } else {
        QVERIFY(!trends);
        QCOMPARE(added.size(), 1);
        QVERIFY2(added.front().startsWith(QStringLiteral(" Trends need the norvane package's plugin: "))
                     && added.front().contains(place(reason)),
                 qPrintable(added.front()));
        QCOMPARE(QApplication::topLevelWidgets(), windowsBefore);
        QVERIFY(QApplication::activeWindow() == panel.get());
    }
    QCOMPARE(consoleTexts(*panel).mid(0, before.size()), before);
    QCOMPARE(controller.received(), sent);
}

QTEST_MAIN(TestTrendsPlugin)
#include "tst_trendsplugin.moc"
