#include "commands/LeadingNumber.h"

#include <QtTest>

#include <cmath>
#include <limits>

class TestLeadingNumber : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
};

void TestLeadingNumber::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    const double inf = std::numeric_limits<double>::infinity();
    const QString zeros400(400, u'0');

    QTest::newRow("empty") << QString() << 0.0;
    QTest::newRow("plus") << "+7" << 7.0;
    QTest::newRow("minus") << "-7" << -7.0;
    QTest::newRow("leading zeros") << "007" << 7.0;
    QTest::newRow("blank between digits") << "1 2" << 12.0;
    QTest::newRow("blank after sign") << "- 5" << -5.0;
    QTest::newRow("tab and line feed inside") << "\t1\n2 " << 12.0;
    QTest::newRow("63.3 exact") << "63.3" << 63.3;
    QTest::newRow("2.5 exact") << "2.5" << 2.5;
    QTest::newRow("many digits round once") << "0.1000000000000000055511151231257827" << 0.1;
    QTest::newRow("leading period") << ".5" << 0.5;
    QTest::newRow("trailing period") << "5." << 5.0;
    QTest::newRow("second period stops") << "1.2.3" << 1.2;
    QTest::newRow("comma stops") << "1,5" << 1.0;
    QTest::newRow("E exponent") << "1E3" << 1000.0;
    QTest::newRow("e negative exponent") << "25e-1" << 2.5;
    QTest::newRow("D exponent") << "1D2" << 100.0;
    QTest::newRow("blank inside exponent") << "1e 2" << 100.0;
    QTest::newRow("3e ends at e") << "3e" << 3.0;
    QTest::newRow("3e+ ends at e") << "3e+" << 3.0;
    QTest::newRow("exponent alone") << "e5" << 0.0;
    QTest::newRow("3x") << "3x" << 3.0;
    QTest::newRow("sign after digits stops") << "5-3" << 5.0;
    QTest::newRow("letters") << "abc" << 0.0;
    QTest::newRow("lone period") << "." << 0.0;
    QTest::newRow("lone minus") << "-" << 0.0;
    QTest::newRow("two signs") << "+-5" << 0.0;
    QTest::newRow("arabic-indic digit") << QStringLiteral("\u0661") << 0.0;
    QTest::newRow("&H1F") << "&H1F" << 31.0;
    QTest::newRow("&hff lower case") << "&hff" << 255.0;
    QTest::newRow("&HFFFF unsigned") << "&HFFFF" << 65535.0;
    QTest::newRow("&H blanks inside") << "& h 1 f" << 31.0;
    QTest::newRow("&H1G stops") << "&H1G" << 1.0;
    QTest::newRow("&H empty") << "&H" << 0.0;
    QTest::newRow("&H 80 bits rounds") << "&H" + QString(20, u'F') << std::ldexp(1.0, 80);
    QTest::newRow("&H overflow") << "&H1" + QString(300, u'0') << inf;
    QTest::newRow("&O17") << "&O17" << 15.0;
    QTest::newRow("&o777") << "&o777" << 511.0;
    QTest::newRow("&O78 stops at 8") << "&O78" << 7.0;
    QTest::newRow("&O 90 bits") << "&O1" + QString(30, u'0') << std::ldexp(1.0, 90);
    QTest::newRow("&O 90 bits rounds") << "&O" + QString(30, u'7') << std::ldexp(1.0, 90);
    QTest::newRow("& alone") << "&" << 0.0;
    QTest::newRow("&X") << "&X1" << 0.0;
    QTest::newRow("sign before &H") << "-&H10" << 0.0;
    QTest::newRow("9e999") << "9e999" << inf;
    QTest::newRow("-1e400") << "-1e400" << -inf;
    QTest::newRow("exponent beyond int64") << "1e99999999999999999999" << inf;
    QTest::newRow("largest") << "1.7976931348623157e308" << std::numeric_limits<double>::max();
    QTest::newRow("just past largest") << "1.8e308" << inf;
    QTest::newRow("400 digits") << "1" + zeros400 << inf;
    QTest::newRow("digits offset exponent") << "1" + zeros400 + "e-400" << 1.0;
    QTest::newRow("zeros offset exponent") << "0." + zeros400 + "1e400" << 0.1;
    QTest::newRow("smallest subnormal") << "5e-324" << std::numeric_limits<double>::denorm_min();
    QTest::newRow("underflow") << "1e-400" << 0.0;
    QTest::newRow("negative exponent beyond int64") << "1e-99999999999999999999" << 0.0;
    QTest::newRow("zero huge exponent") << "0e99999" << 0.0;
}

void TestLeadingNumber::parse()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    const double actual = leadingNumber(text);
    // exact comparison: QCOMPARE on doubles is fuzzy
    QVERIFY2(actual == expected, qPrintable(QString::number(actual, 'g', 17)));
}

QTEST_APPLESS_MAIN(TestLeadingNumber)
#include "tst_leadingnumber.moc"
