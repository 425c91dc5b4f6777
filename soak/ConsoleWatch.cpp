#include "soak/ConsoleWatch.h"

#include "soak/SoakLog.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

namespace soak {

ConsoleWatch::ConsoleWatch(QPlainTextEdit &console, std::function<double()> now)
    : m_console(console), m_now(std::move(now))
{
    connect(m_console.document(), &QTextDocument::contentsChanged, this, &ConsoleWatch::readConsole);
}

void ConsoleWatch::stop()
{
    disconnect(m_console.document(), nullptr, this, nullptr);
}

void ConsoleWatch::emptied()
{
    m_read = 0;
    m_partial.clear();
}

int ConsoleWatch::chars() const
{
    return m_console.document()->characterCount();
}

// The lines appended since the last look; Escape empties the console meanwhile.
void ConsoleWatch::readConsole()
{
    QTextDocument *document = m_console.document();
    const int end = document->characterCount() - 1;
    if (end < m_read)
        emptied();
    if (end == m_read)
        return;
    QTextCursor cursor(document);
    cursor.setPosition(m_read);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    m_partial += cursor.selectedText();
    m_read = end;
    qsizetype from = 0;
    for (qsizetype at; (at = m_partial.indexOf(QChar::ParagraphSeparator, from)) >= 0; from = at + 1)
        consoleLine(QStringView(m_partial).sliced(from, at - from));
    m_partial.remove(0, from);
}

void ConsoleWatch::consoleLine(QStringView line)
{
    const bool stamped = line.size() >= 8 && line[2] == u':' && line[5] == u':';
    if (!stamped)
        return;   // the rest of a message that spans lines
    const QStringView text = line.sliced(8);
    char kind = 0;
    if (text == u" Opening connection...")
        kind = 'O';
    else if (text == u" Connected!")
        kind = 'C';
    else if (text == u" Lost connection, closed.  ")
        kind = 'L';
    else if (text == u" Reopening...")
        kind = 'R';
    else if (text.startsWith(u" Error: "))
        kind = 'E';
    if (!kind) {
        ++m_messageLines;
        if (text.startsWith(u" Flood line "))
            ++m_floodLines;
        return;
    }
    const double now = m_now();
    m_lines.push_back({now, kind});
    say(QStringLiteral("line %1 %2").arg(now, 0, 'f', 3).arg(text.toString()));
}

} // namespace soak
