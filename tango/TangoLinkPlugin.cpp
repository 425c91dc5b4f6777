// The plugin the panel loads for --device: links through NorvaneBench devices, each with
// its Tango client beside the plugin.

#include "link/DeviceLinkPlugin.h"
#include "tango/DeviceLink.h"

#include <QObject>

#include <algorithm>

class TangoLinkPlugin final : public QObject, public DeviceLinkFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID NORVANE_DEVICE_LINK_IID)
    Q_INTERFACES(DeviceLinkFactory)

public:
    std::unique_ptr<Link> createLink(const QString &device, const QString &pluginDirectory) override
    {
        DeviceLink::Options options;
        // A hidden factor for tests: the watchdog's clock and ticks run this much faster.
        if (const double scale = qEnvironmentVariable("NORVANE_DEVICE_TIME_SCALE").toDouble(); scale > 1) {
            options.clock.steadySeconds = [steady = options.clock.steadySeconds, scale] { return steady() * scale; };
            options.watchdogInterval = std::max(std::chrono::milliseconds(1),
                                                std::chrono::duration_cast<std::chrono::milliseconds>(
                                                    DeviceLink::kWatchdogInterval / scale));
        }
        return std::make_unique<DeviceLink>(device, pluginDirectory + QStringLiteral("/norvane-tango-relay"),
                                            std::move(options));
    }
};

#include "TangoLinkPlugin.moc"
