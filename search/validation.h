// Whether a move word from the table or a killer slot is legal here.
#pragma once

#include "position/position.h"

// Nonzero when every field of the move word fits the board and the move is
// legal for the side to move; no generation, nothing made.
unsigned is_valid_move(const Position& pos, Move m);
