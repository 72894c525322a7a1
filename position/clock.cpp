#include "position/clock.h"

#include <chrono>

int64_t now_ms() {
  // 1601-01-01 lies 11,644,473,600 seconds before the Unix epoch; counting in
  // 100-nanosecond units first keeps the same truncation as that clock.
  using namespace std::chrono;
  constexpr int64_t EPOCH_OFFSET_100NS = 116444736000000000LL;
  int64_t unix_100ns = duration_cast<duration<int64_t, std::ratio<1, 10000000>>>(
                           system_clock::now().time_since_epoch())
                           .count();
  return (unix_100ns + EPOCH_OFFSET_100NS) / 10000;
}

std::atomic<int32_t> stop_search{0};
