#pragma once
// What one arrival from the controller is, and the console line format the link logs in.

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <QTime>

// "HH:mm:ss" + text + CR LF; every text brings its own leading space.
QString consoleLine(QTime timeOfDay, QStringView text);

// A message frame's bytes after the opcode, one byte to one character, nothing lost.
QString messageText(QByteArrayView frame);

enum class Arrival { Status, Message, Dropped };

// One arrival is one frame: a status frame only when it is exactly 33 bytes opening
// with 0xA1, a message only with at least one byte after 0xAF. No reassembly.
Arrival classifyArrival(QByteArrayView bytes);
