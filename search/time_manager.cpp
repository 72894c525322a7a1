#include "search/time_manager.h"

#include <algorithm>

namespace {

// A game without a move count is budgeted as if this many moves were left.
constexpr int64_t MODERN_MOVES_LEFT = 30;
// The hard limit: this many soft budgets, and at most this share of the
// clock (the whole game's, or a period's with more than one move to go).
constexpr int64_t HARD_SOFTS = 5;
constexpr double HARD_SHARE = 0.4;
constexpr double LAST_MOVE_SHARE = 0.75;  // the period's last move before more time

TimeBudget same(int64_t ms) { return {ms, ms}; }

TimeBudget modern_plan(const MoveClock& c) {
  if (c.fixed_ms >= 0) {
    // A fixed time is spent whole, less the overhead (at least half of it).
    const int64_t t = std::max(c.fixed_ms - c.overhead, c.fixed_ms / 2);
    return same(std::max<int64_t>(t, 1));
  }
  const int64_t left = std::max<int64_t>(c.time_left - c.overhead, 1);
  const int64_t moves = c.moves_known ? std::clamp<int64_t>(c.moves_to_go, 1, 50) : MODERN_MOVES_LEFT;
  // The increment comes back after the move; the next control's time only
  // after the last move of the period.
  const int64_t increment = std::max<int64_t>(c.increment, 0);
  int64_t soft = left / (moves + (c.moves_known ? 1 : 0)) + increment * 3 / 4;
  const double share = c.moves_known && moves == 1 ? LAST_MOVE_SHARE : HARD_SHARE;
  int64_t hard = std::min<int64_t>(soft * HARD_SOFTS, int64_t(double(left) * share));
  // Whatever the increment, never more than the share of the clock.
  hard = std::max<int64_t>(hard, 1);
  soft = std::clamp<int64_t>(soft, 1, hard);
  return {soft, hard};
}

}  // namespace

int64_t full_clock_budget(int64_t time_left, int64_t moves_to_go, int64_t increment) {
  const int64_t share = time_left / std::max<int64_t>(moves_to_go, 1) + increment * 3 / 4;
  return std::max<int64_t>(std::min(share, time_left / 5), 5);
}

TimeBudget plan_move_time(const MoveClock& c, TimeRule rule) {
  if (rule == TimeRule::MODERN) return modern_plan(c);
  if (c.fixed_ms >= 0) {
    // A 30 ms margin for the move's way to the interface; xboard keeps at
    // least half the time, so that short fixed times still search.
    int64_t t = c.fixed_ms - 30;
    if (c.keep_half && t <= c.fixed_ms / 2) t = c.fixed_ms / 2;
    return same(t - c.overhead);
  }
  const int64_t t =
      rule == TimeRule::FULL
          ? full_clock_budget(c.time_left, c.moves_known ? c.moves_to_go : FULL_MOVES_TO_GO,
                              c.increment)
          : c.time_left / (2 * c.moves_to_go + 1);
  return same(t - c.overhead);
}

double soft_scale(int stable_iterations, int32_t score_drop) {
  static constexpr double STABILITY[] = {2.2, 1.6, 1.2, 1.0, 0.85, 0.75};
  const double stability = STABILITY[std::clamp(stable_iterations, 0, 5)];
  // A fall of a pawn spends up to half as much again; a rise a little less.
  const double fall = std::clamp(1.0 + double(score_drop) / 200.0, 0.85, 1.5);
  return stability * fall;
}
