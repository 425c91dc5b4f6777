// The panel's command line: options, help, version and bad input, without a window.

#include "Gui/CommandLine.h"

#include <QCoreApplication>
#include <QTest>

Q_DECLARE_METATYPE(CommandLine::Outcome)

namespace {
using Outcome = CommandLine::Outcome;
}

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
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("firstLine");

    const QString usage = QStringLiteral("Usage: norvane [options]");
    const QString badPort = QStringLiteral("norvane: --port needs a whole number from 1 to 65535.");
    const QString badAddress = QStringLiteral("norvane: --address needs a host name or IP address.");
    const auto row = [](const char *name, const QStringList &arguments, Outcome outcome,
                        const QString &address = {}, const QString &port = {}, const QString &firstLine = {}) {
        QTest::newRow(name) << arguments << outcome << address << port << firstLine;
    };

    row("nothing: fields as built", {}, Outcome::Run);
    row("address", {"--address", "10.0.0.5"}, Outcome::Run, "10.0.0.5");
    row("host name", {"--address", "bench-ctl.lab"}, Outcome::Run, "bench-ctl.lab");
    row("port", {"--port", "5000"}, Outcome::Run, {}, "5000");
    row("both, either order", {"--port", "1", "--address", "::1"}, Outcome::Run, "::1", "1");
    row("highest port", {"--port", "65535"}, Outcome::Run, {}, "65535");

    row("--help", {"--help"}, Outcome::Exit, {}, {}, usage);
    row("-h", {"-h"}, Outcome::Exit, {}, {}, usage);
    row("help with other options", {"--address", "10.0.0.5", "--help"}, Outcome::Exit, {}, {}, usage);
    row("--version", {"--version"}, Outcome::Exit, {}, {}, "norvane 9.8.7");

    row("unknown option", {"--adress", "10.0.0.5"}, Outcome::Fail, {}, {}, "norvane: Unknown option 'adress'.");
    row("unknown beats help", {"--bogus", "--help"}, Outcome::Fail, {}, {}, "norvane: Unknown option 'bogus'.");
    row("address without value", {"--address"}, Outcome::Fail, {}, {},
        "norvane: Missing value after '--address'.");
    row("port without value", {"--address", "10.0.0.5", "--port"}, Outcome::Fail, {}, {},
        "norvane: Missing value after '--port'.");
    row("next option taken for an address", {"--address", "--port", "5000"}, Outcome::Fail, {}, {}, badAddress);
    row("empty address", {"--address", ""}, Outcome::Fail, {}, {}, badAddress);
    row("address with a blank", {"--address", "10.0.0.5 "}, Outcome::Fail, {}, {}, badAddress);
    row("port 0", {"--port", "0"}, Outcome::Fail, {}, {}, badPort);
    row("port 65536", {"--port", "65536"}, Outcome::Fail, {}, {}, badPort);
    row("port with a sign", {"--port", "+80"}, Outcome::Fail, {}, {}, badPort);
    row("port as a name", {"--port", "http"}, Outcome::Fail, {}, {}, badPort);
    row("stray argument", {"10.0.0.5"}, Outcome::Fail, {}, {}, "norvane: Unexpected argument '10.0.0.5'.");
}

void TestCommandLine::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(Outcome, outcome);
    QFETCH(QString, address);
    QFETCH(QString, port);
    QFETCH(QString, firstLine);

    const CommandLine command = parseCommandLine(QStringList{QStringLiteral("/usr/bin/norvane")} + arguments);

    QCOMPARE(command.outcome, outcome);
    QCOMPARE(command.exitStatus(), outcome == Outcome::Fail ? 2 : 0);
    if (outcome == Outcome::Run) {
        QCOMPARE(command.address, address);
        QCOMPARE(command.port, port);
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
    for (const char *option : {"-h, --help", "-v, --version", "--address <host>", "--port <port>"})
        QVERIFY2(help.contains(QLatin1String(option)), option);
}

QTEST_APPLESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
