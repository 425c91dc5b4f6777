// What the panel's requests become on the device, checked against what the device makes of
// them again: the frame a direct panel would have sent; and how the Tango client reads and
// writes its lines.

#include "tango/tables/BenchTables.h"
#include "tango/devicelink/DeviceRequests.h"
#include "tango/relay/RelayLines.h"

#include <QLocale>
#include <QTest>

Q_DECLARE_METATYPE(CommandRequest)

class TestDeviceRequests : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void piezoVoltsComeBackAsTheSameCount_data();
    void piezoVoltsComeBackAsTheSameCount();
    void clientReadsRequests_data();
    void clientReadsRequests();
    void relayLinesReadBack_data();
    void relayLinesReadBack();
};

namespace {

// A parsed request as "NAME", "NAME long 5", "NAME double 2.5" or "NAME bool 1"; "refused".
QByteArray describe(const std::optional<Request> &request)
{
    if (!request)
        return "refused";
    QByteArray text = QByteArray::fromStdString(request->name);
    if (const auto *count = std::get_if<std::int32_t>(&request->value))
        text += " long " + QByteArray::number(*count);
    else if (const auto *number = std::get_if<double>(&request->value))
        text += " double " + QByteArray::number(*number, 'g', QLocale::FloatingPointShortest);
    else if (const auto *on = std::get_if<bool>(&request->value))
        text += *on ? " bool 1" : " bool 0";
    return text;
}

} // namespace

void TestDeviceRequests::lines_data()
{
    QTest::addColumn<CommandRequest>("request");
    QTest::addColumn<QByteArray>("line");   // empty: nothing goes to the device

    QTest::newRow("current count") << CommandRequest{Command::SetEclCurrent, 1234} << QByteArray("write EclCurrent long 1234\n");
    QTest::newRow("injection current") << CommandRequest{Command::SetInjCurrent, 0} << QByteArray("write InjCurrent long 0\n");
    QTest::newRow("Y dac full scale") << CommandRequest{Command::SetYdac, 4095} << QByteArray("write Ydac long 4095\n");
    QTest::newRow("piezo full scale") << CommandRequest{Command::SetUpPiezo, 0} << QByteArray("write UpPiezo double 63.3\n");
    QTest::newRow("switch on") << CommandRequest{Command::SetHeater, 0, true} << QByteArray("write HeaterOn bool 1\n");
    QTest::newRow("scan switch off") << CommandRequest{Command::SetScanEn, 0, false} << QByteArray("write ScanOn bool 0\n");
    QTest::newRow("warm boot") << CommandRequest{Command::WarmBoot} << QByteArray("run WarmBoot\n");
    QTest::newRow("echo") << CommandRequest{Command::Echo} << QByteArray("run Echo\n");
    QTest::newRow("square") << CommandRequest{Command::XYSquare} << QByteArray("run XYSquare\n");
    QTest::newRow("the device keeps the link alive itself") << CommandRequest{Command::KeepAlive} << QByteArray();
}

void TestDeviceRequests::lines()
{
    QFETCH(CommandRequest, request);
    QFETCH(QByteArray, line);
    QCOMPARE(deviceRequestLine(request).value_or(QByteArray()), line);
    // The Tango client reads back what the link writes.
    if (!line.isEmpty())
        QCOMPARE(describe(parseRequest(line.chopped(1).toStdString())), line.chopped(1).mid(line.indexOf(' ') + 1));
}

void TestDeviceRequests::piezoVoltsComeBackAsTheSameCount_data()
{
    QTest::addColumn<int>("setpoint");
    for (int row = 0; row < kBenchSetpointCount; ++row)
        if (kBenchSetpoints[row].family == FieldFamily::Piezo)
            QTest::newRow(commandInfo(kBenchSetpoints[row].command).name.data()) << row;
}

void TestDeviceRequests::piezoVoltsComeBackAsTheSameCount()
{
    // Every count a panel can send, through the volts the device is written and the text
    // the device makes of them, to the count the controller receives.
    QFETCH(int, setpoint);
    const BenchSetpoint &piezo = kBenchSetpoints[setpoint];
    for (int count = 0; count <= kCountMax; ++count) {
        const double volts = piezoVolts(count);
        QVERIFY(volts >= 0 && volts <= piezo.max);
        const std::optional<CommandRequest> request = commandRequest(piezo.command, setpointText(piezo, volts));
        QVERIFY2(request && request->count == count, qPrintable(QString::number(count)));
    }
}

