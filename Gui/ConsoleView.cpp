#include "Gui/ConsoleView.h"

#include <QPlainTextEdit>
#include <QTextCursor>

QString consoleLine(QTime timeOfDay, QStringView text)
{
    QString line = timeOfDay.toString(QStringLiteral("HH:mm:ss"));
    line.append(text);
    line.append(u"\r\n");
    return line;
}

void limitConsole(QPlainTextEdit &console, int lines)
{
    // Every line ends in CR LF, so the document holds one empty block after the last one.
    console.setMaximumBlockCount(lines + 1);
}

void appendToConsole(QPlainTextEdit &console, const QString &line)
{
    QTextCursor end(console.document());
    end.movePosition(QTextCursor::End);
    end.insertText(line);
    moveCaretToEnd(console);
}

void moveCaretToEnd(QPlainTextEdit &console)
{
    console.moveCursor(QTextCursor::End);
}
