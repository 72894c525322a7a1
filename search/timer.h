// The deadline watcher of timed searches: one thread for the process raises
// the stop flag when the deadline of the search that armed it has come.
#pragma once

#include <cstdint>

#include "search/limits.h"

#include <atomic>
#include <memory>

// The deadline a search keeps: the limits' shared one, which the caller may
// move while the search runs, or one of its own.
std::shared_ptr<std::atomic<int64_t>> search_deadline(const SearchLimits& limits);

// Arms the watcher for a search that starts at `start` (now_ms()) under the
// limits: a timed search's deadline is start + budget_ms, written to the
// given deadline. A timed search without time raises the stop flag at once.
// True when armed: the search then calls disarm_search_timer when it ends.
// With a tick, the watcher also calls it each second from start on, on its
// own thread, and never once disarm_search_timer has returned.
struct SearchTick {
  void (*call)(void* context) = nullptr;
  void* context = nullptr;
};
bool arm_search_timer(const SearchLimits& limits, int64_t start,
                      const std::shared_ptr<std::atomic<int64_t>>& deadline,
                      SearchTick tick = {});
void disarm_search_timer();
