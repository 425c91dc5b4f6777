// A device link plugin built at another version than the panel, which the panel refuses
// before any of its code runs.

#include <QObject>
#include <QtPlugin>

class OtherVersionPlugin final : public QObject
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.norvane.DeviceLink/0.0-other")
};

#include "OtherVersionPlugin.moc"
