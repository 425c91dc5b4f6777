#include "soak/FaultModes.h"

#include "sim/SimServer.h"

#include <cmath>

namespace soak {

// The watchdog fires at the first tick more than 5 s after the last byte. The panel
// connects inside a tick, so a connection that goes quiet `quietAfter` seconds in is
// lost at a fixed tick, unless the limit falls too near one for the order to be sure.
double lostAfter(double quietAfter)
{
    const double limit = quietAfter + kSilence;
    const double ticks = std::floor(limit / kTick) + 1;
    const double margin = ticks * kTick - limit;
    return margin > 0.25 && margin < kTick - 0.25 ? ticks * kTick : 0;
}

std::optional<Mode> modeFromText(const QString &text)
{
    const QString name = text.section(u'=', 0, 0);
    const QString valueText = text.section(u'=', 1);
    bool ok = true;
    const double value = valueText.isEmpty() ? 0 : valueText.toDouble(&ok);
    if (!ok || value < 0)
        return std::nullopt;
    const auto number = [](double v) { return QString::number(v, 'g', 10); };

    if (name == u"clean" && valueText.isEmpty())
        return Mode{name, {}, Link::StaysUp, Frames::Most, 0, false};
    if (name == u"silent" && valueText.isEmpty())
        return Mode{name, {QStringLiteral("--silent")}, Link::Cycles, Frames::None, kTick};
    if (name == u"refuse" && valueText.isEmpty())
        return Mode{name, {QStringLiteral("--refuse")}, Link::Cycles, Frames::None, kTick};
    if (name == u"split" && valueText.isEmpty())
        return Mode{name, {QStringLiteral("--split")}, Link::StaysUp, Frames::Few};
    if (name == u"join" && valueText.isEmpty())
        return Mode{name, {QStringLiteral("--join")}, Link::StaysUp, Frames::None};
    if (name == u"garbage" && valueText.isEmpty())
        return Mode{name, {QStringLiteral("--garbage")}, Link::StaysUp, Frames::Most};
    if (name == u"close-after") {
        const double seconds = value > 0 ? value : 3;
        return Mode{name + u'=' + number(seconds), {QStringLiteral("--close-after"), number(seconds)},
                    Link::Cycles, Frames::EachConnection, lostAfter(seconds)};
    }
    if (name == u"stall") {
        // 12 s rather than just over 5: a stall ending before the tick that would catch
        // it is bridged by the rules, and the cycle then depends on the tick phase.
        const double seconds = value > 0 ? value : 12;
        const double lost = lostAfter(kStallSendingStretch);
        const bool caught = kStallSendingStretch + seconds > lost + 0.25;
        return Mode{name + u'=' + number(seconds), {QStringLiteral("--stall"), number(seconds)},
                    Link::Cycles, Frames::EachConnection, caught ? lost : 0};
    }
    if (name == u"flood") {
        const double bytes = value >= 2 ? value : 1048576;
        return Mode{name + u'=' + number(bytes), {QStringLiteral("--flood"), number(bytes)},
                    Link::StaysUp, Frames::Most};
    }
    return std::nullopt;
}

} // namespace soak
