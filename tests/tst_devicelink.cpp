// The device link's supervision and receive rules, with a stand-in for its Tango client: a
// shell that keeps whatever the link writes to it, while the test speaks the client's lines.
// The lines are written with the relay's own functions, so that both sides say the same.

#include "ReadingsSupport.h"
#include "TestSupport.h"

#include "tango/devicelink/DeviceLink.h"
#include "tango/relay/RelayLines.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kDevice = QStringLiteral("lab/bench/1");

QByteArray line(RelayWord word, QByteArrayView payload = {})
{
    return QByteArray::fromStdString(relayLine(word, std::string_view(payload.data(), payload.size())));
}

// Writes the stand-in client; ignoreTerm: one that only a kill ends.
bool writeClient(const QString &path, const QString &received, bool ignoreTerm = false)
{
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly))
        return false;
    script.write(QStringLiteral("#!/bin/sh\n%1exec cat >>'%2'\n")
                     .arg(ignoreTerm ? QStringLiteral("trap '' TERM\n") : QString(), received)
                     .toUtf8());
    script.close();
    return script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
}

} // namespace

class TestDeviceLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void sessions_data();
    void sessions();
    void framesAndMessagesFollowTheSocketRules_data();
    void framesAndMessagesFollowTheSocketRules();
    void requestsGoOnlyWhileTheDeviceAnswers();
    void aClientThatCannotStartIsAnError();
    void aSessionEndsWithoutWaitingForItsClient();

private:
    QStringList events() const;
    // Gives the stand-in time to start, then speaks `lines` for it.
    void speak(const QList<QByteArray> &lines);

    QTemporaryDir m_dir;
    QString m_received;   // what the stand-in was sent
    FakeClock m_clock;
    std::unique_ptr<DeviceLink> m_link;
    std::unique_ptr<QSignalSpy> m_events;
    std::unique_ptr<QSignalSpy> m_downs;
};

void TestDeviceLink::init()
{
    QVERIFY(m_dir.isValid());
    m_received = m_dir.filePath(QStringLiteral("received"));
    const QString client = m_dir.filePath(QStringLiteral("client"));
    QVERIFY(writeClient(client, m_received));

    m_clock = {};
    m_link = std::make_unique<DeviceLink>(kDevice, client, m_clock.clock());
    m_events = std::make_unique<QSignalSpy>(m_link.get(), &Link::happened);
    m_downs = std::make_unique<QSignalSpy>(m_link.get(), &Link::linkDown);
    m_link->start();
}

void TestDeviceLink::cleanup()
{
    m_downs.reset();
    m_events.reset();
    m_link.reset();
    QFile::remove(m_received);
}

QStringList TestDeviceLink::events() const
{
    QStringList lines;
    for (const QList<QVariant> &event : *m_events)
        lines << text(event.at(0).value<LinkEvent>());
    return lines;
}

void TestDeviceLink::speak(const QList<QByteArray> &lines)
{
    for (const QByteArray &line : lines) {
        if (line == "tick") {
            m_clock.now += 1;
            m_link->handleWatchdogTick();
        } else if (line == "silence") {
            m_clock.now += Supervisor::kSilenceLimitSeconds + 1;
            m_link->handleWatchdogTick();
        } else if (line == "close") {
            m_link->close();
        } else if (line == "start") {
            m_link->start();
        } else {
            m_link->handleClientLine(line);
        }
    }
}

