#include "sim/CommandParser.h"

namespace {

constexpr int kMaxDacCount = kFullScaleCount;
constexpr qsizetype kGarbageShown = 16;

// Whether byte `index` of a payload (0 = first after the opcode) can belong to a frame
// the panel sends; checked as bytes arrive, so a cut frame is noticed without waiting.
bool payloadByteFits(Payload payload, qsizetype index, std::uint8_t byte)
{
    switch (payload) {
    case Payload::None:
        return true;
    case Payload::Switch:
        return byte <= 1;
    case Payload::WholeCount:
    case Payload::PiezoCount:
        return index != 0 || byte <= (kMaxDacCount >> 8);
    case Payload::Text:
        return byte < 0x80;
    }
    return false;
}

ParsedCommand decode(const CommandInfo &info, QByteArrayView frame)
{
    ParsedCommand command{&info, 0, {}};
    const auto byteAt = [&frame](qsizetype i) { return static_cast<std::uint8_t>(frame[i]); };
    switch (info.payload) {
    case Payload::None:
        break;
    case Payload::Switch:
        command.value = byteAt(1);
        break;
    case Payload::WholeCount:
    case Payload::PiezoCount:
        command.value = byteAt(1) * 256 + byteAt(2);
        break;
    case Payload::Text:
        command.text = frame.sliced(1).toByteArray();
        break;
    }
    return command;
}

} // namespace

QString describeCommand(const ParsedCommand &command)
{
    const QString name = QString::fromUtf8(command.info->name.data(),
                                           static_cast<qsizetype>(command.info->name.size()));
    switch (command.info->payload) {
    case Payload::None:
        return name;
    case Payload::Switch:
    case Payload::WholeCount:
    case Payload::PiezoCount:
        return name + u' ' + QString::number(command.value);
    case Payload::Text:
        return name + u' ' + QString::fromLatin1(command.text);
    }
    return name;
}

QString describeGarbage(QByteArrayView bytes)
{
    const QByteArray shown = bytes.first(std::min(bytes.size(), kGarbageShown)).toByteArray();
    QString text = QString::fromLatin1(shown.toHex(' '));
    if (bytes.size() > kGarbageShown)
        text += QStringLiteral(" ...");
    return text;
}

ParseResult CommandParser::feed(QByteArrayView bytes)
{
    ParseResult result;
    m_tail.append(bytes);
    const qsizetype size = m_tail.size();
    qsizetype pos = 0;
    while (pos < size) {
        const CommandInfo *info = commandByOpcode(static_cast<std::uint8_t>(m_tail[pos]));
        if (!info) {
            result.garbage.append(m_tail[pos++]);
            continue;
        }
        const qsizetype length = frameLength(info->payload);
        const qsizetype available = std::min(length, size - pos);
        bool fits = true;
        for (qsizetype i = 1; i < available && fits; ++i)
            fits = payloadByteFits(info->payload, i - 1, static_cast<std::uint8_t>(m_tail[pos + i]));
        if (!fits) {
            result.garbage.append(m_tail[pos++]);
            continue;
        }
        if (available < length)
            break;
        result.commands.push_back(decode(*info, QByteArrayView(m_tail).sliced(pos, length)));
        pos += length;
    }
    m_tail.remove(0, pos);
    return result;
}
