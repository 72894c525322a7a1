#include "search/validation.h"

#include "position/colour_traits.h"
#include "position/movegen.h"

namespace {

// Bits beyond the castle flag are never part of a move word.
constexpr Move MOVE_WORD_BITS = 0x7FFFFF;

template <Colour Us>
unsigned castling_valid(const Position& pos, Move m) {
  using T = ColourTraits<Us>;
  const unsigned f = pos.castle_flags;
  // A right kept by an odd set-up must not move a king or rook that is absent;
  // of several kings only the one the generator guards castles.
  if (pos.mailbox[T::KING_HOME] != T::KING_CODE) return 0;
  if (lowest_bit(pos.piece_bb[own_index<Us>(KING)]) != T::KING_HOME) return 0;
  if (m == T::CASTLE_K)
    return (f & T::RIGHT_K) && pos.mailbox[T::ROOK_HOME_K] == T::ROOK_CODE &&
           !(pos.occ_all & castle_path[T::PATH_K]) && !T::enemy_attacks(pos, T::KING_HOME) &&
           !T::enemy_attacks(pos, T::PASS_K) && !T::enemy_attacks(pos, T::KING_TO_K);
  if (m == T::CASTLE_Q)
    return (f & T::RIGHT_Q) && pos.mailbox[T::ROOK_HOME_Q] == T::ROOK_CODE &&
           !(pos.occ_all & castle_path[T::PATH_Q]) && !T::enemy_attacks(pos, T::KING_HOME) &&
           !T::enemy_attacks(pos, T::PASS_Q) && !T::enemy_attacks(pos, T::KING_TO_Q);
  return 0;
}

template <Colour Us>
unsigned valid_for(const Position& pos, Move m) {
  using T = ColourTraits<Us>;
  const Square from = move_from(m), to = move_to(m);
  const unsigned piece = pos.mailbox[from], target = pos.mailbox[to];
  const unsigned promotion = move_promotion(m);
  const Bitboard to_bb = square_bb(to);
  const Bitboard own = T::own(pos);

  if (!(own & square_bb(from)) || (own & to_bb)) return 0;
  const unsigned kind = kind_of(piece);
  // Only pawns promote, only on the last rank, always, to a piece of their own colour.
  const bool last_rank = Us == White ? to <= 7 : to >= 56;
  if (kind == PAWN && last_rank) {
    if (promotion < T::PAWN_CODE + 1 || promotion > T::QUEEN_CODE) return 0;
  } else if (promotion) {
    return 0;
  }
  // Each flag is carried by exactly its own kind of move.
  const bool ep = m & MOVE_EN_PASSANT, double_step = m & MOVE_DOUBLE_STEP;
  const bool castle = m & MOVE_CASTLE;
  if ((ep || double_step) && kind != PAWN) return 0;
  if (castle && kind != KING) return 0;

  Bitboard removed = to_bb;  // the enemy piece, if any, that leaves the board
  Bitboard occ_after = (pos.occ_all & ~square_bb(from)) | to_bb;
  const Bitboard kings = pos.piece_bb[own_index<Us>(KING)];
  Square king_sq = kings ? lowest_bit(kings) : -1;

  switch (kind) {
    case PAWN:
      if (!(T::pawn_attacks()[from] & to_bb)) {
        if (ep) return 0;
        if (T::pawn_push()[from] & to_bb) {
          if (target || double_step) return 0;
        } else if (T::pawn_double()[from] & to_bb) {
          if (target || !double_step || (T::pawn_push()[from] & pos.occ_all)) return 0;
        } else {
          return 0;
        }
      } else if (double_step) {
        return 0;
      } else if (!target) {
        // An empty capture square is en passant: the pawn that passed over
        // it leaves the board too, which can open the king's rank.
        const Square victim = to - T::UP;
        if (!ep || uint32_t(to) != pos.ep_square || pos.mailbox[victim] != T::ENEMY_PAWN)
          return 0;
        removed = square_bb(victim);
        occ_after &= ~removed;
      } else if (ep) {
        return 0;
      }
      break;
    case KNIGHT:
      if (!(knight_attacks[from] & to_bb)) return 0;
      break;
    case BISHOP:
      if (!(bishop_lines[from] & to_bb) || (between_diag[from][to] & pos.occ_all)) return 0;
      break;
    case ROOK:
      if (!(rook_lines[from] & to_bb) || (between_orth[from][to] & pos.occ_all)) return 0;
      break;
    case QUEEN:
      if (!((bishop_lines[from] | rook_lines[from]) & to_bb) ||
          ((between_diag[from][to] | between_orth[from][to]) & pos.occ_all))
        return 0;
      break;
    case KING:
      if (king_attacks[from] & to_bb) {
        if (castle) return 0;
        king_sq = to;
      } else {
        // The castling checks test every square the king crosses.
        return castle && !target ? castling_valid<Us>(pos, m) : 0;
      }
      break;
    default:
      return 0;
  }
  // Without a king there is nothing to expose.
  if (king_sq < 0) return 1;
  return T::king_safe(occ_after, pos.piece_bb, ~removed, king_sq);
}

}  // namespace

unsigned is_valid_move(const Position& pos, Move m) {
  if (m == 0 || (m & ~MOVE_WORD_BITS)) return 0;
  // A Chess960 castling is the king's move onto its own rook.
  if ((m & MOVE_CASTLE) && pos.castling.chess960) return castling_960_legal(pos, m);
  const unsigned piece = pos.mailbox[move_from(m)];
  if (piece == EMPTY) return 0;
  // The captured field names exactly the piece on the target square.
  if (pos.mailbox[move_to(m)] != move_captured(m)) return 0;
  return pos.side_to_move == 1 ? valid_for<White>(pos, m) : valid_for<Black>(pos, m);
}
