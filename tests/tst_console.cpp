// The console: line format, first line, appending after typed text, Escape.

#include "TestSupport.h"

#include "status/Arrival.h"

#include <QPlainTextEdit>

class TestConsole : public QObject
{
    Q_OBJECT

private slots:
    void lineFormat();
    void firstLineReplacesTheConsole();
    void lineFollowsTypedTextDirectly();
    void escapeEmptiesTheConsole_data();
    void escapeEmptiesTheConsole();
    void tickMovesTheCaretToTheEnd();
};

void TestConsole::lineFormat()
{
    QCOMPARE(consoleLine(QTime(9, 5, 7), u" Connected!"), QStringLiteral("09:05:07 Connected!\r\n"));
    QCOMPARE(consoleLine(QTime(23, 59, 59), u" "), QStringLiteral("23:59:59 \r\n"));
}

void TestConsole::firstLineReplacesTheConsole()
{
    FakeClock clock;
    auto panel = makePanel(clock, closedPort(), false);
    auto *console = panel->findChild<QPlainTextEdit *>(QStringLiteral("txtMsg"));
    console->setPlainText(QStringLiteral("left over\nfrom before"));
    panel->load();
    QCOMPARE(console->toPlainText(), QStringLiteral("12:34:56 Opening connection...\n"));
    QCOMPARE(console->textCursor().position(), console->document()->characterCount() - 1);
}

void TestConsole::lineFollowsTypedTextDirectly()
{
    FakeController controller;
    FakeClock clock;
    auto panel = makePanel(clock, controller.port());
    auto *console = panel->findChild<QPlainTextEdit *>(QStringLiteral("txtMsg"));
    QTRY_COMPARE(consoleTexts(*panel).size(), 2);

    panel->show();
    console->setFocus();
    QTest::keyClicks(console, QStringLiteral("note"));
    controller.send(QByteArray("\xAF" "from controller"));
    QTRY_COMPARE(console->toPlainText(),
                 QStringLiteral("12:34:56 Opening connection...\n12:34:56 Connected!\n"
                                "note12:34:56 from controller\n"));
}

void TestConsole::escapeEmptiesTheConsole_data()
{
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("plain") << Qt::KeyboardModifiers(Qt::NoModifier);
    QTest::newRow("shift") << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("ctrl alt") << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier);
}

void TestConsole::escapeEmptiesTheConsole()
{
    QFETCH(Qt::KeyboardModifiers, modifiers);
    FakeController controller;
    FakeClock clock;
    auto panel = makePanel(clock, controller.port());
    auto *console = panel->findChild<QPlainTextEdit *>(QStringLiteral("txtMsg"));
    QTRY_COMPARE(consoleTexts(*panel).size(), 2);

    panel->show();
    console->setFocus();
    QTest::keyClick(console, Qt::Key_Escape, modifiers);
    QCOMPARE(console->toPlainText(), QString());

    controller.send(QByteArray("\xAF" "again"));
    QTRY_COMPARE(console->toPlainText(), QStringLiteral("12:34:56 again\n"));
}

void TestConsole::tickMovesTheCaretToTheEnd()
{
    FakeClock clock;
    auto panel = makePanel(clock, closedPort());
    auto *console = panel->findChild<QPlainTextEdit *>(QStringLiteral("txtMsg"));
    QTextCursor start = console->textCursor();
    start.movePosition(QTextCursor::Start);
    console->setTextCursor(start);

    panel->handleKeepAliveTick();
    QCOMPARE(console->textCursor().position(), console->document()->characterCount() - 1);
}

QTEST_MAIN(TestConsole)
#include "tst_console.moc"
