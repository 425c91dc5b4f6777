// A bare Qt window that does nothing, for bench_startup: it connects to the listener at
// the point where the panel makes its first connection attempt, then shows itself. With
// --label it first lays out one line of text, which is the font system's first use.
//   bench_bare PORT [--label]

#include <QApplication>
#include <QLabel>

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    if (argc > 2 && std::strcmp(argv[2], "--label") == 0)
        (new QLabel(QStringLiteral("Bare"), &window))->adjustSize();

    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(probe, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        return 1;

    window.show();
    return app.exec();
}
