#include "status/Arrival.h"

#include "status/StatusFrame.h"

QString messageText(QByteArrayView frame)
{
    return QString::fromLatin1(frame.sliced(1));
}

Arrival classifyArrival(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return Arrival::Dropped;
    const auto opcode = static_cast<std::uint8_t>(bytes.front());
    if (bytes.size() == kStatusFrameSize && opcode == kStatusOpcode)
        return Arrival::Status;
    if (bytes.size() > 1 && opcode == kMessageOpcode)
        return Arrival::Message;
    return Arrival::Dropped;
}
