// Start-up: from spawning a program to its first connection attempt reaching a local
// listener, the panel beside a bare Qt window (and that window with one label), in turns.
//   bench_startup PANEL BARE RUNS LABEL

#include "BenchSupport.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>

extern char **environ;

namespace {

constexpr int kTimeoutMs = 20000;

// Milliseconds from spawn to the accepted connection, or a negative number on failure.
double startUp(const char *program, int listener, quint16 port, const char *option = nullptr)
{
    const std::string portText = std::to_string(port);
    char *const argv[] = {const_cast<char *>(program), const_cast<char *>(portText.c_str()),
                          const_cast<char *>(option), nullptr};
    pid_t child = 0;
    const double spawned = bench::monotonicSeconds();
    if (posix_spawn(&child, program, nullptr, nullptr, argv, environ) != 0)
        return -1;
    pollfd waiting{listener, POLLIN, 0};
    double accepted = -1;
    if (::poll(&waiting, 1, kTimeoutMs) == 1) {
        const int connection = ::accept(listener, nullptr, nullptr);
        accepted = bench::monotonicSeconds();
        ::close(connection);
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    // A killed panel leaves its instance lock; the next one should find none, as at a normal start.
    const QString runtime = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")
                                ? QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR")) + QStringLiteral("/norvane.lock")
                                : QDir::tempPath() + QStringLiteral("/norvane-%1.lock").arg(getuid());
    QFile::remove(runtime);
    return accepted < 0 ? -1 : (accepted - spawned) * 1000;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: bench_startup PANEL BARE RUNS LABEL\n");
        return 2;
    }
    const int runs = std::atoi(argv[3]);
    const QString label = QString::fromLocal8Bit(argv[4]);

    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
    ::listen(listener, 4);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    const quint16 port = ntohs(address.sin_port);

    // One unmeasured start of each warms the page cache and the font cache.
    startUp(argv[1], listener, port);
    startUp(argv[2], listener, port);
    std::vector<double> panel, bare, labelled;
    for (int run = 0; run < runs; ++run) {
        panel.push_back(startUp(argv[1], listener, port));
        bare.push_back(startUp(argv[2], listener, port));
        labelled.push_back(startUp(argv[2], listener, port, "--label"));
    }
    ::close(listener);
    if (std::count(panel.begin(), panel.end(), -1) || std::count(bare.begin(), bare.end(), -1)
        || std::count(labelled.begin(), labelled.end(), -1)) {
        std::fprintf(stderr, "bench_startup: a program did not connect\n");
        return 1;
    }
    const double ours = bench::median(panel);
    const double base = bench::median(bare);
    bench::row(QStringLiteral("(6) start-up to first connection attempt (ms, median of %1), %2").arg(runs).arg(label),
               bench::figure(ours), bench::figure(base), bench::times(ours / base), QStringLiteral("≤ 1.3×"),
               bench::yesNo(ours / base <= 1.3));
    QTextStream(stdout) << "NOTE|(6) " << label << ": the bare window laying out one label before it connects: "
                        << bench::figure(bench::median(labelled)) << " ms" << Qt::endl;
    return 0;
}
