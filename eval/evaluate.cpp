#include "eval/evaluate.h"

namespace {

using W = EvalWeights;

// Piece-combination bonuses of one colour; own = 0 White, 1 Black.
int32_t combinations(const Position& pos, int own) {
  const Bitboard knights = pos.piece_bb[2 + own], bishops = pos.piece_bb[4 + own];
  const Bitboard rooks = pos.piece_bb[6 + own], queens = pos.piece_bb[8 + own];
  int32_t s = 0;
  if ((bishops & ODD_FILE_SQUARES) && (bishops & EVEN_FILE_SQUARES)) s += W::bishop_pair_bonus;
  if (more_than_one(knights)) s += W::knight_pair_bonus;
  if (more_than_one(rooks)) s += W::rook_pair_bonus;
  if (knights && queens) s += W::knight_queen_bonus;
  if (bishops && queens) s += W::bishop_queen_bonus;
  if (rooks && bishops) s += W::rook_bishop_bonus;
  if (rooks && queens) s += W::rook_queen_bonus;
  return s;
}

// Castling terms from the colour's two rights and two castled marks.
int32_t castling(uint32_t flags, uint32_t short_right, uint32_t long_right, uint32_t castled_short,
                 uint32_t castled_long) {
  int32_t s = 0;
  if (!(flags & short_right)) s -= W::lost_short_castle_penalty;
  if (!(flags & long_right)) s -= W::lost_long_castle_penalty;
  if (flags & castled_short) s += W::castled_short_bonus;
  if (flags & castled_long) s += W::castled_long_bonus;
  return s;
}

}  // namespace

int32_t evaluate(const Position& pos) {
  const uint32_t f = pos.castle_flags;
  const int32_t white = pos.pst_white + combinations(pos, 0) +
                        castling(f, CASTLE_WK, CASTLE_WQ, CASTLED_WK, CASTLED_WQ);
  const int32_t black = pos.pst_black + combinations(pos, 1) +
                        castling(f, CASTLE_BK, CASTLE_BQ, CASTLED_BK, CASTLED_BQ);
  if (pos.side_to_move == 1) return white - black;
  if (pos.side_to_move == 0) return black - white;
  return 0;
}
