// The search driver: time budget, iterative deepening, thinking output and
// the engine's own clock.
#pragma once

#include <cstdint>

#include "position/position.h"

// Searches the position, plays the chosen move and writes it (or writes the
// result when the game is already over), then charges the mover's clock.
void think(Position& pos);

// Sleeps until the deadline of the search that started it, then stops that
// search; a later search is never stopped by an earlier timer.
void timer_thread();

// Writes up to n moves of the table's principal variation into line.
void print_pv(Position& pos, int n);

extern int64_t search_deadline;
// Nodes of the last finished search (node_count is cleared when it ends).
extern uint64_t last_search_nodes;
