#include "tango/LinkHub.h"

#include "link/DeviceLink.h"

#include <QElapsedTimer>
#include <QTimer>

#include <chrono>

// One bench's link and the sink it reports to.
class BenchLink final : public QObject
{
public:
    BenchLink(std::shared_ptr<BenchSink> sink, double timeScale, QObject *parent)
        : QObject(parent), m_sink(std::move(sink)), m_timeScale(timeScale)
    {
    }

    void open(const QString &host, const QString &port)
    {
        delete m_link;
        m_tick.stop();
        m_link = new DeviceLink({scaledClock(), m_timeScale == 1, true}, this);
        m_link->setAddressSource([host, port] { return DeviceLink::Address{host, port}; });
        BenchSink *sink = m_sink.get();
        connect(m_link, &DeviceLink::statusFrameArrived, this, [sink](QByteArrayView frame) {
            sink->statusFrame(frame);
        });
        connect(m_link, &DeviceLink::messageArrived, this, [this](const QString &text) {
            // The link logs a message as a console line too; that is not what it is doing.
            m_current = m_previous;
            m_sink->linkStatus(m_current);
            m_sink->message(text.toLatin1());
        });
        connect(m_link, &DeviceLink::linkDown, this, [sink] { sink->linkDown(); });
        connect(m_link, &DeviceLink::logLine, this, [this](const QString &line) {
            m_previous = m_current;
            m_current = line.mid(8).trimmed();   // after the HH:mm:ss stamp
            m_sink->linkStatus(m_current);
        });
        m_link->start();
        if (m_timeScale != 1) {
            connect(&m_tick, &QTimer::timeout, m_link, &DeviceLink::handleKeepAliveTick, Qt::UniqueConnection);
            m_tick.setTimerType(Qt::PreciseTimer);
            m_tick.start(std::chrono::duration_cast<std::chrono::milliseconds>(
                DeviceLink::kKeepAliveInterval / m_timeScale));
        }
    }

    void send(Command command, const QString &fieldText, bool checked)
    {
        if (m_link)
            m_link->send(command, fieldText, checked);
    }

    void close()
    {
        m_tick.stop();
        if (m_link)
            m_link->close();
    }

private:
    Clock scaledClock() const
    {
        QElapsedTimer timer;
        timer.start();
        return {[timer, scale = m_timeScale] { return timer.nsecsElapsed() / 1e9 * scale; },
                [] { return QTime::currentTime(); }};
    }

    std::shared_ptr<BenchSink> m_sink;
    double m_timeScale;
    DeviceLink *m_link = nullptr;   // a child
    QTimer m_tick{this};
    QString m_current;
    QString m_previous;
};

LinkHub::LinkHub(double timeScale, QObject *parent) : QObject(parent), m_timeScale(timeScale) {}

LinkHub::~LinkHub() = default;

std::optional<QString> LinkHub::addressProblem(const QString &host, const QString &port)
{
    if (host.trimmed().isEmpty())
        return QStringLiteral("Property Address is empty");
    if (parsePortText(port) == 0)
        return QStringLiteral("Property Port is not a port number 1..65535: \"%1\"").arg(port);
    return std::nullopt;
}

void LinkHub::open(std::shared_ptr<BenchSink> sink, const QString &host, const QString &port)
{
    QMetaObject::invokeMethod(this, [this, sink = std::move(sink), host, port]() mutable {
        BenchLink *&link = m_links[sink.get()];
        if (!link)
            link = new BenchLink(std::move(sink), m_timeScale, this);
        link->open(host, port);
    }, Qt::QueuedConnection);
}

void LinkHub::send(const BenchSink *sink, Command command, const QString &fieldText, bool checked)
{
    QMetaObject::invokeMethod(this, [this, sink, command, fieldText, checked] {
        if (const auto it = m_links.find(sink); it != m_links.end())
            it->second->send(command, fieldText, checked);
    }, Qt::QueuedConnection);
}

void LinkHub::drop(const BenchSink *sink)
{
    QMetaObject::invokeMethod(this, [this, sink] {
        if (const auto it = m_links.find(sink); it != m_links.end()) {
            it->second->close();
            delete it->second;
            m_links.erase(it);
        }
    }, Qt::QueuedConnection);
}

void LinkHub::closeAll()
{
    for (const auto &[sink, link] : m_links)
        link->close();
}
