#pragma once
// Reads the lines the panel appends to its console and keeps the connection lines among them.

#include <QObject>
#include <QString>
#include <QStringView>

#include <functional>
#include <vector>

class QPlainTextEdit;

namespace soak {

struct ConsoleLine {
    double t;
    char kind;   // O opening, C connected, L lost, R reopening, E error
};

class ConsoleWatch final : public QObject
{
public:
    // `now` stamps each line; the console must outlive the watch, or stop() come first.
    ConsoleWatch(QPlainTextEdit &console, std::function<double()> now);

    void stop();
    // Escape emptied the console: read from its start again.
    void emptied();

    int chars() const;
    const std::vector<ConsoleLine> &lines() const { return m_lines; }
    int messageLines() const { return m_messageLines; }
    int floodLines() const { return m_floodLines; }

private:
    void readConsole();
    void consoleLine(QStringView line);

    QPlainTextEdit &m_console;
    std::function<double()> m_now;
    int m_read = 0;
    QString m_partial;
    std::vector<ConsoleLine> m_lines;
    int m_messageLines = 0;
    int m_floodLines = 0;
};

} // namespace soak
