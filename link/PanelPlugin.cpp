#include "link/PanelPlugin.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPluginLoader>

namespace {

QString stemOf(const QString &interface)
{
    return interface.section(u'/', 0, -2);
}

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

PanelPluginFile loadPanelPluginFile(const QString &fileName, const QString &installed, const char *iid)
{
    PanelPluginFile plugin;
    const QString ours = QString::fromLatin1(iid);
    const QStringList folders = panelPluginFolders(installed);
    for (const QString &folder : folders) {
        const QFileInfo file(QDir(folder).filePath(fileName));
        if (!file.isFile())
            continue;
        // The first one present is the one meant; a broken one is reported, not skipped,
        // so that an older copy further on never stands in for it unnoticed.
        const QString path = file.absoluteFilePath();
        QPluginLoader loader(path);
        // Read from the file without loading it: another version's code never runs here.
        const QString theirs = loader.metaData().value(QLatin1String("IID")).toString();
        if (!theirs.isEmpty() && theirs != ours) {
            plugin.problem = stemOf(theirs) == stemOf(ours)
                                 ? QStringLiteral("%1 is of version %2; this panel is of version %3")
                                       .arg(path, versionOf(theirs), versionOf(ours))
                                 : QStringLiteral("%1 is %2, not %3").arg(path, theirs, ours);
            return plugin;
        }
        QObject *instance = loader.instance();
        if (!instance) {
            plugin.problem = loader.errorString();
            return plugin;
        }
        if (!instance->qt_metacast(iid)) {
            plugin.problem = QStringLiteral("%1 does not implement %2").arg(path, ours);
            loader.unload();
            return plugin;
        }
        plugin.instance = instance;
        plugin.directory = file.absolutePath();
        return plugin;
    }
    plugin.problem = folders.isEmpty()
                         ? QStringLiteral("NORVANE_PLUGIN_PATH names no folder")
                         : QStringLiteral("%1 not found in %2").arg(fileName, folders.join(QStringLiteral(", ")));
    return plugin;
}
