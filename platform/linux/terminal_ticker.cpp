#include "platform/linux/terminal_ticker.h"

#include <pthread.h>
#include <signal.h>

#include <condition_variable>
#include <mutex>
#include <system_error>

namespace quib::platform {
namespace {

class RealTimeTicks final : public TickSource {
  public:
    explicit RealTimeTicks(std::chrono::milliseconds period) : m_period(period) {}
    bool waitForTick() override {
        std::unique_lock lock(m_lock);
        return !m_wake.wait_for(lock, m_period, [&] { return m_cancelled; });
    }
    void cancel() override {
        {
            std::lock_guard lock(m_lock);
            m_cancelled = true;
        }
        m_wake.notify_all();
    }

  private:
    std::chrono::milliseconds m_period;
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_cancelled = false;
};

}  // namespace

std::unique_ptr<TickSource> realTimeTicks(std::chrono::milliseconds period) {
    return std::make_unique<RealTimeTicks>(period);
}

void TerminalTicker::start(std::unique_ptr<TickSource> ticks, std::function<void()> onTick) {
    if (m_thread.joinable()) return;
    m_ticks = std::move(ticks);
    // Interrupts go to the user-interface thread: their handler must not run beside it while it arms the
    // cleanup with those signals blocked. The thread starts with the mask of its creator.
    sigset_t interrupts, previous;
    sigemptyset(&interrupts);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&interrupts, s);
    ::pthread_sigmask(SIG_BLOCK, &interrupts, &previous);
    try {
        m_thread = std::thread([source = m_ticks.get(), onTick = std::move(onTick)] {
            while (source->waitForTick()) onTick();
        });
    } catch (const std::system_error&) {
        // Without a thread the line is still redrawn at every change.
        m_ticks.reset();
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void TerminalTicker::stop() {
    if (!m_thread.joinable()) return;
    m_ticks->cancel();
    m_thread.join();
    m_ticks.reset();
}

}  // namespace quib::platform
