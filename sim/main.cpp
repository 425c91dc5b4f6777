// norvane-sim: a stand-in for the bench controller, for trying the panel without the bench.

#include "sim/ReplayServer.h"
#include "sim/SimServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTime>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr double kMaxRate = 20000;
constexpr qint64 kMaxFloodBytes = 64 * 1024 * 1024;

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

struct Conflict { const char *first; const char *second; };
constexpr Conflict kConflicts[] = {
    {"split", "join"},
    {"silent", "split"}, {"silent", "join"}, {"silent", "garbage"}, {"silent", "flood"}, {"silent", "stall"},
    {"refuse", "silent"}, {"refuse", "close-after"}, {"refuse", "stall"},
    // A replay sends what was recorded, nothing of its own.
    {"replay", "rate"}, {"replay", "seed"}, {"replay", "silent"}, {"replay", "close-after"},
    {"replay", "stall"}, {"replay", "split"}, {"replay", "join"}, {"replay", "garbage"},
    {"replay", "flood"}, {"replay", "refuse"}, {"replay", "changing"}, {"replay", "stamp"},
};

std::optional<double> positiveSeconds(const QCommandLineParser &parser, const QString &name)
{
    bool ok = false;
    const double value = parser.value(name).toDouble(&ok);
    if (!ok || !(value > 0))
        return std::nullopt;
    return value;
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

int runReplay(QCoreApplication &app, const QCommandLineParser &parser, const QHostAddress &host, quint16 port,
              QTextStream &out, QTextStream &err)
{
    const auto fail = [&err](const QString &message) {
        err << "norvane-sim: " << message << Qt::endl;
        return 2;
    };
    ReplayOptions options;
    options.host = host;
    options.port = port;
    options.loop = parser.isSet(QStringLiteral("loop"));
    const auto speed = positiveSeconds(parser, QStringLiteral("speed"));
    if (!speed || !std::isfinite(*speed))
        return fail(QStringLiteral("--speed needs a number above 0"));
    options.speed = *speed;

    const QString path = parser.value(QStringLiteral("replay"));
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
    if (!parser.isSet(QStringLiteral("quiet"))) {
        QObject::connect(&server, &ReplayServer::logLine, &app, [&out](const QString &line) {
            out << QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz")) << ' ' << line << Qt::endl;
        });
    }
    QObject::connect(&server, &ReplayServer::finished, &app, &QCoreApplication::quit);
    if (!server.listen())
        return fail(QStringLiteral("cannot listen on %1:%2: %3").arg(host.toString()).arg(port).arg(server.errorString()));
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
    parser.setApplicationDescription(QStringLiteral(
        "Simulated bench controller for the Norvane panel. It serves status frames to every\n"
        "client, carries out their commands on one simulated bench and prints each command\n"
        "received. Once listening it prints \"listening on HOST:PORT\".\n"
        "Fault options make it misbehave the way real lab networks do."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QList<QCommandLineOption> options{
        {QStringLiteral("host"), QStringLiteral("Address to listen on (default 127.0.0.1)."),
         QStringLiteral("address"), QStringLiteral("127.0.0.1")},
        {QStringLiteral("port"), QStringLiteral("Port to listen on (default 44174; 0 picks a free one)."),
         QStringLiteral("port"), QStringLiteral("44174")},
        {QStringLiteral("rate"), QStringLiteral("Status frames per second (default 10, up to 20000)."),
         QStringLiteral("fps"), QStringLiteral("10")},
        {QStringLiteral("seed"), QStringLiteral("Seed of the noise and the stray bytes (default 1)."),
         QStringLiteral("n"), QStringLiteral("1")},
        {QStringLiteral("changing"),
         QStringLiteral("Load test: every reading, alarm colour and switch changes in every status frame.")},
        {QStringLiteral("stamp"),
         QStringLiteral("Benchmarks: carry each status frame's number and departure time in the bits "
                        "the readings leave unused.")},
        {QStringLiteral("quiet"), QStringLiteral("Print only the listening line and fatal errors, nothing per event.")},
        {QStringLiteral("silent"), QStringLiteral("Fault: accept connections but never send a byte.")},
        {QStringLiteral("close-after"), QStringLiteral("Fault: close each connection this long after accepting it."),
         QStringLiteral("seconds")},
        {QStringLiteral("stall"),
         QStringLiteral("Fault: on each connection, send normally for %1 s, then nothing for this long, "
                        "then again, in a cycle.").arg(kStallSendingStretch),
         QStringLiteral("seconds")},
        {QStringLiteral("split"), QStringLiteral("Fault: send each status frame in two writes, %1 + %2 bytes, %3 ms apart.")
                                      .arg(kSplitHeadBytes).arg(kStatusFrameSize - kSplitHeadBytes).arg(kSplitGapMs)},
        {QStringLiteral("join"), QStringLiteral("Fault: send two status frames per write.")},
        {QStringLiteral("garbage"), QStringLiteral("Fault: send a few random bytes about once a second.")},
        {QStringLiteral("flood"),
         QStringLiteral("Fault: %1 s after connect, send one message frame of this many bytes.").arg(kFloodDelay),
         QStringLiteral("bytes")},
        {QStringLiteral("refuse"), QStringLiteral("Fault: close every connection as soon as it is accepted.")},
        {QStringLiteral("replay"),
         QStringLiteral("Serve this recording (a CSV file the panel recorded) instead of a simulated bench: "
                        "each row's frame at its elapsed_s, to every client, from the first client on; "
                        "ends at the end of the file."),
         QStringLiteral("file")},
        {QStringLiteral("speed"), QStringLiteral("With --replay: play this many times as fast (default 1)."),
         QStringLiteral("factor"), QStringLiteral("1")},
        {QStringLiteral("loop"), QStringLiteral("With --replay: start over at the end of the file.")},
    };
    parser.addOptions(options);
    parser.process(app);

    const auto fail = [&err](const QString &message) {
        err << "norvane-sim: " << message << Qt::endl;
        return 2;
    };

    for (const Conflict &conflict : kConflicts) {
        if (parser.isSet(QLatin1String(conflict.first)) && parser.isSet(QLatin1String(conflict.second)))
            return fail(QStringLiteral("--%1 and --%2 do not combine").arg(conflict.first, conflict.second));
    }

    SimOptions sim;
    bool ok = false;
    if (!sim.host.setAddress(parser.value(QStringLiteral("host"))))
        return fail(QStringLiteral("--host needs an IP address"));
    const uint port = parser.value(QStringLiteral("port")).toUInt(&ok);
    if (!ok || port > 65535)
        return fail(QStringLiteral("--port needs 0 to 65535"));
    sim.port = static_cast<quint16>(port);

    const bool replay = parser.isSet(QStringLiteral("replay"));
    for (const char *option : {"speed", "loop"}) {
        if (!replay && parser.isSet(QLatin1String(option)))
            return fail(QStringLiteral("--%1 needs --replay").arg(option));
    }
    if (replay)
        return runReplay(app, parser, sim.host, sim.port, out, err);
    sim.rate = parser.value(QStringLiteral("rate")).toDouble(&ok);
    if (!ok || !(sim.rate > 0) || sim.rate > kMaxRate)
        return fail(QStringLiteral("--rate needs a number above 0, at most %1").arg(kMaxRate));
    sim.seed = parser.value(QStringLiteral("seed")).toUInt(&ok);
    if (!ok)
        return fail(QStringLiteral("--seed needs a whole number"));
    sim.changing = parser.isSet(QStringLiteral("changing"));
    sim.stamp = parser.isSet(QStringLiteral("stamp"));
    sim.silent = parser.isSet(QStringLiteral("silent"));
    sim.split = parser.isSet(QStringLiteral("split"));
    sim.join = parser.isSet(QStringLiteral("join"));
    sim.garbage = parser.isSet(QStringLiteral("garbage"));
    sim.refuse = parser.isSet(QStringLiteral("refuse"));
    if (parser.isSet(QStringLiteral("close-after"))) {
        const auto value = positiveSeconds(parser, QStringLiteral("close-after"));
        if (!value)
            return fail(QStringLiteral("--close-after needs seconds above 0"));
        sim.closeAfter = *value;
    }
    if (parser.isSet(QStringLiteral("stall"))) {
        const auto value = positiveSeconds(parser, QStringLiteral("stall"));
        if (!value)
            return fail(QStringLiteral("--stall needs seconds above 0"));
        sim.stall = *value;
    }
    if (parser.isSet(QStringLiteral("flood"))) {
        sim.flood = parser.value(QStringLiteral("flood")).toLongLong(&ok);
        if (!ok || sim.flood < 2 || sim.flood > kMaxFloodBytes)
            return fail(QStringLiteral("--flood needs 2 to %1 bytes").arg(kMaxFloodBytes));
    }

    if (!quitOnSignals(app))
        return fail(QStringLiteral("cannot watch for SIGINT and SIGTERM"));

    SimServer server(sim);
    if (!parser.isSet(QStringLiteral("quiet"))) {
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
