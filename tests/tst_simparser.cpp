// The simulator's command parser: whole, cut and joined frames, and bytes that open none.

#include "sim/CommandParser.h"

#include <QTest>

#include <random>

namespace {

const QByteArray kEcho = QByteArray(1, '\xAF') + QByteArray(kEchoText.data(), static_cast<qsizetype>(kEchoText.size()));
const QString kEchoLine = QStringLiteral("Echo ") + QLatin1String(kEchoText.data(), static_cast<qsizetype>(kEchoText.size()));

// Every opcode of the table once, in table order, and how the log shows each.
const QByteArray kEveryFrame = QByteArray::fromHex("a004b0a10fffa2a3a4a50000a60064a701a800a90d79aa0800ab0fffac01"
                                                   "ad00ae01") + kEcho + QByteArray::fromHex("b501");
const QStringList kEveryLine{
    "SetXdac 1200", "SetYdac 4095", "XYSquare", "KeepAlive", "WarmBoot", "SetEclCurrent 0",
    "SetInjCurrent 100", "SetEclTec 1", "SetInjTec 0", "SetEclPiezo 3449", "SetUpPiezo 2048",
    "SetDownPiezo 4095", "SetScanEn 1", "SetHeater 0", "SetNarrow 1", kEchoLine, "SetSlowLock 1",
};

struct Fed {
    QStringList lines;
    QByteArray garbage;
    qsizetype pending = 0;
};

Fed feedInChunks(QByteArrayView stream, qsizetype chunk)
{
    CommandParser parser;
    Fed fed;
    for (qsizetype pos = 0; pos < stream.size(); pos += chunk) {
        const ParseResult result = parser.feed(stream.sliced(pos, std::min(chunk, stream.size() - pos)));
        for (const ParsedCommand &command : result.commands)
            fed.lines << describeCommand(command);
        fed.garbage += result.garbage;
    }
    fed.pending = parser.pendingBytes();
    return fed;
}

} // namespace

class TestSimParser : public QObject {
    Q_OBJECT

private slots:
    void stream_data();
    void stream();
    void anySplit_data();
    void anySplit();
    void randomBytes();
};

void TestSimParser::stream_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("garbage");
    QTest::addColumn<int>("pending");
    const auto hex = [](const char *text) { return QByteArray::fromHex(text); };

    QTest::newRow("every opcode") << kEveryFrame << kEveryLine << QByteArray() << 0;
    QTest::newRow("echo text kept whole") << kEcho << QStringList{kEchoLine} << QByteArray() << 0;
    QTest::newRow("b0..b4 skipped") << hex("b0b1b2b3b4a3") << QStringList{"KeepAlive"} << hex("b0b1b2b3b4") << 0;
    QTest::newRow("zero bytes between") << hex("00a70000a4") << QStringList{"SetEclTec 0", "WarmBoot"}
                                        << hex("0000") << 0;
    QTest::newRow("count waits for its low byte") << hex("a504") << QStringList{} << QByteArray() << 2;
    QTest::newRow("echo waits for its text") << kEcho.first(21) << QStringList{} << QByteArray() << 21;
    QTest::newRow("cut count, then a switch") << hex("a5a701") << QStringList{"SetEclTec 1"} << hex("a5") << 0;
    QTest::newRow("cut switch, then a count") << hex("a7a504b0") << QStringList{"SetEclCurrent 1200"} << hex("a7") << 0;
    QTest::newRow("cut echo, then keep-alive") << kEcho.first(3) + hex("a3") << QStringList{"KeepAlive"}
                                               << kEcho.first(3) << 0;
    QTest::newRow("count above 4095") << hex("a51000") << QStringList{} << hex("a51000") << 0;
    QTest::newRow("switch byte 2") << hex("ad02") << QStringList{} << hex("ad02") << 0;
    QTest::newRow("garbage then a cut tail") << hex("ff00a6") << QStringList{} << hex("ff00") << 1;
}

void TestSimParser::stream()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, garbage);
    QFETCH(int, pending);

    const Fed fed = feedInChunks(bytes, bytes.size());
    QCOMPARE(fed.lines, lines);
    QCOMPARE(fed.garbage.toHex(' '), garbage.toHex(' '));
    QCOMPARE(fed.pending, pending);
}

void TestSimParser::anySplit_data()
{
    QTest::addColumn<int>("chunk");
    QTest::newRow("byte at a time") << 1;
    QTest::newRow("pairs") << 2;
    QTest::newRow("sevens") << 7;
    QTest::newRow("longer than an echo") << 41;
}

// However the network cuts the stream, the same commands come out.
void TestSimParser::anySplit()
{
    QFETCH(int, chunk);
    const Fed fed = feedInChunks(QByteArray::fromHex("b0") + kEveryFrame + QByteArray::fromHex("00") + kEveryFrame,
                                 chunk);
    QCOMPARE(fed.lines, kEveryLine + kEveryLine);
    QCOMPARE(fed.garbage.toHex(), QByteArray("b000"));
    QCOMPARE(fed.pending, 0);
}

// Random input never keeps more than one frame, and every byte is accounted for as
// command, garbage or tail.
void TestSimParser::randomBytes()
{
    std::mt19937 random(7);
    CommandParser parser;
    qsizetype fedBytes = 0;
    qsizetype accounted = 0;
    std::size_t found = 0;
    for (int round = 0; round < 2000; ++round) {
        QByteArray chunk(static_cast<qsizetype>(random() % 64), '\0');
        for (char &byte : chunk)
            byte = static_cast<char>(random() & 0xFF);
        fedBytes += chunk.size();
        const ParseResult result = parser.feed(chunk);
        accounted += result.garbage.size();
        found += result.commands.size();
        for (const ParsedCommand &command : result.commands)
            accounted += frameLength(command.info->payload);
        QVERIFY(parser.pendingBytes() < 40);
    }
    QCOMPARE(accounted + parser.pendingBytes(), fedBytes);
    QVERIFY(found > 0);
}

QTEST_APPLESS_MAIN(TestSimParser)
#include "tst_simparser.moc"
