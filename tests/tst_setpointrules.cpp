#include "commands/SetpointRules.h"

#include <QtTest>

class TestSetpointRules : public QObject {
    Q_OBJECT
private slots:
    void piezo_data();
    void piezo() { settle(FieldFamily::Piezo); }
    void current_data();
    void current() { settle(FieldFamily::Current); }
    void dac_data();
    void dac() { settle(FieldFamily::Dac); }
    void injection_data();
    void injection();

private:
    static void addColumns();
    static void settle(FieldFamily family);
};

void TestSetpointRules::addColumns()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("settled");
}

void TestSetpointRules::settle(FieldFamily family)
{
    QFETCH(QString, typed);
    QFETCH(QString, settled);
    QCOMPARE(settleText(family, typed), settled);
}

void TestSetpointRules::piezo_data()
{
    addColumns();
    QTest::newRow("piezo 63.3 stays") << "63.3" << "63.3";
    QTest::newRow("piezo 63.30 stays") << "63.30" << "63.30";
    QTest::newRow("piezo empty stays") << "" << "";
    QTest::newRow("piezo letters stay") << "abc" << "abc";
    QTest::newRow("piezo lone minus stays") << "-" << "-";
    QTest::newRow("piezo trailing letter stays") << "12x" << "12x";
    QTest::newRow("piezo 63.31 empties") << "63.31" << "";
    QTest::newRow("piezo 64 empties") << "64" << "";
    QTest::newRow("piezo -0.1 empties") << "-0.1" << "";
    QTest::newRow("piezo 9e999 empties") << "9e999" << "";
    QTest::newRow("piezo -9e999 empties") << "-9e999" << "";
}

void TestSetpointRules::current_data()
{
    addColumns();
    QTest::newRow("current 12.7 cut to 12") << "12.7" << "12";
    QTest::newRow("current 007 becomes 7") << "007" << "7";
    QTest::newRow("current lone period becomes 0") << "." << "0";
    QTest::newRow("current lone minus becomes 0") << "-" << "0";
    QTest::newRow("current letter becomes 0") << "a" << "0";
    QTest::newRow("current 3x becomes 3") << "3x" << "3";
    QTest::newRow("current -0 becomes 0") << "-0" << "0";
    QTest::newRow("current 4094.9 cut to 4094") << "4094.9" << "4094";
    QTest::newRow("current 4095 stays") << "4095" << "4095";
    QTest::newRow("current empty stays") << "" << "";
    QTest::newRow("current -5 empties") << "-5" << "";
    QTest::newRow("current -0.5 empties") << "-0.5" << "";
    QTest::newRow("current 5000 empties") << "5000" << "";
    QTest::newRow("current 4096 empties") << "4096" << "";
    QTest::newRow("current 4095.1 empties") << "4095.1" << "";
    QTest::newRow("current 9e999 empties") << "9e999" << "";
}

void TestSetpointRules::dac_data()
{
    addColumns();
    QTest::newRow("dac -1 becomes 0") << "-1" << "0";
    QTest::newRow("dac -0.1 becomes 0") << "-0.1" << "0";
    QTest::newRow("dac 4096 becomes 4095") << "4096" << "4095";
    QTest::newRow("dac 9999 becomes 4095") << "9999" << "4095";
    QTest::newRow("dac 1e4 becomes 4095") << "1e4" << "4095";
    QTest::newRow("dac 4095.1 becomes 4095") << "4095.1" << "4095";
    QTest::newRow("dac 9e999 becomes 4095") << "9e999" << "4095";
    QTest::newRow("dac 4095 stays") << "4095" << "4095";
    QTest::newRow("dac 2.5 stays") << "2.5" << "2.5";
    QTest::newRow("dac 007 stays") << "007" << "007";
    QTest::newRow("dac lone minus stays") << "-" << "-";
    QTest::newRow("dac letters stay") << "abc" << "abc";
    QTest::newRow("dac empty stays") << "" << "";
}

void TestSetpointRules::injection_data()
{
    addColumns();
    QTest::newRow("injection 100 stays") << "100" << "100";
    QTest::newRow("injection empty stays") << "" << "";
    QTest::newRow("injection 101 becomes 0") << "101" << "0";
    QTest::newRow("injection 100.5 becomes 0") << "100.5" << "0";
    QTest::newRow("injection 500 becomes 0") << "500" << "0";
    QTest::newRow("injection -1 becomes 0") << "-1" << "0";
}

void TestSetpointRules::injection()
{
    QFETCH(QString, typed);
    QFETCH(QString, settled);
    QCOMPARE(injectionLimit(typed), settled);
}

QTEST_APPLESS_MAIN(TestSetpointRules)
#include "tst_setpointrules.moc"
