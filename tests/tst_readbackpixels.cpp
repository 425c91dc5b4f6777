// The readback boxes skip text shaping; every text they can show must still draw exactly
// as the shaped text of the window's font would. They paint every pixel of their own, in
// white or the alarm colour exactly, so a new value repaints nothing but the boxes.

#include "PanelSupport.h"
#include "ReadingsSupport.h"

#include "Gui/Panels.h"
#include "Gui/ReadbackBox.h"
#include "status/StatusFrame.h"

#include <QImage>
#include <QSet>

class TestReadbackPixels : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameAsShaped_data();
    void sameAsShaped();
    void onlyTheBoxesRepaint_data();
    void onlyTheBoxesRepaint();
    void exactColours_data();
    void exactColours();

private:
    FakeClock m_clock;
    std::unique_ptr<TcpPanel> m_panel;
    std::unique_ptr<TcpPanel> m_shaped;
};

void TestReadbackPixels::initTestCase()
{
    m_panel = makeRefusedPanel(m_clock, false);
    m_shaped = makeRefusedPanel(m_clock, false);
    for (std::string_view name : kReadbackBoxes) {
        auto *box = m_shaped->findChild<QLineEdit *>(QString::fromLatin1(name.data()));
        QFont font = box->font();
        font.setStyleStrategy(QFont::PreferDefault);
        box->setFont(font);
    }
    m_panel->show();
    m_shaped->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_panel.get()));
    QVERIFY(QTest::qWaitForWindowExposed(m_shaped.get()));
}

void TestReadbackPixels::sameAsShaped_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QStringList>("texts");
    for (std::size_t i = 0; i < kReadbacks.size(); ++i) {
        QStringList texts;
        for (int value = 0; value <= 4095; ++value)
            texts << readbackText(kReadbacks[i].format, value);
        const QString name = QString::fromLatin1(kReadbackBoxes[i].data());
        QTest::newRow(qPrintable(name + QStringLiteral(": every reading"))) << name << texts;
    }
    QTest::newRow("initial texts")
        << QStringLiteral("txtEclPd")
        << QStringList{QString::fromUtf8("?°"), QStringLiteral("TEC: ?"), QStringLiteral("PD: ?%"),
                       QStringLiteral("PD: ?"), QStringLiteral("?")};
}

void TestReadbackPixels::sameAsShaped()
{
    QFETCH(QString, box);
    QFETCH(QStringList, texts);
    auto *ours = m_panel->findChild<QLineEdit *>(box);
    auto *shaped = m_shaped->findChild<QLineEdit *>(box);
    QVERIFY(ours->font().styleStrategy() & QFont::PreferNoShaping);
    for (const QString &text : texts) {
        ours->setText(text);
        shaped->setText(text);
        if (ours->grab().toImage() != shaped->grab().toImage())
            QFAIL(qPrintable(QStringLiteral("\"%1\" draws differently unshaped").arg(text)));
    }
}

void TestReadbackPixels::onlyTheBoxesRepaint_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QStringList>("repainted");
    StatusReadings potOnly;
    potOnly.values.fill(2000);
    const QByteArray base = encodeStatusFrame(potOnly);
    potOnly.values[7] = 1234;
    QTest::newRow("one reading changes") << base << encodeStatusFrame(potOnly) << QStringList{"txtPot"};
    QStringList every;
    for (std::string_view name : kReadbackBoxes)
        every << QString::fromLatin1(name.data());
    QTest::newRow("every reading and colour changes") << frameOf(2000) << frameOf(50) << every;
}

void TestReadbackPixels::onlyTheBoxesRepaint()
{
    // An opaque box is repainted alone: the group box behind it is left as it is.
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(QStringList, repainted);
    m_panel->deliverArrival(before);
    QVERIFY(paintPending(*m_panel));
    PaintWatch watch;
    m_panel->deliverArrival(after);
    // One pass paints all that the frame made dirty.
    QTRY_VERIFY(watch.painted.contains(repainted.first()));
    QCOMPARE(watch.painted, QSet<QString>(repainted.begin(), repainted.end()));
}

void TestReadbackPixels::exactColours_data()
{
    QTest::addColumn<int>("reading");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("PD 50 alarms") << 50 << ReadbackBox::alarmColour();
    QTest::newRow("PD 2000 white") << 2000 << ReadbackBox::inRangeColour();
}

void TestReadbackPixels::exactColours()
{
    QFETCH(int, reading);
    QFETCH(QColor, colour);
    m_panel->deliverArrival(frameOf(reading));
    auto *box = m_panel->findChild<ReadbackBox *>(QStringLiteral("txtEclPd"));
    const QImage image = box->grab().toImage();
    // Inside the outline, away from the centred text: the background itself.
    for (const QPoint at : {QPoint(2, 2), QPoint(2, image.height() - 3), QPoint(image.width() - 3, 2)})
        QCOMPARE(image.pixelColor(at), colour);
    QCOMPARE(box->fillColour(), colour);
}

QTEST_MAIN(TestReadbackPixels)
#include "tst_readbackpixels.moc"
