// The console: line format, first line, appending after typed text, Escape.

#include "PanelSupport.h"

#include "Gui/ConsoleView.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

class TestConsole : public QObject
{
    Q_OBJECT

private slots:
    void lineFormat();
    void firstLineReplacesTheConsole();
    void keysThenALine_data();
    void keysThenALine();
    void tickMovesTheCaretToTheEnd();
    void keepsTheNewestLinesWhole_data();
    void keepsTheNewestLinesWhole();
};

void TestConsole::lineFormat()
{
    QCOMPARE(consoleLine(QTime(9, 5, 7), u" Connected!"), QStringLiteral("09:05:07 Connected!\r\n"));
    QCOMPARE(consoleLine(QTime(23, 59, 59), u" "), QStringLiteral("23:59:59 \r\n"));
}

void TestConsole::firstLineReplacesTheConsole()
{
    FakeClock clock;
    auto panel = makeRefusedPanel(clock, false);
    auto *console = panel->findChild<QPlainTextEdit *>(QStringLiteral("txtMsg"));
    console->setPlainText(QStringLiteral("left over\nfrom before"));
    panel->load();
    QCOMPARE(console->toPlainText(), QStringLiteral("12:34:56 Opening connection...\n"));
    QCOMPARE(console->textCursor().position(), console->document()->characterCount() - 1);
}

// A line follows typed text directly; Escape, with any modifier, empties the console.
void TestConsole::keysThenALine_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Qt::KeyboardModifiers>("escape");   // Escape's modifiers, where nothing is typed
    QTest::addColumn<QString>("shown");
    const QString before = QStringLiteral("12:34:56 Opening connection...\n12:34:56 Connected!\n");
    const auto none = Qt::KeyboardModifiers(Qt::NoModifier);
    QTest::newRow("typed text") << "note" << none << before + "note12:34:56 again\n";
    QTest::newRow("escape") << "" << none << "12:34:56 again\n";
    QTest::newRow("shift escape") << "" << Qt::KeyboardModifiers(Qt::ShiftModifier) << "12:34:56 again\n";
    QTest::newRow("ctrl alt escape") << "" << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier)
                                     << "12:34:56 again\n";
}

void TestConsole::keysThenALine()
{
    QFETCH(QString, typed);
    QFETCH(Qt::KeyboardModifiers, escape);
    QFETCH(QString, shown);
    FakeController controller;
    FakeClock clock;
    auto panel = makePanel(clock, controller.port());
    auto *console = panel->findChild<QPlainTextEdit *>(QStringLiteral("txtMsg"));
    QTRY_COMPARE(consoleTexts(*panel).size(), 2);

    panel->show();
    console->setFocus();
    if (typed.isEmpty()) {
        QTest::keyClick(console, Qt::Key_Escape, escape);
        QCOMPARE(console->toPlainText(), QString());
    } else {
        QTest::keyClicks(console, typed);
    }
    controller.send(QByteArray("\xAF" "again"));
    QTRY_COMPARE(console->toPlainText(), shown);
}

void TestConsole::tickMovesTheCaretToTheEnd()
{
    FakeClock clock;
    auto panel = makeRefusedPanel(clock);
    auto *console = panel->findChild<QPlainTextEdit *>(QStringLiteral("txtMsg"));
    QTextCursor start = console->textCursor();
    start.movePosition(QTextCursor::Start);
    console->setTextCursor(start);

    panel->handleKeepAliveTick();
    QCOMPARE(console->textCursor().position(), console->document()->characterCount() - 1);
}

void TestConsole::keepsTheNewestLinesWhole_data()
{
    QTest::addColumn<QByteArray>("lineBreak");
    QTest::addColumn<int>("linesPerMessage");
    QTest::newRow("LF, many lines per message") << QByteArray("\n") << 6000;
    QTest::newRow("CR LF, many lines per message") << QByteArray("\r\n") << 5000;
    QTest::newRow("lone CR") << QByteArray("\r") << 6000;
    QTest::newRow("short messages") << QByteArray("\n") << 40;
}

void TestConsole::keepsTheNewestLinesWhole()
{
    // Messages numbered line by line arrive until well past the capacity; the console
    // then holds exactly the newest lines, the first of them whole.
    QFETCH(QByteArray, lineBreak);
    QFETCH(int, linesPerMessage);
    FakeClock clock;
    auto panel = makeRefusedPanel(clock, false);
    auto *console = panel->findChild<QPlainTextEdit *>(QStringLiteral("txtMsg"));

    const int total = kConsoleCapacityLines + kConsoleCapacityLines / 4;
    for (int next = 1; next <= total;) {
        QByteArray message("\xAF");
        for (int i = 0; i < linesPerMessage && next <= total; ++i, ++next) {
            if (i > 0)
                message += lineBreak;
            message += 'L' + QByteArray::number(next);
        }
        panel->deliverArrival(message);
    }

    QCOMPARE(console->blockCount() - 1, kConsoleCapacityLines);
    const QTextDocument &document = *console->document();
    QCOMPARE(document.lastBlock().text(), QString());
    QCOMPARE(document.lastBlock().previous().text().section(u' ', -1), QStringLiteral("L%1").arg(total));
    const QString oldest = document.firstBlock().text();
    const QString expected = QStringLiteral("L%1").arg(total - kConsoleCapacityLines + 1);
    QVERIFY2(oldest == expected || oldest == QStringLiteral("12:34:56 ") + expected, qPrintable(oldest));
}

QTEST_MAIN(TestConsole)
#include "tst_console.moc"
