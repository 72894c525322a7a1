// The static score: the incrementally kept material-and-square sums plus a
// few piece-combination and castling terms.
#pragma once

#include <cstdint>

#include "position/position.h"

// Bonuses per colour, earned on that colour's own pieces.
struct EvalWeights {
  static constexpr int32_t bishop_pair_bonus = 30;   // bishops on both file parities
  static constexpr int32_t knight_pair_bonus = 0;    // two or more knights
  static constexpr int32_t rook_pair_bonus = 5;      // two or more rooks
  static constexpr int32_t knight_queen_bonus = 0;   // a knight and a queen
  static constexpr int32_t bishop_queen_bonus = 5;   // a bishop and a queen
  static constexpr int32_t rook_bishop_bonus = 0;    // a rook and a bishop
  static constexpr int32_t rook_queen_bonus = 5;     // a rook and a queen

  static constexpr int32_t lost_short_castle_penalty = 25;
  static constexpr int32_t lost_long_castle_penalty = 20;
  static constexpr int32_t castled_short_bonus = 75;
  static constexpr int32_t castled_long_bonus = 55;
};

// The b, d, f and h files, and the a, c, e and g files. The bishop pair asks
// for bishops on both, which is not the same as both square colours.
constexpr Bitboard ODD_FILE_SQUARES = 0xAAAAAAAAAAAAAAAAull;
constexpr Bitboard EVEN_FILE_SQUARES = 0x5555555555555555ull;

// Score from the side to move's point of view, in constant time.
int32_t evaluate(const Position& pos);
