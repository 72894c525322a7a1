// The budget of TimeUse "full": the engine spends its whole clock, where the
// default rule keeps its base time untouched in incremental games.
#pragma once

#include <algorithm>
#include <cstdint>

// The moves a clock without a move count is shared over.
constexpr int64_t FULL_MOVES_TO_GO = 25;

// The time left shared over the moves to go, plus three quarters of the
// increment (the rest is a margin for the move's way to the interface).
// Never more than a fifth of the time left, so that a clock running low
// recovers on the increment; never under 5 ms, so that a move still searches.
inline int64_t full_clock_budget(int64_t time_left, int64_t moves_to_go, int64_t increment) {
  const int64_t share = time_left / std::max<int64_t>(moves_to_go, 1) + increment * 3 / 4;
  return std::max<int64_t>(std::min(share, time_left / 5), 5);
}
