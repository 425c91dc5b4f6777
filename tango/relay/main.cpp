// norvane-tango-relay: one session of the panel with a NorvaneBench device. It holds the Tango
// subscriptions and carries out writes and commands, talking to the panel in lines over stdin
// and stdout. cppTango's client crashes in its own reconnection and unsubscription, so a session
// keeps out of them: whatever goes wrong, it says `down` and _exits, and the panel starts another.
// A value of another type than the panel reads says `fail`: the device is not the one it knows.

#include "tango/relay/RelayLines.h"
#include "tango/tables/BenchAttributes.h"

#include <tango.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>

#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr int kTimeoutMs = 3000;
constexpr auto kProbeInterval = std::chrono::milliseconds(500);
constexpr std::size_t kMaxRequest = 1024;   // longer lines are refused, not stored

int g_protocol = -1;     // the panel's stdout; fd 1 goes to stderr, so a library's print stays out of it
std::mutex g_output;     // one whole line at a time, from any thread

// Caller holds g_output. A panel that no longer reads has gone, and the session with it.
void writeLine(std::string line)
{
    line += '\n';
    if (::write(g_protocol, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        _exit(0);
}

void say(std::string line)
{
    std::lock_guard lock(g_output);
    writeLine(std::move(line));
}

// Ends the session without any Tango cleanup. The lock is never released: no line may follow.
[[noreturn]] void endSession(std::string lastLine)
{
    g_output.lock();
    if (!lastLine.empty())
        writeLine(std::move(lastLine));
    _exit(0);
}

std::string firstDescription(const Tango::DevErrorList &errors)
{
    return errors.length() > 0 ? errors[0].desc.in() : "no error description";
}

// What the exception being handled says: a DevFailed's first description, else what it is.
std::string currentFailure()
{
    try {
        throw;
    } catch (const Tango::DevFailed &failure) {
        return firstDescription(failure.errors);
    } catch (const CORBA::Exception &failure) {
        return failure._name();
    } catch (const std::exception &failure) {
        return failure.what();
    } catch (...) {
        return "unknown failure";
    }
}

std::mutex g_device;   // the proxy's own calls, from the main thread and from event callbacks

enum class Feed { State, Frame, Message };

struct FeedInfo {
    std::string_view attribute;
    const char *type;   // what its value must be, as the panel's console says it
};
constexpr FeedInfo kFeeds[]{
    {"State", "a state"},
    {benchAttribute(AttrKind::Frame).name, "a spectrum of bytes"},
    {benchAttribute(AttrKind::Message).name, "a string"},
};

// Turns one attribute's change events into lines; cppTango may call it from several threads.
class Subscriber final : public Tango::CallBack
{
public:
    explicit Subscriber(Feed feed) : m_feed(feed) {}

    void push_event(Tango::EventData *event) override
    {
        if (event->err)
            endSession(relayLine(RelayWord::Down, firstDescription(event->errors)));
        // An invalid value has nothing to extract: the bench has not sent a frame yet.
        if (!event->attr_value || !event->device || event->attr_value->get_quality() == Tango::ATTR_INVALID)
            return;
        const FeedInfo &feed = kFeeds[static_cast<int>(m_feed)];
        bool extracted = false;
        try {
            extracted = relay(*event->device, *event->attr_value);
        } catch (...) {
            endSession(relayLine(RelayWord::Fail, std::string(feed.attribute) + ": " + currentFailure()));
        }
        if (!extracted)
            endSession(relayLine(RelayWord::Fail, std::string(feed.attribute) + " is not " + feed.type));
    }

private:
    // False for a value of another type than the feed's.
    bool relay(Tango::DeviceProxy &device, Tango::DeviceAttribute &value)
    {
        switch (m_feed) {
        case Feed::State: {
            Tango::DevState state = Tango::UNKNOWN;
            if (!(value >> state))
                return false;
            std::string status;
            if (state == Tango::FAULT) {
                try {
                    std::lock_guard lock(g_device);
                    status = device.status();
                } catch (...) {
                    // FAULT alone still tells the panel what it must know.
                }
            }
            say(stateLine(state >= Tango::ON && state <= Tango::UNKNOWN ? Tango::DevStateName[state] : "UNKNOWN",
                          status));
            return true;
        }
        case Feed::Frame: {
            std::vector<Tango::DevUChar> bytes;
            if (!(value >> bytes))
                return false;
            say(relayLine(RelayWord::Frame, {reinterpret_cast<const char *>(bytes.data()), bytes.size()}));
            return true;
        }
        case Feed::Message: {
            std::string text;
            if (!(value >> text))
                return false;
            // The value sent at subscription is an old message, shown before this session began.
            if (m_sawFirstMessage.exchange(true))
                say(relayLine(RelayWord::Message, text));
            return true;
        }
        }
        return false;
    }

    const Feed m_feed;
    std::atomic<bool> m_sawFirstMessage{false};
};

// The panel's requests, read on a thread of their own: EOF ends the session at once, also
// while the main thread waits on the device.
struct PanelLine {
    std::string text;   // at most kMaxRequest bytes of it
    bool whole = true;
};
std::mutex g_lineMutex;
std::condition_variable g_lineReady;
std::deque<PanelLine> g_lines;

[[noreturn]] void readLines()
{
    PanelLine line;
    for (int c; (c = getchar_unlocked()) != EOF;) {
        if (c != '\n') {
            line.whole = line.whole && line.text.size() < kMaxRequest;
            if (line.whole)
                line.text += static_cast<char>(c);
            continue;
        }
        std::lock_guard lock(g_lineMutex);
        g_lines.push_back(std::exchange(line, {}));
        g_lineReady.notify_one();
    }
    endSession({});
}

PanelLine nextLine()
{
    std::unique_lock lock(g_lineMutex);
    g_lineReady.wait(lock, [] { return !g_lines.empty(); });
    PanelLine line = std::move(g_lines.front());
    g_lines.pop_front();
    return line;
}

// Calls the device; a failure is the panel's to show, and the session goes on.
void carryOut(Tango::DeviceProxy &device, Request request)
{
    try {
        std::lock_guard lock(g_device);
        std::visit([&](auto value) {
            if constexpr (std::is_same_v<decltype(value), std::monostate>) {
                device.command_inout(request.name);
            } else {
                Tango::DeviceAttribute attribute(request.name, value);
                device.write_attribute(attribute);
            }
        }, request.value);
    } catch (...) {
        say(relayLine(RelayWord::Error, request.name + ": " + currentFailure()));
    }
}

// cppTango's keep-alive thread reconnects to a silent server before it reports it, and that
// reconnection is what crashes once the server is back. Its look comes a second or more after
// the last heartbeat was due; a ping every half second finds a lost or restarted server first.
[[noreturn]] void probe(Tango::DeviceProxy *device)
{
    for (;;) {
        std::this_thread::sleep_for(kProbeInterval);
        try {
            std::lock_guard lock(g_device);
            device->ping();
        } catch (...) {
            endSession(relayLine(RelayWord::Down, currentFailure()));
        }
    }
}

} // namespace

int main(int argc, char *argv[])
{
    const pid_t panel = ::getppid();
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != panel)
        return 0;   // the panel went before it could take us along
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DEVICE\n", argv[0]);
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    g_protocol = ::dup(STDOUT_FILENO);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);

    std::thread(readLines).detach();

    // Outside the try: unwinding must never run DeviceProxy's destructor, which unsubscribes.
    std::optional<Tango::DeviceProxy> device;
    Subscriber subscribers[]{Subscriber(Feed::State), Subscriber(Feed::Frame), Subscriber(Feed::Message)};
    try {
        device.emplace(argv[1]);
        device->set_timeout_millis(kTimeoutMs);
        // A restarted server is a new session: the first call after it fails, not reconnects.
        device->set_transparency_reconnection(false);
        for (int i = 0; i < 3; ++i)
            device->subscribe_event(std::string(kFeeds[i].attribute), Tango::CHANGE_EVENT, &subscribers[i], false);
    } catch (...) {
        endSession(relayLine(RelayWord::Down, currentFailure()));
    }
    say(relayLine(RelayWord::Up));
    std::thread(probe, &*device).detach();

    for (;;) {
        const PanelLine line = nextLine();
        if (std::optional<Request> request = line.whole ? parseRequest(line.text) : std::nullopt)
            carryOut(*device, std::move(*request));
        else
            say(relayLine(RelayWord::Error, "bad request: " + line.text + (line.whole ? "" : "...")));
    }
}
