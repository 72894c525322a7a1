// The search driver: time budget, iterative deepening, thinking output and
// the engine's own clock.
#pragma once

#include <cstdint>

#include "position/position.h"

// Searches the position, plays the chosen move and writes it (or writes the
// result when the game is already over), then charges the mover's clock.
void think(Position& pos);

// Analyses the position without a time limit and without playing: thinking
// lines up to the iteration limit, or until stop_search is raised. The caller
// clears the flag first, so that a stop raised just before is not lost.
// Leaves the position and the clock as they were; true when the search ran to
// the iteration limit (or there was no legal move), false when stopped.
bool analyse(Position& pos);

// Sleeps until the deadline of the search that started it, then stops that
// search; a later search is never stopped by an earlier timer.
void timer_thread();

// Writes up to n moves of the table's principal variation from the position.
void print_pv(Position& pos, int n);
// Writes the variation of a thinking line: the root move first, then the
// table's chain from the position after it, n moves at most in all. The moves
// made for it are not counted as searched nodes.
void print_variation(Position& pos, Move root_move, int n);

// The interface's latest clock reports since the engine last moved, in
// milliseconds: "time" for the engine's own clock, "otim" for its opponent's.
struct ClockReports {
  bool has_own = false;
  bool has_opponent = false;
  int64_t own = 0;
  int64_t opponent = 0;
};
extern ClockReports clock_reports;

// In clock play (no fixed time per move), the side to move takes its time
// left from the "time" report and the other side from "otim"; without a
// report its clock stays the engine's own.
void apply_clock_reports(Position& pos);

// The iterations "sd" allows a search, 0 for no limit beyond the
// configuration's iteration limit.
extern int32_t depth_limit;

extern int64_t search_deadline;
// Nodes of the last finished search (node_count is cleared when it ends).
extern uint64_t last_search_nodes;
