// Status frames applied to the panel through the receive dispatch.

#include "PanelSupport.h"

#include "Gui/Panels.h"
#include "status/StatusFrame.h"

#include <QCheckBox>

namespace {

const QColor kAlarm(255, 160, 160);
const QColor kWhite(255, 255, 255);

QByteArray frameWith(std::initializer_list<std::pair<int, int>> readings, std::uint8_t flags = 0)
{
    StatusReadings values;
    for (auto [index, value] : readings)
        values.values[static_cast<std::size_t>(index)] = value;
    values.flags = flags;
    return encodeStatusFrame(values);
}

} // namespace

class TestIncomingStatus : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void allZeroFrame();
    void colourThresholds_data();
    void colourThresholds();
    void switchesFollowTheFlags_data();
    void switchesFollowTheFlags();
    void guardBeforeDuringAndAfter();
    void setpointFieldsAreUntouched();
    void identicalFrameChangesNoSwitch();
    void identicalFrameRewritesAStaleBox_data();
    void identicalFrameRewritesAStaleBox();

private:
    void deliver(const QByteArray &frame) { QVERIFY(feed(*m_controller, m_clock, *m_panel, frame)); }
    QLineEdit *box(const char *name) { return m_panel->findChild<QLineEdit *>(QString::fromLatin1(name)); }
    QCheckBox *check(const char *name) { return m_panel->findChild<QCheckBox *>(QString::fromLatin1(name)); }

    FakeClock m_clock;
    std::unique_ptr<FakeController> m_controller;
    std::unique_ptr<TcpPanel> m_panel;
};

void TestIncomingStatus::init()
{
    m_controller = std::make_unique<FakeController>();
    m_panel = makePanel(m_clock, m_controller->port());
    QVERIFY(panelConnected(*m_controller, *m_panel));
}

void TestIncomingStatus::cleanup()
{
    m_panel.reset();
    m_controller.reset();
}

void TestIncomingStatus::allZeroFrame()
{
    for (const char *name : {"chkEclTec", "chkHeater", "chkSlowLock"})
        check(name)->setChecked(true);

    deliver(statusFrame(0x00));
    const std::pair<const char *, QString> expected[] = {
        {"txtEclPd", "PD: 0"}, {"txtUpPd", "PD: 0"}, {"txtDownPd", "PD: 0"},
        {"txtEclTec", "TEC: 0"}, {"txtInjTec", "TEC: 0"},
        {"txtEclTemp", QString::fromUtf8(" 29.5°")}, {"txtInjTemp", QString::fromUtf8(" 29.5°")},
        {"txtPot", " 0"}, {"txtEclCurrentDac", "0"}, {"txtYdacDac", "0"},
    };
    for (const auto &[name, text] : expected)
        QCOMPARE(box(name)->text(), text);
    for (const char *name : {"txtEclPd", "txtEclTec", "txtEclTemp", "txtInjTec", "txtInjTemp"})
        QCOMPARE(fillOf(*m_panel, QString::fromLatin1(name)), kAlarm);
    for (const char *name : {"txtUpPd", "txtDownPd", "txtPot", "txtXdacDac"})
        QCOMPARE(fillOf(*m_panel, QString::fromLatin1(name)), kWhite);
    for (std::string_view name : kSwitchBoxes)
        QVERIFY(!check(name.data())->isChecked());
}

void TestIncomingStatus::colourThresholds_data()
{
    QTest::addColumn<int>("reading");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("alarm");
    QTest::newRow("EclPd 100 alarms") << 0 << 100 << "txtEclPd" << true;
    QTest::newRow("EclPd 101 white") << 0 << 101 << "txtEclPd" << false;
    QTest::newRow("EclPd 4000 alarms") << 0 << 4000 << "txtEclPd" << true;
    QTest::newRow("InjTec 10 alarms") << 3 << 10 << "txtInjTec" << true;
    QTest::newRow("InjTec 90 white") << 3 << 90 << "txtInjTec" << false;
    QTest::newRow("InjTec 91 alarms") << 3 << 91 << "txtInjTec" << true;
    QTest::newRow("EclTemp raw 3999 white") << 2 << 3999 << "txtEclTemp" << false;
    QTest::newRow("InjTemp raw 4000 alarms") << 4 << 4000 << "txtInjTemp" << true;
}

void TestIncomingStatus::colourThresholds()
{
    QFETCH(int, reading);
    QFETCH(int, value);
    QFETCH(QString, name);
    QFETCH(bool, alarm);
    deliver(frameWith({{reading, value}}));
    QCOMPARE(fillOf(*m_panel, name), alarm ? kAlarm : kWhite);
}

