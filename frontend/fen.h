// Board display; the FEN constructor is Position(const char*).
#pragma once

#include "position/position.h"

constexpr const char* START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - - 0 1";

// Writes the 18-line diagram with Spanish piece letters.
void display_board(const Position& pos);

#include <string>
#include <vector>
std::vector<std::string> setup_problems(const Position& pos);
