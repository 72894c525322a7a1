// Tablebase generator: retrograde analysis with distance to mate for the
// classes of three and four pieces, tables built in memory.
//
// A table byte, from the side to move's point of view: 0 a draw (or an index
// that stands for no legal position); the side to move mates in n moves:
// 127 - n (n = 1 to 126), -128 for n = 127; the side to move is mated in n
// moves (n = 0: checkmated now): n - 126 (n = 0 to 125), -127 for n = 126.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "egdb/tb_classes.h"

constexpr int TB_GENERATE_MAX_CLASS = 35;  // the classes of three and four pieces

// The solved classes, white-to-move [0] and black-to-move [1] tables, each
// exactly as long as the class's size.
struct TbSolved {
  bool done[TB_CLASS_COUNT] = {};
  std::vector<int8_t> table[TB_CLASS_COUNT][2];
};

// Solves class `cls` into `solved`, first solving on demand every class its
// captures and promotions lead to. Returns false, with a reason in `error`,
// for a class it cannot solve.
bool tb_generate_class(TbSolved& solved, int cls, std::string& error);

// A position for looking up solved tables. Squares in tablebase numbering
// (a1 = 0); colour 0 White, 1 Black; ep the en-passant target or 64.
struct TbBoard {
  int count;
  int type[5];
  int colour[5];
  int square[5];
  int side_to_move;
  int ep;
};

// The table byte of a legal position of a solved class (0 for bare kings),
// or 127 when its class is not solved.
int tb_solved_byte(const TbSolved& solved, const TbBoard& board);
