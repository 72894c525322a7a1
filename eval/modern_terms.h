// The modern style's evaluation terms: every weight it reads, a midgame and
// an endgame value each, in one table (eval/modern_weights.cpp) that the
// tuner rewrites. A term group is a run of entries indexed from its first.
#pragma once

#include <cstdint>

struct TermValue {
  int32_t mg = 0;
  int32_t eg = 0;
};

// First entry of each group; the next group's first is one past the last.
enum ModernTerm : int {
  T_MATERIAL = 0,                      // by kind: pawn .. queen
  T_PST = T_MATERIAL + 5,              // by kind pawn .. king, then square seen by White
  T_KNIGHT_MOBILITY = T_PST + 6 * 64,  // by squares reached, 0 .. 8
  T_BISHOP_MOBILITY = T_KNIGHT_MOBILITY + 9,  // 0 .. 13
  T_ROOK_MOBILITY = T_BISHOP_MOBILITY + 14,   // 0 .. 14
  T_QUEEN_MOBILITY = T_ROOK_MOBILITY + 15,    // 0 .. 27
  T_PASSED = T_QUEEN_MOBILITY + 28,           // passed pawn, by rank 1 .. 8 of its side
  T_PASSED_FREE = T_PASSED + 8,               // nothing on its way to the last rank
  T_PASSED_SAFE = T_PASSED_FREE + 8,          // the square ahead not attacked
  T_PASSED_BLOCKED = T_PASSED_SAFE + 8,       // a piece on the square ahead
  T_PASSED_OWN_KING = T_PASSED_BLOCKED + 8,   // own king's distance to the square ahead, per rank step
  T_PASSED_ENEMY_KING = T_PASSED_OWN_KING + 8,  // the enemy king's, likewise
  T_UNSTOPPABLE = T_PASSED_ENEMY_KING + 8,    // no pieces to stop it, the king outside its square
  T_ISOLATED = T_UNSTOPPABLE + 1,
  T_DOUBLED = T_ISOLATED + 1,                 // a pawn with another of its side ahead on its file
  T_BACKWARD = T_DOUBLED + 1,
  T_SUPPORTED = T_BACKWARD + 1,               // defended by a pawn, by rank
  T_PHALANX = T_SUPPORTED + 8,                // a pawn of its side beside it, by rank
  T_KING_DANGER = T_PHALANX + 8,              // by the attack units on the enemy king's zone
  T_SHIELD = T_KING_DANGER + 48,              // nearest own pawn ahead on a king file: none, 1 .. 6 ranks
  T_STORM = T_SHIELD + 7,                     // nearest enemy pawn ahead on a king file, likewise
  T_KING_OPEN_FILE = T_STORM + 7,             // no own pawn on the king's file
  T_THREAT_BY_PAWN = T_KING_OPEN_FILE + 1,    // by victim: knight, bishop, rook, queen
  T_THREAT_BY_MINOR = T_THREAT_BY_PAWN + 4,   // by victim: pawn .. queen
  T_THREAT_BY_ROOK = T_THREAT_BY_MINOR + 5,   // by victim: pawn .. queen
  T_HANGING = T_THREAT_BY_ROOK + 5,           // attacked and not defended
  T_ROOK_OPEN = T_HANGING + 1,
  T_ROOK_SEMI_OPEN = T_ROOK_OPEN + 1,
  T_ROOK_SEVENTH = T_ROOK_SEMI_OPEN + 1,
  T_BISHOP_PAIR = T_ROOK_SEVENTH + 1,
  T_BISHOP_PAWNS = T_BISHOP_PAIR + 1,         // per own pawn on the bishop's square colour
  T_KNIGHT_OUTPOST = T_BISHOP_PAWNS + 1,
  T_BISHOP_OUTPOST = T_KNIGHT_OUTPOST + 1,
  T_MINOR_BEHIND_PAWN = T_BISHOP_OUTPOST + 1,
  T_TEMPO = T_MINOR_BEHIND_PAWN + 1,
  TERM_COUNT = T_TEMPO + 1
};

extern const TermValue MODERN_WEIGHTS[TERM_COUNT];

// A group's name and extent, for the tuner's output.
struct TermGroup {
  const char* name;
  int first;
  int count;
};
extern const TermGroup TERM_GROUPS[];
extern const int TERM_GROUP_COUNT;

// Game phase: 24 with every piece on the board, 0 with none.
constexpr int MODERN_PHASE_MAX = 24;
// The endgame part is scaled by scale / 64.
constexpr int MODERN_SCALE_NORMAL = 64;

// How one evaluation came about, for the tuner: each term's count for White
// and for Black, the phase, the endgame scale and what lies outside the
// table. The score is then (in White's view, before the side to move)
//   mg = sum (white - black) * weight.mg, eg likewise,
//   (mg * phase + eg * scale / 64 * (24 - phase)) / 24 + fixed.
struct ModernTrace {
  int16_t count[TERM_COUNT][2] = {};  // [term][0 Black, 1 White]
  int32_t phase = 0;
  int32_t scale = MODERN_SCALE_NORMAL;
  int32_t fixed = 0;  // White's view: the mating drive of bare-king endings
  bool drawn = false;  // known drawn: the score is 0 whatever the weights
};
