#include "link/DeviceLinkPlugin.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

// What every version's interface starts with; the version follows the last slash.
constexpr QLatin1StringView kInterfaceStem("org.norvane.DeviceLink");

QString versionOf(const QString &interface)
{
    return interface.section(u'/', -1);
}

} // namespace

QStringList panelPluginFolders(const QString &installed)
{
    // Set, even empty, it is the whole list: a test or a packager must be able to hide
    // an installed plugin.
    if (qEnvironmentVariableIsSet("NORVANE_PLUGIN_PATH"))
        return qEnvironmentVariable("NORVANE_PLUGIN_PATH").split(u':', Qt::SkipEmptyParts);
    // Beside the program in a build tree; installed, where its package puts it relative to
    // the program, wherever the prefix is.
    const QString programs = QCoreApplication::applicationDirPath();
    return {programs, QDir::cleanPath(programs + u'/' + installed)};
}

DeviceLinkPlugin loadDeviceLinkPlugin()
{
    DeviceLinkPlugin plugin;
    const QStringList folders = panelPluginFolders(QStringLiteral("../lib/norvane/tango"));
    for (const QString &folder : folders) {
        const QFileInfo file(QDir(folder).filePath(QLatin1String(kDeviceLinkPluginFile)));
        if (!file.isFile())
            continue;
        // The first one present is the one meant; a broken one is reported, not skipped,
        // so that an older copy further on never stands in for it unnoticed.
        auto loader = std::make_unique<QPluginLoader>(file.absoluteFilePath());
        // Read from the file without loading it: another version's code never runs here.
        const QString theirs = loader->metaData().value(QLatin1String("IID")).toString();
        const QString ours = QStringLiteral(NORVANE_DEVICE_LINK_IID);
        if (!theirs.isEmpty() && theirs != ours) {
            plugin.problem = theirs.startsWith(kInterfaceStem)
                                 ? QStringLiteral("%1 is of version %2; this panel is of version %3")
                                       .arg(file.absoluteFilePath(), versionOf(theirs), versionOf(ours))
                                 : QStringLiteral("%1 is not a device link but %2").arg(file.absoluteFilePath(), theirs);
            return plugin;
        }
        QObject *instance = loader->instance();
        auto *factory = qobject_cast<DeviceLinkFactory *>(instance);
        if (!factory) {
            plugin.problem = instance ? QStringLiteral("%1 is not a device link of this version")
                                            .arg(file.absoluteFilePath())
                                      : loader->errorString();
            if (instance)
                loader->unload();
            return plugin;
        }
        plugin.factory = factory;
        plugin.directory = file.absolutePath();
        plugin.loader = std::move(loader);
        return plugin;
    }
    plugin.problem = folders.isEmpty()
                         ? QStringLiteral("NORVANE_PLUGIN_PATH names no folder")
                         : QStringLiteral("%1 not found in %2")
                               .arg(QLatin1String(kDeviceLinkPluginFile), folders.join(QStringLiteral(", ")));
    return plugin;
}
