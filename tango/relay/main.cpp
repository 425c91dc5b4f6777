// norvane-tango-relay: one session of the panel with a NorvaneBench device. It holds the Tango
// subscriptions and carries out writes and commands, talking to the panel in lines over stdin
// and stdout. cppTango's client crashes in its own reconnection and unsubscription, so a session
// never runs them: whatever goes wrong, it says `down` and _exits, and the panel starts another.

#include <tango.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <functional>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr int kTimeoutMs = 3000;
constexpr auto kProbeInterval = std::chrono::milliseconds(500);
constexpr std::size_t kMaxRequest = 1024;   // longer lines are refused, not stored

int g_protocol = -1;     // the panel's stdout; fd 1 goes to stderr, so a library's print stays out of it
std::mutex g_output;     // one whole line at a time, from any thread

std::string hex(std::string_view bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const unsigned char byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

// Caller holds g_output. A panel that no longer reads has gone, and the session with it.
void writeLine(std::string line)
{
    line += '\n';
    for (std::string_view rest = line; !rest.empty();) {
        const ssize_t written = ::write(g_protocol, rest.data(), rest.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            _exit(0);
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
}

void say(std::string line)
{
    std::lock_guard lock(g_output);
    writeLine(std::move(line));
}

// Ends the session without any Tango cleanup. The lock is never released: no line may follow.
[[noreturn]] void endSession(std::optional<std::string> lastLine)
{
    g_output.lock();
    if (lastLine)
        writeLine(std::move(*lastLine));
    _exit(0);
}

std::string firstDescription(const Tango::DevErrorList &errors)
{
    return errors.length() > 0 ? std::string(errors[0].desc.in()) : std::string("no error description");
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

// Turns one attribute's change events into lines; cppTango may call it from several threads.
class Subscriber final : public Tango::CallBack
{
public:
    explicit Subscriber(Feed feed) : m_feed(feed) {}

    void push_event(Tango::EventData *event) override
    {
        if (event->err)
            endSession("down " + hex(firstDescription(event->errors)));
        try {
            if (event->attr_value && event->device)
                relay(*event->device, *event->attr_value);
        } catch (...) {
            // An event without a value to extract has nothing for the panel.
        }
    }

private:
    void relay(Tango::DeviceProxy &device, Tango::DeviceAttribute &value)
    {
        switch (m_feed) {
        case Feed::State: {
            Tango::DevState state = Tango::UNKNOWN;
            value >> state;
            std::string line = "state ";
            line += state >= Tango::ON && state <= Tango::UNKNOWN ? Tango::DevStateName[state] : "UNKNOWN";
            if (state == Tango::FAULT) {
                try {
                    std::lock_guard lock(g_device);
                    line += ' ' + hex(device.status());
                } catch (...) {
                    // FAULT alone still tells the panel what it must know.
                }
            }
            say(std::move(line));
            break;
        }
        case Feed::Frame: {
            if (value.get_quality() == Tango::ATTR_INVALID)
                return;
            std::vector<Tango::DevUChar> bytes;
            value >> bytes;
            say("frame " + hex({reinterpret_cast<const char *>(bytes.data()), bytes.size()}));
            break;
        }
        case Feed::Message: {
            // The value sent at subscription is an old message, shown before this session began.
            if (!m_sawFirstMessage.exchange(true))
                return;
            std::string text;
            value >> text;
            say("message " + hex(text));
            break;
        }
        }
    }

    const Feed m_feed;
    std::atomic<bool> m_sawFirstMessage{false};
};

// The panel's lines, read on a thread of their own: EOF ends the session at once, also while
// the main thread waits on the device.
class Requests
{
public:
    struct Line {
        std::string text;
        bool whole = true;   // false: cut at kMaxRequest
    };

    [[noreturn]] void readUntilEof()
    {
        Line line;
        char buffer[4096];
        for (;;) {
            const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                endSession(std::nullopt);
            for (const char c : std::string_view(buffer, static_cast<std::size_t>(got))) {
                if (c == '\n') {
                    push(std::exchange(line, {}));
                } else if (line.text.size() < kMaxRequest) {
                    line.text += c;
                } else {
                    line.whole = false;
                }
            }
        }
    }

    Line next()
    {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [this] { return !m_lines.empty(); });
        Line line = std::move(m_lines.front());
        m_lines.pop_front();
        return line;
    }

private:
    void push(Line line)
    {
        {
            std::lock_guard lock(m_mutex);
            m_lines.push_back(std::move(line));
        }
        m_ready.notify_one();
    }

    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Line> m_lines;
};

std::vector<std::string_view> words(std::string_view line)
{
    std::vector<std::string_view> result;
    for (std::size_t at = 0;;) {
        const std::size_t space = line.find(' ', at);
        result.push_back(line.substr(at, space - at));
        if (space == std::string_view::npos)
            return result;
        at = space + 1;
    }
}

template <typename T>
bool parseWhole(std::string_view text, T &value)
{
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end;
}

// Calls the device; a failure is the panel's to show, and the session goes on.
template <typename Call>
void attempt(const std::string &name, Call call)
{
    try {
        std::lock_guard lock(g_device);
        call();
    } catch (...) {
        say("error " + hex(name + ": " + currentFailure()));
    }
}

template <typename T>
void writeAttribute(Tango::DeviceProxy &device, std::string name, T value)
{
    attempt(name, [&] {
        Tango::DeviceAttribute attribute(name, value);
        device.write_attribute(attribute);
    });
}

// Carries out one request; false when the line is not one.
bool carryOut(Tango::DeviceProxy &device, std::string_view line)
{
    if (!std::all_of(line.begin(), line.end(), [](char c) { return c >= ' ' && c <= '~'; }))
        return false;
    const std::vector<std::string_view> word = words(line);
    if (std::any_of(word.begin(), word.end(), [](std::string_view w) { return w.empty(); }))
        return false;
    if (word.size() == 2 && word[0] == "run") {
        std::string command(word[1]);
        attempt(command, [&] { device.command_inout(command); });
        return true;
    }
    if (word.size() != 4 || word[0] != "write")
        return false;
    const std::string name(word[1]);
    if (Tango::DevLong count = 0; word[2] == "long" && parseWhole(word[3], count)) {
        writeAttribute(device, name, count);
    } else if (Tango::DevDouble number = 0; word[2] == "double" && parseWhole(word[3], number)
                                            && std::isfinite(number)) {
        writeAttribute(device, name, number);
    } else if (word[2] == "bool" && (word[3] == "0" || word[3] == "1")) {
        writeAttribute(device, name, Tango::DevBoolean{word[3] == "1"});
    } else {
        return false;
    }
    return true;
}

// cppTango's keep-alive thread reconnects to a silent server before it reports it, and that
// reconnection is what crashes once the server is back. Its look comes a second or more after
// the last heartbeat was due; a ping every half second finds a lost or restarted server first.
[[noreturn]] void probe(Tango::DeviceProxy &device)
{
    for (;;) {
        std::this_thread::sleep_for(kProbeInterval);
        try {
            std::lock_guard lock(g_device);
            device.ping();
        } catch (...) {
            endSession("down " + hex(currentFailure()));
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

    static Requests requests;
    std::thread(&Requests::readUntilEof, &requests).detach();

    // Outside the try: unwinding must never run DeviceProxy's destructor, which unsubscribes.
    std::optional<Tango::DeviceProxy> device;
    Subscriber subscribers[]{Subscriber(Feed::State), Subscriber(Feed::Frame), Subscriber(Feed::Message)};
    const char *const attributes[]{"State", "StatusFrame", "LastMessage"};
    try {
        device.emplace(argv[1]);
        device->set_timeout_millis(kTimeoutMs);
        // A restarted server is a new session: the first call after it fails, not reconnects.
        device->set_transparency_reconnection(false);
        for (int i = 0; i < 3; ++i)
            device->subscribe_event(attributes[i], Tango::CHANGE_EVENT, &subscribers[i], false);
    } catch (...) {
        endSession("down " + hex(currentFailure()));
    }
    say("up");
    std::thread(probe, std::ref(*device)).detach();

    for (;;) {
        const Requests::Line line = requests.next();
        if (!line.whole || !carryOut(*device, line.text))
            say("error " + hex("bad request: " + line.text + (line.whole ? "" : "...")));
    }
}
