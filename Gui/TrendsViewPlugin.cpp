#include "Gui/TrendsViewPlugin.h"

#include <QPluginLoader>

TrendsViewPlugin loadTrendsViewPlugin()
{
    // Linked in, as in the tests, it needs no file.
    for (QObject *instance : QPluginLoader::staticInstances()) {
        if (auto *factory = qobject_cast<TrendsViewFactory *>(instance))
            return {factory, {}, {}};
    }
    return loadPanelPlugin<TrendsViewFactory>(QLatin1String(kTrendsPluginFile), QStringLiteral("../lib/norvane"));
}
