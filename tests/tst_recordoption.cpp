// --record FILE on the panel's command line, without a window.

#include "Gui/CommandLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QTest>

Q_DECLARE_METATYPE(CommandLine::Outcome)

namespace {
using Outcome = CommandLine::Outcome;
}

class TestRecordOption : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void parse_data();
    void parse();
    void helpNamesIt();
};

void TestRecordOption::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("norvane"));
}

void TestRecordOption::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("record");
    QTest::addColumn<QString>("firstLine");

    const QString needsFile = QStringLiteral("norvane: --record needs a file name.");
    const QString here = QDir::currentPath();
    QTest::newRow("none: no recording") << QStringList{} << int(Outcome::Run) << QString() << QString();
    QTest::newRow("absolute path kept") << QStringList{"--record", "/tmp/night.csv"} << int(Outcome::Run)
                                        << "/tmp/night.csv" << QString();
    QTest::newRow("relative path made absolute")
        << QStringList{"--record", "runs/a b.csv"} << int(Outcome::Run) << here + "/runs/a b.csv" << QString();
    QTest::newRow("equals form") << QStringList{"--record=x.csv"} << int(Outcome::Run) << here + "/x.csv"
                                 << QString();
    QTest::newRow("no value") << QStringList{"--record"} << int(Outcome::Fail) << QString()
                              << "norvane: Missing value after '--record'.";
    QTest::newRow("empty value") << QStringList{"--record="} << int(Outcome::Fail) << QString() << needsFile;
    QTest::newRow("an option for a file") << QStringList{"--record", "--help"} << int(Outcome::Fail) << QString()
                                          << needsFile;
    QTest::newRow("a second file as argument") << QStringList{"--record", "a.csv", "b.csv"} << int(Outcome::Fail)
                                               << here + "/a.csv" << "norvane: Unexpected argument 'b.csv'.";
}

void TestRecordOption::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, outcome);
    QFETCH(QString, record);
    QFETCH(QString, firstLine);
    const CommandLine command = parseCommandLine(QStringList{QStringLiteral("norvane")} + arguments);
    QCOMPARE(int(command.outcome), outcome);
    if (outcome == int(Outcome::Run)) {
        QCOMPARE(command.record, record);
        QCOMPARE(command.exitStatus(), 0);
    } else {
        QCOMPARE(command.text.section(u'\n', 0, 0), firstLine);
        QVERIFY(command.text.contains(QStringLiteral("Usage: norvane [options]")));
        QCOMPARE(command.exitStatus(), 2);
    }
}

void TestRecordOption::helpNamesIt()
{
    const CommandLine command = parseCommandLine({QStringLiteral("norvane"), QStringLiteral("--help")});
    QCOMPARE(command.outcome, Outcome::Exit);
    QVERIFY(command.text.contains(QStringLiteral("--record <file>")));
}

QTEST_GUILESS_MAIN(TestRecordOption)
#include "tst_recordoption.moc"
