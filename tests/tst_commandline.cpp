// The panel's command line: options, help, version and bad input, without a window.

#include "Gui/CommandLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QTest>

namespace {

using Outcome = CommandLine::Outcome;

// What a command line that runs leaves; an empty field stays as built.
struct Parsed {
    QString address = {};
    QString port = {};
    QString device = {};
    QString record = {};   // relative to the current folder
    QString incidents = {};   // relative to the current folder
    bool notify = true;
};

} // namespace

Q_DECLARE_METATYPE(CommandLine::Outcome)
Q_DECLARE_METATYPE(Parsed)

namespace QTest {
template <> char *toString(const Outcome &outcome)
{
    constexpr const char *kNames[] = {"Run", "Exit", "Fail"};
    return qstrdup(kNames[static_cast<int>(outcome)]);
}
} // namespace QTest

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void parse_data();
    void parse();
    void helpNamesEveryOption();
};

void TestCommandLine::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("norvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral("9.8.7"));
}

void TestCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<Parsed>("parsed");
    QTest::addColumn<QString>("firstLine");

    const QString usage = QStringLiteral("Usage: norvane [options]");
    const QString badPort = QStringLiteral("norvane: --port needs a whole number from 1 to 65535.");
    const QString badAddress = QStringLiteral("norvane: --address needs a host name or IP address.");
    const QString needsFile = QStringLiteral("norvane: --record needs a file name.");
    const QString combined = QStringLiteral("norvane: --device cannot be combined with --address or --port.");
    const QString noDevice = QStringLiteral("norvane: --device needs a device name.");
    const auto run = [](const char *name, const QStringList &arguments, const Parsed &parsed = {}) {
        QTest::newRow(name) << arguments << Outcome::Run << parsed << QString();
    };
    const auto end = [](const char *name, const QStringList &arguments, Outcome outcome, const QString &firstLine) {
        QTest::newRow(name) << arguments << outcome << Parsed{} << firstLine;
    };

    run("nothing: fields as built, no device, no recording", {});
    run("address, no device", {"--address", "10.0.0.5"}, {.address = "10.0.0.5"});
    run("host name", {"--address", "bench-ctl.lab"}, {.address = "bench-ctl.lab"});
    run("port", {"--port", "5000"}, {.port = "5000"});
    run("both, either order", {"--port", "1", "--address", "::1"}, {.address = "::1", .port = "1"});
    run("highest port", {"--port", "65535"}, {.port = "65535"});
    run("absolute record path kept", {"--record", "/tmp/night.csv"}, {.record = "/tmp/night.csv"});
    run("relative record path made absolute", {"--record", "runs/a b.csv"}, {.record = "runs/a b.csv"});
    run("record, equals form", {"--record=x.csv"}, {.record = "x.csv"});
    run("device alone", {"--device", "lab/bench/1"}, {.device = "lab/bench/1"});
    run("device as a URL", {"--device", "tango://ctl:10000/lab/bench/1#dbase=no"},
        {.device = "tango://ctl:10000/lab/bench/1#dbase=no"});
    run("device with --record", {"--record", "bench.csv", "--device", "lab/bench/1"},
        {.device = "lab/bench/1", .record = "bench.csv"});

    end("--help", {"--help"}, Outcome::Exit, usage);
    end("-h", {"-h"}, Outcome::Exit, usage);
    end("help with other options", {"--address", "10.0.0.5", "--help"}, Outcome::Exit, usage);
    end("--version", {"--version"}, Outcome::Exit, "norvane 9.8.7");

    end("unknown option", {"--adress", "10.0.0.5"}, Outcome::Fail, "norvane: Unknown option 'adress'.");
    end("unknown beats help", {"--bogus", "--help"}, Outcome::Fail, "norvane: Unknown option 'bogus'.");
    end("address without value", {"--address"}, Outcome::Fail, "norvane: Missing value after '--address'.");
    end("port without value", {"--address", "10.0.0.5", "--port"}, Outcome::Fail,
        "norvane: Missing value after '--port'.");
    end("next option taken for an address", {"--address", "--port", "5000"}, Outcome::Fail, badAddress);
    end("empty address", {"--address", ""}, Outcome::Fail, badAddress);
    end("address with a blank", {"--address", "10.0.0.5 "}, Outcome::Fail, badAddress);
    end("port 0", {"--port", "0"}, Outcome::Fail, badPort);
    end("port 65536", {"--port", "65536"}, Outcome::Fail, badPort);
    end("port with a sign", {"--port", "+80"}, Outcome::Fail, badPort);
    end("port as a name", {"--port", "http"}, Outcome::Fail, badPort);
    end("stray argument", {"10.0.0.5"}, Outcome::Fail, "norvane: Unexpected argument '10.0.0.5'.");
    end("record without value", {"--record"}, Outcome::Fail, "norvane: Missing value after '--record'.");
    end("empty record value", {"--record="}, Outcome::Fail, needsFile);
    end("an option taken for a record file", {"--record", "--help"}, Outcome::Fail, needsFile);
    end("a second record file", {"--record", "a.csv", "b.csv"}, Outcome::Fail, "norvane: Unexpected argument 'b.csv'.");
    end("device with --address", {"--device", "lab/bench/1", "--address", "10.0.0.5"}, Outcome::Fail, combined);
    end("device with --port", {"--port", "5000", "--device", "lab/bench/1"}, Outcome::Fail, combined);
    end("device with both", {"--device", "lab/bench/1", "--address", "h", "--port", "1"}, Outcome::Fail, combined);
    end("empty device", {"--device", ""}, Outcome::Fail, noDevice);
    end("next option taken for a device", {"--device", "--record", "f.csv"}, Outcome::Fail, noDevice);
    end("device without value", {"--device"}, Outcome::Fail, "norvane: Missing value after '--device'.");
    run("incidents folder made absolute, with a device", {"--incidents", "night", "--device", "lab/bench/1"},
        {.device = "lab/bench/1", .incidents = "night"});
    run("no notifications", {"--no-notify"}, {.notify = false});
    end("an option taken for an incidents folder", {"--incidents", "--no-notify"}, Outcome::Fail,
        "norvane: --incidents needs a folder.");
}

