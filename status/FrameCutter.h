#pragma once
// Cuts the controller's byte stream into frames: every whole status frame of an arrival,
// and the start of a cut-off one carried over to the next arrival.

#include "status/Arrival.h"

#include <QByteArray>
#include <QByteArrayView>

#include <functional>

// A status frame has a fixed length and can be cut out wherever TCP joins or splits it.
// A message frame has none: an arrival, or the rest of one, that opens with 0xAF is one
// message, as the panel takes it. Anything else at a frame's start cannot be told from
// noise and the rest of that arrival is dropped, so the next arrival starts afresh.
class FrameCutter final
{
public:
    // Arrival::Status or Arrival::Message, with the frame's bytes (valid during the call).
    using Deliver = std::function<void(Arrival kind, QByteArrayView frame)>;

    void cut(QByteArrayView arrival, const Deliver &deliver);

    // Forgets a carried-over part, for a new connection.
    void reset() { m_partial.clear(); }

    // Bytes carried over: the start of a status frame, never more than one frame's worth.
    qsizetype carried() const { return m_partial.size(); }

private:
    QByteArray m_partial;
};
