// A thread that calls back at every tick until it is stopped: it redraws the window's status line while the
// one user-interface thread sits inside a long library call. What paces it is injected, so tests step it
// by hand instead of sleeping.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace quib::platform {

class TickSource {
  public:
    virtual ~TickSource() = default;
    // Blocks until the next tick; false once cancelled.
    virtual bool waitForTick() = 0;
    // Makes waitForTick() return false, now and from then on; callable from any thread.
    virtual void cancel() = 0;
};

// A tick every `period` of real time.
std::unique_ptr<TickSource> realTimeTicks(std::chrono::milliseconds period);

class TerminalTicker {
  public:
    TerminalTicker() = default;
    TerminalTicker(const TerminalTicker&) = delete;
    TerminalTicker& operator=(const TerminalTicker&) = delete;
    ~TerminalTicker() { stop(); }

    // Does nothing while a thread runs.
    void start(std::unique_ptr<TickSource> ticks, std::function<void()> onTick);
    // Cancels the ticks and joins the thread. Not from onTick, and not while holding a lock onTick takes.
    void stop();
    bool running() const { return m_thread.joinable(); }

  private:
    std::unique_ptr<TickSource> m_ticks;
    std::thread m_thread;
};

}  // namespace quib::platform
