#pragma once
// What the panel's typed requests become on a NorvaneBench device: attribute writes and
// commands, as lines for the Tango client process.

#include "commands/CommandFrames.h"

#include <QByteArray>

#include <optional>

// "write ATTRIBUTE TYPE VALUE\n" or "run COMMAND\n"; nullopt for what the device does by
// itself (the keep-alive).
std::optional<QByteArray> deviceRequestLine(const CommandRequest &request);

// Volts that the device turns back into exactly this piezo count.
double piezoVolts(int count);
