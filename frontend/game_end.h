// Whether the game has ended before the engine thinks, with its result line.
#pragma once

#include "position/position.h"

// Writes the result line and returns 1 when the game is over, else 0.
int game_over(Position& pos);
// 1 when the side (1 White, 0 Black) alone cannot give mate.
int insufficient_material(const Position& pos, int side);
