// A stand-in for the norvane-tango package's device link: the panel loads it as it would
// the real one, and its link reports what it was made for in a message.

#include "link/DeviceLinkPlugin.h"

#include <QTimer>

namespace {

class FakeDeviceLink final : public Link
{
public:
    FakeDeviceLink(const QString &device, const QString &directory)
        : Link({[] { return 0.0; }, [] { return QTime(12, 0); }}),
          m_text(QStringLiteral("attached to %1 from %2").arg(device, directory))
    {
    }

    void start() override
    {
        emit happened({LinkEvent::Kind::Opening, {}});
        // Once the panel's start-up is over, so that a recording started with it sees it.
        QTimer::singleShot(0, this, [this] {
            emit happened({LinkEvent::Kind::Message, m_text});
            emit messageArrived(m_text, now());
        });
    }
    void close() override {}
    void send(const CommandRequest &) override {}

private:
    const QString m_text;
};

} // namespace

class FakeDeviceLinkFactory : public QObject, public DeviceLinkFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID NORVANE_DEVICE_LINK_IID)
    Q_INTERFACES(DeviceLinkFactory)

public:
    std::unique_ptr<Link> createLink(const QString &device, const QString &pluginDirectory) override
    {
        return std::make_unique<FakeDeviceLink>(device, pluginDirectory);
    }
};

#include "FakeDeviceLink.moc"
