#pragma once
// The console box: its line format, appending lines cheaply, its caret, and its bounded size.

#include <QString>
#include <QStringView>
#include <QTime>

class QPlainTextEdit;

// "HH:mm:ss" + text + CR LF; every text brings its own leading space.
QString consoleLine(QTime timeOfDay, QStringView text);

// Lines the console keeps; beyond it the oldest are dropped whole, so a panel left
// running for weeks against a silent controller stays bounded.
inline constexpr int kConsoleCapacityLines = 100000;

// Sets the capacity on a console box. Counts the console's own lines: a message with
// line breaks inside takes one line per break.
void limitConsole(QPlainTextEdit &console, int lines = kConsoleCapacityLines);

// Appends without rewriting the text, so a line costs the same at any console length,
// then moves the caret to the end.
void appendToConsole(QPlainTextEdit &console, const QString &line);
void moveCaretToEnd(QPlainTextEdit &console);
