#include "history/TrendHistory.h"

#include <algorithm>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kForever = std::numeric_limits<double>::infinity();

double bucketIndex(double time, double width)
{
    return std::floor(time / width);
}

} // namespace

// Folds entries into pixel columns: per column its lowest and highest value in the order
// they happened, and a NaN point at each break, at most one break per column.
class TrendHistory::ColumnWriter
{
public:
    ColumnWriter(double from, double columnSeconds, std::vector<TrendPoint> &out)
        : m_from(from), m_columnSeconds(columnSeconds), m_out(out)
    {
    }

    void add(double first, double last, double low, double high, std::uint8_t marks)
    {
        const double time = (first + last) / 2;
        const double column = std::floor((time - m_from) / m_columnSeconds);
        if (m_open && column != m_column)
            flush();
        const bool gap = m_any && ((marks & GapBefore) || m_gapAfter);
        if (gap && column != m_brokenColumn) {
            flush();
            // At the last point's time: a step drawn to it stops where the data stops.
            m_out.push_back({m_last, kNaN});
            m_brokenColumn = column;
        }
        if (!m_open) {
            m_open = true;
            m_column = column;
            m_low = {time, low};
            m_high = {time, high};
        } else {
            if (low < m_low.value)
                m_low = {time, low};
            if (high > m_high.value)
                m_high = {time, high};
        }
        m_any = true;
        m_last = last;
        m_gapAfter = (marks & GapWithin) != 0;
    }

    void flush()
    {
        if (!m_open)
            return;
        m_open = false;
        if (m_low.value == m_high.value) {
            m_out.push_back(m_low);
        } else if (m_high.time < m_low.time) {
            m_out.push_back(m_high);
            m_out.push_back(m_low);
        } else {
            m_out.push_back(m_low);
            m_out.push_back(m_high);
        }
    }

private:
    double m_from;
    double m_columnSeconds;
    std::vector<TrendPoint> &m_out;
    bool m_open = false;
    bool m_any = false;
    bool m_gapAfter = false;
    double m_column = kNaN;
    double m_brokenColumn = kNaN;   // the column that already shows a break
    double m_last = 0;
    TrendPoint m_low{};
    TrendPoint m_high{};
};

TrendHistory::TrendHistory(double steadySeconds, const QDateTime &utc)
    : m_anchorSteady(steadySeconds), m_anchorUtc(utc.toUTC())
{
    for (std::size_t i = 0; i < kTiers.size(); ++i)
        m_tiers[i] = Tier{kTiers[i].bucketSeconds, kTiers[i].buckets, {}};
}

void TrendHistory::addStatus(const StatusReadings &readings, double steadySeconds)
{
    RawFrame frame{steadySeconds, {}, readings.flags, 0};
    for (int i = 0; i < kReadbackCount; ++i)
        frame.values[i] = static_cast<std::uint16_t>(readings.values[i] & 0x0FFF);
    if (!m_raw.empty() && (m_breakPending || steadySeconds - m_raw.back().time > kGapSeconds))
        frame.marks = GapBefore;
    m_breakPending = false;

    m_raw.push_back(frame);
    if (m_raw.size() > kRawFrames)
        m_raw.pop_front();
    addToTiers(frame);
    ++m_revision;
}

void TrendHistory::addToTiers(const RawFrame &frame)
{
    for (Tier &tier : m_tiers)
        mergeInto(tier, frame);
}

void TrendHistory::mergeInto(Tier &tier, const RawFrame &frame)
{
    if (!tier.buckets.empty()
        && bucketIndex(tier.buckets.back().first, tier.width) == bucketIndex(frame.time, tier.width)) {
        Bucket &bucket = tier.buckets.back();
        for (int i = 0; i < kReadbackCount; ++i) {
            bucket.min[i] = std::min(bucket.min[i], frame.values[i]);
            bucket.max[i] = std::max(bucket.max[i], frame.values[i]);
        }
        bucket.flagsAll &= frame.flags;
        bucket.flagsAny |= frame.flags;
        bucket.last = frame.time;
        if (frame.marks & GapBefore)
            bucket.marks |= GapWithin;
        return;
    }
    tier.buckets.push_back(Bucket{frame.time, frame.time, frame.values, frame.values, frame.flags, frame.flags,
                                  static_cast<std::uint8_t>(frame.marks & GapBefore)});
    if (tier.buckets.size() > tier.capacity)
        tier.buckets.pop_front();
}