void TestDeviceRequests::clientReadsRequests_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("request");

    QTest::newRow("a command") << QByteArray("run WarmBoot") << QByteArray("WarmBoot");
    QTest::newRow("a count") << QByteArray("write EclCurrent long 1234") << QByteArray("EclCurrent long 1234");
    QTest::newRow("a negative count") << QByteArray("write Xdac long -5") << QByteArray("Xdac long -5");
    QTest::newRow("the largest count") << QByteArray("write Xdac long 2147483647") << QByteArray("Xdac long 2147483647");
    QTest::newRow("volts") << QByteArray("write UpPiezo double 63.3") << QByteArray("UpPiezo double 63.3");
    QTest::newRow("volts in exponent form") << QByteArray("write UpPiezo double 1e1") << QByteArray("UpPiezo double 10");
    QTest::newRow("a switch off") << QByteArray("write ScanOn bool 0") << QByteArray("ScanOn bool 0");

    const QByteArray refused("refused");
    QTest::newRow("empty") << QByteArray() << refused;
    QTest::newRow("a word alone") << QByteArray("run") << refused;
    QTest::newRow("two spaces") << QByteArray("run  WarmBoot") << refused;
    QTest::newRow("a trailing space") << QByteArray("run WarmBoot ") << refused;
    QTest::newRow("a tab") << QByteArray("run Warm\tBoot") << refused;
    QTest::newRow("a byte above ASCII") << QByteArray("run W\xE4rm") << refused;
    QTest::newRow("a command with an argument") << QByteArray("run WarmBoot 1") << refused;
    QTest::newRow("an unknown verb") << QByteArray("read EclPd") << refused;
    QTest::newRow("an unknown type") << QByteArray("write EclCurrent short 1") << refused;
    QTest::newRow("a write without a value") << QByteArray("write EclCurrent long") << refused;
    QTest::newRow("a write of two values") << QByteArray("write EclCurrent long 1 2") << refused;
    QTest::newRow("a count with letters after") << QByteArray("write EclCurrent long 12x") << refused;
    QTest::newRow("a count with a plus sign") << QByteArray("write EclCurrent long +12") << refused;
    QTest::newRow("a count past 32 bits") << QByteArray("write EclCurrent long 2147483648") << refused;
    QTest::newRow("a count with a fraction") << QByteArray("write EclCurrent long 1.5") << refused;
    QTest::newRow("not a number") << QByteArray("write UpPiezo double nan") << refused;
    QTest::newRow("infinity") << QByteArray("write UpPiezo double inf") << refused;
    QTest::newRow("volts past double") << QByteArray("write UpPiezo double 1e400") << refused;
    QTest::newRow("a switch of 2") << QByteArray("write ScanOn bool 2") << refused;
    QTest::newRow("a switch as a word") << QByteArray("write ScanOn bool true") << refused;
}

void TestDeviceRequests::clientReadsRequests()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, request);
    QCOMPARE(describe(parseRequest(line.toStdString())), request);
}

void TestDeviceRequests::relayLinesReadBack_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("read");   // "WORD|NAME|PAYLOAD in hex", or "unreadable"

    const auto written = [](RelayWord word, std::string_view payload = {}) {
        return QByteArray::fromStdString(relayLine(word, payload));
    };
    using namespace std::string_view_literals;
    QTest::newRow("every byte of a frame") << written(RelayWord::Frame, "\x00\xA5\xFF"sv) << QByteArray("frame||00a5ff");
    QTest::newRow("an empty message") << written(RelayWord::Message) << QByteArray("message||");
    QTest::newRow("up") << written(RelayWord::Up) << QByteArray("up||");
    QTest::newRow("a state alone") << QByteArray::fromStdString(stateLine("ON")) << QByteArray("state|ON|");
    QTest::newRow("a state with its status")
        << QByteArray::fromStdString(stateLine("FAULT", "no bench")) << QByteArray("state|FAULT|6e6f2062656e6368");
    QTest::newRow("a failure") << written(RelayWord::Fail, "x") << QByteArray("fail||78");
    QTest::newRow("uppercase hex") << QByteArray("down 4A") << QByteArray("down||4a");

    const QByteArray unreadable("unreadable");
    QTest::newRow("empty") << QByteArray() << unreadable;
    QTest::newRow("an unknown word") << QByteArray("bogus 12") << unreadable;
    QTest::newRow("a word in capitals") << QByteArray("UP") << unreadable;
    QTest::newRow("up with an argument") << QByteArray("up 00") << unreadable;
    QTest::newRow("odd hex") << QByteArray("frame abc") << unreadable;
    QTest::newRow("not hex") << QByteArray("frame zz") << unreadable;
    QTest::newRow("a space and nothing") << QByteArray("error ") << unreadable;
    QTest::newRow("a state without a name") << QByteArray("state") << unreadable;
    QTest::newRow("a state whose status is not hex") << QByteArray("state FAULT no") << unreadable;
}

void TestDeviceRequests::relayLinesReadBack()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, read);
    const std::optional<RelayLine> parsed = parseRelayLine(line.toStdString());
    const QByteArray got = parsed ? QByteArray::fromStdString(std::string(kRelayWords[static_cast<int>(parsed->word)]))
                                        + '|' + QByteArray::fromStdString(parsed->name) + '|'
                                        + QByteArray::fromStdString(parsed->payload).toHex()
                                  : QByteArray("unreadable");
    QCOMPARE(got, read);
}

QTEST_APPLESS_MAIN(TestDeviceRequests)
#include "tst_devicerequests.moc"
