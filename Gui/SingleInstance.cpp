#include "Gui/SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace {

QStringList lockPaths()
{
    QStringList paths;
    if (qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
        paths << QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + "/norvane.lock";
    paths << QDir::tempPath() + QStringLiteral("/norvane-%1.lock").arg(getuid());
    paths << QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/norvane/norvane.lock";
    return paths;
}

QString describe(QLockFile::LockError error)
{
    switch (error) {
    case QLockFile::NoError:
    case QLockFile::LockFailedError:
        break;
    case QLockFile::PermissionError:
        return QStringLiteral("permission denied");
    case QLockFile::UnknownError:
        return QStringLiteral("the lock file cannot be created");
    }
    return QStringLiteral("unknown error");
}

} // namespace

InstanceLock acquireSingleInstanceLock()
{
    return acquireSingleInstanceLock(lockPaths());
}

InstanceLock acquireSingleInstanceLock(const QStringList &paths)
{
    QStringList problems;
    for (const QString &path : paths) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        auto lock = std::make_unique<QLockFile>(path);
        // Never stale by age, since a panel runs for days; a dead owner is still detected.
        lock->setStaleLockTime(0);
        if (lock->tryLock(0))
            return {InstanceLock::Outcome::Held, std::move(lock), {}};
        if (lock->error() == QLockFile::LockFailedError)
            return {InstanceLock::Outcome::AnotherRuns, nullptr, {}};
        problems << QStringLiteral("%1: %2").arg(path, describe(lock->error()));
    }
    return {InstanceLock::Outcome::Unchecked, nullptr, problems.join(QStringLiteral("; "))};
}
