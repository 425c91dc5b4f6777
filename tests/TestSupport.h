#pragma once
// A fake clock for anything that takes a Clock, with or without a window (the test sets the
// time and calls the tick handlers itself), and small helpers every kind of test shares.

#include "link/Clock.h"

#include <QFile>
#include <QSignalSpy>
#include <QTime>

struct FakeClock {
    double now = 1000.0;
    Clock clock()
    {
        return Clock::manual([this] { return now; }, QTime(12, 34, 56));
    }
};

// A file's bytes, or none if it cannot be read.
inline QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The first argument of every signal a spy caught, as text: the console lines a signal carried.
inline QStringList consoleTexts(const QSignalSpy &spy)
{
    QStringList texts;
    for (const QList<QVariant> &arguments : spy)
        texts << arguments.at(0).toString();
    return texts;
}
