#include "eval/evaluate.h"

#include "position/colour_traits.h"

namespace {

constexpr bool two_or_more(Bitboard b) { return b != 0 && (b & (b - 1)) != 0; }

// Piece-combination bonuses of one colour.
template <Colour Us>
int32_t combination_bonus(const Position& pos) {
  using W = EvalWeights;
  const Bitboard* p = pos.piece_bb;
  const Bitboard knights = p[own_index<Us>(KNIGHT)], bishops = p[own_index<Us>(BISHOP)];
  const Bitboard rooks = p[own_index<Us>(ROOK)], queens = p[own_index<Us>(QUEEN)];
  int32_t bonus = 0;
  if ((bishops & ODD_FILE_SQUARES) && (bishops & EVEN_FILE_SQUARES)) bonus += W::bishop_pair_bonus;
  if (two_or_more(knights)) bonus += W::knight_pair_bonus;
  if (two_or_more(rooks)) bonus += W::rook_pair_bonus;
  if (knights && queens) bonus += W::knight_queen_bonus;
  if (bishops && queens) bonus += W::bishop_queen_bonus;
  if (rooks && bishops) bonus += W::rook_bishop_bonus;
  if (rooks && queens) bonus += W::rook_queen_bonus;
  return bonus;
}

// A right given up without castling costs; having castled earns more than
// both rights were worth.
template <Colour Us>
constexpr int32_t castling_term(unsigned flags) {
  using T = ColourTraits<Us>;
  using W = EvalWeights;
  int32_t term = 0;
  if (!(flags & T::RIGHT_K)) term -= W::lost_short_castle_penalty;
  if (!(flags & T::RIGHT_Q)) term -= W::lost_long_castle_penalty;
  if (flags & T::MARK_K) term += W::castled_short_bonus;
  if (flags & T::MARK_Q) term += W::castled_long_bonus;
  return term;
}

// White's castling terms less Black's, for every value of the flags.
struct CastlingTable {
  int32_t white_less_black[256];
};

constexpr CastlingTable make_castling_table() {
  CastlingTable t{};
  for (unsigned flags = 0; flags < 256; ++flags)
    t.white_less_black[flags] = castling_term<White>(flags) - castling_term<Black>(flags);
  return t;
}

constexpr CastlingTable CASTLING = make_castling_table();

}  // namespace

int32_t evaluate(const Position& pos) {
  const int32_t white = pos.pst_white + combination_bonus<White>(pos) +
                        CASTLING.white_less_black[pos.castle_flags & 0xFF];
  const int32_t black = pos.pst_black + combination_bonus<Black>(pos);
  if (pos.side_to_move == 1) return white - black;
  if (pos.side_to_move == 0) return black - white;
  return 0;
}
