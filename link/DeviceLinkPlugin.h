#pragma once
// The panel's way to a bench served by a device of the lab's control system. The link
// itself lives in a plugin of its own package, so that a panel without it needs none of
// the control system's libraries.

#include "link/Link.h"
#include "link/PluginIds.h"

#include <QPluginLoader>
#include <QString>
#include <QtPlugin>

#include <memory>

class DeviceLinkFactory
{
public:
    virtual ~DeviceLinkFactory() = default;

    // A link to the named device, not yet started. pluginDirectory is the folder the
    // plugin was loaded from, where its helper programs lie.
    virtual std::unique_ptr<Link> createLink(const QString &device, const QString &pluginDirectory) = 0;
};

// Link's virtual functions and signals and CommandRequest cross into the plugin, so its
// interface is the project's version: "org.norvane.DeviceLink/0.1", set by the build.
Q_DECLARE_INTERFACE(DeviceLinkFactory, NORVANE_DEVICE_LINK_IID)

// The plugin's file name, in every folder it is looked for in.
inline constexpr char kDeviceLinkPluginFile[] = "libnorvane_tangolink.so";

struct DeviceLinkPlugin {
    DeviceLinkFactory *factory = nullptr;   // null: not found or not loadable; `problem` says why
    QString directory;                      // where it was found
    QString problem;
    std::unique_ptr<QPluginLoader> loader;   // keeps the plugin loaded while links live
};

// The folders a plugin of the panel is looked for in, in order: each folder of
// NORVANE_PLUGIN_PATH (colon-separated) when it is set; otherwise beside the program (a
// build tree), then `installed`, relative to the program's folder.
QStringList panelPluginFolders(const QString &installed);

// Looks in panelPluginFolders(), installed in ../lib/norvane/tango by the norvane-tango
// package. A plugin of another version is refused, with both versions in `problem`.
DeviceLinkPlugin loadDeviceLinkPlugin();
