// NorvaneBench on a clock that runs ten times as fast, time and ticks alike, for the tests
// that wait for its reconnections; the shipped server has no such setting.
#include "tango/server/BenchServer.h"

namespace {

Clock fasterClock(double factor)
{
    Clock clock = Clock::system();
    clock.steadySeconds = [steady = clock.steadySeconds, factor] { return steady() * factor; };
    clock.makeTick = [make = clock.makeTick, factor](QObject &owner, const QString &name,
                                                     std::chrono::milliseconds interval, std::function<void()> onTick) {
        return make(owner, name, std::chrono::duration_cast<std::chrono::milliseconds>(interval / factor),
                    std::move(onTick));
    };
    return clock;
}

} // namespace

int main(int argc, char *argv[])
{
    return runBenchServer(argc, argv, fasterClock(10));
}
