#include "search/timer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "position/clock.h"

namespace {

// One thread, started with the first timed search and kept for the
// process, watches the deadline of the search that armed it. Disarming
// takes only its lock: a search that ends never waits for the thread to be
// scheduled, and nothing outlives the search that owned it.
struct Timer {
  std::mutex lock;
  std::condition_variable wake;
  std::shared_ptr<const std::atomic<int64_t>> deadline;  // null while disarmed
  SearchTick tick;
  int64_t next_tick = 0;
  bool quitting = false;
  std::thread thread;

  Timer() {
    try {
      thread = std::thread([this] { watch(); });
    } catch (const std::system_error&) {
      // Without a timer the iteration limit or a stop line ends the search.
    }
  }
  ~Timer() {
    {
      std::lock_guard<std::mutex> guard(lock);
      quitting = true;
    }
    wake.notify_one();
    if (thread.joinable()) thread.join();
  }

  // The deadline may move while it waits (a ponder search becoming the real
  // one), so an armed timer looks at it every millisecond.
  void watch() {
    std::unique_lock<std::mutex> guard(lock);
    while (!quitting) {
      if (!deadline) {
        wake.wait(guard);
      } else if (now_ms() >= deadline->load()) {
        raise_stop();
        deadline.reset();
      } else {
        // Under the lock: disarming waits for a tick under way.
        if (tick.call && now_ms() >= next_tick) {
          tick.call(tick.context);
          // A second later, or from now when the tick itself was held up.
          const int64_t now = now_ms();
          next_tick += 1000;
          if (next_tick <= now) next_tick = now + 1000;
        }
        wake.wait_for(guard, std::chrono::milliseconds(1));
      }
    }
  }

  void arm(std::shared_ptr<const std::atomic<int64_t>> d, SearchTick t, int64_t start) {
    {
      std::lock_guard<std::mutex> guard(lock);
      deadline = std::move(d);
      tick = t;
      next_tick = start + 1000;
    }
    wake.notify_one();
  }
  void disarm() {
    std::lock_guard<std::mutex> guard(lock);
    deadline.reset();
    tick = SearchTick{};
  }
};

Timer& timer() {
  static Timer t;
  return t;
}

}  // namespace

std::shared_ptr<std::atomic<int64_t>> search_deadline(const SearchLimits& limits) {
  return limits.deadline ? limits.deadline : std::make_shared<std::atomic<int64_t>>(NO_DEADLINE);
}

bool arm_search_timer(const SearchLimits& limits, int64_t start,
                      const std::shared_ptr<std::atomic<int64_t>>& deadline, SearchTick tick) {
  if (limits.timed) deadline->store(start + limits.budget_ms);
  if (limits.timed && limits.budget_ms <= 0) {
    // No time at all: stop before the first root move is searched, so
    // that the first generated move is played, every time the same.
    raise_stop();
    return false;
  }
  if (!limits.timed && !limits.deadline && !tick.call) return false;
  timer().arm(deadline, tick, start);
  return true;
}

void disarm_search_timer() { timer().disarm(); }
