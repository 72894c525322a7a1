// Whether the game has already ended when the engine is about to think.
#pragma once

#include "position/position.h"

// Writes the result line and returns 1 when the game is over, else 0. A
// position without the king of the side to move is never over.
int game_over(Position& pos);
// 1 when the side (1 White, 0 Black) cannot give mate with its own material.
int insufficient_material(const Position& pos, int side);
