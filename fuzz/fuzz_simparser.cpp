// Fuzzes the simulator's command-stream parser: arbitrary client bytes, fed whole and
// again in pieces whose sizes the input chooses. Every byte must be accounted for (a
// command, garbage or the kept tail), the tail stays within one frame, and how the
// stream was cut must not change what is parsed.

#include "sim/CommandParser.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, const QByteArray &stream)
{
    std::fprintf(stderr, "command parser: %s\n  stream: %s\n", what, stream.toHex(' ').constData());
    std::abort();
}

struct Parsed {
    std::vector<ParsedCommand> commands;
    qsizetype garbage = 0;
    qsizetype pending = 0;
};

qsizetype frameBytes(const std::vector<ParsedCommand> &commands)
{
    qsizetype total = 0;
    for (const ParsedCommand &command : commands)
        total += frameLength(command.info->payload);
    return total;
}

void check(const Parsed &parsed, const QByteArray &stream)
{
    for (const ParsedCommand &command : parsed.commands) {
        if (!command.info)
            fail("a command without its table row", stream);
        const Payload payload = command.info->payload;
        if ((payload == Payload::WholeCount || payload == Payload::PiezoCount)
            && (command.value < 0 || command.value > 4095))
            fail("a count outside 0..4095", stream);
        if (payload == Payload::Switch && command.value != 0 && command.value != 1)
            fail("a switch byte other than 0 or 1", stream);
        if ((payload == Payload::Text) != !command.text.isEmpty())
            fail("text on the wrong command", stream);
    }
    if (parsed.pending >= frameLength(Payload::Text))
        fail("the kept tail is longer than a frame", stream);
    if (frameBytes(parsed.commands) + parsed.garbage + parsed.pending != stream.size())
        fail("bytes lost or counted twice", stream);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    // The first byte seeds the piece sizes; the rest is the stream.
    const unsigned pieceSeed = data[0];
    const QByteArray stream(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));

    Parsed whole;
    {
        CommandParser parser;
        ParseResult result = parser.feed(stream);
        whole = {std::move(result.commands), result.garbage.size(), parser.pendingBytes()};
    }
    check(whole, stream);

    Parsed pieces;
    CommandParser parser;
    unsigned state = pieceSeed * 2654435761u + 1;
    for (qsizetype at = 0; at < stream.size();) {
        state = state * 1103515245u + 12345u;
        const qsizetype piece = std::min<qsizetype>(1 + (state >> 16) % 48, stream.size() - at);
        ParseResult result = parser.feed(QByteArrayView(stream).sliced(at, piece));
        pieces.commands.insert(pieces.commands.end(), result.commands.begin(), result.commands.end());
        pieces.garbage += result.garbage.size();
        at += piece;
    }
    pieces.pending = parser.pendingBytes();
    check(pieces, stream);
    if (pieces.commands != whole.commands)
        fail("cutting the stream changed the commands", stream);
    return 0;
}
