// The static score: incremental material-and-square sums plus a few piece
// combinations and the castling terms.
#pragma once

#include <cstdint>

#include "position/position.h"

struct EvalWeights {
  static constexpr int32_t bishop_pair_bonus = 30;
  static constexpr int32_t knight_pair_bonus = 0;
  static constexpr int32_t rook_pair_bonus = 5;
  static constexpr int32_t knight_queen_bonus = 0;
  static constexpr int32_t bishop_queen_bonus = 5;
  static constexpr int32_t rook_bishop_bonus = 0;
  static constexpr int32_t rook_queen_bonus = 5;
  static constexpr int32_t lost_short_castle_penalty = 25;
  static constexpr int32_t lost_long_castle_penalty = 20;
  static constexpr int32_t castled_short_bonus = 75;
  static constexpr int32_t castled_long_bonus = 55;
};

// Bishops on both file parities earn the pair bonus (not both square colours).
constexpr Bitboard ODD_FILE_SQUARES = 0xAAAAAAAAAAAAAAAAull;
constexpr Bitboard EVEN_FILE_SQUARES = 0x5555555555555555ull;

// Score for the side to move; constant time.
int32_t evaluate(const Position& pos);
