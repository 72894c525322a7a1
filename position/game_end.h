// Whether the game has ended: mate, stalemate, and the draws the engine claims.
#pragma once

#include "position/position.h"

// The text of the result line ("1-0 {Blancas ganan, Jaque Mate}") when the
// game is over, else nullptr. A position without the king of the side to
// move is never over.
const char* game_result(Position& pos);
// 1 when the side (1 White, 0 Black) cannot give mate with its own material.
int insufficient_material(const Position& pos, int side);
