// File → Record… on the window: the menu, a recording of a real local controller's
// frames, and the console lines.

#include "PanelSupport.h"
#include "ReadingsSupport.h"

#include "history/RecordingFormat.h"

#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

const QString kRecordText = QStringLiteral("&Record\u2026");
const QString kStopText = QStringLiteral("Stop &recording");

QStringList consoleTail(FormMain &panel)
{
    return consoleTexts(panel).mid(2);   // after Opening and Connected
}

} // namespace

class TestRecording : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void recordSitsAboveExit();
    void menuRecordsAndStops();
    void cancelledDialogRecordsNothing();
    void dialogSuggestsATimeStampedDocument();
    void writeErrorGivesTheMenuBack();
    void exitFlushesAndCloses();

private:
    QAction *recordAction() { return m_panel->findChild<QAction *>(QStringLiteral("mnuRecord")); }
    // A click on File, then the item's mnemonic.
    void chooseFromFileMenu(Qt::Key mnemonic);
    void deliver(const QByteArray &bytes) { QVERIFY(feed(*m_controller, m_clock, *m_panel, bytes, 0.25)); }

    FakeClock m_clock;
    QTemporaryDir m_dir;
    std::unique_ptr<FakeController> m_controller;
    std::unique_ptr<TcpPanel> m_panel;
    QStringList m_suggested;
    QString m_answer;
};

void TestRecording::init()
{
    m_controller = std::make_unique<FakeController>();
    m_panel = makePanel(m_clock, m_controller->port());
    m_suggested.clear();
    m_answer = m_dir.filePath(QStringLiteral("bench, night \"1\".csv"));
    m_panel->setRecordingPathChooser([this](QWidget *, const QString &suggested) {
        m_suggested << suggested;
        return m_answer;
    });
    m_panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_panel.get()));
    QVERIFY(m_controller->waitForClient());
    QTRY_COMPARE(consoleTexts(*m_panel).size(), 2);
}

void TestRecording::cleanup()
{
    m_panel.reset();
    m_controller.reset();
}

void TestRecording::chooseFromFileMenu(Qt::Key mnemonic)
{
    auto *file = m_panel->findChild<QMenu *>(QStringLiteral("mnuFile"));
    QMenuBar *bar = m_panel->menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(file->menuAction()).center());
    QTRY_VERIFY(file->isVisible());
    QTest::keyClick(file, mnemonic);
    QTRY_VERIFY(!file->isVisible());
}

void TestRecording::recordSitsAboveExit()
{
    auto *file = m_panel->findChild<QMenu *>(QStringLiteral("mnuFile"));
    QStringList items;
    for (QAction *action : file->actions())
        items << (action->isSeparator() ? QStringLiteral("-") : action->text());
    QCOMPARE(items, QStringList({kRecordText, QStringLiteral("-"), QStringLiteral("E&xit")}));
}

void TestRecording::menuRecordsAndStops()
{
    const double startedAt = m_clock.now;
    chooseFromFileMenu(Qt::Key_R);
    QCOMPARE(recordAction()->text(), kStopText);
    QCOMPARE(consoleTail(*m_panel), QStringList({QStringLiteral(" Recording to ") + m_answer}));

    deliver(frameOf(2272, 0x05));
    deliver(QByteArray("\xAF") + "Hi, all");
    chooseFromFileMenu(Qt::Key_R);
    QCOMPARE(recordAction()->text(), kRecordText);
    QCOMPARE(consoleTail(*m_panel), QStringList({QStringLiteral(" Recording to ") + m_answer,
                                                  QStringLiteral(" Hi, all"),
                                                  QStringLiteral(" Recording stopped: ") + m_answer}));
    deliver(frameOf(2272, 0x05));

    const QList<QByteArray> rows = contents(m_answer).split('\n');
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows[0] + '\n', recordingHeader());
    QVERIFY(rows[1].contains(",0.250,2272,2272,"));
    QVERIFY(rows[1].endsWith(",14.02,14.02,1,0,1,0,0,0,\r"));
    QVERIFY(rows[2].endsWith(",0.500" + QByteArray(kMessageColumn - 1, ',') + "\"Hi, all\"\r"));
    QVERIFY(rows[3].isEmpty());
    QCOMPARE(m_clock.now - startedAt, 0.75);

    // The recording only listens: the controller heard nothing from the panel.
    QVERIFY(m_controller->received().isEmpty());
}

void TestRecording::cancelledDialogRecordsNothing()
{
    m_answer.clear();
    chooseFromFileMenu(Qt::Key_R);
    QCOMPARE(m_suggested.size(), 1);
    QCOMPARE(recordAction()->text(), kRecordText);
    QVERIFY(!m_panel->recorder().isRecording());
    QCOMPARE(consoleTail(*m_panel), QStringList());
}

void TestRecording::dialogSuggestsATimeStampedDocument()
{
    chooseFromFileMenu(Qt::Key_R);
    QCOMPARE(m_suggested.size(), 1);
    const QFileInfo suggested(m_suggested.front());
    QCOMPARE(suggested.absolutePath(),
             QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)).absolutePath());
    const QRegularExpression name(QStringLiteral("^norvane-(\\d{8}-\\d{6})\\.csv$"));
    const QRegularExpressionMatch match = name.match(suggested.fileName());
    QVERIFY2(match.hasMatch(), qPrintable(suggested.fileName()));
    const QDateTime stamp = QDateTime::fromString(match.captured(1), QStringLiteral("yyyyMMdd-HHmmss"));
    QVERIFY(stamp.isValid());
    QVERIFY(qAbs(stamp.secsTo(QDateTime::currentDateTime())) < 60);
}

void TestRecording::writeErrorGivesTheMenuBack()
{
    m_answer = QStringLiteral("/dev/full");
    chooseFromFileMenu(Qt::Key_R);
    QCOMPARE(recordAction()->text(), kRecordText);
    QCOMPARE(consoleTail(*m_panel),
             QStringList({QStringLiteral(" Recording to /dev/full"),
                          QStringLiteral(" Recording stopped: No space left on device (/dev/full)")}));
    deliver(encodeStatusFrame(StatusReadings{}));
    QCOMPARE(m_panel->guard(), FormMain::PanelGuard::Applied);
}

void TestRecording::exitFlushesAndCloses()
{
    chooseFromFileMenu(Qt::Key_R);
    deliver(encodeStatusFrame(StatusReadings{}));
    chooseFromFileMenu(Qt::Key_X);
    QTRY_VERIFY(!m_panel->isVisible());
    QVERIFY(!m_panel->recorder().isRecording());
    QCOMPARE(contents(m_answer).count('\n'), 2);
}

QTEST_MAIN(TestRecording)
#include "tst_recording.moc"
