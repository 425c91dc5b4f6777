// The readback boxes skip text shaping; every text they can show must still draw exactly
// as the shaped text of the window's font would.

#include "TestSupport.h"

#include "Gui/Panels.h"
#include "status/StatusFrame.h"

#include <QImage>

class TestReadbackPixels : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameAsShaped_data();
    void sameAsShaped();

private:
    FakeClock m_clock;
    std::unique_ptr<FormMain> m_panel;
    std::unique_ptr<FormMain> m_shaped;
};

void TestReadbackPixels::initTestCase()
{
    m_panel = makePanel(m_clock, closedPort(), false);
    m_shaped = makePanel(m_clock, closedPort(), false);
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

QTEST_MAIN(TestReadbackPixels)
#include "tst_readbackpixels.moc"
