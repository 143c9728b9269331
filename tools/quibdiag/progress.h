// A line on the terminal while a long call runs ("formatting F: ... 12 s"), redrawn each second and cleared
// at the end. Nothing is drawn when standard error is not a terminal (scripts, --json pipelines, tests).
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace quibdiag {

class Progress {
  public:
    explicit Progress(std::string what);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

  private:
    std::string m_what;
    std::mutex m_lock;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_drawer;
};

}  // namespace quibdiag
