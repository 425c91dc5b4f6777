#pragma once
// The per-user locks that keep a second front panel from starting: one for a panel on its
// own connection, one per device and desk for a panel attached through a device.

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

// The same for a panel attached through `device`, in the same places: a desk shows each
// bench once, yet one desk may watch several benches.
InstanceLock acquireDeviceInstanceLock(const QString &device);

// The display this process shows on: DISPLAY, else WAYLAND_DISPLAY, else empty. Two X
// servers of one user are two desks.
QString currentDesk();

// The lock's file name in the runtime folder for `device` on `desk`; Tango names ignore case.
QString deviceLockFileName(const QString &device, const QString &desk);
