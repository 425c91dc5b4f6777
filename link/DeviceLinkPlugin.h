#pragma once
// The panel's way to a bench served by a device of the lab's control system. The link
// itself lives in a plugin of its own package, so that a panel without it needs none of
// the control system's libraries.

#include "link/Link.h"
#include "link/PanelPlugin.h"
#include "link/PluginIds.h"

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

using DeviceLinkPlugin = PanelPlugin<DeviceLinkFactory>;

// Installed in ../lib/norvane/tango by the norvane-tango package.
inline DeviceLinkPlugin loadDeviceLinkPlugin()
{
    return loadPanelPlugin<DeviceLinkFactory>(QLatin1String(kDeviceLinkPluginFile),
                                              QStringLiteral("../lib/norvane/tango"));
}
