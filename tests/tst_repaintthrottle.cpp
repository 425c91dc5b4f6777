// Repaints held to the display's rate: whatever arrives in a burst still ends up painted,
// and the widgets change at once while the pixels wait.

#include "PanelSupport.h"
#include "ReadingsSupport.h"

#include "Gui/RepaintThrottle.h"
#include "status/StatusFrame.h"

#include <QBackingStore>
#include <QCheckBox>
#include <QImage>

namespace {

QByteArray message(const char *text)
{
    return QByteArray("\xAF", 1) + text;
}

// What the window last put on screen, as the platform holds it.
QImage painted(QWidget &window)
{
    QPaintDevice *device = window.backingStore()->paintDevice();
    if (device->devType() != QInternal::Image)
        return {};
    return static_cast<QImage *>(device)->copy(QRect(QPoint(0, 0), window.size())).convertToFormat(QImage::Format_RGB32);
}

// What the window looks like now, drawn afresh.
QImage rendered(QWidget &window)
{
    return window.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

class TestRepaintThrottle : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void burstEndsPainted_data();
    void burstEndsPainted();
    void widgetsChangeBeforeThePixels();

private:
    FakeClock m_clock;
    std::unique_ptr<TcpPanel> m_panel;
};

void TestRepaintThrottle::init()
{
    m_panel = makeRefusedPanel(m_clock, false);
    m_panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_panel.get()));
    QTRY_COMPARE(painted(*m_panel), rendered(*m_panel));
}

void TestRepaintThrottle::cleanup()
{
    m_panel.reset();
}

void TestRepaintThrottle::burstEndsPainted_data()
{
    QTest::addColumn<QList<QByteArray>>("arrivals");
    QList<QByteArray> fifty;
    for (int i = 0; i < 50; ++i)
        fifty << frameOf(i * 80, static_cast<std::uint8_t>(i % 2 ? 0x3F : 0x00));
    QTest::newRow("one status frame") << QList<QByteArray>{frameOf(2048, 0x15)};
    QTest::newRow("fifty frames, every value and colour changing") << fifty;
    QTest::newRow("identical frames") << QList<QByteArray>(20, frameOf(1234, 0x21));
    QTest::newRow("frames and console lines")
        << QList<QByteArray>{frameOf(5, 0x01), message("first"), frameOf(3000, 0x02), message("second")};
    QTest::newRow("frame, then the colours change back") << QList<QByteArray>{frameOf(0, 0), frameOf(2000, 0)};
}

void TestRepaintThrottle::burstEndsPainted()
{
    QFETCH(QList<QByteArray>, arrivals);
    for (const QByteArray &arrival : arrivals) {
        m_panel->deliverArrival(arrival);
        QCoreApplication::processEvents();
    }
    // A paint held back is owed, not dropped: it comes without any further event.
    QTRY_COMPARE(painted(*m_panel), rendered(*m_panel));
}

void TestRepaintThrottle::widgetsChangeBeforeThePixels()
{
    auto *pot = m_panel->findChild<QLineEdit *>(QStringLiteral("txtPot"));
    auto *heater = m_panel->findChild<QCheckBox *>(QStringLiteral("chkHeater"));
    m_panel->deliverArrival(frameOf(111, 0x00));
    QCoreApplication::processEvents();
    m_panel->deliverArrival(frameOf(222, 0x08));
    QCOMPARE(pot->text(), QStringLiteral(" 222"));
    QVERIFY(heater->isChecked());
    QTRY_COMPARE(painted(*m_panel), rendered(*m_panel));
}

QTEST_MAIN(TestRepaintThrottle)
#include "tst_repaintthrottle.moc"