void TestIncomingStatus::switchesFollowTheFlags_data()
{
    QTest::addColumn<int>("flags");
    QTest::addColumn<QStringList>("checked");
    QTest::newRow("0x3F checks all six")
        << 0x3F << QStringList({"chkEclTec", "chkInjTec", "chkScanEn", "chkHeater", "chkNarrow", "chkSlowLock"});
    QTest::newRow("0xC0 clears all six") << 0xC0 << QStringList();
    QTest::newRow("0x21 ecl tec and slow lock") << 0x21 << QStringList({"chkEclTec", "chkSlowLock"});
}

void TestIncomingStatus::switchesFollowTheFlags()
{
    QFETCH(int, flags);
    QFETCH(QStringList, checked);
    check("chkNarrow")->setChecked(true);
    deliver(frameWith({}, static_cast<std::uint8_t>(flags)));
    for (std::string_view box : kSwitchBoxes) {
        const QString name = QString::fromLatin1(box.data(), static_cast<qsizetype>(box.size()));
        QCOMPARE(m_panel->findChild<QCheckBox *>(name)->isChecked(), checked.contains(name));
    }
}

void TestIncomingStatus::guardBeforeDuringAndAfter()
{
    QCOMPARE(m_panel->guard(), FormMain::PanelGuard::BeforeFirstFrame);
    struct Seen { FormMain::PanelGuard guard; QString pot, dac; };
    std::vector<Seen> seen;
    connect(check("chkHeater"), &QCheckBox::toggled, this, [&] {
        seen.push_back({m_panel->guard(), box("txtPot")->text(), box("txtEclCurrentDac")->text()});
    });

    deliver(frameWith({{7, 1234}, {8, 77}}, 0x08));
    QCOMPARE(m_panel->guard(), FormMain::PanelGuard::Applied);
    // Raised inside the frame: readbacks before the switches are written, DACs not yet.
    QCOMPARE(seen.size(), 1u);
    QCOMPARE(seen[0].guard, FormMain::PanelGuard::Applying);
    QCOMPARE(seen[0].pot, QStringLiteral(" 1234"));
    QCOMPARE(seen[0].dac, QStringLiteral("?"));
    QCOMPARE(box("txtEclCurrentDac")->text(), QStringLiteral("77"));
}

void TestIncomingStatus::setpointFieldsAreUntouched()
{
    box("txtEclCurrent")->setText(QStringLiteral("123"));
    box("txtXdac")->setText(QStringLiteral("2.5"));
    deliver(frameWith({{8, 4000}, {13, 99}}, 0x3F));
    QCOMPARE(box("txtEclCurrent")->text(), QStringLiteral("123"));
    QCOMPARE(box("txtXdac")->text(), QStringLiteral("2.5"));
    QCOMPARE(box("txtEclPiezo")->text(), QStringLiteral("0"));
}

void TestIncomingStatus::identicalFrameChangesNoSwitch()
{
    const QByteArray frame = frameWith({{0, 2000}, {15 - 1, 42}}, 0x15);
    deliver(frame);
    int toggles = 0;
    for (std::string_view name : kSwitchBoxes)
        connect(check(name.data()), &QCheckBox::toggled, this, [&] { ++toggles; });
    deliver(frame);
    QCOMPARE(toggles, 0);
    QCOMPARE(box("txtYdacDac")->text(), QStringLiteral("42"));
    QCOMPARE(m_controller->received(), QByteArray());
}

void TestIncomingStatus::identicalFrameRewritesAStaleBox_data()
{
    QTest::addColumn<int>("reading");
    for (int i = 0; i < kReadbackCount; ++i)
        QTest::newRow(kReadbackBoxes[static_cast<std::size_t>(i)].data()) << i;
}

void TestIncomingStatus::identicalFrameRewritesAStaleBox()
{
    // Every frame rewrites the whole readback side, also a box whose reading has not
    // changed since the last frame but whose text and colour were changed meanwhile.
    QFETCH(int, reading);
    QLineEdit *target = box(kReadbackBoxes[static_cast<std::size_t>(reading)].data());
    const QByteArray frame = frameWith({{reading, 50}});
    deliver(frame);
    const QString shown = target->text();
    const QColor colour = fillOf(*m_panel, target->objectName());

    target->setText(QStringLiteral("stale"));
    QPalette stale = target->palette();
    stale.setColor(QPalette::Base, Qt::blue);
    target->setPalette(stale);
    deliver(frame);

    QCOMPARE(target->text(), shown);
    // The fill is the box's own, whatever its palette says.
    QCOMPARE(fillOf(*m_panel, target->objectName()), colour);
}

QTEST_MAIN(TestIncomingStatus)
#include "tst_incomingstatus.moc"