void TestDeviceLink::sessions_data()
{
    // The client's; "tick" and "silence" the watchdog's, "close" and "start" the panel's.
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QStringList>("console");       // after " Opening connection..."
    QTest::addColumn<int>("downs");
    QTest::addColumn<bool>("up");

    const QByteArray frame = line(RelayWord::Frame, kGoldenFrame);
    const QByteArray on = QByteArray::fromStdString(stateLine("ON"));
    const QByteArray up = line(RelayWord::Up);
    const QByteArray mismatch = line(RelayWord::Fail, "StatusFrame is not a spectrum of bytes");
    const QString lost = QStringLiteral(" Lost connection, closed.  ");
    const QString reopening = QStringLiteral(" Reopening...");
    const QString connected = QStringLiteral(" Connected!");

    QTest::newRow("subscribed to a running bench")
        << QList<QByteArray>{"state ON", frame, "up"} << QStringList{connected} << 0 << true;
    QTest::newRow("the device's FAULT at subscription names its status")
        << QList<QByteArray>{QByteArray::fromStdString(stateLine("FAULT", " Error: Connection refused")), "up"}
        << QStringList{" Error: lab/bench/1 is in FAULT: Error: Connection refused"} << 1 << false;
    QTest::newRow("a device that cannot be reached is tried again without a word more")
        << QList<QByteArray>{line(RelayWord::Down, "TRANSIENT CORBA system exception"), "tick"}
        << QStringList{" Error: TRANSIENT CORBA system exception"} << 1 << false;
    QTest::newRow("FAULT while up is a lost link, reopened at the next tick")
        << QList<QByteArray>{"state ON", "up", frame, "state FAULT", "tick", "state ON", frame, "up"}
        << QStringList{connected, lost, reopening, connected} << 1 << true;
    QTest::newRow("an event error while up is a lost link")
        << QList<QByteArray>{"state ALARM", "up", frame, line(RelayWord::Down, "Event channel is not responding"), "tick"}
        << QStringList{connected, lost, reopening} << 1 << false;
    QTest::newRow("a silent device is lost and reopened on the same tick")
        << QList<QByteArray>{"state ON", "up", frame, "silence"} << QStringList{connected, lost, reopening} << 1 << false;
    QTest::newRow("frames hold off the watchdog")
        << QList<QByteArray>{"state ON", "up", frame, "tick", frame, "tick", frame, "tick"}
        << QStringList{connected} << 0 << true;
    QTest::newRow("a refused write is one line and the session goes on")
        << QList<QByteArray>{"state ON", "up", line(RelayWord::Error, "EclCurrent: Set value is above the maximum"), frame}
        << QStringList{connected, " Error: EclCurrent: Set value is above the maximum"} << 0 << true;
    QTest::newRow("a session that never comes up is given up")
        << QList<QByteArray>{"silence", "silence", "silence"}
        << QStringList{" Error: no answer from lab/bench/1"} << 1 << false;
    QTest::newRow("a word the client never says ends the session, and the next is tried")
        << QList<QByteArray>{"bogus 12", "tick", on, up}
        << QStringList{" Error: the Tango client said what it never says: bogus 12", connected} << 1 << true;
    QTest::newRow("a frame that is not hex ends the session")
        << QList<QByteArray>{on, up, "frame zz"}
        << QStringList{connected, " Error: the Tango client said what it never says: frame zz"} << 1 << false;
    QTest::newRow("a state without a name ends the session")
        << QList<QByteArray>{"state"} << QStringList{" Error: the Tango client said what it never says: state"} << 1
        << false;
    QTest::newRow("a value of another type at subscription names the device and attribute")
        << QList<QByteArray>{on, mismatch, "tick"}
        << QStringList{" Error: lab/bench/1: StatusFrame is not a spectrum of bytes"} << 1 << false;
    QTest::newRow("a value of another type while up is an error, not a silent loss")
        << QList<QByteArray>{on, up, frame, mismatch, "tick", on, mismatch}
        << QStringList{connected, " Error: lab/bench/1: StatusFrame is not a spectrum of bytes",
                       " Error: lab/bench/1: StatusFrame is not a spectrum of bytes"}
        << 2 << false;
    QTest::newRow("a closed link starts no session at later ticks")
        << QList<QByteArray>{on, up, frame, "close", "silence", "silence", on, up} << QStringList{connected} << 0
        << false;
    QTest::newRow("start() after close() opens afresh, without Reopening")
        << QList<QByteArray>{on, up, "close", "silence", "start", on, up}
        << QStringList{connected, QStringLiteral(" Opening connection..."), connected} << 0 << true;
}

void TestDeviceLink::sessions()
{
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QStringList, console);
    QFETCH(int, downs);
    QFETCH(bool, up);

    speak(lines);
    QCOMPARE(events(), QStringList{QStringLiteral(" Opening connection...")} + console);
    QCOMPARE(m_downs->size(), downs);
    QCOMPARE(m_link->isUp(), up);
}

