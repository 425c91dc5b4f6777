#pragma once
// The benches' links on the Qt thread, reached from any thread: the server's one place
// that knows the link class.

#include "commands/CommandFrames.h"
#include "link/Clock.h"
#include "link/Link.h"

#include <QByteArrayView>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>

// What one bench's link reports. Called on the hub's thread only.
class BenchSink
{
public:
    virtual ~BenchSink() = default;
    virtual void statusFrame(QByteArrayView frame) = 0;
    virtual void message(QByteArrayView text) = 0;   // the bytes after the opcode
    virtual void linkDown() = 0;
    virtual void linkEvent(const LinkEvent &event) = 0;   // never a message's
    // Every 100 ms: seconds on the link's clock since the last status frame, or since the
    // link opened when none came yet.
    virtual void frameAge(double seconds) = 0;
    // A request the hub had accepted could not be written: the link went between the two.
    virtual void requestLost(const CommandRequest &request) = 0;

    // Whether the link's socket is connected now; readable from any thread.
    bool carrying() const { return m_carrying.load(); }

private:
    friend class BenchLink;
    friend class LinkHub;
    std::atomic<bool> m_carrying{false};
};

class BenchLink;

class LinkHub final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LinkHub)

public:
    // Every bench's link runs on `clock`.
    explicit LinkHub(Clock clock = Clock::system(), QObject *parent = nullptr);
    ~LinkHub() override;

    // Why a bench cannot connect with these properties, naming the property; nullopt when it can.
    static std::optional<QString> addressProblem(const QString &host, const QString &port);

    // Callable from any thread; each returns at once and the work runs on the hub's thread,
    // in the order asked. A sink is its bench's key.
    void open(std::shared_ptr<BenchSink> sink, const QString &host, const QString &port);
    // False, and nothing queued, unless the sink's socket is connected now. A request
    // queued here that the socket then cannot take goes to the sink's requestLost().
    bool send(const BenchSink *sink, const CommandRequest &request);
    void drop(const BenchSink *sink);

    // A device counts from its birth to its withdraw(), which also drops its link.
    void enroll() { ++m_benches; }
    void withdraw(const BenchSink *sink)
    {
        drop(sink);
        --m_benches;
    }
    bool hasBenches() const { return m_benches > 0; }

    // Requests queued by send() and those of them the socket then took; for the logs and
    // the load test.
    struct Accounts {
        std::uint64_t queued = 0;
        std::uint64_t written = 0;
    };
    Accounts accounts() const { return {m_queued.load(), m_written.load()}; }

    // On the hub's thread: closes every link.
    void closeAll();

private:
    void checkFreshness();

    Clock m_clock;
    std::map<const BenchSink *, BenchLink *> m_links;   // children of the hub
    std::atomic<int> m_benches{0};
    std::atomic<std::uint64_t> m_queued{0};
    std::atomic<std::uint64_t> m_written{0};
    std::unique_ptr<Tick> m_freshness;   // every bench's freshness, on the hub's clock
};
