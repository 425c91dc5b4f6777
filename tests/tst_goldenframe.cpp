// One status frame written out by hand, every field a distinct value: what the panel must
// show for it, and the bytes the encoder must give for its readings. Catches a wrong or
// swapped offset, bit or box, which tests built on the same tables cannot see.

#include "PanelSupport.h"
#include "ReadingsSupport.h"

#include <QCheckBox>

namespace {

const QColor kAlarm(255, 160, 160);
const QColor kWhite(255, 255, 255);

} // namespace

class TestGoldenFrame : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void readbacks_data();
    void readbacks();
    void switches_data();
    void switches();
    void encoderGivesTheSameBytes();

private:
    FakeClock m_clock;
    std::unique_ptr<TcpPanel> m_panel;
};

void TestGoldenFrame::initTestCase()
{
    QCOMPARE(kGoldenFrame.size(), 33);
    m_panel = makeRefusedPanel(m_clock);
    m_panel->deliverArrival(kGoldenFrame);
}

void TestGoldenFrame::readbacks_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QColor>("colour");   // invalid: the box has no alarm colour

    const auto row = [](const char *box, const QString &text, QColor colour = {}) {
        QTest::newRow(box) << QString::fromLatin1(box) << text << colour;
    };
    row("txtEclPd", QStringLiteral("PD: 300"), kWhite);
    row("txtEclTec", QStringLiteral("TEC: 5"), kAlarm);
    row("txtEclTemp", QString::fromUtf8(" 15.87°"), kWhite);
    row("txtInjTec", QStringLiteral("TEC: 50"), kWhite);
    row("txtInjTemp", QString::fromUtf8(" 1.92°"), kAlarm);
    row("txtUpPd", QStringLiteral("PD: 2700"));
    row("txtDownPd", QStringLiteral("PD: 1400"));
    row("txtPot", QStringLiteral(" 2047"));
    row("txtEclCurrentDac", QStringLiteral("3103"));
    row("txtEclPiezoDac", QStringLiteral("666"));
    row("txtInjCurrentDac", QStringLiteral("77"));
    row("txtUpPiezoDac", QStringLiteral("3600"));
    row("txtDownPiezoDac", QStringLiteral("777"));
    row("txtXdacDac", QStringLiteral("1601"));
    row("txtYdacDac", QStringLiteral("2457"));
}

void TestGoldenFrame::readbacks()
{
    QFETCH(QString, box);
    QFETCH(QString, text);
    QFETCH(QColor, colour);
    auto *edit = m_panel->findChild<QLineEdit *>(box);
    QVERIFY(edit);
    QCOMPARE(edit->text(), text);
    if (colour.isValid())
        QCOMPARE(fillOf(*m_panel, box), colour);
}

void TestGoldenFrame::switches_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<bool>("checked");
    // flags 0x25: bits 0, 2 and 5
    QTest::newRow("chkEclTec") << QStringLiteral("chkEclTec") << true;
    QTest::newRow("chkInjTec") << QStringLiteral("chkInjTec") << false;
    QTest::newRow("chkScanEn") << QStringLiteral("chkScanEn") << true;
    QTest::newRow("chkHeater") << QStringLiteral("chkHeater") << false;
    QTest::newRow("chkNarrow") << QStringLiteral("chkNarrow") << false;
    QTest::newRow("chkSlowLock") << QStringLiteral("chkSlowLock") << true;
}

void TestGoldenFrame::switches()
{
    QFETCH(QString, box);
    QFETCH(bool, checked);
    QCOMPARE(m_panel->findChild<QCheckBox *>(box)->isChecked(), checked);
}

void TestGoldenFrame::encoderGivesTheSameBytes()
{
    // The readings in frame order, as the simulator hands them to the encoder.
    StatusReadings readings;
    readings.values = {300, 5, 2000, 50, 4048, 2700, 1400, 2047, 3103, 666, 77, 3600, 777, 1601, 2457};
    readings.flags = 0x25;
    QCOMPARE(encodeStatusFrame(readings).toHex(' '), kGoldenFrame.toHex(' '));
}

QTEST_MAIN(TestGoldenFrame)
#include "tst_goldenframe.moc"
