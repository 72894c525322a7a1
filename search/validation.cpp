#include "search/validation.h"

#include "position/colour_traits.h"

namespace {

template <Colour Us>
unsigned castling_valid(const Position& pos, Move m) {
  using T = ColourTraits<Us>;
  // The king and the rook must stand at home, whatever the rights say.
  auto may = [&](unsigned right, Square rook_home, int path, Square pass, Square king_to) {
    return (pos.castle_flags & right) && pos.mailbox[T::KING_HOME] == T::KING_CODE &&
           pos.mailbox[rook_home] == T::ROOK_CODE && !(pos.occ_all & castle_path[path]) &&
           !T::enemy_attacks(pos, T::KING_HOME) && !T::enemy_attacks(pos, pass) &&
           !T::enemy_attacks(pos, king_to);
  };
  if (m == T::CASTLE_K) return may(T::RIGHT_K, T::ROOK_HOME_K, T::PATH_K, T::PASS_K, T::KING_TO_K);
  if (m == T::CASTLE_Q) return may(T::RIGHT_Q, T::ROOK_HOME_Q, T::PATH_Q, T::PASS_Q, T::KING_TO_Q);
  return 0;
}

template <Colour Us>
unsigned valid(const Position& pos, Move m) {
  using T = ColourTraits<Us>;
  const Square from = move_from(m), to = move_to(m);
  const unsigned piece = pos.mailbox[from], target = pos.mailbox[to];
  const unsigned kind = kind_of(piece);
  const Bitboard to_bb = square_bb(to);
  const Bitboard own = T::own(pos), enemy = T::enemy(pos);
  if (!(own & square_bb(from)) || (own & to_bb)) return 0;

  Square king_sq = -1;
  const Bitboard kings = pos.piece_bb[own_index<Us>(KING)];
  if (kings) king_sq = lowest_bit(kings);
  Bitboard removed_enemy = to_bb;
  Bitboard occ_after = (pos.occ_all & ~square_bb(from)) | to_bb;

  switch (kind) {
    case PAWN: {
      if (T::pawn_attacks()[from] & to_bb) {
        if (!target) {
          // Onto an empty capture square only en passant.
          if (!(m & MOVE_EN_PASSANT) || Square(pos.ep_square) != to || !pos.ep_square) return 0;
          const Square victim = to - T::UP;
          if (pos.mailbox[victim] != T::ENEMY_PAWN) return 0;
          removed_enemy = square_bb(victim);
          occ_after &= ~removed_enemy;
        }
      } else if (m & MOVE_EN_PASSANT) {
        return 0;  // en passant is always a diagonal step
      } else if (to == from + T::UP) {
        if (target) return 0;
      } else if (to == from + 2 * T::UP) {
        if (!(T::DOUBLE_FROM & square_bb(from)) || !(m & MOVE_DOUBLE_STEP) || target ||
            pos.mailbox[from + T::UP])
          return 0;
      } else {
        return 0;
      }
      if ((m & MOVE_EN_PASSANT) && target) return 0;
      break;
    }
    case KNIGHT:
      if (!(knight_attacks[from] & to_bb)) return 0;
      break;
    case BISHOP:
      if (!(bishop_lines[from] & to_bb) || (between_diag[from][to] & pos.occ_all) ||
          from == to)
        return 0;
      break;
    case ROOK:
      if (!(rook_lines[from] & to_bb) || (between_orth[from][to] & pos.occ_all) || from == to)
        return 0;
      break;
    case QUEEN: {
      const bool diagonal = (bishop_lines[from] & to_bb) && !(between_diag[from][to] & pos.occ_all);
      const bool straight = (rook_lines[from] & to_bb) && !(between_orth[from][to] & pos.occ_all);
      if (from == to || !(diagonal || straight)) return 0;
      break;
    }
    case KING:
      if (m & MOVE_CASTLE) return castling_valid<Us>(pos, m);
      if (!(king_attacks[from] & to_bb)) return 0;
      king_sq = to;
      break;
    default:
      return 0;
  }
  if (target && !(enemy & to_bb)) return 0;
  if (king_sq < 0) return 1;  // no king of ours to leave in check
  return T::king_safe(occ_after, pos.piece_bb, ~removed_enemy, king_sq);
}

}  // namespace

unsigned is_valid_move(const Position& pos, Move m) {
  if (m == 0 || (m & 0xFF800000u)) return 0;
  const Square from = move_from(m), to = move_to(m);
  const unsigned piece = pos.mailbox[from], target = pos.mailbox[to];
  const unsigned captured = move_captured(m), promo = move_promotion(m);
  if (piece == 0) return 0;
  if (target != captured) return 0;
  const unsigned kind = kind_of(piece);
  if ((m & (MOVE_EN_PASSANT | MOVE_DOUBLE_STEP)) && kind != PAWN) return 0;
  if ((m & MOVE_CASTLE) && kind != KING) return 0;
  const bool last_rank_white = to <= 7, last_rank_black = to >= 56;
  if (piece == W_PAWN && last_rank_white && !promo) return 0;
  if (piece == B_PAWN && last_rank_black && !promo) return 0;
  if (promo) {
    const bool white_ok = piece == W_PAWN && last_rank_white && promo >= W_KNIGHT && promo <= W_QUEEN;
    const bool black_ok = piece == B_PAWN && last_rank_black && promo >= B_KNIGHT && promo <= B_QUEEN;
    if (!white_ok && !black_ok) return 0;
  }
  // A castling word carries nothing but the king's move and its flag.
  if ((m & MOVE_CASTLE) && (m & ~(MOVE_CASTLE | 0xFFFu))) return 0;
  if ((m & MOVE_DOUBLE_STEP) && (m & MOVE_EN_PASSANT)) return 0;
  return pos.side_to_move == 1 ? valid<White>(pos, m) : valid<Black>(pos, m);
}
