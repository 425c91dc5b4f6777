#include "link/DeviceLinkPlugin.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

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