void TestCommandLine::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(Outcome, outcome);
    QFETCH(Parsed, parsed);
    QFETCH(QString, firstLine);

    const CommandLine command = parseCommandLine(QStringList{QStringLiteral("/usr/bin/norvane")} + arguments);

    QCOMPARE(command.outcome, outcome);
    QCOMPARE(command.exitStatus(), outcome == Outcome::Fail ? 2 : 0);
    if (outcome == Outcome::Run) {
        QCOMPARE(command.address, parsed.address);
        QCOMPARE(command.port, parsed.port);
        QCOMPARE(command.device, parsed.device);
        QCOMPARE(command.record, parsed.record.isEmpty() ? QString() : QDir::current().absoluteFilePath(parsed.record));
        QCOMPARE(command.incidents, parsed.incidents.isEmpty() ? QString() : QDir::current().absoluteFilePath(parsed.incidents));
        QCOMPARE(command.notify, parsed.notify);
        QVERIFY(command.text.isEmpty());
        return;
    }
    QVERIFY(command.text.endsWith(u'\n'));
    const QStringList lines = command.text.split(u'\n');
    QCOMPARE(lines.first(), firstLine);
    if (outcome == Outcome::Fail)   // one line of error, then the usage
        QCOMPARE(lines.at(1), QStringLiteral("Usage: norvane [options]"));
}

void TestCommandLine::helpNamesEveryOption()
{
    const QString help = parseCommandLine({QStringLiteral("norvane"), QStringLiteral("--help")}).text;
    for (const char *option :
         {"-h, --help", "-v, --version", "--address <host>", "--port <port>", "--device <name>", "--record <file>",
          "--incidents <folder>", "--no-notify"})
        QVERIFY2(help.contains(QLatin1String(option)), option);
}

QTEST_APPLESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
