// The plugin the panel loads for --device: links through NorvaneBench devices, each with
// its Tango client beside the plugin.

#include "link/DeviceLinkPlugin.h"
#include "tango/devicelink/DeviceLink.h"

#include <QObject>

class TangoLinkPlugin final : public QObject, public DeviceLinkFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID NORVANE_DEVICE_LINK_IID)
    Q_INTERFACES(DeviceLinkFactory)

public:
    std::unique_ptr<Link> createLink(const QString &device, const QString &pluginDirectory) override
    {
        return std::make_unique<DeviceLink>(device, pluginDirectory + QStringLiteral("/norvane-tango-relay"));
    }
};

#include "TangoLinkPlugin.moc"
