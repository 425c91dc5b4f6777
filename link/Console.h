#pragma once
// Console lines and the receive rules that decide what an arrival is.

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <QTime>

class QPlainTextEdit;

// "HH:mm:ss" + text + CR LF; every text brings its own leading space.
QString consoleLine(QTime timeOfDay, QStringView text);

// A message frame's bytes after the opcode, one byte to one character, nothing lost.
QString messageText(QByteArrayView frame);

enum class Arrival { Status, Message, Dropped };

// One arrival is one frame: a status frame only when it is exactly 33 bytes opening
// with 0xA1, a message only with at least one byte after 0xAF. No reassembly.
Arrival classifyArrival(QByteArrayView bytes);

// Appends without rewriting the text, so a line costs the same at any console length,
// then moves the caret to the end.
void appendToConsole(QPlainTextEdit &console, const QString &line);
void moveCaretToEnd(QPlainTextEdit &console);
