// Making and unmaking moves, and repetition counting.
#pragma once

#include "position/position.h"

// Plays a legal move and updates every incremental field.
void make_move(Position& pos, Move m);
// Plays move i of the top move list.
void make_listed(Position& pos, int i);
// Takes back the last move made.
void unmake_move(Position& pos);
// How often the current position stands among the earlier ones with the same
// side to move since the last irreversible move, itself included (1 to 3).
int32_t repetition_count(const Position& pos);
