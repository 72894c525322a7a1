// Making and unmaking with the side fixed at compile time: make_move and
// unmake_move dispatch to these, and perft, which knows the side of every
// level, calls them directly.
#pragma once

#include <array>
#include <cstdint>

#include "position/colour_traits.h"
#include "position/position.h"

// Moves a piece between two squares on the boards and mailbox. Both squares
// flip in occ_all, so a capture sets its target there again.
template <Colour Us>
inline void move_piece(Position& pos, unsigned code, Square from, Square to) {
  using T = ColourTraits<Us>;
  const Bitboard both = square_bb(from) | square_bb(to);
  pos.bb(code) ^= both;
  T::own(pos) ^= both;
  pos.occ_all ^= both;
  pos.mailbox[from] = 0;
  pos.mailbox[to] = code;
}

// move_piece, and the own sum follows.
template <Colour Us>
inline void shift_piece(Position& pos, unsigned code, Square from, Square to) {
  move_piece<Us>(pos, code, from, to);
  ColourTraits<Us>::own_sum(pos) += piece_square_table[code][to] - piece_square_table[code][from];
}

// Castling in a Chess960 game: the word is the king's move onto its own
// rook. Both pieces leave before either lands, since each may land where the
// other stood; the king's move gives up both rights of its side. Out of line,
// as it is rare: the common moves' code stays small.
template <Colour Us, bool CountNode>
[[gnu::noinline]] void make_castling_960(Position& pos, Move m) {
  using T = ColourTraits<Us>;
  if (CountNode) ++pos.node_count;
  const Square king_from = move_from(m), rook_from = move_to(m);
  const bool king_side = rook_from > king_from;
  const int r = (Us == White ? 0 : 2) + (king_side ? 0 : 1);
  const Square king_to = castle_king_target(r), rook_to = castle_rook_target(r);
  uint32_t castle = pos.castle_flags;
  HistoryEntry* const e = pos.history.push_entry(m, castle, pos.ep_square);
  e->pst_white = pos.pst_white;
  e->pst_black = pos.pst_black;

  const Bitboard lifted = square_bb(king_from) | square_bb(rook_from);
  const Bitboard placed = square_bb(king_to) | square_bb(rook_to);
  // Either piece may end where it started.
  pos.bb(T::KING_CODE) = (pos.bb(T::KING_CODE) & ~square_bb(king_from)) | square_bb(king_to);
  pos.bb(T::ROOK_CODE) = (pos.bb(T::ROOK_CODE) & ~square_bb(rook_from)) | square_bb(rook_to);
  T::own(pos) = (T::own(pos) & ~lifted) | placed;
  pos.occ_all = (pos.occ_all & ~lifted) | placed;
  pos.mailbox[king_from] = pos.mailbox[rook_from] = 0;
  pos.mailbox[king_to] = T::KING_CODE;
  pos.mailbox[rook_to] = T::ROOK_CODE;
  T::own_sum(pos) += piece_square_table[T::KING_CODE][king_to] -
                     piece_square_table[T::KING_CODE][king_from] +
                     piece_square_table[T::ROOK_CODE][rook_to] -
                     piece_square_table[T::ROOK_CODE][rook_from];

  const uint32_t lost = castle & (T::RIGHT_K | T::RIGHT_Q);
  uint64_t key = pos.hash_key ^ ep_key(pos.ep_square) ^ pos.castling.keys_of[lost] ^
                 piece_key[T::KING_CODE][king_from] ^ piece_key[T::KING_CODE][king_to] ^
                 piece_key[T::ROOK_CODE][rook_from] ^ piece_key[T::ROOK_CODE][rook_to];
  castle ^= lost | (king_side ? T::MARK_K : T::MARK_Q);
  const uint32_t fifty = pos.fifty_count + 1;
  pos.side_to_move = T::Them;
  pos.castle_flags = castle;
  pos.ep_square = 0;
  pos.fifty_count = fifty;
  pos.hash_key = key;
  e[1].hash_key = key;  // set_current
  e[1].fifty_count = fifty;
}

