#pragma once
// Where a link reads the time and schedules its rounds: a steady clock for the silence
// watchdog, the local time of day for console stamps, and repeating ticks. The programs
// run on system(); tests hand in a manual or faster one, and the same code runs on either.

#include <QObject>
#include <QString>
#include <QTime>

#include <chrono>
#include <functional>
#include <memory>

// A repeating tick made by a clock; it calls its handler once per interval while started.
class Tick
{
public:
    virtual ~Tick() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
};

struct Clock {
    // name: the tick's timer as profiles know it; onTick runs in owner's thread.
    using TickFactory = std::function<std::unique_ptr<Tick>(
        QObject &owner, const QString &name, std::chrono::milliseconds interval, std::function<void()> onTick)>;

    std::function<double()> steadySeconds;   // seconds on a clock that never jumps or wraps
    std::function<QTime()> timeOfDay;        // local wall-clock time, for the console only
    TickFactory makeTick;

    // Elapsed time since this call, and ticks on a QTimer that is a child of their owner.
    static Clock system();
    // Time read from `steadySeconds`; its ticks never fire by themselves, their owner's
    // handler is called directly (tests, fuzzers, benchmarks that drive a link by hand).
    static Clock manual(std::function<double()> steadySeconds, QTime timeOfDay);
};
