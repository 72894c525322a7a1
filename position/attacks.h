// Board geometry, magic sliding attacks and the attack queries.
#pragma once

#include <array>
#include <vector>

#include "position/position.h"
#include "position/types.h"

extern Bitboard square_mask[64];
extern Bitboard pawn_push_white[64], pawn_double_white[64], pawn_attacks_white[64];
extern Bitboard pawn_push_black[64], pawn_double_black[64], pawn_attacks_black[64];
extern Bitboard knight_attacks[64], king_attacks[64];
extern Bitboard rook_lines[64], bishop_lines[64];
extern Bitboard between_orth[64][64], between_diag[64][64];
// Squares that must be empty: 0 Black queen-side, 1 Black king-side,
// 2 White queen-side, 3 White king-side.
extern Bitboard castle_path[4];

extern Bitboard rook_mask[64], bishop_mask[64];
// Fixed multipliers, one per square, found by tools/kelo-magics.
extern const uint64_t rook_magic[64], bishop_magic[64];
extern unsigned rook_shift[64], bishop_shift[64];
extern Bitboard* rook_table[64];
extern Bitboard* bishop_table[64];

// Fills every fixed table except the sliding attacks.
void init_geometry();
// Fills rook_table and bishop_table; attack queries need it first.
void init_sliding_attacks();

// Slider attacks and relevant masks found by walking the rays, without the
// tables: they fill the tables and check the multipliers.
Bitboard walk_attacks(Square sq, Bitboard occ, bool rook);
Bitboard walk_mask(Square sq, bool rook);
// Every subset of mask, the empty one first.
std::vector<Bitboard> mask_subsets(Bitboard mask);
// Whether the multiplier sends no two subsets of sq's mask with different
// attack sets to the same index.
bool multiplier_fits(Square sq, bool rook, uint64_t multiplier);

inline Bitboard rook_attacks(Square sq, Bitboard occ) {
  return rook_table[sq][((occ & rook_mask[sq]) * rook_magic[sq]) >> rook_shift[sq]];
}
inline Bitboard bishop_attacks(Square sq, Bitboard occ) {
  return bishop_table[sq][((occ & bishop_mask[sq]) * bishop_magic[sq]) >> bishop_shift[sq]];
}
inline Bitboard queen_attacks(Square sq, Bitboard occ) {
  return rook_attacks(sq, occ) | bishop_attacks(sq, occ);
}

// Whether any piece of colour By attacks sq with the position's occupancy;
// made for White and Black in attacks.cpp.
template <Colour By>
unsigned attacked_by(const Position& pos, Square sq);
inline unsigned attacked_by_white(const Position& pos, Square sq) { return attacked_by<White>(pos, sq); }
inline unsigned attacked_by_black(const Position& pos, Square sq) { return attacked_by<Black>(pos, sq); }

// 1 when none of the enemy sets attacks king_sq on a board occupied by occ;
// enemy_pawn_attackers gives, per square, where an enemy pawn attacks it from.
inline unsigned king_safe_from(const Bitboard* enemy_pawn_attackers, Bitboard occ, Bitboard pawns,
                               Bitboard knights, Bitboard bishops, Bitboard rooks,
                               Bitboard queens, Bitboard king, Square king_sq) {
  if ((enemy_pawn_attackers[king_sq] & pawns) || (knight_attacks[king_sq] & knights) ||
      (king_attacks[king_sq] & king))
    return 0;
  // A slider on a shared line attacks the king when nothing stands between.
  for (Bitboard b = bishop_lines[king_sq] & (bishops | queens); b;)
    if (!(between_diag[pop_lowest(b)][king_sq] & occ)) return 0;
  for (Bitboard b = rook_lines[king_sq] & (rooks | queens); b;)
    if (!(between_orth[pop_lowest(b)][king_sq] & occ)) return 0;
  return 1;
}

// The caller passes the sets as they will be after a candidate move.
inline unsigned king_safe_vs_black(Bitboard occ, Bitboard pawns, Bitboard knights,
                                   Bitboard bishops, Bitboard rooks, Bitboard queens,
                                   Bitboard king, Square king_sq) {
  return king_safe_from(pawn_attacks_white, occ, pawns, knights, bishops, rooks, queens, king,
                        king_sq);
}

inline unsigned king_safe_vs_white(Bitboard occ, Bitboard pawns, Bitboard knights,
                                   Bitboard bishops, Bitboard rooks, Bitboard queens,
                                   Bitboard king, Square king_sq) {
  return king_safe_from(pawn_attacks_black, occ, pawns, knights, bishops, rooks, queens, king,
                        king_sq);
}

// Every piece of both colours attacking sq with occupancy occ, within occ.
inline Bitboard attackers_of(const Position& pos, Square sq, Bitboard occ) {
  const Bitboard* p = pos.piece_bb;
  const Bitboard diagonal = p[4] | p[5] | p[8] | p[9];
  const Bitboard straight = p[6] | p[7] | p[8] | p[9];
  Bitboard result = (pawn_attacks_black[sq] & p[0]) | (pawn_attacks_white[sq] & p[1]) |
                    (knight_attacks[sq] & (p[2] | p[3])) | (king_attacks[sq] & (p[10] | p[11]));
  // A slider off every line through sq cannot reach it: skip the lookup.
  if (bishop_lines[sq] & diagonal) result |= bishop_attacks(sq, occ) & diagonal;
  if (rook_lines[sq] & straight) result |= rook_attacks(sq, occ) & straight;
  return result & occ;
}

// Hook for the pawn-structure masks, filled at the end of init_geometry.
void init_pawn_masks();
