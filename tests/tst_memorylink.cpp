// The window on a link with no socket behind it: a link held in memory hands it the golden
// frame and events, and records what the window's controls ask it to send. Nothing here
// knows of TCP, so a second kind of link fits the window as this one does.

#include "ReadingsSupport.h"

#include "Gui/FormMain.h"
#include "Gui/ReadbackBox.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <vector>

namespace {

class MemoryLink final : public Link
{
public:
    MemoryLink() : Link(Clock::manual([] { return 1000.0; }, QTime(12, 34, 56))) {}

    void start() override { emit happened({LinkEvent::Kind::Opening, {}}); }
    void close() override { closed = true; }
    void send(const CommandRequest &request) override { sent.push_back(request); }

    void arrive(QByteArrayView frame) { emit statusArrived(decodeStatusFrame(frame), now()); }
    void report(const LinkEvent &event) { emit happened(event); }

    std::vector<CommandRequest> sent;
    bool closed = false;
};

} // namespace

Q_DECLARE_METATYPE(LinkEvent::Kind)

class TestMemoryLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void goldenFrameShows();
    void controlsSendTypedRequests_data();
    void controlsSendTypedRequests();
    void eventsBecomeConsoleLines_data();
    void eventsBecomeConsoleLines();
    void closingTheWindowClosesTheLink();
    void alarmsAreListedAndAcknowledged();

private:
    template <typename T> T *control(const char *name)
    {
        return m_window->findChild<T *>(QString::fromLatin1(name));
    }

    std::unique_ptr<MemoryLink> m_link;
    std::unique_ptr<FormMain> m_window;
};

void TestMemoryLink::init()
{
    m_link = std::make_unique<MemoryLink>();
    m_window = std::make_unique<FormMain>(*m_link);
    m_window->load();
    m_link->arrive(kGoldenFrame);
}

void TestMemoryLink::cleanup()
{
    m_window.reset();
    m_link.reset();
}

void TestMemoryLink::goldenFrameShows()
{
    QCOMPARE(m_window->guard(), FormMain::PanelGuard::Applied);
    QCOMPARE(control<QLineEdit>("txtEclPd")->text(), QStringLiteral("PD: 300"));
    QCOMPARE(control<QLineEdit>("txtInjTemp")->text(), QString::fromUtf8(" 1.92°"));
    QCOMPARE(control<ReadbackBox>("txtInjTemp")->fillColour(), QColor(255, 160, 160));
    QCOMPARE(control<QLineEdit>("txtYdacDac")->text(), QStringLiteral("2457"));
    QVERIFY(control<QCheckBox>("chkSlowLock")->isChecked());
    QVERIFY(!control<QCheckBox>("chkHeater")->isChecked());
    QVERIFY(m_link->sent.empty());   // a frame's switches are not sent back
}

void TestMemoryLink::controlsSendTypedRequests_data()
{
    QTest::addColumn<QString>("field");   // empty: none typed into
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("clicked");
    QTest::addColumn<QByteArray>("frame");   // what the TCP link makes of the request

    const auto row = [](const char *name, const char *field, const char *text, const char *clicked,
                        const char *frameHex) {
        QTest::newRow(name) << QString::fromLatin1(field) << QString::fromLatin1(text)
                            << QString::fromLatin1(clicked) << QByteArray::fromHex(frameHex);
    };
    row("current 1234", "txtEclCurrent", "1234", "cmdSetEcl", "a504d2");
    row("piezo 31.65 lands on 2048", "txtEclPiezo", "31.65", "cmdEclPiezo", "a90800");
    row("X dac 2.5 ties to even", "txtXdac", "2.5", "cmdXdac", "a00002");
    row("empty Y dac sends zero", "txtYdac", "", "cmdYdac", "a10000");
    row("warm reboot", "", "", "cmdWarmBoot", "a4");
    row("heater switched on", "", "", "chkHeater", "ad01");
    row("ECL TEC switched off", "", "", "chkEclTec", "a700");
}

