#include "status/Arrival.h"
#include "history/RecordingFormat.h"

#include "ReadingsSupport.h"

#include <QtTest>

Q_DECLARE_METATYPE(StatusReadings)

namespace {

const QDateTime kStart(QDate(2026, 12, 8), QTime(18, 56, 10, 123), Qt::UTC);

QList<QByteArray> cellsOf(const QByteArray &record)
{
    return record.chopped(2).split(',');
}

} // namespace

class TestRecordingFormat : public QObject {
    Q_OBJECT
private slots:
    void header();
    void everyRowEndsInCrLf();
    void leadingColumns_data();
    void leadingColumns();
    void statusCells();
    void degreeColumns_data();
    void degreeColumns();
    void messageEscaping_data();
    void messageEscaping();
    void messageRowLeavesReadingsEmpty();
    void bucketCells_data();
    void bucketCells();
};

void TestRecordingFormat::header()
{
    QCOMPARE(recordingHeader(),
             QByteArray("time_utc,elapsed_s,EclPd,EclTec,EclTemp,InjTec,InjTemp,UpPd,DownPd,Pot,"
                        "EclCurrentDac,EclPiezoDac,InjCurrentDac,UpPiezoDac,DownPiezoDac,XdacDac,YdacDac,"
                        "EclTemp_degC,InjTemp_degC,chkEclTec,chkInjTec,chkScanEn,chkHeater,chkNarrow,"
                        "chkSlowLock,message\r\n"));
    QCOMPARE(recordingColumns().size(), kRecordingColumnCount);
    QCOMPARE(recordingColumns().at(kMessageColumn), QStringLiteral("message"));
}

void TestRecordingFormat::everyRowEndsInCrLf()
{
    const QByteArray rows[] = {recordingHeader(), statusRow(kStart, 0, readingsOf(7)),
                               messageRow(kStart, 0, u"x"),
                               bucketRow(kStart, 0, readingsOf(1), readingsOf(2, 0x3F))};
    for (const QByteArray &row : rows) {
        QVERIFY(row.endsWith("\r\n"));
        QCOMPARE(row.count("\r\n"), 1);
        QCOMPARE(cellsOf(row).size(), kRecordingColumnCount);
    }
}

void TestRecordingFormat::leadingColumns_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<double>("elapsed");
    QTest::addColumn<QByteArray>("timeCell");
    QTest::addColumn<QByteArray>("elapsedCell");
    QTest::newRow("utc, zero") << kStart << 0.0 << QByteArray("2026-12-08T18:56:10.123Z") << QByteArray("0.000");
    QTest::newRow("whole second keeps .000")
        << QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC) << 1.0
        << QByteArray("2026-01-02T03:04:05.000Z") << QByteArray("1.000");
    QTest::newRow("offset +02:00 written as utc")
        << QDateTime(QDate(2026, 12, 8), QTime(20, 56, 10, 123), Qt::OffsetFromUTC, 7200) << 12.3456
        << QByteArray("2026-12-08T18:56:10.123Z") << QByteArray("12.346");
    QTest::newRow("leap day's last millisecond")
        << QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59, 999), Qt::UTC) << 0.0005
        << QByteArray("2024-02-29T23:59:59.999Z") << QByteArray("0.001");
    QTest::newRow("first of March 2000") << QDateTime(QDate(2000, 3, 1), QTime(0, 0), Qt::UTC) << 0.0
                                         << QByteArray("2000-03-01T00:00:00.000Z") << QByteArray("0.000");
    QTest::newRow("before 1970") << QDateTime(QDate(1969, 12, 31), QTime(23, 59, 59, 1), Qt::UTC) << 0.0
                                 << QByteArray("1969-12-31T23:59:59.001Z") << QByteArray("0.000");
    QTest::newRow("a day of seconds") << kStart << 86400.0004 << QByteArray("2026-12-08T18:56:10.123Z")
                                      << QByteArray("86400.000");
}

void TestRecordingFormat::leadingColumns()
{
    QFETCH(QDateTime, time);
    QFETCH(double, elapsed);
    QFETCH(QByteArray, timeCell);
    QFETCH(QByteArray, elapsedCell);
    for (const QByteArray &row : {statusRow(time, elapsed, readingsOf(0)), messageRow(time, elapsed, u"m"),
                                  bucketRow(time, elapsed, readingsOf(0), readingsOf(1))}) {
        const QList<QByteArray> cells = cellsOf(row);
        QCOMPARE(cells[kTimeColumn], timeCell);
        QCOMPARE(cells[kElapsedColumn], elapsedCell);
    }
}

void TestRecordingFormat::statusCells()
{
    StatusReadings readings;
    for (int i = 0; i < kReadbackCount; ++i)
        readings.values[i] = i == 0 ? 4095 : i * 100;
    readings.values[kDegreeColumnReadings[0]] = 2272;
    readings.flags = 0x21;
    QCOMPARE(statusRow(kStart, 1.5, readings),
             QByteArray("2026-12-08T18:56:10.123Z,1.500,4095,100,2272,300,400,500,600,700,800,900,"
                        "1000,1100,1200,1300,1400,14.02,26.77,1,0,0,0,0,1,\r\n"));
}

void TestRecordingFormat::degreeColumns_data()
{
    QTest::addColumn<int>("raw");
    QTest::addColumn<QByteArray>("cell");
    QTest::newRow("0 is 29.5") << 0 << QByteArray("29.5");
    QTest::newRow("2 rounds up to 29.49") << 2 << QByteArray("29.49");
    QTest::newRow("2272 is 14.02") << 2272 << QByteArray("14.02");
    QTest::newRow("4095 is 1.6") << 4095 << QByteArray("1.6");
    QTest::newRow("100 below the band") << 100 << QByteArray("28.82");
}

