// How long a move may take. Both front ends describe the mover's clock and
// get a budget back; the search ends an iteration past the soft budget (as
// the stability of its best move and score scale it) and stops anywhere at
// the hard one.
#pragma once

#include <cstdint>

// How the clock is shared out over the moves.
enum class TimeRule {
  CLASSIC,  // the time left over 2 * moves to go + 1
  FULL,     // TimeUse "full": the whole clock, increment included
  MODERN,   // Style "modern": a soft budget and a hard limit
};

// The mover's clock as the interface gives it, in milliseconds.
struct MoveClock {
  int64_t fixed_ms = -1;   // a fixed time a move (UCI movetime, xboard st); -1 for none
  bool keep_half = false;  // of a fixed time, at least half is searched (xboard)
  int64_t time_left = 0;
  int64_t increment = 0;
  // The moves to the next time control as the protocol counts them (30
  // when UCI gives none; the period's count in xboard); moves_known is false
  // when the rest of the game is one period.
  int64_t moves_to_go = 30;
  bool moves_known = false;
  int64_t overhead = 0;  // "Move Overhead": kept back from every timed move
};

struct TimeBudget {
  int64_t soft_ms = 0;  // an iteration ending past it ends the search
  int64_t hard_ms = 0;  // the search stops there; may be 0 or less: no time at all
};

// The moves a clock without a move count is shared over under TimeUse full.
constexpr int64_t FULL_MOVES_TO_GO = 25;

// TimeUse full: the time left shared over the moves to go, plus three
// quarters of the increment (the rest is a margin for the move's way to the
// interface). Never more than a fifth of the time left, so that a clock
// running low recovers on the increment; never under 5 ms, so that a move
// still searches.
int64_t full_clock_budget(int64_t time_left, int64_t moves_to_go, int64_t increment);

// The budget of one move. Under CLASSIC and FULL soft and hard are the same.
TimeBudget plan_move_time(const MoveClock& clock, TimeRule rule);

// What the soft budget is multiplied by when an iteration ends: more when the
// best move has just changed or the score has fallen, less while both hold.
// stable_iterations counts the iterations the best move has survived;
// score_drop is the last iteration's score less this one's, in centipawns.
double soft_scale(int stable_iterations, int32_t score_drop);
