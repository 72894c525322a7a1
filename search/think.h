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

// Writes up to n moves of the table's principal variation into line.
void print_pv(Position& pos, int n);

extern int64_t search_deadline;
// Nodes of the last finished search (node_count is cleared when it ends).
extern uint64_t last_search_nodes;
