#include "position/makemove.h"

#include "position/colour_traits.h"

namespace {

const auto& pst = piece_square_table;

inline void lose_right(Position& pos, unsigned right) {
  if (pos.castle_flags & right) {
    pos.hash_key ^= castle_key[lowest_bit(right)];
    pos.castle_flags &= ~right;
  }
}

// Moves a piece between two squares on the boards, mailbox and own sum.
template <Colour Us>
inline void shift_piece(Position& pos, unsigned code, Square from, Square to) {
  using T = ColourTraits<Us>;
  const Bitboard both = square_bb(from) | square_bb(to);
  pos.bb(code) ^= both;
  T::own(pos) ^= both;
  pos.mailbox[from] = 0;
  pos.mailbox[to] = code;
  T::own_sum(pos) += pst[code][to] - pst[code][from];
}

template <Colour Us>
void make(Position& pos, Move m) {
  using T = ColourTraits<Us>;
  const Square from = move_from(m), to = move_to(m);
  const unsigned piece = pos.mailbox[from];
  const unsigned victim = pos.mailbox[to];

  pos.hash_key ^= piece_key[piece][from] ^ piece_key[piece][to];
  if (piece == T::PAWN_CODE) {
    pos.fifty_count = 0;
    if (m & MOVE_DOUBLE_STEP) {
      pos.ep_square = to - T::UP;
      pos.hash_key ^= ep_key(pos.ep_square);
    }
  } else if (piece == T::ROOK_CODE) {
    if (from == T::ROOK_HOME_Q) lose_right(pos, T::RIGHT_Q);
    if (from == T::ROOK_HOME_K) lose_right(pos, T::RIGHT_K);
  } else if (piece == T::KING_CODE) {
    lose_right(pos, T::RIGHT_K);
    lose_right(pos, T::RIGHT_Q);
  }
  shift_piece<Us>(pos, piece, from, to);

  if (victim) {
    pos.fifty_count = 0;
    T::enemy_sum(pos) -= pst[victim][to];
    pos.hash_key ^= piece_key[victim][to];
    pos.bb(victim) &= ~square_bb(to);
    T::enemy(pos) &= ~square_bb(to);
    if (victim == T::ENEMY_ROOK) {
      if (to == T::ENEMY_ROOK_HOME_Q) lose_right(pos, T::ENEMY_RIGHT_Q);
      if (to == T::ENEMY_ROOK_HOME_K) lose_right(pos, T::ENEMY_RIGHT_K);
    }
  }

  if (m & MOVE_SPECIAL_MASK) {
    if (unsigned promo = move_promotion(m)) {
      T::own_sum(pos) += pst[promo][to] - pst[T::PAWN_CODE][to];
      pos.hash_key ^= piece_key[promo][to] ^ piece_key[T::PAWN_CODE][to];
      pos.bb(promo) |= square_bb(to);
      pos.bb(T::PAWN_CODE) &= ~square_bb(to);
      pos.mailbox[to] = promo;
    } else if (m & MOVE_EN_PASSANT) {
      const Square taken = to - T::UP;
      pos.bb(T::ENEMY_PAWN) &= ~square_bb(taken);
      T::enemy(pos) &= ~square_bb(taken);
      T::enemy_sum(pos) -= pst[T::ENEMY_PAWN][taken];
      pos.hash_key ^= piece_key[T::ENEMY_PAWN][taken];
      pos.mailbox[taken] = 0;
    } else if (m & MOVE_CASTLE) {
      // The king has moved already; the rook follows, and the castled mark
      // rewards it in the evaluation.
      if (to == T::KING_TO_K) {
        pos.hash_key ^= piece_key[T::ROOK_CODE][T::ROOK_TO_K] ^ piece_key[T::ROOK_CODE][T::ROOK_HOME_K];
        shift_piece<Us>(pos, T::ROOK_CODE, T::ROOK_HOME_K, T::ROOK_TO_K);
        pos.castle_flags ^= T::MARK_K;
      } else if (to == T::KING_TO_Q) {
        pos.hash_key ^= piece_key[T::ROOK_CODE][T::ROOK_TO_Q] ^ piece_key[T::ROOK_CODE][T::ROOK_HOME_Q];
        shift_piece<Us>(pos, T::ROOK_CODE, T::ROOK_HOME_Q, T::ROOK_TO_Q);
        pos.castle_flags ^= T::MARK_Q;
      }
    }
  }
  pos.occ_all = pos.occ_white | pos.occ_black;
  pos.side_to_move = T::Them;
}

// Takes back a move of side Us (the side not to move now).
template <Colour Us>
void unmake(Position& pos, Move m) {
  using T = ColourTraits<Us>;
  const Square from = move_from(m), to = move_to(m);
  const unsigned piece = pos.mailbox[to];

  shift_piece<Us>(pos, piece, to, from);
  if (unsigned victim = move_captured(m)) {
    ColourTraits<T::Them>::own_sum(pos) += pst[victim][to];
    pos.bb(victim) |= square_bb(to);
    T::enemy(pos) |= square_bb(to);
    pos.mailbox[to] = victim;
  }
  if (m & MOVE_SPECIAL_MASK) {
    if (move_promotion(m)) {
      pos.bb(piece) &= ~square_bb(from);
      pos.bb(T::PAWN_CODE) |= square_bb(from);
      pos.mailbox[from] = T::PAWN_CODE;
      T::own_sum(pos) += pst[T::PAWN_CODE][from] - pst[piece][from];
    } else if (m & MOVE_EN_PASSANT) {
      const Square taken = to - T::UP;
      pos.bb(T::ENEMY_PAWN) |= square_bb(taken);
      T::enemy(pos) |= square_bb(taken);
      pos.mailbox[taken] = T::ENEMY_PAWN;
      T::enemy_sum(pos) += pst[T::ENEMY_PAWN][taken];
    } else if (m & MOVE_CASTLE) {
      if (to == T::KING_TO_K) shift_piece<Us>(pos, T::ROOK_CODE, T::ROOK_TO_K, T::ROOK_HOME_K);
      else if (to == T::KING_TO_Q) shift_piece<Us>(pos, T::ROOK_CODE, T::ROOK_TO_Q, T::ROOK_HOME_Q);
    }
  }
  pos.occ_all = pos.occ_white | pos.occ_black;
  pos.side_to_move = Us;
}

}  // namespace

