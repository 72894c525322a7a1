// What differs between White and Black, as one table per colour, so that the
// colour-specific code is written once as a template on the colour.
#pragma once

#include "position/attacks.h"
#include "position/position.h"
#include "position/types.h"

template <Colour Us>
struct ColourTraits;

template <>
struct ColourTraits<White> {
  static constexpr Colour Them = Black;
  static constexpr int UP = -8;  // a white pawn advances towards row 0
  static constexpr unsigned PAWN_CODE = W_PAWN, ROOK_CODE = W_ROOK, KING_CODE = W_KING;
  static constexpr unsigned QUEEN_CODE = W_QUEEN;
  static constexpr unsigned UNDER_PROMOTIONS[3] = {W_ROOK, W_KNIGHT, W_BISHOP};
  static constexpr unsigned ENEMY_PAWN = B_PAWN, ENEMY_ROOK = B_ROOK;
  static constexpr Bitboard PROMOTION_FROM = RANK_7_BB;  // pawns that promote by one step
  static constexpr Bitboard DOUBLE_FROM = RANK_2_BB;
  static constexpr unsigned RIGHT_K = CASTLE_WK, RIGHT_Q = CASTLE_WQ;
  static constexpr unsigned MARK_K = CASTLED_WK, MARK_Q = CASTLED_WQ;
  static constexpr Square KING_HOME = SQ_E1, ROOK_HOME_K = SQ_H1, ROOK_HOME_Q = SQ_A1;
  static constexpr Square KING_TO_K = SQ_G1, KING_TO_Q = SQ_C1;
  static constexpr Square ROOK_TO_K = SQ_F1, ROOK_TO_Q = SQ_D1;
  static constexpr Square PASS_K = SQ_F1, PASS_Q = SQ_D1;
  static constexpr Square ENEMY_ROOK_HOME_K = SQ_H8, ENEMY_ROOK_HOME_Q = SQ_A8;
  static constexpr unsigned ENEMY_RIGHT_K = CASTLE_BK, ENEMY_RIGHT_Q = CASTLE_BQ;
  static constexpr int PATH_K = 3, PATH_Q = 2;  // castle_path entries
  static constexpr Move CASTLE_K = CASTLE_WHITE_KING, CASTLE_Q = CASTLE_WHITE_QUEEN;
  static constexpr int OWN = 0, ENEMY = 1;       // offsets into piece_bb

  static const Bitboard* pawn_attacks() { return pawn_attacks_white; }
  // The squares from which one of our pawns attacks a square.
  static const Bitboard* pawn_attackers() { return pawn_attacks_black; }
  static const Bitboard* pawn_push() { return pawn_push_white; }
  static const Bitboard* pawn_double() { return pawn_double_white; }
  static Bitboard own(const Position& p) { return p.occ_white; }
  static Bitboard enemy(const Position& p) { return p.occ_black; }
  static Bitboard& own(Position& p) { return p.occ_white; }
  static Bitboard& enemy(Position& p) { return p.occ_black; }
  static int32_t& own_sum(Position& p) { return p.pst_white; }
  static int32_t& enemy_sum(Position& p) { return p.pst_black; }
  static unsigned enemy_attacks(const Position& p, Square sq) { return attacked_by_black(p, sq); }
  // keep drops a captured piece from the enemy sets, the king's too: a set-up
  // may leave a king to be taken, and a taken king attacks nothing.
  static unsigned king_safe(Bitboard occ, const Bitboard* e, Bitboard keep, Square ksq) {
    return king_safe_vs_black(occ, e[1] & keep, e[3] & keep, e[5] & keep, e[7] & keep,
                              e[9] & keep, e[11] & keep, ksq);
  }
};

template <>
struct ColourTraits<Black> {
  static constexpr Colour Them = White;
  static constexpr int UP = 8;
  static constexpr unsigned PAWN_CODE = B_PAWN, ROOK_CODE = B_ROOK, KING_CODE = B_KING;
  static constexpr unsigned QUEEN_CODE = B_QUEEN;
  static constexpr unsigned UNDER_PROMOTIONS[3] = {B_ROOK, B_KNIGHT, B_BISHOP};
  static constexpr unsigned ENEMY_PAWN = W_PAWN, ENEMY_ROOK = W_ROOK;
  static constexpr Bitboard PROMOTION_FROM = RANK_2_BB;
  static constexpr Bitboard DOUBLE_FROM = RANK_7_BB;
  static constexpr unsigned RIGHT_K = CASTLE_BK, RIGHT_Q = CASTLE_BQ;
  static constexpr unsigned MARK_K = CASTLED_BK, MARK_Q = CASTLED_BQ;
  static constexpr Square KING_HOME = SQ_E8, ROOK_HOME_K = SQ_H8, ROOK_HOME_Q = SQ_A8;
  static constexpr Square KING_TO_K = SQ_G8, KING_TO_Q = SQ_C8;
  static constexpr Square ROOK_TO_K = SQ_F8, ROOK_TO_Q = SQ_D8;
  static constexpr Square PASS_K = SQ_F8, PASS_Q = SQ_D8;
  static constexpr Square ENEMY_ROOK_HOME_K = SQ_H1, ENEMY_ROOK_HOME_Q = SQ_A1;
  static constexpr unsigned ENEMY_RIGHT_K = CASTLE_WK, ENEMY_RIGHT_Q = CASTLE_WQ;
  static constexpr int PATH_K = 1, PATH_Q = 0;
  static constexpr Move CASTLE_K = CASTLE_BLACK_KING, CASTLE_Q = CASTLE_BLACK_QUEEN;
  static constexpr int OWN = 1, ENEMY = 0;

  static const Bitboard* pawn_attacks() { return pawn_attacks_black; }
  static const Bitboard* pawn_attackers() { return pawn_attacks_white; }
  static const Bitboard* pawn_push() { return pawn_push_black; }
  static const Bitboard* pawn_double() { return pawn_double_black; }
  static Bitboard own(const Position& p) { return p.occ_black; }
  static Bitboard enemy(const Position& p) { return p.occ_white; }
  static Bitboard& own(Position& p) { return p.occ_black; }
  static Bitboard& enemy(Position& p) { return p.occ_white; }
  static int32_t& own_sum(Position& p) { return p.pst_black; }
  static int32_t& enemy_sum(Position& p) { return p.pst_white; }
  static unsigned enemy_attacks(const Position& p, Square sq) { return attacked_by_white(p, sq); }
  static unsigned king_safe(Bitboard occ, const Bitboard* e, Bitboard keep, Square ksq) {
    return king_safe_vs_white(occ, e[0] & keep, e[2] & keep, e[4] & keep, e[6] & keep,
                              e[8] & keep, e[10] & keep, ksq);
  }
};

// piece_bb index of one of our kinds: colours interleave, White first.
template <Colour Us>
constexpr int own_index(unsigned kind) {
  return 2 * int(kind - 1) + ColourTraits<Us>::OWN;
}
template <Colour Us>
constexpr int enemy_index(unsigned kind) {
  return 2 * int(kind - 1) + ColourTraits<Us>::ENEMY;
}
