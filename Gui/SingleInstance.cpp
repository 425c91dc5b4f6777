#include "Gui/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace {

// `suffix` sets one lock apart from the plain panel's. The temporary folder is shared
// between users, so there the name carries the user as well.
QStringList lockPaths(const QString &suffix = {})
{
    QStringList paths;
    if (qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
        paths << QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + "/norvane" + suffix + ".lock";
    paths << QDir::tempPath() + QStringLiteral("/norvane-%1%2.lock").arg(getuid()).arg(suffix);
    paths << QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/norvane/norvane" + suffix
                 + ".lock";
    return paths;
}

// Short enough for a file name, whatever the device's name holds (slashes, a URL).
QString deviceSuffix(const QString &device, const QString &desk)
{
    const QByteArray key = (device.toLower() + u'\n' + desk).toUtf8();
    return QStringLiteral("-device-")
           + QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16));
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

InstanceLock acquireDeviceInstanceLock(const QString &device)
{
    return acquireSingleInstanceLock(lockPaths(deviceSuffix(device, currentDesk())));
}

QString currentDesk()
{
    if (qEnvironmentVariableIsSet("DISPLAY"))
        return qEnvironmentVariable("DISPLAY");
    return qEnvironmentVariable("WAYLAND_DISPLAY");
}

QString deviceLockFileName(const QString &device, const QString &desk)
{
    return "norvane" + deviceSuffix(device, desk) + ".lock";
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
