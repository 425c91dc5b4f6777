// The simulator's options: what each one becomes, and which combinations and values it refuses.

#include "sim/SimCommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTest>

class TestSimCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void read_data();
    void read();
};

void TestSimCommandLine::read_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("port");
    QTest::addColumn<double>("rate");      // the bench's, or the replay's speed
    QTest::addColumn<bool>("replaying");

    const auto ok = [](const char *name, const QStringList &arguments, int port = 44174, double rate = 10,
                       bool replaying = false) {
        QTest::newRow(name) << arguments << QString() << port << rate << replaying;
    };
    const auto refused = [](const char *name, const QStringList &arguments, const char *error) {
        QTest::newRow(name) << arguments << QString::fromLatin1(error) << 0 << 0.0 << false;
    };

    ok("nothing: the default port and rate", {});
    ok("port 0 picks a free one", {"--port", "0"}, 0);
    ok("highest port", {"--port", "65535"}, 65535);
    refused("port above 65535", {"--port", "65536"}, "--port needs 0 to 65535");
    refused("port in letters", {"--port", "abc"}, "--port needs 0 to 65535");
    refused("host name is no address", {"--host", "bench.lab"}, "--host needs an IP address");
    ok("highest rate", {"--rate", "20000"}, 44174, 20000);
    refused("rate above the highest", {"--rate", "20001"}, "--rate needs a number above 0, at most 20000");
    refused("rate zero", {"--rate", "0"}, "--rate needs a number above 0, at most 20000");
    refused("rate not a number", {"--rate", "nan"}, "--rate needs a number above 0, at most 20000");
    refused("negative seed", {"--seed", "-1"}, "--seed needs a whole number");
    refused("close-after zero", {"--close-after", "0"}, "--close-after needs seconds above 0");
    refused("stall in letters", {"--stall", "long"}, "--stall needs seconds above 0");
    ok("smallest flood", {"--flood", "2"});
    refused("flood of one byte", {"--flood", "1"}, "--flood needs 2 to 67108864 bytes");
    refused("flood above 64 MiB", {"--flood", "67108865"}, "--flood needs 2 to 67108864 bytes");
    refused("split and join", {"--split", "--join"}, "--split and --join do not combine");
    refused("silent and stall", {"--stall", "3", "--silent"}, "--silent and --stall do not combine");
    refused("a conflict before a bad value", {"--refuse", "--silent", "--port", "x"},
            "--refuse and --silent do not combine");
    refused("speed without replay", {"--speed", "2"}, "--speed needs --replay");
    refused("loop without replay", {"--loop"}, "--loop needs --replay");
    refused("replay with a rate", {"--replay", "a.csv", "--rate", "5"}, "--replay and --rate do not combine");
    ok("replay at double speed", {"--replay", "a.csv", "--speed", "2"}, 44174, 2, true);
    ok("replay of an empty name still replays", {"--replay", ""}, 44174, 1, true);
    refused("replay speed zero", {"--replay", "a.csv", "--speed", "0"}, "--speed needs a number above 0");
    refused("replay speed infinite", {"--replay", "a.csv", "--speed", "inf"}, "--speed needs a number above 0");
    refused("port is checked when replaying too", {"--replay", "a.csv", "--port", "-1"},
            "--port needs 0 to 65535");
}

void TestSimCommandLine::read()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    QFETCH(int, port);
    QFETCH(double, rate);
    QFETCH(bool, replaying);

    QCommandLineParser parser;
    addSimOptions(parser);
    QVERIFY2(parser.parse(QStringList{QStringLiteral("norvane-sim")} + arguments), qPrintable(parser.errorText()));
    const SimCommandLine command = readSimOptions(parser);

    QCOMPARE(command.error, error);
    if (!error.isEmpty())
        return;
    QCOMPARE(command.replaying, replaying);
    QCOMPARE(replaying ? command.replay.port : command.sim.port, port);
    QCOMPARE(replaying ? command.replay.speed : command.sim.rate, rate);
    if (replaying)
        QCOMPARE(command.replayPath, arguments.at(1));
}

QTEST_APPLESS_MAIN(TestSimCommandLine)
#include "tst_simcommandline.moc"
