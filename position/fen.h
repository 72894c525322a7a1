// Set-up from FEN (the constructor Position(const char*)), the checks of a
// set-up position, and the board diagram.
#pragma once

#include <string>
#include <vector>

#include "position/position.h"

constexpr const char* START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - - 0 1";

// What is wrong with a set-up position, one message per fault in the order
// the checks run (kings, checks, castling rights, pawns, en passant); empty
// when nothing is. The texts are Spanish, in the interfaces' Latin-1.
std::vector<std::string> setup_problems(const Position& pos);

// The 18-line diagram with Spanish piece letters, each line ending in "\n".
std::string board_diagram(const Position& pos);
