#include "sim/ReplayReader.h"
#include "history/RecordingFormat.h"

#include "ReadingsSupport.h"

#include <QtTest>

namespace {

const QDateTime kStart(QDate(2026, 12, 8), QTime(18, 56, 10, 123), Qt::UTC);

QByteArray statusAt(double elapsed, int value, std::uint8_t flags = 0)
{
    return statusRow(kStart, elapsed, readingsOf(value, flags));
}

// A status row with one cell replaced.
QByteArray withCell(QByteArray row, int column, const QByteArray &cell)
{
    QList<QByteArray> cells = row.chopped(2).split(',');
    cells[column] = cell;
    return cells.join(',') + "\r\n";
}

using Kind = ReplayStep::Kind;

struct Read {
    QList<ReplayStep> steps;   // up to and including the first step that is not a frame
};

Read readAll(const QByteArray &text)
{
    ReplayReader reader(text);
    Read read;
    if (reader.readHeader())
        return read;
    for (;;) {
        read.steps << reader.next();
        if (read.steps.back().kind != Kind::Frame)
            return read;
    }
}

} // namespace

class TestReplayReader : public QObject
{
    Q_OBJECT
private slots:
    void framesFromRows();
    void messagesBackToTheirBytes_data();
    void messagesBackToTheirBytes();
    void badRows_data();
    void badRows();
    void cutLastLine_data();
    void cutLastLine();
    void badHeaders_data();
    void badHeaders();
    void lineNumbersCountLineBreaksInsideMessages();
    void rewindStartsAfterTheHeader();
};

void TestReplayReader::framesFromRows()
{
    const QByteArray text = recordingHeader() + statusAt(0.1, 2272, 0x21) + messageRow(kStart, 0.35, u"Hi")
                            + statusAt(0.35, 4095, 0x3F) + statusAt(2, 0);
    const Read read = readAll(text);
    QCOMPARE(read.steps.size(), 5);
    QCOMPARE(read.steps[0].frame, encodeStatusFrame(readingsOf(2272, 0x21)));
    QCOMPARE(read.steps[1].frame, QByteArray("\xAFHi"));
    QCOMPARE(read.steps[2].frame, encodeStatusFrame(readingsOf(4095, 0x3F)));
    QCOMPARE(read.steps[3].frame, encodeStatusFrame(readingsOf(0)));
    QCOMPARE(read.steps[0].elapsedS, 0.1);
    QCOMPARE(read.steps[1].elapsedS, 0.35);
    QCOMPARE(read.steps[3].elapsedS, 2.0);
    QCOMPARE(read.steps[3].line, 5);
    QCOMPARE(read.steps[4].kind, Kind::End);
}

void TestReplayReader::messagesBackToTheirBytes_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("comma") << QByteArray("\xAF" "a,b");
    QTest::newRow("quotes") << QByteArray("\xAF\"say \"\"hi\"\"\"");
    QTest::newRow("CR LF inside and at the end") << QByteArray("\xAF" "one\r\ntwo\r\n");
    QTest::newRow("LF, CR alone") << QByteArray("\xAF\n\r");
    QTest::newRow("Latin-1 upper half") << QByteArray("\xAF\xB0\xE9\xFF\x80");
    QTest::newRow("blanks") << QByteArray("\xAF  ");
    QTest::newRow("NUL") << QByteArray("\xAF" "a\0b", 4);
}

void TestReplayReader::messagesBackToTheirBytes()
{
    QFETCH(QByteArray, frame);
    const QString text = QString::fromLatin1(frame.sliced(1));
    const Read read = readAll(recordingHeader() + messageRow(kStart, 1, text) + statusAt(1, 5));
    QCOMPARE(read.steps.size(), 3);
    QCOMPARE(read.steps[0].kind, Kind::Frame);
    QCOMPARE(read.steps[0].frame, frame);
    QCOMPARE(read.steps[1].line, 3 + int(text.count(u'\n')));
}

void TestReplayReader::badRows_data()
{
    QTest::addColumn<QByteArray>("row");
    QTest::addColumn<QString>("problem");
    const QByteArray good = statusAt(1, 100);
    const QByteArray message = messageRow(kStart, 1, u"m");
    QTest::newRow("one cell short") << good.chopped(3) + "\r\n" << "25 cells instead of 26";
    QTest::newRow("one cell over") << good.chopped(2) + ",\r\n" << "27 cells instead of 26";
    QTest::newRow("blank line") << QByteArray("\r\n") << "1 cells instead of 26";
    QTest::newRow("reading over 4095") << withCell(good, kFirstReadingColumn + 3, "4096")
                                       << "InjTec is not a reading 0 to 4095: \"4096\"";
    QTest::newRow("negative reading") << withCell(good, kFirstReadingColumn, "-1")
                                      << "EclPd is not a reading 0 to 4095: \"-1\"";
    QTest::newRow("empty reading") << withCell(good, kFirstReadingColumn + 14, "")
                                   << "YdacDac is not a reading 0 to 4095: \"\"";
    QTest::newRow("bucket range") << withCell(good, kFirstReadingColumn + 7, "1..2")
                                  << "Pot is not a reading 0 to 4095: \"1..2\"";
    QTest::newRow("temperature not its reading") << withCell(good, kFirstDegreeColumn, "14.02")
                                                 << "EclTemp_degC \"14.02\" is not its reading's 28.82";
    QTest::newRow("switch 2") << withCell(good, kFirstSwitchColumn + 5, "2") << "chkSlowLock is not 0 or 1: \"2\"";
    QTest::newRow("bad time") << withCell(good, kTimeColumn, "yesterday")
                              << "time_utc is not a time: \"yesterday\"";
    QTest::newRow("bad elapsed") << withCell(good, kElapsedColumn, "1,5") << "27 cells instead of 26";
    QTest::newRow("elapsed not a number") << withCell(good, kElapsedColumn, "soon")
                                          << "elapsed_s is not seconds: \"soon\"";
    QTest::newRow("negative elapsed") << withCell(good, kElapsedColumn, "-0.5") << "elapsed_s is not seconds: \"-0.5\"";
    QTest::newRow("elapsed backwards") << withCell(good, kElapsedColumn, "0.999")
                                       << "elapsed_s runs backwards: 0.999 after 1.000";
    QTest::newRow("reading on a message row") << withCell(message, kFirstReadingColumn + 1, "5")
                                              << "EclTec is not empty on a message row";
    QTest::newRow("message beyond Latin-1") << messageRow(kStart, 1, u"\u20ac")
                                            << "message holds a character no frame can carry: U+20ac";
    QTest::newRow("text after closing quote") << withCell(message, kMessageColumn, "\"a\"b")
                                              << "text after a closing quote";
    QTest::newRow("quote in a bare cell") << withCell(message, kMessageColumn, "a\"b")
                                          << "a quote inside a cell that is not quoted";
}