void TestMemoryLink::controlsSendTypedRequests()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, clicked);
    QFETCH(QByteArray, frame);

    if (!field.isEmpty())
        m_window->findChild<QLineEdit *>(field)->setText(text);
    auto *button = m_window->findChild<QAbstractButton *>(clicked);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(4, button->height() / 2));

    QCOMPARE(m_link->sent.size(), 1u);
    QCOMPARE(encodeRequest(m_link->sent.front()).toHex(' '), frame.toHex(' '));
}

void TestMemoryLink::eventsBecomeConsoleLines_data()
{
    QTest::addColumn<LinkEvent::Kind>("kind");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QString>("line");

    QTest::newRow("connected") << LinkEvent::Kind::Connected << QString() << "12:34:56 Connected!\n";
    QTest::newRow("error names its cause")
        << LinkEvent::Kind::Error << QStringLiteral("Connection refused") << "12:34:56 Error: Connection refused\n";
    QTest::newRow("lost keeps its two trailing blanks")
        << LinkEvent::Kind::Lost << QString() << "12:34:56 Lost connection, closed.  \n";
    QTest::newRow("reopening") << LinkEvent::Kind::Reopening << QString() << "12:34:56 Reopening...\n";
    QTest::newRow("message as sent") << LinkEvent::Kind::Message << QStringLiteral("Hi") << "12:34:56 Hi\n";
    QTest::newRow("opening starts the console afresh")
        << LinkEvent::Kind::Opening << QString() << "12:34:56 Opening connection...\n";
}

void TestMemoryLink::eventsBecomeConsoleLines()
{
    QFETCH(LinkEvent::Kind, kind);
    QFETCH(QString, detail);
    QFETCH(QString, line);

    auto *console = control<QPlainTextEdit>("txtMsg");
    const QString before = kind == LinkEvent::Kind::Opening ? QString() : console->toPlainText();
    m_link->report({kind, detail});
    QCOMPARE(console->toPlainText(), before + line);
}

void TestMemoryLink::closingTheWindowClosesTheLink()
{
    QVERIFY(!m_link->closed);
    m_window->close();
    QVERIFY(m_link->closed);
}

void TestMemoryLink::alarmsAreListedAndAcknowledged()
{
    // The golden frame's EclTec and InjTemp are out of range; the link then goes down.
    m_link->report({LinkEvent::Kind::Lost, {}});
    auto *alarms = m_window->findChild<QAction *>(QStringLiteral("mnuAlarms"));
    QCOMPARE(alarms->text(), QStringLiteral("&Alarms (3)"));
    QCOMPARE(m_window->windowTitle(), QString::fromUtf8("⚠ 3 ALARMS - Viruduzi"));

    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTest::keyClick(m_window.get(), Qt::Key_L, Qt::ControlModifier);
    auto *window = m_window->findChild<QWidget *>(QStringLiteral("AlarmsWindow"));
    QVERIFY(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    QCOMPARE(window->windowTitle(), QStringLiteral("Alarms"));
    auto *table = window->findChild<QTableWidget *>(QStringLiteral("tblAlarms"));
    const auto row = [table](int r) {
        QStringList cells;
        for (const int c : {0, 2, 3, 4, 5})
            cells << table->item(r, c)->text();
        return cells.join(u'|');
    };
    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(row(0), QStringLiteral("Link|active||no|no"));   // newest first
    QCOMPARE(row(1), QString::fromUtf8("InjTemp|active|1.92°|no|no"));
    QCOMPARE(row(2), QStringLiteral("EclTec|active|TEC: 5|yes|no"));

    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("cmdAcknowledgeAll")), Qt::LeftButton);
    QCOMPARE(row(0), QStringLiteral("Link|active||no|yes"));   // still active
    QCOMPARE(alarms->text(), QStringLiteral("&Alarms (0)"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Viruduzi"));
    QVERIFY(m_link->sent.empty());
}

QTEST_MAIN(TestMemoryLink)
#include "tst_memorylink.moc"
