#include "status/StatusFrame.h"
#include "ReadingsSupport.h"

#include <QtTest>

#include <cmath>

Q_DECLARE_METATYPE(RangeRule)

namespace {

QByteArray zeroFrame()
{
    QByteArray frame(kStatusFrameSize, '\0');
    frame[0] = static_cast<char>(kStatusOpcode);
    return frame;
}

// Where each reading's two bytes lie, and the range that turns its box red: EclPd,
// EclTec, EclTemp, InjTec, InjTemp, UpPd, DownPd, Pot, then the seven DACs.
constexpr int kOffsets[] = {1, 3, 5, 7, 9, 11, 13, 15, 18, 20, 22, 24, 26, 28, 30};
constexpr RangeRule kRules[] = {RangeRule::Pd, RangeRule::Tec, RangeRule::Temperature, RangeRule::Tec,
                                RangeRule::Temperature};
static_assert(std::size(kOffsets) == kReadbackCount);

RangeRule ruleOf(int reading)
{
    return reading < static_cast<int>(std::size(kRules)) ? kRules[reading] : RangeRule::None;
}

} // namespace

class TestStatusFrame : public QObject {
    Q_OBJECT
private slots:
    void twelveBits_data();
    void twelveBits();
    void switchBits_data();
    void switchBits();
    void opcodeAndLastByteIgnored();
    void zeroFrameTexts();
    void temperatureTexts_data();
    void temperatureTexts();
    void temperatureEveryRaw();
    void thresholds_data();
    void thresholds();
    void realTextIgnoresLocale_data();
    void realTextIgnoresLocale();
    void roundTrip();
};

void TestStatusFrame::twelveBits_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("value");
    QTest::newRow("F1 23 drops the high nibble") << QByteArray::fromHex("f123") << 291;
    QTest::newRow("01 23") << QByteArray::fromHex("0123") << 291;
    QTest::newRow("0F FF largest") << QByteArray::fromHex("0fff") << 4095;
    QTest::newRow("A1 AF opcodes as data") << QByteArray::fromHex("a1af") << 0x1AF;
}

void TestStatusFrame::twelveBits()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, value);
    for (int i = 0; i < kReadbackCount; ++i) {
        QByteArray frame = zeroFrame();
        frame.replace(kOffsets[i], 2, bytes);
        const StatusReadings readings = decodeStatusFrame(frame);
        for (int j = 0; j < kReadbackCount; ++j)
            QCOMPARE(readings.values[j], j == i ? value : 0);
        QCOMPARE(readings.flags, std::uint8_t{0});
    }
}

void TestStatusFrame::switchBits_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<QList<bool>>("checked");
    QTest::newRow("3F all") << 0x3F << QList<bool>{true, true, true, true, true, true};
    QTest::newRow("C0 none") << 0xC0 << QList<bool>{false, false, false, false, false, false};
    QTest::newRow("21 ecl tec and slow lock") << 0x21 << QList<bool>{true, false, false, false, false, true};
    QTest::newRow("0C scan and heater") << 0x0C << QList<bool>{false, false, true, true, false, false};
}

void TestStatusFrame::switchBits()
{
    QFETCH(int, flags);
    QFETCH(QList<bool>, checked);
    QByteArray frame = zeroFrame();
    frame[17] = static_cast<char>(flags);
    const ReadbackDisplay display = renderReadbacks(decodeStatusFrame(frame));
    QCOMPARE(QList<bool>(display.checked.begin(), display.checked.end()), checked);
}

void TestStatusFrame::opcodeAndLastByteIgnored()
{
    QByteArray frame(kStatusFrameSize, '\0');
    for (int i = 0; i < kStatusFrameSize; ++i)
        frame[i] = static_cast<char>(i * 37 + 11);
    QByteArray other = frame;
    other[0] = '\x00';
    other[kStatusFrameSize - 1] = '\xFF';
    const StatusReadings a = decodeStatusFrame(frame);
    const StatusReadings b = decodeStatusFrame(other);
    QCOMPARE(a.values, b.values);
    QCOMPARE(a.flags, b.flags);
    QCOMPARE(renderReadbacks(a).texts, renderReadbacks(b).texts);
}

void TestStatusFrame::zeroFrameTexts()
{
    const ReadbackDisplay display = renderReadbacks(decodeStatusFrame(zeroFrame()));
    const QString degrees = QStringLiteral(" 29.5\u00B0");
    const QStringList texts{"PD: 0", "TEC: 0", degrees, "TEC: 0", degrees, "PD: 0", "PD: 0", " 0",
                            "0", "0", "0", "0", "0", "0", "0"};
    QCOMPARE(QStringList(display.texts.begin(), display.texts.end()), texts);
    for (int i = 0; i < kReadbackCount; ++i)
        QCOMPARE(display.alarm[i], i < 5);
    QCOMPARE(QList<bool>(display.checked.begin(), display.checked.end()), QList<bool>(6, false));
}

