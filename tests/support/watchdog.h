// Ends the test process when a test stops making progress, so a hang fails with a message
// naming where it hung instead of stalling the run until ctest's timeout.
#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

class Watchdog {
 public:
  // `seconds`: the longest time allowed between two steps (and before the first).
  explicit Watchdog(int seconds)
      : limit_(seconds), thread_([this] {
          std::unique_lock lock(lock_);
          for (;;) {
            const auto stepAt = stepAt_;
            if (wake_.wait_for(lock, limit_, [&] { return done_ || stepAt_ != stepAt; })) {
              if (done_) return;
              continue;
            }
            std::fprintf(stderr, "watchdog: no progress for %d s at %s\n",
                         static_cast<int>(limit_.count()), what_.c_str());
            std::fflush(stderr);
            ExitProcess(3);
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(lock_);
      done_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  // Marks progress; `what` names the step for the message if the next one never comes.
  void Step(std::string what) {
    {
      std::lock_guard lock(lock_);
      what_ = std::move(what);
      ++stepAt_;
    }
    wake_.notify_all();
  }

 private:
  std::chrono::seconds limit_;
  std::mutex lock_;
  std::condition_variable wake_;
  bool done_ = false;
  unsigned long long stepAt_ = 0;
  std::string what_ = "the start";
  std::thread thread_;
};
