// What a caller asks of a search, what the search tells it on the way, and
// what it hands back. The search knows no protocol: each front end turns a
// thinking line into its own dialect.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "position/position.h"
#include "position/types.h"

struct SearchLimits {
  // Milliseconds from the search's start; without a time limit only the
  // iterations, the node limit or the stop flag end the search.
  bool timed = false;
  int64_t budget_ms = 0;
  // The soft budget of the modern search, which ends an iteration past it
  // (scaled by the stability of its result); the classic one has none.
  int64_t soft_ms = 0;
  // Iterations run while iteration < iteration_limit and, when depth_limit
  // is above 0, iteration <= depth_limit.
  int32_t iteration_limit = 64;
  int32_t depth_limit = 0;
  // The search stops once this many nodes are made; 0 for no limit.
  uint64_t node_limit = 0;
  // The search ends once its best line mates within this many moves (the
  // side to move mating); 0 for no such end.
  int32_t mate_moves = 0;
  // A single legal move is played at once unless the search is asked to
  // deepen on it all the same (analysis). Played at once, it is told in one
  // thinking line of depth 1 when tell_single_move is set.
  bool search_single_move = false;
  bool tell_single_move = false;
  // The root moves to search, in generation order; empty for all (a list
  // that names no legal move leaves none to search).
  std::vector<Move> root_moves;
  // A deadline the caller may set while the search runs, in milliseconds of
  // now_ms(), NO_DEADLINE for none: a ponder search becomes the real one.
  // A timed search writes its own deadline there.
  std::shared_ptr<std::atomic<int64_t>> deadline;
  // The same for the soft budget; a timed search writes its own start and
  // soft_ms there.
  std::shared_ptr<struct SoftLimit> soft;
  // Helper searches of the same root on other threads: their nodes and
  // table hits count in the thinking lines and the result.
  std::vector<const Position*> helpers;
  // The best root moves each iteration finds with exact scores and reports,
  // best first; more than 1 only on the main search (helpers search as for
  // 1), and never more than the root moves.
  int32_t multi_pv = 1;
  // The first shown_pv of those lines are reported, all of them when 0; a
  // single one shown is reported as with one line.
  int32_t shown_pv = 0;
  // Where the main search shows its progress through the root, or null.
  struct SearchProgress* progress = nullptr;
};

// How far a running search has come through the root, written by the main
// search before each root move and read from any thread (a status line).
struct SearchProgress {
  std::atomic<int64_t> start_ms{0};  // now_ms() when the search started
  std::atomic<int32_t> depth{0};     // plies of the iteration, the root move counted
  std::atomic<int32_t> searched{0};  // root moves of the iteration already searched
  std::atomic<int32_t> total{0};     // root moves in all
  std::atomic<Move> move{0};         // the root move being searched
  std::atomic<int32_t> seldepth{0};  // the deepest ply of the iteration so far
  // The nodes of all threads when the root move was taken up, and when the
  // search ended.
  std::atomic<uint64_t> nodes{0};
};

constexpr int64_t NO_DEADLINE = INT64_MAX;

// Whether a score for the side to move is its mate within the given moves
// (mated at ply p scores p - SCORE_INFINITE, so a mate in m moves scores
// SCORE_INFINITE - (2m - 1)).
inline bool mates_within(int32_t score, int32_t moves) {
  return moves > 0 && score > MATE_BOUND && SCORE_INFINITE - score <= 2 * moves - 1;
}

// The soft budget of a running search: from when it counts (NO_DEADLINE
// while none does, as in a ponder search) and how long it is.
struct SoftLimit {
  std::atomic<int64_t> ms{0};
  std::atomic<int64_t> from{NO_DEADLINE};

  // A soft budget no shorter than the hard one (a fixed time a move) never
  // ends a search early.
  void start(int64_t now, int64_t soft_ms, int64_t hard_ms) {
    ms.store(soft_ms < hard_ms ? soft_ms : NO_DEADLINE, std::memory_order_relaxed);
    from.store(now, std::memory_order_release);
  }
};

// One thinking line: a root move has just become the iteration's best.
struct ThinkingLine {
  int32_t depth;  // plies, the root move counted: iteration + 1
  int32_t score;  // for the side to move at the root
  int64_t elapsed_ms;
  uint64_t nodes;
  uint64_t tt_hits;
  const std::vector<Move>& variation;  // the root move, then the table's chain
  int32_t pv_index;  // its rank among several best lines (from 1); 0 with one line
  int32_t seldepth;  // the deepest ply the iteration reached, at least depth
  int32_t hashfull;  // per mille of the table in use
  uint64_t tb_hits;  // positions the endgame tables answered
};

// How a running search stands, told about once a second.
struct SearchStatus {
  int32_t depth;  // of the running iteration, as a thinking line counts it
  int32_t seldepth;
  int64_t elapsed_ms;
  uint64_t nodes;
  uint64_t tb_hits;
  int32_t hashfull;
  Move move;             // the root move being searched
  int32_t move_number;   // its place among the iteration's root moves, from 1
};

// The caller's receiver of thinking lines, and of the status of a search
// that runs on (on the timer's thread, from one second on): plain functions
// and their context.
struct SearchReport {
  void (*line)(void* context, const ThinkingLine& line) = nullptr;
  void* context = nullptr;
  void (*status)(void* context, const SearchStatus& status) = nullptr;
};

struct SearchResult {
  Move best = 0;    // 0 when the side to move has no legal move
  Move ponder = 0;  // the reply the last variation of the best move expects, or 0
  int32_t score = 0;
  uint64_t nodes = 0;
  int legal_moves = 0;
  bool completed = false;  // ended by the iteration limit, not by a stop
  // With several lines: the second line's move and score of the last
  // finished iteration, or 0.
  Move second = 0;
  int32_t second_score = 0;
};
