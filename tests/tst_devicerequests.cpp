// What the panel's requests become on the device, checked against what the device makes of
// them again: the frame a direct panel would have sent; and how the Tango client reads them.

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
    // Rows are named after the line.
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("request");

    const std::pair<const char *, const char *> read[]{
        {"run WarmBoot", "WarmBoot"},
        {"write EclCurrent long 1234", "EclCurrent long 1234"},
        {"write Xdac long -5", "Xdac long -5"},
        {"write UpPiezo double 63.3", "UpPiezo double 63.3"},
        {"write UpPiezo double 1e1", "UpPiezo double 10"},
        {"write ScanOn bool 0", "ScanOn bool 0"},
    };
    for (const auto &[line, request] : read)
        QTest::newRow(line) << QByteArray(line) << QByteArray(request);
    // Refused: spacing, bytes outside printable ASCII, verbs, types, counts and values.
    for (const char *line : {"", "run", "run  WarmBoot", "run WarmBoot ", "run Warm\tBoot", "run W\xE4rm",
                             "run WarmBoot 1", "read EclPd", "write EclCurrent short 1", "write EclCurrent long",
                             "write EclCurrent long 1 2", "write EclCurrent long 12x", "write EclCurrent long +12",
                             "write EclCurrent long 2147483648", "write UpPiezo double nan",
                             "write UpPiezo double inf", "write UpPiezo double 1e400", "write ScanOn bool 2"})
        QTest::newRow(line) << QByteArray(line) << QByteArray("refused");
}

void TestDeviceRequests::clientReadsRequests()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, request);
    QCOMPARE(describe(parseRequest(line.toStdString())), request);
}

QTEST_APPLESS_MAIN(TestDeviceRequests)
#include "tst_devicerequests.moc"
