#include "tango/server/LinkHub.h"

#include "link/TcpLink.h"

// One bench's link and the sink it reports to.
class BenchLink final : public QObject
{
public:
    BenchLink(std::shared_ptr<BenchSink> sink, Clock clock, QObject *parent)
        : QObject(parent), m_sink(std::move(sink)), m_clock(std::move(clock))
    {
    }

    void open(const QString &host, const QString &port)
    {
        delete m_link;
        m_link = new TcpLink({.clock = m_clock, .cutFrames = true}, this);
        m_link->address() = {host, port};
        // A device must not show a closed connection as live for up to ten seconds.
        m_link->setHangUpIsLoss(true);
        BenchSink *sink = m_sink.get();
        connect(m_link, &TcpLink::statusFrameArrived, this, [sink](QByteArrayView frame) {
            sink->statusFrame(frame);
        });
        connect(m_link, &TcpLink::messageArrived, this, [sink](const QString &text) {
            sink->message(text.toLatin1());
        });
        connect(m_link, &TcpLink::linkDown, this, [sink] { sink->linkDown(); });
        connect(m_link, &TcpLink::happened, this, [sink](const LinkEvent &event) {
            // A message is what the controller said, not what the link is doing.
            if (event.kind != LinkEvent::Kind::Message)
                sink->linkEvent(event);
        });
        m_link->start();
    }

    // Only onto a connected socket: what the device accepted leaves now or never.
    void send(const CommandRequest &request)
    {
        if (m_link && m_link->socket().state() == DeviceSocket::Connected)
            m_link->send(request);
    }

    void close()
    {
        if (m_link)
            m_link->close();
    }

private:
    std::shared_ptr<BenchSink> m_sink;
    Clock m_clock;
    TcpLink *m_link = nullptr;   // a child
};

LinkHub::LinkHub(Clock clock, QObject *parent) : QObject(parent), m_clock(std::move(clock)) {}

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
            link = new BenchLink(std::move(sink), m_clock, this);
        link->open(host, port);
    }, Qt::QueuedConnection);
}

void LinkHub::send(const BenchSink *sink, const CommandRequest &request)
{
    QMetaObject::invokeMethod(this, [this, sink, request] {
        if (const auto it = m_links.find(sink); it != m_links.end())
            it->second->send(request);
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
