// norvane-sim: a stand-in for the bench controller, for trying the panel without the bench.

#include "sim/ReplayServer.h"
#include "sim/SimCommandLine.h"
#include "sim/SimServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTime>

#include <csignal>
#include <cstdio>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void handleSignal(int)
{
    const char byte = 1;
    if (::write(g_signalPipe[1], &byte, 1) < 0) {
        // Nothing to do: the pipe is full, so a quit is already on its way.
    }
}

// SIGINT and SIGTERM reach the event loop through a socket pair, the one thing a
// handler may safely touch.
bool quitOnSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return false;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        char byte = 0;
        if (::read(g_signalPipe[0], &byte, 1) >= 0)
            app.quit();
    });
    struct sigaction action = {};
    action.sa_handler = handleSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}

// Checks the whole recording before anything is sent, so that a bad row stops the
// replay before a wrong frame goes out. Returns the number of frames, or nothing.
std::optional<int> checkRecording(QByteArrayView text, const QString &path, QTextStream &err)
{
    ReplayReader reader(text);
    if (const std::optional<QString> problem = reader.readHeader()) {
        err << "norvane-sim: " << path << ":1: " << *problem << Qt::endl;
        return std::nullopt;
    }
    for (int frames = 0;; ++frames) {
        const ReplayStep step = reader.next();
        switch (step.kind) {
        case ReplayStep::Kind::Frame:
            continue;
        case ReplayStep::Kind::End:
            return frames;
        case ReplayStep::Kind::CutLastLine:
            err << "norvane-sim: " << path << ':' << step.line
                << ": warning: the last line is cut short, as a crash leaves it; skipped" << Qt::endl;
            return frames;
        case ReplayStep::Kind::Bad:
            err << "norvane-sim: " << path << ':' << step.line << ": " << step.problem << Qt::endl;
            return std::nullopt;
        }
    }
}

int runReplay(QCoreApplication &app, const SimCommandLine &command, QTextStream &out, QTextStream &err)
{
    const auto fail = [&err](const QString &message) {
        err << "norvane-sim: " << message << Qt::endl;
        return 2;
    };
    const ReplayOptions &options = command.replay;
    const QString &path = command.replayPath;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    // Mapped rather than read, so an hour at 1000 frames/s is not copied into memory.
    QByteArrayView text;
    if (file.size() > 0) {
        const uchar *mapped = file.map(0, file.size());
        if (!mapped)
            return fail(QStringLiteral("cannot map %1: %2").arg(path, file.errorString()));
        text = QByteArrayView(mapped, file.size());
    }
    const std::optional<int> frames = checkRecording(text, path, err);
    if (!frames)
        return 2;

    if (!quitOnSignals(app))
        return fail(QStringLiteral("cannot watch for SIGINT and SIGTERM"));
    ReplayServer server(text, options);
    if (!command.quiet) {
        QObject::connect(&server, &ReplayServer::logLine, &app, [&out](const QString &line) {
            out << QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz")) << ' ' << line << Qt::endl;
        });
    }
    QObject::connect(&server, &ReplayServer::finished, &app, &QCoreApplication::quit);
    if (!server.listen())
        return fail(QStringLiteral("cannot listen on %1:%2: %3")
                        .arg(options.host.toString()).arg(options.port).arg(server.errorString()));
    out << "listening on " << server.serverAddress().toString() << ':' << server.serverPort() << Qt::endl;
    out << "replaying " << *frames << " frames of " << path << Qt::endl;

    const int status = QCoreApplication::exec();
    out.flush();
    return status;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("norvane-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(NORVANE_VERSION));
    QTextStream out(stdout);
    QTextStream err(stderr);

    QCommandLineParser parser;
    addSimOptions(parser);
    parser.process(app);
    const SimCommandLine command = readSimOptions(parser);

    const auto fail = [&err](const QString &message) {
        err << "norvane-sim: " << message << Qt::endl;
        return 2;
    };
    if (!command.error.isEmpty())
        return fail(command.error);
    if (command.replaying)
        return runReplay(app, command, out, err);

    if (!quitOnSignals(app))
        return fail(QStringLiteral("cannot watch for SIGINT and SIGTERM"));

    const SimOptions &sim = command.sim;
    SimServer server(sim);
    if (!command.quiet) {
        QObject::connect(&server, &SimServer::logLine, &app, [&out](const QString &text) {
            out << QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz")) << ' ' << text << Qt::endl;
        });
    }
    if (!server.listen())
        return fail(QStringLiteral("cannot listen on %1:%2: %3")
                        .arg(sim.host.toString()).arg(sim.port).arg(server.errorString()));
    out << "listening on " << server.serverAddress().toString() << ':' << server.serverPort() << Qt::endl;

    const int status = QCoreApplication::exec();
    out.flush();
    return status;
}
