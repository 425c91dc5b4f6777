#include "status/FrameCutter.h"

#include "status/StatusFrame.h"

#include <cstdint>
#include <utility>

void FrameCutter::cut(QByteArrayView arrival, const Deliver &deliver)
{
    if (!m_partial.isEmpty()) {
        const qsizetype missing = kStatusFrameSize - m_partial.size();
        if (arrival.size() < missing) {
            m_partial.append(arrival);
            return;
        }
        m_partial.append(arrival.first(missing));
        const QByteArray frame = std::exchange(m_partial, QByteArray());
        deliver(Arrival::Status, frame);
        arrival = arrival.sliced(missing);
    }
    while (!arrival.isEmpty()) {
        if (static_cast<std::uint8_t>(arrival.front()) != kStatusOpcode) {
            if (classifyArrival(arrival) == Arrival::Message)
                deliver(Arrival::Message, arrival);
            return;
        }
        if (arrival.size() < kStatusFrameSize) {
            m_partial = arrival.toByteArray();
            return;
        }
        deliver(Arrival::Status, arrival.first(kStatusFrameSize));
        arrival = arrival.sliced(kStatusFrameSize);
    }
}
