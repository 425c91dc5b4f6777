// norvane-tango-relay as the panel runs it: between a real NorvaneBench process and a simulator,
// driven through its stdin and read from its stdout.

#include "ControllerSupport.h"
#include "sim/SimProcess.h"
#include "status/StatusFrame.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/prctl.h>

namespace {

constexpr int kStartMs = 20000;

QByteArray hexLine(const char *kind, const QByteArray &text)
{
    return QByteArray(kind) + ' ' + text.toHex();
}

QString tangoName(quint16 port)
{
    return QStringLiteral("tango://127.0.0.1:%1/lab/bench/1#dbase=no").arg(port);
}

// A child that dies with the test, as one killed on its timeout must not leave it running.
void startChild(QProcess &process, const QString &program, const QStringList &arguments)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process.start(program, arguments);
}

// One relay session: every whole line it has written so far.
class Relay
{
public:
    explicit Relay(const QString &device)
    {
        startChild(m_process, QStringLiteral(NORVANE_TANGO_RELAY_PATH), {device});
    }

    const QList<QByteArray> &lines()
    {
        m_pending += m_process.readAllStandardOutput();
        for (qsizetype end; (end = m_pending.indexOf('\n')) >= 0; m_pending.remove(0, end + 1))
            m_lines << m_pending.left(end);
        return m_lines;
    }
    QList<QByteArray> linesOf(const QByteArray &kind)
    {
        QList<QByteArray> found;
        for (const QByteArray &line : lines())
            if (line == kind || line.startsWith(kind + ' '))
                found << line;
        return found;
    }
    void send(const QByteArray &line) { m_process.write(line + '\n'); }
    // True when it ends by itself with status 0, as a session always does.
    bool endsCleanly()
    {
        return m_process.waitForFinished(kStartMs) && m_process.exitStatus() == QProcess::NormalExit
               && m_process.exitCode() == 0;
    }

private:
    QProcess m_process;
    QByteArray m_pending;
    QList<QByteArray> m_lines;
};

int readbackIndex(const char *field)
{
    for (int i = 0; i < kReadbackCount; ++i)
        if (kReadbacks[i].field == std::string_view(field))
            return i;
    return -1;
}

} // namespace

class TestRelay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sessionOpens();
    void requestsReachTheController_data();
    void requestsReachTheController();
    void refusedRequests_data();
    void refusedRequests();
    void refusedAtStart_data();
    void refusedAtStart();
    void serverLossEndsTheSession();

private:
    bool simulatorSaw(const QString &command) const;

    QTemporaryDir m_dir;
    SimProcess m_sim{QStringLiteral(NORVANE_SIM_PATH)};
    QStringList m_simLines;
    quint16 m_serverPort = 0;
    QProcess m_server;
    std::unique_ptr<Relay> m_relay;
};