void TestDeviceLink::framesAndMessagesFollowTheSocketRules_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("frames");
    QTest::addColumn<QStringList>("console");

    QTest::newRow("a status frame") << line(RelayWord::Frame, kGoldenFrame) << 1 << QStringList();
    QTest::newRow("a frame one byte short is dropped")
        << line(RelayWord::Frame, kGoldenFrame.first(32)) << 0 << QStringList();
    QTest::newRow("a frame with another opcode is dropped")
        << line(RelayWord::Frame, QByteArray(33, '\xA2')) << 0 << QStringList();
    QTest::newRow("a message keeps every byte above 0x7F")
        << line(RelayWord::Message, "Temp \xB0" "C ok") << 0 << QStringList{QString::fromLatin1(" Temp \xB0" "C ok")};
    QTest::newRow("an empty message shows nothing") << QByteArray("message ") << 0 << QStringList();
}

void TestDeviceLink::framesAndMessagesFollowTheSocketRules()
{
    QFETCH(QByteArray, line);
    QFETCH(int, frames);
    QFETCH(QStringList, console);

    QSignalSpy applied(m_link.get(), &Link::statusArrived);
    speak({"state ON", "up", line});
    QCOMPARE(applied.size(), frames);
    if (frames)
        QCOMPARE(applied.front().at(0).value<StatusReadings>().values, decodeStatusFrame(kGoldenFrame).values);
    QCOMPARE(events().mid(2), console);
}

void TestDeviceLink::requestsGoOnlyWhileTheDeviceAnswers()
{
    m_link->send({Command::SetEclCurrent, 5});   // still subscribing: lost
    speak({"state ON", "up"});
    m_link->send({Command::SetEclCurrent, 1234});
    m_link->send({Command::KeepAlive});           // the device's own business
    m_link->send({Command::SetNarrow, 0, true});

    const QByteArray expected("write EclCurrent long 1234\nwrite NarrowOn bool 1\n");
    QFile received(m_received);
    QVERIFY(QTest::qWaitFor([&] { return received.size() >= expected.size(); }, 5000));
    QVERIFY(received.open(QIODevice::ReadOnly));
    QCOMPARE(received.readAll(), expected);

    speak({"state FAULT"});
    m_link->send({Command::WarmBoot});            // down: lost
    QVERIFY(!m_link->isUp());
}

void TestDeviceLink::aClientThatCannotStartIsAnError()
{
    DeviceLink link(kDevice, m_dir.filePath(QStringLiteral("missing")), m_clock.clock());
    QSignalSpy events(&link, &Link::happened);
    link.start();
    QVERIFY(QTest::qWaitFor([&] { return events.size() >= 2; }, 5000));
    QVERIFY(text(events.at(1).at(0).value<LinkEvent>()).startsWith(QStringLiteral(" Error: the Tango client ")));
    QVERIFY(!link.isUp());
}

void TestDeviceLink::aSessionEndsWithoutWaitingForItsClient()
{
    // A client deaf to the request to end: the link goes on at once, and a kill ends it later.
    const QString client = m_dir.filePath(QStringLiteral("deaf"));
    const QString received = m_dir.filePath(QStringLiteral("deaf-received"));
    QVERIFY(writeClient(client, received, true));
    DeviceLink link(kDevice, client, m_clock.clock());
    link.start();
    QTRY_VERIFY(link.clientProcessId() != 0);
    QVERIFY(QTest::qWaitFor([&] { return QFile::exists(received); }, 5000));   // its trap is set

    link.handleClientLine(line(RelayWord::Down, "gone"));
    const QList<QProcess *> ending = link.findChildren<QProcess *>();
    QCOMPARE(ending.size(), 1);
    QVERIFY(ending.front()->state() != QProcess::NotRunning);
    QTRY_COMPARE_WITH_TIMEOUT(link.findChildren<QProcess *>().size(), 0, 10000);
}

QTEST_MAIN(TestDeviceLink)
#include "tst_devicelink.moc"
