// The modern style's search: principal-variation alpha-beta with aspiration
// windows, a table of its own layout, null move and low-depth pruning,
// logarithmic late-move reductions, check extensions and a staged move
// picker ordered by several histories. It shares the position, the move
// generator, the table's memory, the limits and the reports with the
// classic search, and several threads search one position by sharing the
// table (each with its own histories).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "eval/modern_eval.h"
#include "position/position.h"
#include "search/limits.h"
#include "search/modern_history.h"
#include "search/modern_tt.h"

constexpr int MODERN_MAX_PLY = 120;

// What one ply of the current path keeps.
struct ModernFrame {
  Move move = 0;                         // made from this ply; 0 for none or a null move
  int piece_to = -1;                     // of that move, -1 for none
  ContinuationTable* cont = nullptr;     // that move's continuation row
  int32_t static_eval = NO_EVAL;
  Move killers[2] = {0, 0};
  bool null_move = false;
};

// A root move with what the iterations found for it.
struct RootMove {
  Move move = 0;
  int32_t score = 0;     // of the running iteration; -SCORE_INFINITE - 1 while unknown
  int32_t previous = 0;  // of the last finished iteration
  int32_t latest = 0;    // of its last finished search in the running iteration
  std::vector<Move> pv;  // the move, then the line found after it
};

// One thread's search state; large, so made on the heap.
struct ModernThread {
  MoveHistories hist;
  PawnCache pawns;
  ContinuationTable no_continuation{};  // the row of a null move, or of none
  // frame(ply) is frames[ply + 4]: the four below the root are empty.
  std::array<ModernFrame, MODERN_MAX_PLY + 8> frames;
  std::array<std::array<Move, MODERN_MAX_PLY + 2>, MODERN_MAX_PLY + 2> pv;
  std::array<int32_t, MODERN_MAX_PLY + 2> pv_length{};
  std::vector<RootMove> root_moves;
  uint32_t generation = 0;  // of the table's entries this search writes
  int32_t root_depth = 0;
  int32_t seldepth = 0;
  int root_history = 0;  // the game's length at the root
  int pv_index = 0;      // the line of several being searched
  int32_t null_min_ply = 0;  // a null move's verification searches from here without one
  // The hard deadline (now_ms()), looked at every 1024 nodes besides the
  // timer's watch: a search thread that runs while the timer's waits still
  // stops in time. Null when there is none to keep.
  const std::atomic<int64_t>* deadline = nullptr;

  ModernFrame& frame(int ply) { return frames[size_t(ply + 4)]; }
};

// Searches the side to move's legal moves under the limits with thread t's
// state, as search_root does for the classic style.
SearchResult modern_search_root(Position& pos, ModernThread& t, const SearchLimits& limits,
                                const SearchReport& report);
// A helper beside a modern_search_root of the same position: iterative
// deepening from the given depth under the same depth and root-move limits,
// sharing the table, until the stop flag or its last iteration.
void modern_search_helper(Position& pos, ModernThread& t, const SearchLimits& limits,
                          int first_depth);

// The null move is tried only out of check and with a piece besides the
// king and pawns, where zugzwang is rare.
bool modern_null_move_allowed(const Position& pos, bool in_check);
// Whether the position is drawn in the search: the fifty-move rule, too
// little material to mate, or a repetition (one since the root, or a third
// occurrence with the game's earlier positions).
bool modern_draw(const Position& pos, int root_history);
