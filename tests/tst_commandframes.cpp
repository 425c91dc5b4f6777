#include "commands/CommandFrames.h"

#include <QtTest>

Q_DECLARE_METATYPE(Command)

class TestCommandFrames : public QObject {
    Q_OBJECT
private slots:
    void encode_data();
    void encode();
    void table();
};

void TestCommandFrames::encode_data()
{
    QTest::addColumn<Command>("command");
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QByteArray>("frame");   // empty: refused

    const auto hex = [](const char *bytes) { return QByteArray::fromHex(bytes); };
    QTest::newRow("current empty") << Command::SetEclCurrent << QString() << false << hex("a50000");
    QTest::newRow("current 255") << Command::SetEclCurrent << "255" << false << hex("a500ff");
    QTest::newRow("current 256") << Command::SetEclCurrent << "256" << false << hex("a50100");
    QTest::newRow("current 4095") << Command::SetEclCurrent << "4095" << false << hex("a50fff");
    QTest::newRow("x 2.5 ties down") << Command::SetXdac << "2.5" << false << hex("a00002");
    QTest::newRow("x 3.5 ties up") << Command::SetXdac << "3.5" << false << hex("a00004");
    QTest::newRow("x 99.5") << Command::SetXdac << "99.5" << false << hex("a00064");
    QTest::newRow("piezo empty") << Command::SetDownPiezo << QString() << false << hex("ab0fff");
    QTest::newRow("piezo 0") << Command::SetDownPiezo << "0" << false << hex("ab0fff");
    QTest::newRow("piezo 63.3") << Command::SetDownPiezo << "63.3" << false << hex("ab0000");
    QTest::newRow("piezo 10") << Command::SetDownPiezo << "10" << false << hex("ab0d79");
    QTest::newRow("piezo 31.65 half") << Command::SetDownPiezo << "31.65" << false << hex("ab0800");
    QTest::newRow("piezo 1") << Command::SetDownPiezo << "1" << false << hex("ab0fbf");
    QTest::newRow("ecl tec checked") << Command::SetEclTec << QString() << true << hex("a701");
    QTest::newRow("ecl tec unchecked") << Command::SetEclTec << QString() << false << hex("a700");
    QTest::newRow("slow lock checked") << Command::SetSlowLock << QString() << true << hex("b501");
    QTest::newRow("switch ignores field") << Command::SetHeater << "5" << true << hex("ad01");
    QTest::newRow("xysquare") << Command::XYSquare << "5" << true << hex("a2");
    QTest::newRow("warmboot") << Command::WarmBoot << QString() << false << hex("a4");
    QTest::newRow("keepalive") << Command::KeepAlive << QString() << false << hex("a3");
    QTest::newRow("echo 40 bytes") << Command::Echo << QString() << false
                                   << QByteArray("\xaf" "Hi, this should show up on the console.");
    QTest::newRow("count 65535 fits") << Command::SetXdac << "65535" << false << hex("a0ffff");
    QTest::newRow("-0.5 ties to zero") << Command::SetXdac << "-0.5" << false << hex("a00000");
    QTest::newRow("-1 refused") << Command::SetXdac << "-1" << false << QByteArray();
    QTest::newRow("65536 refused") << Command::SetXdac << "65536" << false << QByteArray();
    QTest::newRow("65535.5 ties up, refused") << Command::SetXdac << "65535.5" << false << QByteArray();
    QTest::newRow("1e999 refused") << Command::SetEclCurrent << "1e999" << false << QByteArray();
    QTest::newRow("-1e999 refused") << Command::SetEclCurrent << "-1e999" << false << QByteArray();
    QTest::newRow("1e300 refused") << Command::SetEclCurrent << "1e300" << false << QByteArray();
    QTest::newRow("piezo 100000 refused") << Command::SetEclPiezo << "100000" << false << QByteArray();
    QTest::newRow("piezo -1e999 refused") << Command::SetEclPiezo << "-1e999" << false << QByteArray();
}

void TestCommandFrames::encode()
{
    QFETCH(Command, command);
    QFETCH(QString, field);
    QFETCH(bool, checked);
    QFETCH(QByteArray, frame);

    const std::optional<QByteArray> encoded = encodeCommand(command, field, checked);
    if (frame.isEmpty()) {
        QVERIFY(!encoded);
        return;
    }
    QVERIFY(encoded);
    QCOMPARE(encoded->toHex(' '), frame.toHex(' '));
}

// commandInfo() indexes the table by Command: each row must sit at its enumerator.
static_assert([] {
    for (std::size_t i = 0; i < kCommands.size(); ++i) {
        if (static_cast<std::size_t>(kCommands[i].command) != i)
            return false;
    }
    return true;
}());

void TestCommandFrames::table()
{
    for (const CommandInfo &info : kCommands) {
        QCOMPARE(commandByOpcode(info.opcode), &info);
        const std::optional<QByteArray> frame = encodeCommand(info.command, u"0");
        QVERIFY(frame);
        QCOMPARE(frame->size(), frameLength(info.payload));
        QCOMPARE(static_cast<std::uint8_t>(frame->at(0)), info.opcode);
    }
    for (std::uint8_t opcode : {0x00, 0x9F, 0xB0, 0xB4, 0xB6, 0xFF})
        QVERIFY2(!commandByOpcode(opcode), qPrintable(QString::number(opcode, 16)));
}

QTEST_APPLESS_MAIN(TestCommandFrames)
#include "tst_commandframes.moc"
