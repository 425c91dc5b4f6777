#pragma once
// The readings over time: every applied status frame and message kept in a fixed amount
// of memory, recent frames at full rate and older ones as min/max buckets, for plotting
// and export. No widgets, no clock of its own: every time comes in as a parameter.

#include "status/StatusFrame.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <vector>

// The fifteen readings in kReadbacks order, then the six switches in kSwitches order.
inline constexpr int kTraceCount = kReadbackCount + kSwitchCount;

struct TrendPoint {
    double time;    // steady seconds
    double value;   // raw reading, or 0/1 for a switch; NaN marks a gap
};

class TrendHistory final
{
public:
    // Longer than the watchdog's silence limit between two frames counts as a gap.
    static constexpr double kGapSeconds = kSilenceLimitSeconds;

    // One tier of min/max buckets: their width and how many are kept.
    struct TierSize {
        double bucketSeconds;
        std::size_t buckets;
    };
    // Full rate first, then ever coarser buckets. Every tier is fed every frame, so each
    // covers the most recent stretch its size allows; together at most about 36 MB.
    static constexpr std::size_t kRawFrames = std::size_t{1} << 19;   // 14.5 h at 10/s
    static constexpr std::array<TierSize, 3> kTiers{{
        {1.0, std::size_t{1} << 17},    // 36 h
        {10.0, std::size_t{1} << 15},   // 91 h
        {60.0, std::size_t{1} << 14},   // 11 days
    }};
    // Messages: how many, and their characters in all (one long message is cut to that).
    static constexpr std::size_t kMessages = 16384;
    static constexpr qsizetype kMessageChars = qsizetype{1} << 20;

    // The wall-clock anchor: the steady time `steadySeconds` was `utc`.
    TrendHistory(double steadySeconds, const QDateTime &utc);

    void addStatus(const StatusReadings &readings, double steadySeconds);
    void addMessage(const QString &text, double steadySeconds);
    // The link went down: the next frame starts a new stretch, never joined to the last.
    void addLinkDown(double steadySeconds);

    // `count` frames of the same readings, `intervalSeconds` apart, as if added one by one
    // (the raw tier keeps only what it would have kept); for long fake-time runs.
    void addRun(const StatusReadings &readings, double firstSeconds, double intervalSeconds, std::int64_t count);

    // Points of one trace over [from, to] for `columns` pixel columns: per column the
    // minimum and maximum in the order they happened (one point where they agree), and a
    // NaN point wherever the data breaks. Each column takes its data from the coarsest
    // tier no wider than the column, and from coarser ones where that tier has let go, so
    // the cost follows the columns, not the history's length.
    std::vector<TrendPoint> plotPoints(int trace, double from, double to, int columns) const;

    // Everything held, oldest first, each moment once: buckets where only buckets are left
    // (the last of them reaching over the first raw frames it holds), raw frames where the
    // full rate is kept, and messages in between. A bucket's time is its first frame's.
    struct Visitor {
        std::function<void(double time, const StatusReadings &)> status;
        std::function<void(double time, const StatusReadings &min, const StatusReadings &max)> bucket;
        std::function<void(double time, const QString &text)> message;
    };
    void visit(const Visitor &visitor) const;

    bool isEmpty() const { return m_raw.empty() && m_messages.empty(); }
    double newestTime() const;   // NaN when empty
    double oldestTime() const;   // NaN when empty
    std::size_t rawFrames() const { return m_raw.size(); }
    std::size_t buckets(std::size_t tier) const { return m_tiers[tier].buckets.size(); }
    std::size_t messages() const { return m_messages.size(); }
    // What the stored entries take, container overhead aside.
    std::size_t memoryBytes() const;
    // Grows with every addition: a view can tell whether anything changed.
    std::uint64_t revision() const { return m_revision; }

    QDateTime utcAt(double steadySeconds) const;

private:
    enum Mark : std::uint8_t { GapBefore = 0x01, GapWithin = 0x02 };

    struct RawFrame {
        double time;
        std::array<std::uint16_t, kReadbackCount> values;
        std::uint8_t flags;
        std::uint8_t marks;
    };
    struct Bucket {
        double first;
        double last;
        std::array<std::uint16_t, kReadbackCount> min;
        std::array<std::uint16_t, kReadbackCount> max;
        std::uint8_t flagsAll;   // bits set in every frame
        std::uint8_t flagsAny;   // bits set in some frame
        std::uint8_t marks;
    };
    struct Tier {
        double width;
        std::size_t capacity;
        std::deque<Bucket> buckets;
    };
    struct Message {
        double time;
        QString text;
    };

    class ColumnWriter;

    void addToTiers(const RawFrame &frame);
    static void mergeInto(Tier &tier, const RawFrame &frame);
    template <typename Entry>
    void collect(const std::deque<Entry> &entries, int trace, double from, double to, double before,
                 double &covered, ColumnWriter &writer) const;
    // Where each level's own data ends and the next finer level's begins, from `finest`
    // (-1 for the raw frames) up to the coarsest tier.
    std::array<double, kTiers.size() + 1> levelEnds(int finest) const;

    double m_anchorSteady;
    QDateTime m_anchorUtc;
    std::deque<RawFrame> m_raw;
    std::array<Tier, kTiers.size()> m_tiers;
    std::deque<Message> m_messages;
    qsizetype m_messageChars = 0;
    bool m_breakPending = false;
    std::uint64_t m_revision = 0;
};
