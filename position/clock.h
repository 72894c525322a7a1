// The engine's time source and the process-wide stop flag of the search.
#pragma once

#include <atomic>
#include <cstdint>

// Milliseconds since 1601-01-01 UTC, the epoch of the engine's clock.
int64_t now_ms();

// 0 while a search may run, 1 when it must stop. Raised by the input and
// timer threads, cleared by the search driver; read without a lock.
extern std::atomic<int32_t> stop_search;

inline bool search_stopped() { return stop_search.load(std::memory_order_relaxed) != 0; }
inline void raise_stop() { stop_search.store(1, std::memory_order_relaxed); }