void TestRecordingFormat::degreeColumns()
{
    QFETCH(int, raw);
    QFETCH(QByteArray, cell);
    const QList<QByteArray> cells = cellsOf(statusRow(kStart, 0, readingsOf(raw)));
    for (int i = 0; i < kTemperatureCount; ++i) {
        QCOMPARE(cells[kFirstDegreeColumn + i], cell);
        // the same number the readback box shows, sign and blank aside
        QCOMPARE(u' ' + QString::fromUtf8(cell) + QChar(0x00B0), temperatureText(raw));
    }
}

void TestRecordingFormat::messageEscaping_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("cell");
    QTest::newRow("plain") << QByteArray("\xAF" "Hi!") << QByteArray("Hi!");
    QTest::newRow("leading and trailing blanks kept") << QByteArray("\xAF  a b ") << QByteArray("  a b ");
    QTest::newRow("comma quoted") << QByteArray("\xAF" "a,b") << QByteArray("\"a,b\"");
    QTest::newRow("quote doubled") << QByteArray("\xAF" "say \"hi\"") << QByteArray("\"say \"\"hi\"\"\"");
    QTest::newRow("lone quote") << QByteArray("\xAF\"") << QByteArray("\"\"\"\"");
    QTest::newRow("CR LF inside") << QByteArray("\xAF" "one\r\ntwo") << QByteArray("\"one\r\ntwo\"");
    QTest::newRow("LF alone") << QByteArray("\xAF" "x\n") << QByteArray("\"x\n\"");
    QTest::newRow("CR alone") << QByteArray("\xAF\r") << QByteArray("\"\r\"");
    QTest::newRow("Latin-1 degree and e-acute to UTF-8") << QByteArray("\xAF" "20\xB0 caf\xE9")
                                                         << QByteArray("20\xC2\xB0 caf\xC3\xA9");
    QTest::newRow("0xFF and 0x80") << QByteArray("\xAF\xFF\x80") << QByteArray("\xC3\xBF\xC2\x80");
    QTest::newRow("opcode bytes as text, with comma") << QByteArray("\xAF\xA1,\xAF")
                                                      << QByteArray("\"\xC2\xA1,\xC2\xAF\"");
}

void TestRecordingFormat::messageEscaping()
{
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, cell);
    const QByteArray row = messageRow(kStart, 2, messageText(frame));
    const QByteArray lead = "2026-12-08T18:56:10.123Z,2.000" + QByteArray(kMessageColumn - 1, ',');
    QCOMPARE(row, lead + cell + "\r\n");
    QVERIFY(QString::fromUtf8(row).toUtf8() == row);
}

void TestRecordingFormat::messageRowLeavesReadingsEmpty()
{
    const QList<QByteArray> cells = cellsOf(messageRow(kStart, 0, u"Warm reboot"));
    for (int i = kFirstReadingColumn; i < kMessageColumn; ++i)
        QVERIFY2(cells[i].isEmpty(), qPrintable(recordingColumns().at(i)));
    QCOMPARE(cells[kMessageColumn], QByteArray("Warm reboot"));
    QVERIFY(cellsOf(statusRow(kStart, 0, readingsOf(0)))[kMessageColumn].isEmpty());
}

void TestRecordingFormat::bucketCells_data()
{
    QTest::addColumn<StatusReadings>("min");
    QTest::addColumn<StatusReadings>("max");
    QTest::addColumn<QByteArray>("readingCell");
    QTest::addColumn<QByteArray>("degreeCell");
    QTest::addColumn<QByteArray>("switchCells");
    QTest::newRow("one value everywhere") << readingsOf(2272, 0x21) << readingsOf(2272, 0x21) << QByteArray("2272")
                                          << QByteArray("14.02") << QByteArray("1,0,0,0,0,1");
    QTest::newRow("a range; degrees low to high")
        << readingsOf(0, 0x00) << readingsOf(4095, 0x3F) << QByteArray("0..4095") << QByteArray("1.6..29.5")
        << QByteArray("0..1,0..1,0..1,0..1,0..1,0..1");
    QTest::newRow("some switches steady")
        << readingsOf(100, 0x01) << readingsOf(101, 0x03) << QByteArray("100..101") << QByteArray("28.81..28.82")
        << QByteArray("1,0..1,0,0,0,0");
    QTest::newRow("readings apart, same degrees") << readingsOf(2273, 0) << readingsOf(2274, 0)
                                                  << QByteArray("2273..2274") << QByteArray("14.01")
                                                  << QByteArray("0,0,0,0,0,0");
}

void TestRecordingFormat::bucketCells()
{
    QFETCH(StatusReadings, min);
    QFETCH(StatusReadings, max);
    QFETCH(QByteArray, readingCell);
    QFETCH(QByteArray, degreeCell);
    QFETCH(QByteArray, switchCells);
    const QList<QByteArray> cells = cellsOf(bucketRow(kStart, 60, min, max));
    for (int i = 0; i < kReadbackCount; ++i)
        QCOMPARE(cells[kFirstReadingColumn + i], readingCell);
    for (int i = 0; i < kTemperatureCount; ++i)
        QCOMPARE(cells[kFirstDegreeColumn + i], degreeCell);
    QCOMPARE(cells.mid(kFirstSwitchColumn, kSwitchCount).join(','), switchCells);
    QVERIFY(cells[kMessageColumn].isEmpty());
}

QTEST_APPLESS_MAIN(TestRecordingFormat)
#include "tst_recordingformat.moc"
