#include "alarms/AlarmTracker.h"

#include <utility>

int distanceOutside(RangeRule rule, int value)
{
    if (inRange(rule, value))
        return 0;
    const CountRange range = alarmRange(rule);
    return value < range.least ? range.least - value : value - range.most;
}

QString worstText(const Episode &episode)
{
    const int reading = kAlarms[static_cast<std::size_t>(episode.alarm)].reading;
    if (reading < 0 || episode.worst < 0)
        return {};
    return readbackText(kReadbacks[static_cast<std::size_t>(reading)].format, episode.worst).trimmed();
}

std::vector<AlarmChange> AlarmTracker::status(const StatusReadings &readings, double now)
{
    std::vector<AlarmChange> changes;
    // A hold that ran out before this frame ended its episode, whatever this frame says.
    endHeld(now, changes);
    for (int a = 0; a < kReadingAlarmCount; ++a) {
        const AlarmInfo &info = kAlarms[static_cast<std::size_t>(a)];
        const int value = readings.values[static_cast<std::size_t>(info.reading)];
        State &state = m_states[static_cast<std::size_t>(a)];
        if (inRange(info.rule, value)) {
            if (state.episode >= 0 && state.inRangeSince < 0)
                state.inRangeSince = now;
            continue;
        }
        state.inRangeSince = -1;
        if (state.episode < 0) {
            begin(a, value, now, changes);
            continue;
        }
        Episode &episode = m_episodes[static_cast<std::size_t>(state.episode)];
        if (distanceOutside(info.rule, value) > distanceOutside(info.rule, episode.worst))
            episode.worst = value;
    }
    State &link = m_states[kLinkAlarm];
    if (link.episode >= 0) {
        m_episodes[static_cast<std::size_t>(link.episode)].ended = now;
        changes.push_back({AlarmChange::Kind::Ended, std::exchange(link.episode, -1)});
    }
    return changes;
}

std::vector<AlarmChange> AlarmTracker::linkDown(double now)
{
    std::vector<AlarmChange> changes;
    if (m_states[kLinkAlarm].episode < 0)
        begin(kLinkAlarm, -1, now, changes);
    return changes;
}

std::vector<AlarmChange> AlarmTracker::tick(double now)
{
    std::vector<AlarmChange> changes;
    endHeld(now, changes);
    return changes;
}

std::vector<int> AlarmTracker::acknowledgeAll()
{
    std::vector<int> acknowledged;
    for (std::size_t i = 0; i < m_episodes.size() && m_unacknowledged > 0; ++i) {
        if (m_episodes[i].acknowledged)
            continue;
        m_episodes[i].acknowledged = true;
        --m_unacknowledged;
        acknowledged.push_back(static_cast<int>(i));
    }
    return acknowledged;
}

int AlarmTracker::activeCount() const
{
    int count = 0;
    for (const State &state : m_states)
        count += state.episode >= 0 ? 1 : 0;
    return count;
}

void AlarmTracker::begin(int alarm, int value, double now, std::vector<AlarmChange> &changes)
{
    Episode episode;
    episode.alarm = alarm;
    episode.began = now;
    episode.firstValue = value;
    episode.worst = value;
    // Of several beginning on one frame, the first in table order stands first.
    episode.firstOut = activeCount() == 0;
    m_states[static_cast<std::size_t>(alarm)] = {static_cast<int>(m_episodes.size()), -1};
    m_episodes.push_back(std::move(episode));
    ++m_unacknowledged;
    changes.push_back({AlarmChange::Kind::Began, static_cast<int>(m_episodes.size()) - 1});
}

void AlarmTracker::endHeld(double now, std::vector<AlarmChange> &changes)
{
    for (int a = 0; a < kReadingAlarmCount; ++a) {
        State &state = m_states[static_cast<std::size_t>(a)];
        if (state.episode < 0 || state.inRangeSince < 0 || now - state.inRangeSince < kHoldSeconds)
            continue;
        m_episodes[static_cast<std::size_t>(state.episode)].ended = now;
        changes.push_back({AlarmChange::Kind::Ended, state.episode});
        state = {};
    }
}
