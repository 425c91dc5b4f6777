#include "Gui/SingleInstance.h"

#include <QDir>
#include <QStandardPaths>

#include <unistd.h>

namespace {

QString lockPath()
{
    if (qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
        return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + "/norvane.lock";
    return QDir::tempPath() + QStringLiteral("/norvane-%1.lock").arg(getuid());
}

} // namespace

std::unique_ptr<QLockFile> acquireSingleInstanceLock()
{
    auto lock = std::make_unique<QLockFile>(lockPath());
    // Never stale by age, since a panel runs for days; a dead owner is still detected.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return nullptr;
    return lock;
}
