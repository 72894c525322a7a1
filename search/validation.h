// Proof that a move word not taken from the generator (a table move, a
// killer) is a legal move of the side to move, without generating moves.
#pragma once

#include "position/position.h"

// Nonzero when m is exactly a move word the generator would produce here.
unsigned is_valid_move(const Position& pos, Move m);
