// What the modern search learns about moves as it goes, per thread: which
// quiet moves cut off (butterfly, by origin and target), which follow which
// (continuation, by the moves one and two plies before), which captures
// pay (by piece, target and victim), and the reply that refuted each move.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>

#include "position/types.h"

// A history counter: a bonus pulls it towards HISTORY_MAX, a malus towards
// -HISTORY_MAX, each the less the nearer it already stands.
constexpr int32_t HISTORY_MAX = 16384;

inline void history_update(int16_t& h, int32_t bonus) {
  const int32_t v = h + bonus - h * std::abs(bonus) / HISTORY_MAX;
  h = int16_t(v);
}

// The bonus of a cutoff found at depth plies.
inline int32_t history_bonus(int32_t depth) {
  const int32_t b = 16 * depth * depth + 128 * depth - 64;
  return b > 2400 ? 2400 : b;
}

// A piece-and-target index: the piece code (with colour) and the square.
inline int piece_to(unsigned piece, Square to) { return int(piece) * 64 + to; }
constexpr int PIECE_TO = 16 * 64;

using ContinuationTable = std::array<int16_t, PIECE_TO>;

struct MoveHistories {
  // [side to move][from * 64 + to]
  std::array<std::array<int16_t, 4096>, 2> butterfly{};
  // [moving piece and target][victim's kind]
  std::array<std::array<int16_t, 8>, PIECE_TO> captures{};
  // [the earlier move's piece and target][this move's piece and target]
  std::array<ContinuationTable, PIECE_TO> continuation{};
  // [the earlier move's piece and target]: the quiet reply that refuted it
  std::array<Move, PIECE_TO> counter{};
};