void TestReplayReader::badRows()
{
    QFETCH(QByteArray, row);
    QFETCH(QString, problem);
    // the bad row is the fourth line; nothing after it is read
    const Read read = readAll(recordingHeader() + statusAt(0.5, 1) + statusAt(1, 2) + row + statusAt(9, 3));
    QCOMPARE(read.steps.size(), 3);
    QCOMPARE(read.steps[2].kind, Kind::Bad);
    QCOMPARE(read.steps[2].line, 4);
    QCOMPARE(read.steps[2].problem, problem);
}

void TestReplayReader::cutLastLine_data()
{
    QTest::addColumn<QByteArray>("tail");
    const QByteArray row = statusAt(3, 7);
    QTest::newRow("mid row") << row.left(40);
    QTest::newRow("row without its CR LF") << row.chopped(2);
    QTest::newRow("row without its LF") << row.chopped(1);
    QTest::newRow("a lone CR") << QByteArray("\r");
    QTest::newRow("inside a quoted message") << messageRow(kStart, 3, u"a,\r\nb").chopped(4);
    QTest::newRow("after a quoted message's closing quote") << messageRow(kStart, 3, u"a,b").chopped(2);
}

void TestReplayReader::cutLastLine()
{
    QFETCH(QByteArray, tail);
    const Read read = readAll(recordingHeader() + statusAt(1, 1) + statusAt(2, 2) + tail);
    QCOMPARE(read.steps.size(), 3);
    QCOMPARE(read.steps[1].frame, encodeStatusFrame(readingsOf(2)));
    QCOMPARE(read.steps[2].kind, Kind::CutLastLine);
    QCOMPARE(read.steps[2].line, 4);
}

void TestReplayReader::badHeaders_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("problem");
    QTest::newRow("empty") << QByteArray() << "the file is empty";
    QTest::newRow("header cut") << recordingHeader().left(30) << "the header is cut short";
    QTest::newRow("a row first") << statusAt(0, 0) + statusAt(1, 0) << "the header is not a recording's";
    QTest::newRow("column missing") << recordingHeader().replace("chkHeater,", "") << "the header is not a recording's";
    QTest::newRow("columns swapped") << recordingHeader().replace("EclPd,EclTec", "EclTec,EclPd")
                                     << "the header is not a recording's";
}

void TestReplayReader::badHeaders()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, problem);
    ReplayReader reader(text);
    const std::optional<QString> found = reader.readHeader();
    QVERIFY(found);
    QVERIFY2(found->startsWith(problem), qPrintable(*found));
}

void TestReplayReader::lineNumbersCountLineBreaksInsideMessages()
{
    const QByteArray text = recordingHeader() + messageRow(kStart, 0, u"a\r\nb\r\nc") + messageRow(kStart, 1, u"\n")
                            + withCell(statusAt(2, 1), kFirstSwitchColumn, "x");
    const Read read = readAll(text);
    QCOMPARE(read.steps.size(), 3);
    QCOMPARE(read.steps[0].line, 2);
    QCOMPARE(read.steps[1].line, 5);
    QCOMPARE(read.steps[2].kind, Kind::Bad);
    QCOMPARE(read.steps[2].line, 7);
}

void TestReplayReader::rewindStartsAfterTheHeader()
{
    const QByteArray text = recordingHeader() + statusAt(1, 1) + statusAt(2, 2);
    ReplayReader reader(text);
    QVERIFY(!reader.readHeader());
    QCOMPARE(reader.next().elapsedS, 1.0);
    QCOMPARE(reader.next().elapsedS, 2.0);
    QCOMPARE(reader.next().kind, Kind::End);
    reader.rewind();
    const ReplayStep again = reader.next();
    QCOMPARE(again.kind, Kind::Frame);   // the elapsed time starts over too
    QCOMPARE(again.line, 2);
    QCOMPARE(again.frame, encodeStatusFrame(readingsOf(1)));
}

QTEST_APPLESS_MAIN(TestReplayReader)
#include "tst_replayreader.moc"