void TrendHistory::addRun(const StatusReadings &readings, double firstSeconds, double intervalSeconds,
                          std::int64_t count)
{
    if (count <= 0)
        return;
    addStatus(readings, firstSeconds);
    if (count == 1)
        return;
    RawFrame frame = m_raw.back();
    const auto timeOf = [&](std::int64_t k) { return firstSeconds + static_cast<double>(k) * intervalSeconds; };
    const std::uint8_t marks = intervalSeconds > kGapSeconds ? GapBefore : 0;

    // Only the frames the raw tier would still hold.
    const std::int64_t rawStart = std::max<std::int64_t>(1, count - static_cast<std::int64_t>(kRawFrames));
    frame.marks = marks;
    for (std::int64_t k = rawStart; k < count; ++k) {
        frame.time = timeOf(k);
        m_raw.push_back(frame);
        if (m_raw.size() > kRawFrames)
            m_raw.pop_front();
    }

    // Per bucket, not per frame: its first frame merged as usual, then its last time.
    for (Tier &tier : m_tiers) {
        std::int64_t k = 1;
        while (k < count) {
            const double bucketEnd = (bucketIndex(timeOf(k), tier.width) + 1) * tier.width;
            std::int64_t end = static_cast<std::int64_t>(std::ceil((bucketEnd - firstSeconds) / intervalSeconds));
            end = std::clamp<std::int64_t>(end, k + 1, count);
            while (end > k + 1 && timeOf(end - 1) >= bucketEnd)
                --end;
            while (end < count && timeOf(end) < bucketEnd)
                ++end;
            frame.time = timeOf(k);
            mergeInto(tier, frame);
            Bucket &bucket = tier.buckets.back();
            bucket.last = timeOf(end - 1);
            if (marks && end - 1 > k)
                bucket.marks |= GapWithin;
            k = end;
        }
    }
    ++m_revision;
}

void TrendHistory::addMessage(const QString &text, double steadySeconds)
{
    Message message{steadySeconds, text.left(kMessageChars)};
    m_messageChars += message.text.size();
    m_messages.push_back(std::move(message));
    while (m_messages.size() > kMessages || m_messageChars > kMessageChars) {
        m_messageChars -= m_messages.front().text.size();
        m_messages.pop_front();
    }
    ++m_revision;
}

void TrendHistory::addLinkDown(double)
{
    m_breakPending = true;
}

std::array<double, TrendHistory::kTiers.size() + 1> TrendHistory::levelEnds(int finest) const
{
    std::array<double, kTiers.size() + 1> ends{};
    double end = kForever;
    for (int level = finest; level < static_cast<int>(kTiers.size()); ++level) {
        ends[static_cast<std::size_t>(level + 1)] = end;
        if (level < 0) {
            if (!m_raw.empty())
                end = m_raw.front().time;
        } else if (!m_tiers[static_cast<std::size_t>(level)].buckets.empty()) {
            end = m_tiers[static_cast<std::size_t>(level)].buckets.front().first;
        }
    }
    return ends;
}

namespace {

struct Extent {
    double first;
    double last;
};

double readingAt(const std::array<std::uint16_t, kReadbackCount> &values, int trace)
{
    return values[static_cast<std::size_t>(trace)];
}

double bitAt(std::uint8_t flags, int trace)
{
    return (flags & kSwitches[static_cast<std::size_t>(trace - kReadbackCount)].mask) ? 1 : 0;
}

} // namespace

template <typename Entry>
void TrendHistory::collect(const std::deque<Entry> &entries, int trace, double from, double to, double before,
                           double &covered, ColumnWriter &writer) const
{
    const auto extent = [](const Entry &entry) {
        if constexpr (std::is_same_v<Entry, RawFrame>)
            return Extent{entry.time, entry.time};
        else
            return Extent{entry.first, entry.last};
    };
    // One entry either side of the window, so that the line runs to its edges.
    auto it = std::lower_bound(entries.begin(), entries.end(), from,
                               [&](const Entry &entry, double time) { return extent(entry).last < time; });
    if (it != entries.begin())
        --it;
    for (; it != entries.end(); ++it) {
        const Extent span = extent(*it);
        if (span.first >= before)
            break;
        if (span.first <= covered)
            continue;   // a coarser entry that reaches into this level holds it already
        covered = span.last;
        if constexpr (std::is_same_v<Entry, RawFrame>) {
            const double value = trace < kReadbackCount ? readingAt(it->values, trace) : bitAt(it->flags, trace);
            writer.add(span.first, span.last, value, value, it->marks);
        } else if (trace < kReadbackCount) {
            writer.add(span.first, span.last, readingAt(it->min, trace), readingAt(it->max, trace), it->marks);
        } else {
            writer.add(span.first, span.last, bitAt(it->flagsAll, trace), bitAt(it->flagsAny, trace), it->marks);
        }
        if (span.first > to)
            break;
    }
}

