#pragma once
// Where the link reads the time: a steady clock for the silence watchdog and the
// local time of day for console stamps. Tests hand in their own.

#include <QElapsedTimer>
#include <QTime>

#include <functional>

struct Clock {
    std::function<double()> steadySeconds;   // seconds on a clock that never jumps or wraps
    std::function<QTime()> timeOfDay;        // local wall-clock time, for the console only

    static Clock system()
    {
        return {[timer = startedTimer()] { return timer.nsecsElapsed() / 1e9; },
                [] { return QTime::currentTime(); }};
    }

private:
    static QElapsedTimer startedTimer()
    {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }
};
