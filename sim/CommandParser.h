#pragma once
// Splits the byte stream a client sends into command frames, across any split or join.

#include "commands/CommandFrames.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <vector>

struct ParsedCommand {
    const CommandInfo *info = nullptr;
    int value = 0;      // the count, or the switch byte; 0 for the other payloads
    QByteArray text;    // Echo's 39 bytes; empty otherwise

    friend bool operator==(const ParsedCommand &, const ParsedCommand &) = default;
};

struct ParseResult {
    std::vector<ParsedCommand> commands;
    QByteArray garbage;   // skipped bytes, in stream order, for the log
};

// "SetEclCurrent 1200", "SetHeater 1", "KeepAlive", "Echo Hi, this ...": one log line's text.
QString describeCommand(const ParsedCommand &command);

// Hex dump of skipped bytes, shortened after the first few.
QString describeGarbage(QByteArrayView bytes);

class CommandParser final {
public:
    // Returns the commands completed by these bytes. A byte that opens no frame is
    // skipped as garbage. So is an opcode whose payload cannot be what the panel sends
    // (count above full scale, switch byte other than 0 or 1, text byte above 0x7F): such a
    // frame was cut short, and scanning resumes at the byte after its opcode so that
    // the next real frame is found. A frame still incomplete is kept for the next feed;
    // the kept tail never exceeds one frame.
    ParseResult feed(QByteArrayView bytes);

    qsizetype pendingBytes() const { return m_tail.size(); }
    void clear() { m_tail.clear(); }

private:
    QByteArray m_tail;
};
