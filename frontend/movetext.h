// Moves in coordinate notation: e2e4, e1g1 for castling, e7e8q.
#pragma once

#include <string>

#include "position/position.h"

// Plays the move named at the start of the line if it is legal; otherwise
// writes the board and "Ilegal move: " with the whole line.
void read_user_move(Position& pos, const char* line);
std::string move_text(Move m);
// Writes "move " and the move's text.
void write_engine_move(Move m);
// Whether the line begins with a file, a rank, a file and a rank.
bool is_coordinate_move(const char* line);
