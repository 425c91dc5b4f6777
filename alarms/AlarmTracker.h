#pragma once
// Which readings are in alarm, as episodes: when each began and ended, how far out it
// went, whether it was the first fault or a consequence. Pure: times are handed in.

#include "status/StatusFrame.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <vector>

struct AlarmInfo {
    std::string_view name;
    int reading;       // index into kReadbacks; -1 for the link
    RangeRule rule;
};

// The readings whose colour marks a range, in kReadbacks order, then the link.
inline constexpr int kReadingAlarmCount = [] {
    int count = 0;
    for (const ReadbackInfo &info : kReadbacks)
        count += info.range != RangeRule::None ? 1 : 0;
    return count;
}();
inline constexpr int kAlarmCount = kReadingAlarmCount + 1;
inline constexpr int kLinkAlarm = kReadingAlarmCount;
inline constexpr std::array<AlarmInfo, kAlarmCount> kAlarms = [] {
    std::array<AlarmInfo, kAlarmCount> alarms{};
    int next = 0;
    for (int i = 0; i < kReadbackCount; ++i) {
        if (kReadbacks[i].range != RangeRule::None)
            alarms[next++] = {kReadbacks[i].field, i, kReadbacks[i].range};
    }
    alarms[kLinkAlarm] = {"Link", -1, RangeRule::None};
    return alarms;
}();

inline QString alarmName(int alarm)
{
    const std::string_view name = kAlarms[static_cast<std::size_t>(alarm)].name;
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

// How far a raw reading lies outside its range: 0 inside it.
int distanceOutside(RangeRule rule, int value);

struct Episode {
    int alarm = 0;            // index into kAlarms
    double began = 0;         // steady seconds
    double ended = -1;        // negative while active
    int firstValue = -1;      // the reading that began it; -1 for the link
    int worst = -1;           // the reading furthest outside its range; -1 for the link
    bool firstOut = false;
    bool acknowledged = false;
    QString incident;         // the capture's file name, once one is written
    QDateTime incidentUtc;    // when it began, as the capture's rows tell time

    bool active() const { return ended < 0; }
};

// Text for the Worst column: the readback's own text, empty for the link.
QString worstText(const Episode &episode);

struct AlarmChange {
    enum class Kind { Began, Ended } kind;
    int episode;   // index into episodes()
};

class AlarmTracker
{
public:
    // A reading back in range ends its episode only once it has stayed there this long,
    // so that one flickering at its boundary is one episode.
    static constexpr double kHoldSeconds = 2.0;

    // A status frame; it also ends a link episode, after the readings are judged, so a
    // reading out of range on the frame that brings the link back is its consequence.
    std::vector<AlarmChange> status(const StatusReadings &readings, double now);
    // The link lost its controller or reported an error.
    std::vector<AlarmChange> linkDown(double now);
    // Ends holds that have run out while no frame came.
    std::vector<AlarmChange> tick(double now);
    // The episodes acknowledged now, oldest first.
    std::vector<int> acknowledgeAll();

    void setIncident(int episode, const QString &fileName, const QDateTime &utc)
    {
        m_episodes[static_cast<std::size_t>(episode)].incident = fileName;
        m_episodes[static_cast<std::size_t>(episode)].incidentUtc = utc;
    }

    const std::vector<Episode> &episodes() const { return m_episodes; }
    int unacknowledged() const { return m_unacknowledged; }
    int activeCount() const;

private:
    void begin(int alarm, int value, double now, std::vector<AlarmChange> &changes);
    void endHeld(double now, std::vector<AlarmChange> &changes);

    struct State {
        int episode = -1;          // the active one, or -1
        double inRangeSince = -1;  // negative while out of range
    };
    std::array<State, kAlarmCount> m_states;
    std::vector<Episode> m_episodes;
    int m_unacknowledged = 0;
};
