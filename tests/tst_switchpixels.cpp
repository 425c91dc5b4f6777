// The switches paint every pixel of their own, from pictures of the looks they have
// shown; they must look exactly as a see-through check box in their place does, in every
// state, and a flip must repaint the switch alone.

#include "PanelSupport.h"
#include "ReadingsSupport.h"

#include "Gui/Panels.h"
#include "status/StatusFrame.h"

#include <QCheckBox>
#include <QImage>
#include <QSet>

namespace {

enum class Look { Unchecked, Checked, FocusedByTab, Disabled };

} // namespace

Q_DECLARE_METATYPE(Look)

class TestSwitchPixels : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void looksLikeACheckBox_data();
    void looksLikeACheckBox();
    void onlyTheSwitchRepaints_data();
    void onlyTheSwitchRepaints();

private:
    QCheckBox *switchBox(const QString &name) { return m_panel->findChild<QCheckBox *>(name); }
    QImage windowAt(const QWidget &widget);

    FakeClock m_clock;
    std::unique_ptr<TcpPanel> m_panel;
};

void TestSwitchPixels::init()
{
    m_panel = makeRefusedPanel(m_clock, false);
    m_panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_panel.get()));
}

void TestSwitchPixels::cleanup()
{
    m_panel.reset();
}

// The window's pixels where `widget` lies, everything beneath and above it included.
QImage TestSwitchPixels::windowAt(const QWidget &widget)
{
    return m_panel->grab(QRect(widget.mapTo(m_panel.get(), QPoint()), widget.size())).toImage();
}

void TestSwitchPixels::looksLikeACheckBox_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<Look>("look");
    const std::pair<const char *, Look> looks[] = {
        {"unchecked", Look::Unchecked},
        {"checked", Look::Checked},
        {"focused by Tab", Look::FocusedByTab},
        {"disabled", Look::Disabled},
    };
    for (std::string_view box : kSwitchBoxes) {
        const QString name = QString::fromLatin1(box.data(), static_cast<qsizetype>(box.size()));
        for (const auto &[label, look] : looks)
            QTest::newRow(qPrintable(name + QLatin1Char(' ') + QLatin1String(label))) << name << look;
    }
}

void TestSwitchPixels::looksLikeACheckBox()
{
    // chkHeater lies over a corner of a readback, chkSlowLock over a row of chkNarrow:
    // what shows through a see-through check box must show here too.
    QFETCH(QString, name);
    QFETCH(Look, look);
    QCheckBox *ours = switchBox(name);
    auto *plain = new QCheckBox(ours->text(), ours->parentWidget());   // the panel's, for this test
    plain->setGeometry(ours->geometry());
    plain->stackUnder(ours);
    plain->hide();
    const auto setLook = [&](QCheckBox *box) {
        box->setChecked(look == Look::Checked);
        box->setEnabled(look != Look::Disabled);
        if (look == Look::FocusedByTab)
            box->setFocus(Qt::TabFocusReason);
    };
    setLook(ours);
    QTRY_COMPARE(ours->hasFocus(), look == Look::FocusedByTab);
    const QImage ourImage = windowAt(*ours);
    ours->hide();
    plain->show();
    setLook(plain);
    QTRY_COMPARE(plain->hasFocus(), look == Look::FocusedByTab);
    const QImage plainImage = windowAt(*plain);
    QCOMPARE(ourImage.size(), plainImage.size());
    QVERIFY2(ourImage == plainImage, "the switch does not look like a check box in its place");
}

void TestSwitchPixels::onlyTheSwitchRepaints_data()
{
    QTest::addColumn<int>("mask");
    QTest::addColumn<QString>("name");
    for (std::size_t i = 0; i < kSwitches.size(); ++i) {
        const std::string_view box = kSwitchBoxes[i];
        const QString name = QString::fromLatin1(box.data(), static_cast<qsizetype>(box.size()));
        QTest::newRow(qPrintable(name + QStringLiteral(" flips"))) << int(kSwitches[i].mask) << name;
    }
}

void TestSwitchPixels::onlyTheSwitchRepaints()
{
    // An opaque switch is repainted alone: the group box behind it is left as it is,
    // once the switch has a picture of each look (drawing one renders what lies behind).
    QFETCH(int, mask);
    QFETCH(QString, name);
    for (const int flags : {mask, 0}) {
        PaintWatch painted;
        m_panel->deliverArrival(frameOf(2000, static_cast<std::uint8_t>(flags)));
        QTRY_VERIFY(painted.painted.contains(name));
    }
    QVERIFY(paintPending(*m_panel));
    PaintWatch watch;
    m_panel->deliverArrival(frameOf(2000, static_cast<std::uint8_t>(mask)));
    QVERIFY(switchBox(name)->isChecked());
    // One pass paints all that the frame made dirty.
    QTRY_VERIFY(watch.painted.contains(name));
    QCOMPARE(watch.painted, QSet<QString>{name});
}

QTEST_MAIN(TestSwitchPixels)
#include "tst_switchpixels.moc"
