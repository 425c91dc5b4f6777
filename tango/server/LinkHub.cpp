#include "tango/server/LinkHub.h"

#include "link/TcpLink.h"

#include <chrono>

// One bench's link and the sink it reports to.
class BenchLink final : public QObject
{
public:
    BenchLink(std::shared_ptr<BenchSink> sink, Clock clock, QObject *parent)
        : QObject(parent), m_sink(std::move(sink)), m_clock(std::move(clock))
    {
    }

    ~BenchLink() override { m_sink->m_carrying = false; }

    void open(const QString &host, const QString &port)
    {
        m_sink->m_carrying = false;
        delete m_link;
        m_link = new TcpLink({.clock = m_clock, .cutFrames = true}, this);
        m_link->address() = {host, port};
        // A device must not show a closed connection as live for up to ten seconds.
        m_link->setHangUpIsLoss(true);
        m_lastFrame = m_link->now();
        BenchSink *sink = m_sink.get();
        connect(m_link, &TcpLink::statusFrameArrived, this, [this, sink](QByteArrayView frame) {
            m_lastFrame = m_link->now();
            sink->statusFrame(frame);
        });
        connect(m_link, &TcpLink::messageArrived, this, [sink](const QString &text) {
            sink->message(text.toLatin1());
        });
        connect(m_link, &TcpLink::linkDown, this, [sink] {
            sink->m_carrying = false;
            sink->linkDown();
        });
        connect(m_link, &TcpLink::happened, this, [this, sink](const LinkEvent &event) {
            // A message is what the controller said, not what the link is doing.
            if (event.kind == LinkEvent::Kind::Message)
                return;
            // Before the device hears of it: a write it accepts from now on has a socket.
            sink->m_carrying = event.kind == LinkEvent::Kind::Connected
                               && m_link->socket().state() == DeviceSocket::Connected;
            sink->linkEvent(event);
        });
        m_link->start();
    }

    bool write(const CommandRequest &request)
    {
        if (m_link && m_link->write(request))
            return true;
        m_sink->requestLost(request);
        return false;
    }

    void checkFreshness()
    {
        if (m_link)
            m_sink->frameAge(m_link->now() - m_lastFrame);
    }

    void close()
    {
        m_sink->m_carrying = false;
        if (m_link)
            m_link->close();
    }

private:
    std::shared_ptr<BenchSink> m_sink;
    Clock m_clock;
    TcpLink *m_link = nullptr;   // a child
    double m_lastFrame = 0;      // on the link's clock
};

namespace {
// How often every bench's freshness is judged; a device's limit counts from its last frame.
// Within its limit a check costs the device nothing: a controller at ten frames a second
// wakes this thread as often again.
constexpr std::chrono::milliseconds kFreshnessCheck{100};
}

LinkHub::LinkHub(Clock clock, QObject *parent)
    : QObject(parent), m_clock(std::move(clock)),
      m_freshness(m_clock.makeTick(*this, QStringLiteral("tmrFreshness"), kFreshnessCheck, [this] { checkFreshness(); }))
{
    m_freshness->start();
}

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
    sink->m_carrying = false;
    QMetaObject::invokeMethod(this, [this, sink = std::move(sink), host, port]() mutable {
        BenchLink *&link = m_links[sink.get()];
        if (!link)
            link = new BenchLink(std::move(sink), m_clock, this);
        link->open(host, port);
    }, Qt::QueuedConnection);
}

bool LinkHub::send(const BenchSink *sink, const CommandRequest &request)
{
    if (!sink->carrying())
        return false;
    ++m_queued;
    // Queued behind whatever the link reported before: a loss since then reaches the
    // sink as requestLost(), never as silence.
    QMetaObject::invokeMethod(this, [this, sink, request] {
        const auto it = m_links.find(sink);
        if (it != m_links.end() && it->second->write(request))
            ++m_written;
    }, Qt::QueuedConnection);
    return true;
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

void LinkHub::checkFreshness()
{
    for (const auto &[sink, link] : m_links)
        link->checkFreshness();
}

void LinkHub::closeAll()
{
    m_freshness->stop();
    for (const auto &[sink, link] : m_links)
        link->close();
}
