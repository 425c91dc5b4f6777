// Click to wire: from a button's click() to the frame's last byte arriving at a local
// controller, with a keep-alive sent just before and not yet acknowledged; beside the
// same with Nagle's algorithm left on.

#include "BenchSupport.h"

#include "Gui/TcpPanel.h"
#include "status/StatusFrame.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

#include <arpa/inet.h>
#include <atomic>
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>

namespace {

constexpr int kClicks = 2000;
constexpr double kBudgetSeconds = 10;      // per side; the Nagle side waits on delayed ACKs
constexpr qint64 kBytesPerClick = 1 + 3;   // the keep-alive, then SetEclCurrent

// The controller end on its own thread, so that its reading owes nothing to the panel's
// event loop. It acknowledges lazily, as a busy controller's stack does.
class Controller
{
public:
    Controller()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(m_listener, 1);
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }

    ~Controller()
    {
        m_stop = true;
        ::shutdown(m_client.load(), SHUT_RDWR);
        ::shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        ::close(m_listener);
    }

    quint16 port() const { return m_port; }
    qint64 received() const { return m_received.load(); }
    double lastArrival() const { return m_lastArrival.load(); }

private:
    void serve()
    {
        const int client = ::accept(m_listener, nullptr, nullptr);
        m_client = client;
        // One status frame, so that the panel's watchdog counts the link as alive.
        const QByteArray frame = encodeStatusFrame({});
        ::send(client, frame.constData(), static_cast<size_t>(frame.size()), 0);
        char buffer[256];
        while (!m_stop) {
            const int quickAck = 0;
            ::setsockopt(client, IPPROTO_TCP, TCP_QUICKACK, &quickAck, sizeof quickAck);
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            m_lastArrival = bench::monotonicSeconds();
            m_received += got;
        }
        ::close(client);
    }

    int m_listener = -1;
    std::atomic<int> m_client{-1};
    quint16 m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_received{0};
    std::atomic<double> m_lastArrival{0};
};

// The panel's own socket, found among the process's descriptors by its peer's port.
int panelSocket(quint16 controllerPort)
{
    DIR *fds = ::opendir("/proc/self/fd");
    int found = -1;
    while (dirent *entry = ::readdir(fds)) {
        const int fd = std::atoi(entry->d_name);
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        if (::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &length) == 0 && peer.sin_family == AF_INET
            && ntohs(peer.sin_port) == controllerPort) {
            found = fd;
        }
    }
    ::closedir(fds);
    return found;
}

// Milliseconds from click() to the frame's arrival, one sample per click.
std::vector<double> clickToWire(bool nagle)
{
    Controller controller;
    // A clock that stands still, so the watchdog never closes the link between clicks.
    TcpPanel panel(TcpLink::Options{Clock::manual([] { return 1000.0; }, QTime(12, 34, 56))});
    panel.setAddress(panel.host(), QString::number(controller.port()));
    panel.findChild<QLineEdit *>(QStringLiteral("txtEclCurrent"))->setText(QStringLiteral("1234"));
    auto *button = panel.findChild<QPushButton *>(QStringLiteral("cmdSetEcl"));
    panel.load();
    while (!panel.lastDataTime())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (nagle) {
        const int off = 0;
        ::setsockopt(panelSocket(controller.port()), IPPROTO_TCP, TCP_NODELAY, &off, sizeof off);
    }

    std::vector<double> samples;
    const double start = bench::monotonicSeconds();
    while (static_cast<int>(samples.size()) < kClicks && bench::monotonicSeconds() - start < kBudgetSeconds) {
        const qint64 expected = controller.received() + kBytesPerClick;
        panel.handleKeepAliveTick();
        const double clicked = bench::monotonicSeconds();
        button->click();
        while (controller.received() < expected && bench::monotonicSeconds() - clicked < 1.0)
            std::this_thread::yield();
        if (controller.received() < expected)
            break;
        samples.push_back((controller.lastArrival() - clicked) * 1000);
        QCoreApplication::processEvents();
    }
    panel.close();
    return samples;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    std::vector<double> ours = clickToWire(false);
    std::vector<double> nagle = clickToWire(true);
    const double p50 = bench::percentile(ours, 50);
    const double p99 = bench::percentile(ours, 99);
    const double nagle50 = bench::percentile(nagle, 50);
    const double nagle99 = bench::percentile(nagle, 99);
    bench::row(QStringLiteral("(4) click to wire p50 (ms), %1 and %2 clicks").arg(ours.size()).arg(nagle.size()),
               bench::figure(p50), bench::figure(nagle50), bench::times(p50 / nagle50), QStringLiteral("—"),
               QStringLiteral("—"));
    bench::row(QStringLiteral("(4) click to wire p99 (ms)"), bench::figure(p99), bench::figure(nagle99),
               bench::times(p99 / nagle99), QStringLiteral("< 1 ms"), bench::yesNo(p99 < 1.0));
    return 0;
}