// A simulator, NorvaneBench on its own file database pointed at it, and one relay on that.
void TestRelay::initTestCase()
{
    QVERIFY(m_dir.isValid());
    connect(&m_sim, &SimProcess::lineRead, this, [this](const QString &line) { m_simLines << line; });
    m_sim.start({});
    QVERIFY2(m_sim.waitForListening(), qPrintable(m_sim.errorString()));

    m_serverPort = closedPort();
    QFile file(m_dir.filePath(QStringLiteral("bench.db")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QString devices = QStringLiteral("NorvaneBench/test/DEVICE/NorvaneBench: \"lab/bench/1\"\n");
    file.write((devices + QStringLiteral("lab/bench/1->Port: %1\n").arg(m_sim.port())).toUtf8());
    file.close();
    startChild(m_server, QStringLiteral(NORVANEBENCH_PATH),
               {QStringLiteral("test"), QStringLiteral("-file=%1").arg(file.fileName()),
                QStringLiteral("-ORBendPoint"), QStringLiteral("giop:tcp:127.0.0.1:%1").arg(m_serverPort)});
    QByteArray output;
    QVERIFY(QTest::qWaitFor([&] {
        output += m_server.readAllStandardOutput();
        return output.contains("Ready to accept request") || m_server.state() == QProcess::NotRunning;
    }, kStartMs) && m_server.state() == QProcess::Running);

    m_relay = std::make_unique<Relay>(tangoName(m_serverPort));
    QTRY_VERIFY_WITH_TIMEOUT(m_relay->lines().contains("up"), kStartMs);
}

bool TestRelay::simulatorSaw(const QString &command) const
{
    return std::any_of(m_simLines.begin(), m_simLines.end(),
                       [&](const QString &line) { return line.endsWith(u' ' + command); });
}

// The state at subscription comes first; the message the device held before the session
// never shows, the next one does, once.
void TestRelay::sessionOpens()
{
    QVERIFY(m_relay->lines().front().startsWith("state "));
    QTRY_VERIFY(!m_relay->linesOf("frame").isEmpty());
    QVERIFY(m_relay->linesOf("message").isEmpty());
    m_relay->send("run Echo");
    const QByteArray echo = hexLine("message", "Hi, this should show up on the console.");
    QTRY_COMPARE(m_relay->linesOf("message"), QList<QByteArray>{echo});
}

void TestRelay::requestsReachTheController_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("command");   // as the simulator prints it
    QTest::addColumn<QByteArray>("field");  // a readback that follows, if any
    QTest::addColumn<int>("count");
    QTest::newRow("long") << QByteArray("write EclCurrent long 1234") << u"SetEclCurrent 1234"_qs
                          << QByteArray("EclCurrentDac") << 1234;
    QTest::newRow("double") << QByteArray("write EclPiezo double 31.65") << u"SetEclPiezo 2048"_qs
                            << QByteArray("EclPiezoDac") << 2048;
    QTest::newRow("bool") << QByteArray("write EclTecOn bool 1") << u"SetEclTec 1"_qs << QByteArray() << 0;
    QTest::newRow("command") << QByteArray("run XYSquare") << u"XYSquare"_qs << QByteArray() << 0;
}

// Each request arrives as the panel's own frame would, and the frames the relay passes on
// carry the controller's readback whole.
void TestRelay::requestsReachTheController()
{
    QFETCH(QByteArray, request);
    QFETCH(QString, command);
    QFETCH(QByteArray, field);
    QFETCH(int, count);
    m_relay->send(request);
    QTRY_VERIFY(simulatorSaw(command));
    if (field.isEmpty())
        return;
    const int reading = readbackIndex(field.constData());
    QVERIFY(reading >= 0);
    const auto followed = [&] {
        for (const QByteArray &line : m_relay->linesOf("frame")) {
            const QByteArray frame = QByteArray::fromHex(line.mid(6));
            if (frame.size() == kStatusFrameSize && decodeStatusFrame(frame).values[reading] == count)
                return true;
        }
        return false;
    };
    QTRY_VERIFY(followed());
}

void TestRelay::refusedRequests_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("error");   // the start of what the error line says
    const auto device = [](const char *name, const char *request, const char *attribute) {
        QTest::newRow(name) << QByteArray(request) << QByteArray(attribute) + ": ";
    };
    device("unknown attribute", "write Nope long 1", "Nope");
    device("unknown command", "run Nope", "Nope");
    device("above the attribute's range", "write EclCurrent long 4096", "EclCurrent");
    device("wrong type for the attribute", "write EclPiezo long 3", "EclPiezo");
    const auto bad = [](const char *name, const QByteArray &request) {
        QTest::newRow(name) << request << "bad request: " + request;
    };
    bad("empty", "");
    bad("unknown verb", "read EclCurrent");
    bad("run without a command", "run");
    bad("two spaces", "write EclCurrent long  5");
    bad("trailing space", "run Echo ");
    bad("carriage return", "run Echo\r");
    bad("not ASCII", "run Ech\xe9");
    bad("trailing junk", "write EclCurrent long 12x");
    bad("beyond 32 bits", "write EclCurrent long 2147483648");
    bad("not a number", "write EclPiezo double nan");
    bad("bool 2", "write EclTecOn bool 2");
    bad("unknown type", "write EclCurrent short 5");
    QTest::newRow("cut at 1024") << QByteArray(5000, 'x') << "bad request: " + QByteArray(1024, 'x') + "...";
}

// A refused request gets one error line and the session goes on.
void TestRelay::refusedRequests()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, error);
    const qsizetype before = m_relay->linesOf("error").size();
    m_relay->send(request);
    QTRY_COMPARE(m_relay->linesOf("error").size(), before + 1);
    const QByteArray said = QByteArray::fromHex(m_relay->linesOf("error").back().mid(6));
    QVERIFY2(said.startsWith(error), said.constData());
}

void TestRelay::refusedAtStart_data()
{
    QTest::addColumn<QString>("device");
    QTest::newRow("nobody listens") << tangoName(closedPort());
    QTest::newRow("no such device") << tangoName(m_serverPort).replace(u"bench/1"_qs, u"bench/2"_qs);
    QTest::newRow("not a device name") << u"tango://127.0.0.1:1/lab"_qs;
}

// Whatever stops a session from starting, it says down and ends at once.
void TestRelay::refusedAtStart()
{
    QFETCH(QString, device);
    Relay relay(device);
    QVERIFY(relay.endsCleanly());
    QCOMPARE(relay.lines().size(), 1);
    QVERIFY(relay.lines().front().startsWith("down "));
}

// The session ends with down and status 0, not with cppTango's reconnection.
void TestRelay::serverLossEndsTheSession()
{
    m_server.kill();
    m_server.waitForFinished();
    QVERIFY(m_relay->endsCleanly());
    QVERIFY(m_relay->lines().back().startsWith("down "));
    QCOMPARE(m_relay->linesOf("down").size(), 1);
}

QTEST_GUILESS_MAIN(TestRelay)
#include "tst_relay.moc"