// make_move for side Us to move. The key, rights, target and counter are
// worked on in locals and stored once.
//
// CountNode false leaves node_count to the caller, which adds a whole list's
// moves at once (perft's last ply).
template <Colour Us, bool CountNode = true>
[[gnu::always_inline]] inline void make_move_as(Position& pos, Move m) {
  using T = ColourTraits<Us>;
  if ((m & MOVE_CASTLE) && pos.castling.chess960) [[unlikely]] {
    make_castling_960<Us, CountNode>(pos, m);
    return;
  }
  if (CountNode) ++pos.node_count;
  const Square from = move_from(m), to = move_to(m);
  const unsigned piece = pos.mailbox[from];
  const unsigned victim = pos.mailbox[to];
  uint32_t castle = pos.castle_flags;
  const uint32_t old_ep = pos.ep_square;

  HistoryEntry* const e = pos.history.push_entry(m, castle, old_ep);
  e->pst_white = pos.pst_white;
  e->pst_black = pos.pst_black;

  uint64_t key = pos.hash_key ^ ep_key(old_ep) ^ piece_key[piece][from] ^ piece_key[piece][to];
  uint32_t fifty = pos.fifty_count + 1;
  uint32_t ep = 0;
  if (piece == T::PAWN_CODE) {
    fifty = 0;
    if (m & MOVE_DOUBLE_STEP) {
      ep = to - T::UP;
      key ^= ep_key(ep);
    }
  }
  uint32_t lost = pos.castling.right_loss[piece][from];
  shift_piece<Us>(pos, piece, from, to);

  if (victim) {
    fifty = 0;
    lost |= pos.castling.capture_loss[victim][to];
    T::enemy_sum(pos) -= piece_square_table[victim][to];
    key ^= piece_key[victim][to];
    pos.bb(victim) &= ~square_bb(to);
    T::enemy(pos) &= ~square_bb(to);
    pos.occ_all |= square_bb(to);
  }

  lost &= castle;
  castle ^= lost;
  key ^= pos.castling.keys_of[lost];

  if (m & MOVE_SPECIAL_MASK) {
    if (unsigned promo = move_promotion(m)) {
      T::own_sum(pos) += piece_square_table[promo][to] - piece_square_table[T::PAWN_CODE][to];
      key ^= piece_key[promo][to] ^ piece_key[T::PAWN_CODE][to];
      pos.bb(promo) |= square_bb(to);
      pos.bb(T::PAWN_CODE) &= ~square_bb(to);
      pos.mailbox[to] = promo;
    } else if (m & MOVE_EN_PASSANT) {
      const Square taken = to - T::UP;
      pos.bb(T::ENEMY_PAWN) &= ~square_bb(taken);
      T::enemy(pos) &= ~square_bb(taken);
      pos.occ_all &= ~square_bb(taken);
      T::enemy_sum(pos) -= piece_square_table[T::ENEMY_PAWN][taken];
      key ^= piece_key[T::ENEMY_PAWN][taken];
      pos.mailbox[taken] = 0;
    } else if (m & MOVE_CASTLE) {
      // The king has moved already; the rook follows, and the castled mark
      // rewards it in the evaluation.
      if (to == T::KING_TO_K) {
        key ^= piece_key[T::ROOK_CODE][T::ROOK_TO_K] ^ piece_key[T::ROOK_CODE][T::ROOK_HOME_K];
        shift_piece<Us>(pos, T::ROOK_CODE, T::ROOK_HOME_K, T::ROOK_TO_K);
        castle ^= T::MARK_K;
      } else if (to == T::KING_TO_Q) {
        key ^= piece_key[T::ROOK_CODE][T::ROOK_TO_Q] ^ piece_key[T::ROOK_CODE][T::ROOK_HOME_Q];
        shift_piece<Us>(pos, T::ROOK_CODE, T::ROOK_HOME_Q, T::ROOK_TO_Q);
        castle ^= T::MARK_Q;
      }
    }
  }
  pos.side_to_move = T::Them;
  pos.castle_flags = castle;
  pos.ep_square = ep;
  pos.fifty_count = fifty;
  pos.hash_key = key;
  e[1].hash_key = key;  // set_current
  e[1].fifty_count = fifty;
}