void TestStatusFrame::temperatureTexts_data()
{
    QTest::addColumn<int>("raw");
    QTest::addColumn<QString>("degrees");
    QTest::newRow("raw 0") << 0 << "29.5";
    QTest::newRow("raw 1") << 1 << "29.49";
    QTest::newRow("raw 100") << 100 << "28.82";
    QTest::newRow("raw 101") << 101 << "28.81";
    QTest::newRow("raw 455") << 455 << "26.4";
    QTest::newRow("raw 2048") << 2048 << "15.55";
    QTest::newRow("raw 2275 whole") << 2275 << "14";
    QTest::newRow("raw 3999") << 3999 << "2.25";
    QTest::newRow("raw 4000") << 4000 << "2.25";
    QTest::newRow("raw 4095") << 4095 << "1.6";
}

void TestStatusFrame::temperatureTexts()
{
    QFETCH(int, raw);
    QFETCH(QString, degrees);
    QCOMPARE(temperatureText(raw), u' ' + degrees + u'\u00B0');
}

// Every raw value reads as the sensor's line to the hundredth, never rising with the raw.
void TestStatusFrame::temperatureEveryRaw()
{
    static const QRegularExpression format(QStringLiteral("^ ([1-9]\\d?(\\.\\d?[1-9])?)\u00B0$"));
    double previous = 100;
    for (int raw = 0; raw <= 4095; ++raw) {
        const QString text = temperatureText(raw);
        const QRegularExpressionMatch match = format.match(text);
        QVERIFY2(match.hasMatch(), qPrintable(text));
        const double degrees = match.captured(1).toDouble();
        QVERIFY2(std::abs(degrees - (29.5 - 27.9 * raw / 4095)) <= 0.005 + 1e-9, qPrintable(text));
        QVERIFY2(degrees <= previous, qPrintable(text));
        previous = degrees;
    }
}

void TestStatusFrame::thresholds_data()
{
    QTest::addColumn<RangeRule>("rule");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("inside");
    QTest::newRow("pd 100 alarm") << RangeRule::Pd << 100 << false;
    QTest::newRow("pd 101 white") << RangeRule::Pd << 101 << true;
    QTest::newRow("pd 3999 white") << RangeRule::Pd << 3999 << true;
    QTest::newRow("pd 4000 alarm") << RangeRule::Pd << 4000 << false;
    QTest::newRow("tec 10 alarm") << RangeRule::Tec << 10 << false;
    QTest::newRow("tec 11 white") << RangeRule::Tec << 11 << true;
    QTest::newRow("tec 90 white") << RangeRule::Tec << 90 << true;
    QTest::newRow("tec 91 alarm") << RangeRule::Tec << 91 << false;
    QTest::newRow("temp raw 100 alarm") << RangeRule::Temperature << 100 << false;
    QTest::newRow("temp raw 101 white") << RangeRule::Temperature << 101 << true;
    QTest::newRow("temp raw 3999 white") << RangeRule::Temperature << 3999 << true;
    QTest::newRow("temp raw 4000 alarm") << RangeRule::Temperature << 4000 << false;
    QTest::newRow("none 0") << RangeRule::None << 0 << true;
}

void TestStatusFrame::thresholds()
{
    QFETCH(RangeRule, rule);
    QFETCH(int, value);
    QFETCH(bool, inside);
    QCOMPARE(inRange(rule, value), inside);
    const ReadbackDisplay display = renderReadbacks(readingsOf(value));
    for (int i = 0; i < kReadbackCount; ++i) {
        if (ruleOf(i) == rule)
            QCOMPARE(display.alarm[i], !inside);
    }
}

void TestStatusFrame::realTextIgnoresLocale_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("2.25") << 2.25 << "2.25";
    QTest::newRow("whole 14") << 14.0 << "14";
    QTest::newRow("thousands no separator") << 1234.5 << "1234.5";
    QTest::newRow("15 digits of 1/3") << 1.0 / 3 << "0.333333333333333";
    QTest::newRow("rounded at the 15th") << 2.000000000000051 << "2.00000000000005";
}

void TestStatusFrame::realTextIgnoresLocale()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString actual = realText(value);
    QLocale::setDefault(previous);
    QCOMPARE(actual, text);
}

void TestStatusFrame::roundTrip()
{
    StatusReadings readings;
    for (int i = 0; i < kReadbackCount; ++i)
        readings.values[i] = (i * 1021 + 7) % 4096;
    readings.flags = 0x2A;
    const QByteArray frame = encodeStatusFrame(readings);
    QCOMPARE(frame.size(), 33);
    QCOMPARE(frame[0], '\xA1');
    QCOMPARE(frame[32], '\0');
    const StatusReadings decoded = decodeStatusFrame(frame);
    QCOMPARE(decoded.values, readings.values);
    QCOMPARE(decoded.flags, readings.flags);

    QCOMPARE(decodeStatusFrame(encodeStatusFrame(readingsOf(0x1FFF))).values, readingsOf(0xFFF).values);
}

QTEST_APPLESS_MAIN(TestStatusFrame)
#include "tst_statusframe.moc"