std::vector<TrendPoint> TrendHistory::plotPoints(int trace, double from, double to, int columns) const
{
    std::vector<TrendPoint> points;
    if (trace < 0 || trace >= kTraceCount || columns <= 0 || !(to > from))
        return points;
    const double columnSeconds = (to - from) / columns;
    int finest = -1;
    for (std::size_t i = 0; i < kTiers.size(); ++i) {
        if (kTiers[i].bucketSeconds <= columnSeconds)
            finest = static_cast<int>(i);
    }
    const std::array<double, kTiers.size() + 1> ends = levelEnds(finest);
    points.reserve(static_cast<std::size_t>(columns) * 2 + 8);
    ColumnWriter writer(from, columnSeconds, points);
    double covered = -kForever;
    for (int level = static_cast<int>(kTiers.size()) - 1; level >= finest; --level) {
        const double end = ends[static_cast<std::size_t>(level + 1)];
        if (level < 0)
            collect(m_raw, trace, from, to, end, covered, writer);
        else
            collect(m_tiers[static_cast<std::size_t>(level)].buckets, trace, from, to, end, covered, writer);
    }
    writer.flush();
    return points;
}

void TrendHistory::visit(const Visitor &visitor) const
{
    auto message = m_messages.begin();
    const auto messagesBefore = [&](double time) {
        for (; message != m_messages.end() && message->time < time; ++message) {
            if (visitor.message)
                visitor.message(message->time, message->text);
        }
    };
    const std::array<double, kTiers.size() + 1> ends = levelEnds(-1);
    double covered = -kForever;
    for (int level = static_cast<int>(kTiers.size()) - 1; level >= 0; --level) {
        const double end = ends[static_cast<std::size_t>(level + 1)];
        for (const Bucket &bucket : m_tiers[static_cast<std::size_t>(level)].buckets) {
            if (bucket.first >= end)
                break;
            if (bucket.first <= covered)
                continue;   // the coarser bucket before it reaches over it
            covered = bucket.last;
            messagesBefore(bucket.first);
            StatusReadings low;
            StatusReadings high;
            for (int i = 0; i < kReadbackCount; ++i) {
                low.values[i] = bucket.min[i];
                high.values[i] = bucket.max[i];
            }
            low.flags = bucket.flagsAll;
            high.flags = bucket.flagsAny;
            if (visitor.bucket)
                visitor.bucket(bucket.first, low, high);
        }
    }
    for (const RawFrame &frame : m_raw) {
        if (frame.time <= covered)
            continue;
        messagesBefore(frame.time);
        StatusReadings readings;
        for (int i = 0; i < kReadbackCount; ++i)
            readings.values[i] = frame.values[i];
        readings.flags = frame.flags;
        if (visitor.status)
            visitor.status(frame.time, readings);
    }
    messagesBefore(kForever);
}

double TrendHistory::newestTime() const
{
    double newest = kNaN;
    if (!m_raw.empty())
        newest = m_raw.back().time;
    if (!m_messages.empty() && !(m_messages.back().time <= newest))
        newest = m_messages.back().time;
    return newest;
}

double TrendHistory::oldestTime() const
{
    double oldest = kNaN;
    const auto consider = [&](double time) {
        if (!(oldest <= time))
            oldest = time;
    };
    if (!m_raw.empty())
        consider(m_raw.front().time);
    for (const Tier &tier : m_tiers) {
        if (!tier.buckets.empty())
            consider(tier.buckets.front().first);
    }
    if (!m_messages.empty())
        consider(m_messages.front().time);
    return oldest;
}

std::size_t TrendHistory::memoryBytes() const
{
    // A message's string data carries a header and the allocator's own share.
    constexpr std::size_t kPerMessage = sizeof(Message) + 32;
    std::size_t bytes = m_raw.size() * sizeof(RawFrame);
    for (const Tier &tier : m_tiers)
        bytes += tier.buckets.size() * sizeof(Bucket);
    bytes += m_messages.size() * kPerMessage + static_cast<std::size_t>(m_messageChars) * sizeof(QChar);
    return bytes;
}

QDateTime TrendHistory::utcAt(double steadySeconds) const
{
    return m_anchorUtc.addMSecs(std::llround((steadySeconds - m_anchorSteady) * 1000));
}
