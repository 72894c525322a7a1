// What the modern search's node search offers its root driver.
#pragma once

#include <cstdint>

#include "position/position.h"
#include "search/modern_search.h"

// Fail-soft search of depth plies at ply from the root; 0 once stopped.
int32_t modern_search(Position& pos, ModernThread& t, int32_t alpha, int32_t beta, int32_t depth,
                      int32_t ply, bool cut_node);
int32_t modern_qsearch(Position& pos, ModernThread& t, int32_t alpha, int32_t beta, int32_t ply);

// Makes move m at ply, keeping its frame; and takes it back.
void enter_move(ModernThread& t, Position& pos, int ply, Move m);
void leave_move(Position& pos);

// The late-move reduction of the moves-th move at depth.
int32_t modern_reduction(int32_t depth, int moves);

// Whether legal move m, not yet made, checks the opponent's king.
bool gives_check(const Position& pos, Move m);
