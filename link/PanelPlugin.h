#pragma once
// How the panel loads a plugin of its own (the Trends view, the device link): where it
// looks, how it refuses one of another interface or version, and how it says why. A
// loaded plugin stays loaded until the program ends, as the code of what it made must.

#include <QObject>
#include <QString>
#include <QStringList>

// The folders a plugin of the panel is looked for in, in order: each folder of
// NORVANE_PLUGIN_PATH (colon-separated) when it is set; otherwise beside the program (a
// build tree), then `installed`, relative to the program's folder.
QStringList panelPluginFolders(const QString &installed);

struct PanelPluginFile {
    QObject *instance = nullptr;   // implements the interface asked for; null: `problem` says why
    QString directory;             // where it was found
    QString problem;
};

// The first `fileName` present in panelPluginFolders(installed), loaded only when its
// metadata names interface `iid` and its instance implements it.
PanelPluginFile loadPanelPluginFile(const QString &fileName, const QString &installed, const char *iid);

template <class Interface>
struct PanelPlugin {
    Interface *factory = nullptr;   // null: not found or not loadable; `problem` says why
    QString directory;
    QString problem;
};

template <class Interface>
PanelPlugin<Interface> loadPanelPlugin(const QString &fileName, const QString &installed)
{
    PanelPluginFile file = loadPanelPluginFile(fileName, installed, qobject_interface_iid<Interface *>());
    return {qobject_cast<Interface *>(file.instance), std::move(file.directory), std::move(file.problem)};
}
