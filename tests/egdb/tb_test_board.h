// A few pieces on a board in tablebase numbering (a1 = 0), for the tests:
// placement legality and symmetry images, written independently of the
// generator's move logic.
#pragma once

#include <cstdint>

#include "egdb/tb_index.h"

struct TestPiece {
  int type;    // 1 pawn ... 6 king
  int colour;  // 0 first side (White in the file), 1 second side
  int sq;
};

inline bool test_attacks(const TestPiece* p, int n, int from_slot, int target) {
  const TestPiece& a = p[from_slot];
  int df = (target & 7) - (a.sq & 7), dr = (target >> 3) - (a.sq >> 3);
  int adf = df < 0 ? -df : df, adr = dr < 0 ? -dr : dr;
  switch (a.type) {
    case 1: return adf == 1 && dr == (a.colour == 0 ? 1 : -1);
    case 2: return adf * adf + adr * adr == 5;
    case 6: return adf <= 1 && adr <= 1 && (adf | adr) != 0;
    default: break;
  }
  bool straight = df == 0 || dr == 0, diagonal = adf == adr;
  if ((df | dr) == 0) return false;
  if (a.type == 3 && !diagonal) return false;
  if (a.type == 4 && !straight) return false;
  if (a.type == 5 && !straight && !diagonal) return false;
  int sf = (df > 0) - (df < 0), sr = (dr > 0) - (dr < 0);
  for (int s = a.sq + sf + 8 * sr; s != target; s += sf + 8 * sr)
    for (int i = 0; i < n; ++i)
      if (p[i].sq == s) return false;
  return true;
}

// Distinct squares, no pawn on rank 1 or 8, kings apart, and the side not to
// move not in check.
inline bool test_legal(const TestPiece* p, int n, int stm) {
  for (int i = 0; i < n; ++i) {
    if (p[i].type == 1 && (p[i].sq < 8 || p[i].sq >= 56)) return false;
    for (int j = 0; j < i; ++j)
      if (p[i].sq == p[j].sq) return false;
  }
  int their_king = -1;
  for (int i = 0; i < n; ++i)
    if (p[i].type == 6 && p[i].colour != stm) their_king = p[i].sq;
  for (int i = 0; i < n; ++i)
    if (p[i].colour == stm && test_attacks(p, n, i, their_king)) return false;
  return true;
}

// Image of a square under symmetry g: bit 0 mirrors files, bit 1 ranks, bit 2
// reflects in the a1-h8 diagonal (applied last).
inline int test_image(int sq, int g) {
  if (g & 1) sq ^= 7;
  if (g & 2) sq ^= 56;
  if (g & 4) sq = tb_reflect_diagonal(sq);
  return sq;
}

// The probe score of a table byte, from the mate distances it encodes: a win
// in n moves scores 15000 - 2n, a loss after n moves -15000 + 2n.
inline int test_expected_score(int b) {
  if (b == 0) return 0;
  if (b > 0) return 15000 - 2 * (127 - b);
  if (b == -128) return 15000 - 2 * 127;
  if (b == -127) return -15000 + 2 * 126;
  return -15000 + 2 * (b + 126);
}
