#include "soak/Verdict.h"

#include "soak/SoakLog.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace soak {
namespace {

constexpr double kPeriodTolerance = 0.5;   // seconds; a late tick on a loaded machine

QString shortened(const QString &kinds)
{
    return kinds.size() <= 40 ? kinds : kinds.first(20) + QStringLiteral("...") + kinds.last(10)
                                            + QStringLiteral(" (%1 lines)").arg(kinds.size());
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

} // namespace

void Verdict::check(const QString &name, bool ok, const QString &detail)
{
    m_checks.push_back({name, ok, detail, !m_ci});
}

void Verdict::require(const QString &name, bool ok, const QString &detail)
{
    m_checks.push_back({name, ok, detail, true});
}

QStringList Verdict::report() const
{
    QStringList failed;
    for (const Check &c : m_checks) {
        const QString result = c.ok ? QStringLiteral("ok") : c.asserted ? QStringLiteral("FAIL") : QStringLiteral("over (not asserted)");
        say(QStringLiteral("check %1 %2: %3").arg(c.name, result, c.detail));
        if (!c.ok && c.asserted)
            failed << c.name;
    }
    return failed;
}

int framesBetween(const std::vector<double> &frames, double from, double to)
{
    return static_cast<int>(std::count_if(frames.begin(), frames.end(), [&](double t) { return t >= from && t < to; }));
}

LinkFigures judgeLink(const LinkRecord &record, Verdict &verdict)
{
    const Mode &mode = record.mode;
    const double end = record.end;
    const double faultEnd = record.faultEnd;
    const auto frames = [&](double from, double to) { return framesBetween(record.frames, from, to); };

    QString faultKinds, recoveryKinds;
    std::vector<double> lostTimes, connectedTimes;
    for (const ConsoleLine &line : record.lines) {
        (line.t < faultEnd ? faultKinds : recoveryKinds) += QLatin1Char(line.kind);
        if (line.t < faultEnd && line.kind == 'L')
            lostTimes.push_back(line.t);
        if (line.kind == 'C')
            connectedTimes.push_back(line.t);
    }
    const double firstConnected = connectedTimes.empty() ? 0 : connectedTimes.front();
    const int faultFrames = frames(0, faultEnd);
    const int recoveryFrames = frames(faultEnd, end + 1);
    const double expectedFrames = kRate * std::max(0.0, faultEnd - firstConnected);

    // Console lines while the fault lasts.
    if (mode.link == Link::StaysUp) {
        verdict.check(QStringLiteral("lines"), faultKinds == u"OC",
                      QStringLiteral("one connection that stays up: expected OC, saw %1").arg(faultKinds));
    } else {
        static const QRegularExpression cycles(QStringLiteral("^OC(LRC)*(LR)?$"));
        verdict.check(QStringLiteral("lines"), cycles.match(faultKinds).hasMatch(),
                      QStringLiteral("connected / lost / reopening cycles: saw %1").arg(shortened(faultKinds)));
    }
    if (mode.link == Link::Cycles && mode.period > 0) {
        const int expected = static_cast<int>(std::floor((faultEnd - firstConnected) / mode.period)) - 1;
        std::vector<double> gaps;
        double previous = firstConnected;
        for (double t : lostTimes) {
            gaps.push_back(t - previous);
            previous = t;
        }
        const bool steady = std::all_of(gaps.begin(), gaps.end(), [&](double gap) {
            return std::abs(gap - mode.period) <= kPeriodTolerance;
        });
        const auto [shortest, longest] = gaps.empty() ? std::pair{0.0, 0.0}
            : std::pair{*std::min_element(gaps.begin(), gaps.end()), *std::max_element(gaps.begin(), gaps.end())};
        verdict.check(QStringLiteral("cycle"), steady && static_cast<int>(lostTimes.size()) >= std::max(expected, 0),
                      QStringLiteral("%1 losses (at least %2), every %3 s expected; gaps %4..%5 s, median %6 s")
                          .arg(lostTimes.size()).arg(std::max(expected, 0)).arg(mode.period)
                          .arg(shortest, 0, 'f', 2).arg(longest, 0, 'f', 2).arg(median(gaps), 0, 'f', 2));
    }

    // Frames applied while the fault lasts.
    switch (mode.frames) {
    case Frames::Most:
        verdict.check(QStringLiteral("frames"), faultFrames >= 0.8 * expectedFrames,
                      QStringLiteral("%1 applied of about %2 sent (at least 80%)").arg(faultFrames).arg(expectedFrames));
        break;
    case Frames::Few:
        verdict.check(QStringLiteral("frames"), faultFrames <= 0.25 * expectedFrames,
                      QStringLiteral("%1 applied of about %2 sent split (only halves that met again)")
                          .arg(faultFrames).arg(expectedFrames));
        break;
    case Frames::None:
        verdict.check(QStringLiteral("frames"), faultFrames == 0,
                      QStringLiteral("%1 applied, none expected").arg(faultFrames));
        break;
    case Frames::EachConnection: {
        int ended = 0, empty = 0;
        QStringList counts;
        std::size_t lost = 0;
        for (std::size_t i = 0; i < connectedTimes.size() && connectedTimes[i] < faultEnd; ++i) {
            while (lost < lostTimes.size() && lostTimes[lost] < connectedTimes[i])
                ++lost;
            if (lost == lostTimes.size())
                break;   // still open when the fault ended
            const int applied = frames(connectedTimes[i], lostTimes[lost]);
            ++ended;
            empty += applied == 0;
            if (counts.size() < 12)
                counts << QString::number(applied);
        }
        verdict.check(QStringLiteral("frames"), empty == 0 && (ended > 0 || faultEnd - firstConnected < 20),
                      QStringLiteral("%1 connections lost in the fault, %2 of them without a frame; frames each: %3%4")
                          .arg(ended).arg(empty).arg(counts.join(u' '), ended > counts.size() ? QStringLiteral(" ...") : QString()));
        break;
    }
    }

    // The panel works again once the fault is gone.
    const int lastFrames = frames(end - 2, end + 1);
    if (!mode.restart) {
        const bool lostEver = std::any_of(record.lines.begin(), record.lines.end(), [](const ConsoleLine &l) { return l.kind == 'L'; });
        verdict.require(QStringLiteral("recovery"), !lostEver && lastFrames > 0,
                        QStringLiteral("link up at the end: %1 frames in the last 2 s, %2")
                            .arg(lastFrames).arg(lostEver ? QStringLiteral("but a loss was logged") : QStringLiteral("no loss")));
    } else if (record.relistenAt < 0) {
        verdict.require(QStringLiteral("recovery"), false,
                        QStringLiteral("the well-behaved simulator could not listen on port %1 again").arg(record.port));
    } else {
        const ConsoleLine *last = nullptr;
        for (const ConsoleLine &line : record.lines) {
            if (line.kind != 'O')
                last = &line;
        }
        const bool reconnected = last && last->kind == 'C' && last->t >= record.relistenAt;
        const int after = reconnected ? frames(last->t, end + 1) : 0;
        verdict.require(QStringLiteral("recovery"), reconnected && after >= 5 && lastFrames > 0,
                        QStringLiteral("after the fault: %1, then %2 frames (at least 5), %3 in the last 2 s%4")
                            .arg(reconnected ? QStringLiteral("Connected at %1 s, %2 s after the simulator was back")
                                                   .arg(last->t, 0, 'f', 1).arg(last->t - record.relistenAt, 0, 'f', 1)
                                             : QStringLiteral("no lasting reconnect"))
                            .arg(after).arg(lastFrames).arg(QStringLiteral("; lines ") + recoveryKinds));
    }
    if (!record.simDied.isEmpty())
        verdict.check(QStringLiteral("simulator"), false, record.simDied);

    // One keep-alive per tick at most, and one at every tick while the link is up.
    const int ticks = static_cast<int>(std::floor(end / kTick));
    const int fewestKeepAlives = mode.link == Link::StaysUp ? ticks - 4 : 0;
    verdict.check(QStringLiteral("sent"),
                  record.unasked.isEmpty() && record.keepAlives <= ticks + 1 && record.keepAlives >= fewestKeepAlives,
                  QStringLiteral("%1 keep-alives in %2 ticks (%3 to %4 expected), %5 other frames%6")
                      .arg(record.keepAlives).arg(ticks).arg(std::max(fewestKeepAlives, 0)).arg(ticks + 1)
                      .arg(record.unasked.size())
                      .arg(record.unasked.isEmpty() ? QString() : QStringLiteral(": ") + record.unasked.mid(0, 5).join(QStringLiteral("; "))));

    const auto connectedCount = static_cast<int>(connectedTimes.size());
    return {std::max(0, connectedCount - 1), faultFrames, recoveryFrames};
}

} // namespace soak
