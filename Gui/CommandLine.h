#pragma once
// The panel's command line: the connection fields' initial texts or a device to attach
// through, a file to record to, or what to print and with which status to end. Qt Core
// only, so that it is tested without a window.

#include <QString>
#include <QStringList>

struct CommandLine {
    enum class Outcome {
        Run,    // start the panel
        Exit,   // --help or --version: print `text` on stdout, end with status 0
        Fail,   // a bad option: print `text` (error line, then usage) on stderr, status 2
    };

    Outcome outcome = Outcome::Run;
    QString address;   // empty: txtIP keeps its built-in text
    QString port;      // empty: txtPort keeps its built-in text
    QString device;    // a control-system device to attach through instead; never with address or port
    QString record;    // absolute path to record to from start-up; empty: no recording
    QString incidents; // absolute folder for the alarm journal and incident captures; empty: none
    bool notify = true;   // desktop notifications of alarms
    QString text;

    int exitStatus() const { return outcome == Outcome::Fail ? 2 : 0; }
};

// Reads the arguments as QCoreApplication::arguments() gives them, program first.
// Help and version texts use the application's name and version.
CommandLine parseCommandLine(const QStringList &arguments);

// The arguments of main() as text, before any application object exists.
QStringList argumentList(int argc, char *argv[]);

// Prints an Exit or Fail outcome's text where it belongs and returns the exit status.
int finishCommandLine(const CommandLine &command);
