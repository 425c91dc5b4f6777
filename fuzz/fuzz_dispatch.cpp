// Fuzzes the receive dispatch of a real panel (offscreen) connected over loopback to a
// controller end that this target owns. Each arrival is written by the controller end,
// and the next is written only once the panel has handled it, so one write is one arrival.
//
// Input: a sequence of arrivals, each one length byte L and then L bytes (the last may
// be cut short by the end of the input). L = 0 presses Escape in the console instead.
//
// What must hold after every arrival: the panel has written nothing back (no switch frame
// above all), the update guard is down ("" or "0"), and the console has grown by no more
// than a message's bytes plus its time stamp and line end, and not at all otherwise.

#include "Gui/TcpPanel.h"
#include "status/StatusFrame.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextDocument>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <utility>

namespace {

constexpr int kLineOverhead = 8 + 1 + 2;   // "HH:mm:ss", the leading space, CR LF
constexpr qint64 kArrivalDeadlineMs = 10'000;

// The switch command a frame's opcode names, or nullptr.
const char *switchName(std::uint8_t opcode)
{
    for (const SwitchInfo &row : kSwitches) {
        const CommandInfo &command = commandInfo(row.command);
        if (command.opcode == opcode)
            return command.name.data();
    }
    return nullptr;
}

[[noreturn]] void fail(const char *what, const QByteArray &detail = {})
{
    std::fprintf(stderr, "dispatch: %s %s\n", what, detail.toHex(' ').constData());
    std::abort();
}

class Bench
{
public:
    Bench()
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket *next = m_server.nextPendingConnection()) {
                m_controller = next;
                next->setSocketOption(QAbstractSocket::LowDelayOption, 1);
                QObject::connect(next, &QTcpSocket::readyRead, next,
                                 [this, next] { m_received += next->readAll(); });
            }
        });
        if (!m_server.listen(QHostAddress::LocalHost, 0))
            fail("cannot listen on 127.0.0.1");

        m_panel = std::make_unique<TcpPanel>(
            TcpLink::Options{Clock::manual([this] { return m_now; }, QTime(12, 34, 56))});
        m_panel->setAddress(m_panel->host(), QString::number(m_server.serverPort()));
        m_console = m_panel->findChild<QPlainTextEdit *>(QStringLiteral("txtMsg"));
        // Left hidden: painting each arrival costs five times the dispatch itself.
        m_panel->load();
        waitFor([this] { return m_controller && m_panel->socket().state() == DeviceSocket::Connected; },
                "panel never connected");
        selfCheck();
    }

    // Writes one arrival and returns once the panel has handled it.
    void arrive(const QByteArray &bytes)
    {
        m_now += 1;
        m_controller->write(bytes);
        m_controller->flush();
        waitFor([this] { return m_panel->lastDataTime() == m_now; }, "arrival never handled");
    }

    void pressEscape()
    {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(m_console, &escape);
    }

    // Characters in the console, line ends counting one each.
    int consoleSize() const { return m_console->document()->characterCount() - 1; }
    FormMain::PanelGuard guard() const { return m_panel->guard(); }

    // What the panel has sent since the last call. Its writes happen inside the arrival
    // handler, so one poll of the controller end picks up anything still in flight.
    QByteArray takeReceived(bool poll)
    {
        if (poll && m_controller->bytesAvailable() == 0)
            m_controller->waitForReadyRead(0);
        return std::exchange(m_received, QByteArray());
    }

private:
    void waitFor(const std::function<bool()> &done, const char *what)
    {
        QElapsedTimer elapsed;
        elapsed.start();
        while (!done()) {
            if (elapsed.elapsed() > kArrivalDeadlineMs)
                fail(what);
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }

    // Proves that a frame the panel writes reaches takeReceived(): after a first status
    // frame the operator's click of a switch must be seen as its frame.
    void selfCheck()
    {
        QByteArray frame(kStatusFrameSize, '\0');
        frame[0] = static_cast<char>(kStatusOpcode);
        arrive(frame);
        auto *box = m_panel->findChild<QCheckBox *>(QStringLiteral("chkEclTec"));
        box->click();
        waitFor([this] { return !m_received.isEmpty(); }, "a switch click never reached the controller end");
        if (const QByteArray sent = takeReceived(true); sent != QByteArray::fromHex("a701"))
            fail("self-check expected a7 01 from the click, got", sent);
        arrive(frame);
        if (box->isChecked())
            fail("self-check: a status frame did not clear chkEclTec");
        if (const QByteArray sent = takeReceived(true); !sent.isEmpty())
            fail("self-check: clearing chkEclTec from a status frame wrote", sent);
        pressEscape();
    }

    double m_now = 1000.0;
    QTcpServer m_server;
    QPointer<QTcpSocket> m_controller;
    QByteArray m_received;
    std::unique_ptr<TcpPanel> m_panel;
    QPlainTextEdit *m_console = nullptr;
};

// Kept for the life of the process, like a real panel's.
Bench *bench = nullptr;

void checkNothingSent(const QByteArray &sent, const QByteArray &arrival)
{
    if (sent.isEmpty())
        return;
    const auto opcode = static_cast<std::uint8_t>(sent[0]);
    std::fprintf(stderr, "dispatch: after the arrival %s\n", arrival.toHex(' ').constData());
    if (const char *name = switchName(opcode)) {
        std::fprintf(stderr, "dispatch: the panel wrote the switch frame %s\n", name);
        fail("bytes written:", sent);
    }
    fail("the panel wrote bytes in answer to an arrival:", sent);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_dispatch";
    static char *argv[] = {name, nullptr};
    new QApplication(argc, argv);
    bench = new Bench;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    bench->pressEscape();
    QByteArray arrival;
    for (std::size_t at = 0; at < size;) {
        const std::size_t length = data[at++];
        if (length == 0) {
            bench->pressEscape();
            if (bench->consoleSize() != 0)
                fail("Escape left text in the console");
            continue;
        }
        if (at == size)
            break;
        const std::size_t taken = std::min(length, size - at);
        arrival = QByteArray(reinterpret_cast<const char *>(data + at), static_cast<qsizetype>(taken));
        at += taken;

        const int before = bench->consoleSize();
        bench->arrive(arrival);
        const int growth = bench->consoleSize() - before;

        // A message line is at least its stamp, space and line end, and at most that plus
        // one character per byte; a line break inside the text may count as one with it.
        const bool message = arrival.size() > 1 && static_cast<std::uint8_t>(arrival[0]) == kMessageOpcode;
        if (message && (growth < kLineOverhead - 1 || growth > static_cast<int>(arrival.size()) - 1 + kLineOverhead))
            fail("console did not grow by one message line after", arrival);
        if (!message && growth != 0)
            fail("console changed after an arrival that is not a message:", arrival);
        if (bench->guard() == FormMain::PanelGuard::Applying)
            fail("update guard left up after", arrival);
        checkNothingSent(bench->takeReceived(false), arrival);
    }
    checkNothingSent(bench->takeReceived(true), arrival);
    return 0;
}
