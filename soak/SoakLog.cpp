#include "soak/SoakLog.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace soak {
namespace {

// Lines go out from a thread of their own, so that a disk busy with other work never
// holds the panel's event loop; each batch is flushed, so a crash loses little.
class LogWriter
{
public:
    LogWriter() : m_thread([this] { run(); }) {}
    ~LogWriter()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }

    void write(std::string line)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_lines.push_back(std::move(line));
        }
        m_wake.notify_one();
    }

private:
    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_done || !m_lines.empty(); });
            std::deque<std::string> lines;
            lines.swap(m_lines);
            const bool done = m_done;
            lock.unlock();
            for (const std::string &line : lines)
                std::fwrite(line.data(), 1, line.size(), stdout);
            std::fflush(stdout);
            lock.lock();
            if (done && m_lines.empty())
                return;
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::string> m_lines;
    bool m_done = false;
    std::thread m_thread;   // last: it starts once the rest exists
};

} // namespace

void say(const QString &text)
{
    static LogWriter writer;
    writer.write((text + u'\n').toStdString());
}

} // namespace soak
