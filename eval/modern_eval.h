// The modern style's evaluation: tapered midgame and endgame values mixed by
// the material left, from material and piece squares, mobility, pawn
// structure, passed pawns, king safety, threats, piece placement and
// endgame scaling, all weighted by the term table (eval/modern_terms.h).
#pragma once

#include <cstdint>
#include <vector>

#include "eval/modern_terms.h"
#include "position/position.h"

// Pawn-structure results by the pawns' placement, one table per thread.
struct PawnEntry {
  Bitboard white_pawns = 0, black_pawns = ~Bitboard(0);  // never a real pair when empty
  Bitboard passed = 0;  // the passed pawns of both sides
  int32_t mg = 0, eg = 0;  // White's view
};

struct PawnCache {
  std::vector<PawnEntry> entries;
  PawnCache() : entries(1 << 14) {}
};

// Score from the side to move's point of view.
int32_t modern_evaluate(const Position& pos, PawnCache& cache);

// The same score, recording how it came about (no cache); the score it
// answers equals modern_evaluate's.
int32_t modern_evaluate_traced(const Position& pos, ModernTrace& trace);

