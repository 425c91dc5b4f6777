#include "Gui/CommandLine.h"

#include "commands/CommandFrames.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>

namespace {

const QString kAddress = QStringLiteral("address");
const QString kPort = QStringLiteral("port");
const QString kDevice = QStringLiteral("device");
const QString kRecord = QStringLiteral("record");
const QString kIncidents = QStringLiteral("incidents");
const QString kNoNotify = QStringLiteral("no-notify");
const QString kHelp = QStringLiteral("help");
const QString kVersion = QStringLiteral("version");

// Only whole numbers a socket can reach; "+80" or " 80" are typing slips, not ports.
bool isPortText(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    const uint port = text.toUInt();
    return digits.match(text).hasMatch() && port >= 1 && port <= 65535;
}

// QCommandLineParser names the program after argv[0] only while an application object
// exists; help is also given before one does, so the usage line names it here.
QString helpText(const QCommandLineParser &parser, const QString &program)
{
    QString text = parser.helpText();
    const qsizetype firstLineEnd = text.indexOf(u'\n');
    text.replace(0, firstLineEnd, QStringLiteral("Usage: %1 [options]").arg(program));
    return text;
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    const QString program = QCoreApplication::applicationName();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Front panel of the optical bench controller. It connects to the controller at the\n"
        "address and port of its IP Address and Port fields; the options set their initial\n"
        "texts. Qt's own options (-platform, -style, ...) are accepted as well."));
    parser.addOptions({
        {{QStringLiteral("h"), kHelp}, QStringLiteral("Print this help and exit.")},
        {{QStringLiteral("v"), kVersion}, QStringLiteral("Print the version and exit.")},
        {kAddress, QStringLiteral("Controller's host name or IP address (default: the built-in one)."),
         QStringLiteral("host")},
        {kPort, QStringLiteral("Controller's TCP port, 1 to 65535 (default: %1).").arg(kDefaultPort),
         QStringLiteral("port")},
        {kDevice, QStringLiteral("Attach to a NorvaneBench device of the lab's Tango control system instead of "
                                 "connecting to the controller: a device name resolved through TANGO_HOST, or "
                                 "tango://host:port/domain/family/member[#dbase=no]."),
         QStringLiteral("name")},
        {kRecord, QStringLiteral("Record the controller's frames to this CSV file from start-up, "
                                 "as File > Record does; an existing file is replaced."),
         QStringLiteral("file")},
        {kIncidents, QStringLiteral("Keep the alarm journal (alarms.csv) and a capture of the minute before and "
                                    "half-minute after each first fault in this folder, created if missing."),
         QStringLiteral("folder")},
        {kNoNotify, QStringLiteral("Send no desktop notifications of alarms.")},
    });

    CommandLine command;
    const auto fail = [&](const QString &error) {
        command.outcome = CommandLine::Outcome::Fail;
        command.text = QStringLiteral("%1: %2\n%3").arg(program, error, helpText(parser, program));
        return command;
    };

    if (!parser.parse(arguments))
        return fail(parser.errorText());

    if (parser.isSet(kAddress)) {
        command.address = parser.value(kAddress);
        // "--address --port 5" would take "--port" for a host name.
        static const QRegularExpression hostText(QStringLiteral("^[^-\\s]\\S*$"));
        if (!hostText.match(command.address).hasMatch())
            return fail(QStringLiteral("--address needs a host name or IP address."));
    }
    if (parser.isSet(kPort)) {
        command.port = parser.value(kPort);
        if (!isPortText(command.port))
            return fail(QStringLiteral("--port needs a whole number from 1 to 65535."));
    }
    if (parser.isSet(kDevice)) {
        command.device = parser.value(kDevice);
        // As for --address: "--device --record f" would take "--record" for a device.
        if (command.device.isEmpty() || command.device.startsWith(u'-'))
            return fail(QStringLiteral("--device needs a device name."));
        // The device's server owns the connection; an address here would be silently ignored.
        if (parser.isSet(kAddress) || parser.isSet(kPort))
            return fail(QStringLiteral("--device cannot be combined with --address or --port."));
    }
    if (parser.isSet(kRecord)) {
        const QString file = parser.value(kRecord);
        // "--record --port 5" would take "--port" for a file name.
        if (file.isEmpty() || file.startsWith(u'-'))
            return fail(QStringLiteral("--record needs a file name."));
        // Absolute, so that the console names the file wherever the panel was started.
        command.record = QFileInfo(file).absoluteFilePath();
    }
    if (parser.isSet(kIncidents)) {
        const QString folder = parser.value(kIncidents);
        if (folder.isEmpty() || folder.startsWith(u'-'))
            return fail(QStringLiteral("--incidents needs a folder."));
        command.incidents = QFileInfo(folder).absoluteFilePath();
    }
    command.notify = !parser.isSet(kNoNotify);
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().constFirst()));

    if (parser.isSet(kHelp)) {
        command.outcome = CommandLine::Outcome::Exit;
        command.text = helpText(parser, program);
        return command;
    }
    if (parser.isSet(kVersion)) {
        command.outcome = CommandLine::Outcome::Exit;
        command.text = QStringLiteral("%1 %2\n").arg(program, QCoreApplication::applicationVersion());
        return command;
    }
    return command;
}

QStringList argumentList(int argc, char *argv[])
{
    QStringList arguments;
    arguments.reserve(argc);
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

int finishCommandLine(const CommandLine &command)
{
    std::FILE *stream = command.outcome == CommandLine::Outcome::Fail ? stderr : stdout;
    std::fputs(command.text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
    return command.exitStatus();
}