// Takes back a Chess960 castling of side Us: both pieces leave their
// targets before either goes home.
template <Colour Us>
[[gnu::noinline]] void unmake_castling_960(Position& pos, Square king_from, Square rook_from) {
  using T = ColourTraits<Us>;
  const int r = (Us == White ? 0 : 2) + (rook_from > king_from ? 0 : 1);
  const Square king_to = castle_king_target(r), rook_to = castle_rook_target(r);
  const Bitboard home = square_bb(king_from) | square_bb(rook_from);
  const Bitboard placed = square_bb(king_to) | square_bb(rook_to);
  pos.bb(T::KING_CODE) = (pos.bb(T::KING_CODE) & ~square_bb(king_to)) | square_bb(king_from);
  pos.bb(T::ROOK_CODE) = (pos.bb(T::ROOK_CODE) & ~square_bb(rook_to)) | square_bb(rook_from);
  T::own(pos) = (T::own(pos) & ~placed) | home;
  pos.occ_all = (pos.occ_all & ~placed) | home;
  pos.mailbox[king_to] = pos.mailbox[rook_to] = 0;
  pos.mailbox[king_from] = T::KING_CODE;
  pos.mailbox[rook_from] = T::ROOK_CODE;
}

// unmake_move of a move of side Us (the side not to move now).
template <Colour Us>
[[gnu::always_inline]] inline void unmake_move_as(Position& pos) {
  using T = ColourTraits<Us>;
  pos.history.pop();
  const HistoryEntry& e = pos.history[pos.history.count];
  const Move m = e.move;
  const Square from = move_from(m), to = move_to(m);
  const unsigned piece = pos.mailbox[to];

  if ((m & MOVE_CASTLE) && pos.castling.chess960) [[unlikely]] {
    unmake_castling_960<Us>(pos, from, to);
  } else {
    move_piece<Us>(pos, piece, to, from);
    if (unsigned victim = move_captured(m)) {
      pos.bb(victim) |= square_bb(to);
      T::enemy(pos) |= square_bb(to);
      pos.occ_all |= square_bb(to);
      pos.mailbox[to] = victim;
    }
    if (m & MOVE_SPECIAL_MASK) {
      if (move_promotion(m)) {
        pos.bb(piece) &= ~square_bb(from);
        pos.bb(T::PAWN_CODE) |= square_bb(from);
        pos.mailbox[from] = T::PAWN_CODE;
      } else if (m & MOVE_EN_PASSANT) {
        const Square taken = to - T::UP;
        pos.bb(T::ENEMY_PAWN) |= square_bb(taken);
        T::enemy(pos) |= square_bb(taken);
        pos.occ_all |= square_bb(taken);
        pos.mailbox[taken] = T::ENEMY_PAWN;
      } else if (m & MOVE_CASTLE) {
        if (to == T::KING_TO_K) move_piece<Us>(pos, T::ROOK_CODE, T::ROOK_TO_K, T::ROOK_HOME_K);
        else if (to == T::KING_TO_Q) move_piece<Us>(pos, T::ROOK_CODE, T::ROOK_TO_Q, T::ROOK_HOME_Q);
      }
    }
  }
  pos.side_to_move = Us;
  pos.castle_flags = e.castle_flags;
  pos.ep_square = e.ep_square;
  pos.fifty_count = e.fifty_count;
  pos.hash_key = e.hash_key;
  pos.pst_white = e.pst_white;
  pos.pst_black = e.pst_black;
}
