#include "sim/SimCommandLine.h"

#include <QCommandLineParser>

#include <cmath>
#include <optional>

namespace {

constexpr double kMaxRate = 20000;
constexpr qint64 kMaxFloodBytes = 64 * 1024 * 1024;

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

// The options that only the simulated bench reads.
QString readBench(const QCommandLineParser &parser, SimOptions &sim)
{
    bool ok = false;
    sim.rate = parser.value(QStringLiteral("rate")).toDouble(&ok);
    if (!ok || !(sim.rate > 0) || sim.rate > kMaxRate)
        return QStringLiteral("--rate needs a number above 0, at most %1").arg(kMaxRate);
    sim.seed = parser.value(QStringLiteral("seed")).toUInt(&ok);
    if (!ok)
        return QStringLiteral("--seed needs a whole number");
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
            return QStringLiteral("--close-after needs seconds above 0");
        sim.closeAfter = *value;
    }
    if (parser.isSet(QStringLiteral("stall"))) {
        const auto value = positiveSeconds(parser, QStringLiteral("stall"));
        if (!value)
            return QStringLiteral("--stall needs seconds above 0");
        sim.stall = *value;
    }
    if (parser.isSet(QStringLiteral("flood"))) {
        sim.flood = parser.value(QStringLiteral("flood")).toLongLong(&ok);
        if (!ok || sim.flood < 2 || sim.flood > kMaxFloodBytes)
            return QStringLiteral("--flood needs 2 to %1 bytes").arg(kMaxFloodBytes);
    }
    return {};
}

} // namespace

void addSimOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Simulated bench controller for the Norvane panel. It serves status frames to every\n"
        "client, carries out their commands on one simulated bench and prints each command\n"
        "received. Once listening it prints \"listening on HOST:PORT\".\n"
        "Fault options make it misbehave the way real lab networks do."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QString defaultPort = QString::number(kDefaultPort);
    const QString defaultHost = QString::fromLatin1(kDefaultAddress.data(), static_cast<qsizetype>(kDefaultAddress.size()));
    parser.addOptions({
        {QStringLiteral("host"), QStringLiteral("Address to listen on (default %1).").arg(defaultHost),
         QStringLiteral("address"), defaultHost},
        {QStringLiteral("port"), QStringLiteral("Port to listen on (default %1; 0 picks a free one).").arg(defaultPort),
         QStringLiteral("port"), defaultPort},
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
    });
}

SimCommandLine readSimOptions(const QCommandLineParser &parser)
{
    SimCommandLine command;
    const auto fail = [&command](const QString &error) {
        command.error = error;
        return command;
    };

    for (const Conflict &conflict : kConflicts) {
        if (parser.isSet(QLatin1String(conflict.first)) && parser.isSet(QLatin1String(conflict.second)))
            return fail(QStringLiteral("--%1 and --%2 do not combine").arg(conflict.first, conflict.second));
    }

    command.quiet = parser.isSet(QStringLiteral("quiet"));
    if (!command.sim.host.setAddress(parser.value(QStringLiteral("host"))))
        return fail(QStringLiteral("--host needs an IP address"));
    bool ok = false;
    const uint port = parser.value(QStringLiteral("port")).toUInt(&ok);
    if (!ok || port > 65535)
        return fail(QStringLiteral("--port needs 0 to 65535"));
    command.sim.port = static_cast<quint16>(port);

    const bool replay = parser.isSet(QStringLiteral("replay"));
    for (const char *option : {"speed", "loop"}) {
        if (!replay && parser.isSet(QLatin1String(option)))
            return fail(QStringLiteral("--%1 needs --replay").arg(option));
    }
    if (!replay)
        return fail(readBench(parser, command.sim));

    command.replaying = true;
    command.replayPath = parser.value(QStringLiteral("replay"));
    command.replay.host = command.sim.host;
    command.replay.port = command.sim.port;
    command.replay.loop = parser.isSet(QStringLiteral("loop"));
    const auto speed = positiveSeconds(parser, QStringLiteral("speed"));
    if (!speed || !std::isfinite(*speed))
        return fail(QStringLiteral("--speed needs a number above 0"));
    command.replay.speed = *speed;
    return command;
}
