#pragma once
// What one arrival from the controller is.

#include <QByteArrayView>
#include <QString>

// A message frame's bytes after the opcode, one byte to one character, nothing lost.
QString messageText(QByteArrayView frame);

enum class Arrival { Status, Message, Dropped };

// One arrival is one frame: a status frame only when it is exactly 33 bytes opening
// with 0xA1, a message only with at least one byte after 0xAF. No reassembly.
Arrival classifyArrival(QByteArrayView bytes);
