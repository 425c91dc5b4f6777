// What the panel's requests become on the device, checked against what the device makes of
// them again: the frame a direct panel would have sent.

#include "tango/tables/BenchTables.h"
#include "tango/devicelink/DeviceRequests.h"

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
};

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

QTEST_APPLESS_MAIN(TestDeviceRequests)
#include "tst_devicerequests.moc"
