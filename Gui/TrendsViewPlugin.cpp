#include "Gui/TrendsViewPlugin.h"

#include "link/DeviceLinkPlugin.h"

#include <QDir>
#include <QFileInfo>
#include <QPluginLoader>

TrendsViewPlugin loadTrendsViewPlugin()
{
    TrendsViewPlugin plugin;
    // Linked in, as in the tests, it needs no file.
    for (QObject *instance : QPluginLoader::staticInstances()) {
        if ((plugin.factory = qobject_cast<TrendsViewFactory *>(instance)))
            return plugin;
    }
    const QStringList folders = panelPluginFolders(QStringLiteral("../lib/norvane"));
    for (const QString &folder : folders) {
        const QFileInfo file(QDir(folder).filePath(QLatin1String(kTrendsPluginFile)));
        if (!file.isFile())
            continue;
        // The first one present is the one meant, as for the device link. Destroying
        // the loader leaves the plugin loaded, as the window's code must stay.
        QPluginLoader loader(file.absoluteFilePath());
        // Read from the file without loading it: another version's code never runs here.
        const QString theirs = loader.metaData().value(QLatin1String("IID")).toString();
        if (!theirs.isEmpty() && theirs != QLatin1String(NORVANE_TRENDS_VIEW_IID)) {
            plugin.problem = QStringLiteral("%1 is %2, not %3")
                                 .arg(file.absoluteFilePath(), theirs, QLatin1String(NORVANE_TRENDS_VIEW_IID));
            return plugin;
        }
        QObject *instance = loader.instance();
        plugin.factory = qobject_cast<TrendsViewFactory *>(instance);
        if (!plugin.factory) {
            plugin.problem = instance ? QStringLiteral("%1 is not the Trends view of this version")
                                            .arg(file.absoluteFilePath())
                                      : loader.errorString();
            if (instance)
                loader.unload();
        }
        return plugin;
    }
    plugin.problem = folders.isEmpty()
                         ? QStringLiteral("NORVANE_PLUGIN_PATH names no folder")
                         : QStringLiteral("%1 not found in %2")
                               .arg(QLatin1String(kTrendsPluginFile), folders.join(QStringLiteral(", ")));
    return plugin;
}