void make_move(Position& pos, Move m) {
  ++pos.node_count;
  pos.history.push(m, pos.castle_flags, pos.ep_square);
  ++pos.fifty_count;
  pos.hash_key ^= ep_key(pos.ep_square);
  pos.ep_square = 0;
  if (pos.side_to_move == 1)
    make<White>(pos, m);
  else
    make<Black>(pos, m);
  pos.history.set_current(pos.hash_key, pos.fifty_count);
}

void make_listed(Position& pos, int i) { make_move(pos, pos.move_stack.at(i)); }

void unmake_move(Position& pos) {
  pos.history.pop();
  const HistoryEntry& e = pos.history[pos.history.count];
  if (pos.side_to_move == 1)
    unmake<Black>(pos, e.move);
  else
    unmake<White>(pos, e.move);
  pos.castle_flags = e.castle_flags;
  pos.ep_square = e.ep_square;
  pos.fifty_count = e.fifty_count;
  pos.hash_key = e.hash_key;
}

int32_t repetition_count(const Position& pos) {
  int i = pos.history.count - 2;
  if (i <= 1) return 1;
  int32_t n = 1;
  for (;;) {
    if (pos.history[i].hash_key == pos.hash_key) ++n;
    if (pos.history[i].fifty_count == 0) return n;
    if (n == 3) return 3;
    i -= 2;
    if (i <= 1) return n;
  }
}
