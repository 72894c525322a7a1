// Legal move generation in three stages per side. Every generator appends to
// the top list of the position's move stack.
#pragma once

#include "position/position.h"

void gen_captures_white(Position& pos);
void gen_quiets_white(Position& pos);
void gen_underpromotions_white(Position& pos);
void gen_captures_black(Position& pos);
void gen_quiets_black(Position& pos);
void gen_underpromotions_black(Position& pos);

// The side to move's king, and the pieces whose moves may expose it. The
// stages of one position can share it: a node builds it once.
struct KingGuard {
  Bitboard must_test;  // origins whose moves need the full king-safety test; all in check
  Square king_sq;
  bool has_king;
  bool in_check;  // false without a king
};
KingGuard king_guard(const Position& pos);

// Side-to-move dispatch of the stages above; the guard must be that of pos.
void gen_captures(Position& pos);
void gen_quiets(Position& pos);
void gen_underpromotions(Position& pos);
void gen_captures(Position& pos, const KingGuard& guard);
void gen_quiets(Position& pos, const KingGuard& guard);
void gen_underpromotions(Position& pos, const KingGuard& guard);

// Opens a level and generates captures, quiet moves and under-promotions.
void generate_all(Position& pos);
// generate_all for side Us to move.
template <Colour Us>
void generate_all_as(Position& pos);

// The count of the moves generate_all would list, without listing them.
unsigned count_moves(const Position& pos);
// count_moves for side Us to move.
template <Colour Us>
unsigned count_moves_as(const Position& pos);

// 1 when the side to move has a legal move, stopping at the first one.
unsigned has_legal_move(Position& pos);
unsigned has_legal_move(Position& pos, const KingGuard& guard);

// Whether m is a legal castling of the side to move in a Chess960 game.
bool castling_960_legal(const Position& pos, Move m);
