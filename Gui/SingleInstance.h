#pragma once
// The per-user lock that keeps a second front panel from starting.

#include <QLockFile>
#include <QString>
#include <QStringList>

#include <memory>

struct InstanceLock {
    enum class Outcome {
        Held,          // this panel is the only one; the lock is held while it runs
        AnotherRuns,   // a live panel holds the lock
        Unchecked,     // no lock could be made anywhere; `problem` says why
    };
    Outcome outcome = Outcome::Unchecked;
    std::unique_ptr<QLockFile> lock;
    QString problem;
};

// Only a lock held by a live instance means another panel runs. Any other failure moves on
// to the next place: the runtime folder, the temporary folder, then the user's cache. A
// lock left behind by a killed instance is taken over.
InstanceLock acquireSingleInstanceLock();

// The same over the given lock files, in order; for tests.
InstanceLock acquireSingleInstanceLock(const QStringList &lockPaths);
