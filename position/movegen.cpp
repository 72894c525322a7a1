#include "position/movegen.h"

#include "position/colour_traits.h"

namespace {

// Legality of a candidate: our king may not stand attacked afterwards. The
// occupancy and the enemy sets are passed as the move leaves them; a position
// set up without our king has nothing to protect.
template <Colour Us>
struct Legality {
  const Bitboard* pieces;
  Bitboard occ;  // occupancy before the move
  Square king_sq;
  bool has_king;

  explicit Legality(const Position& pos)
      : pieces(pos.piece_bb),
        occ(pos.occ_all),
        king_sq(pos.piece_bb[own_index<Us>(KING)] ? lowest_bit(pos.piece_bb[own_index<Us>(KING)])
                                                  : 0),
        has_king(pos.piece_bb[own_index<Us>(KING)] != 0) {}

  bool piece_move(Square from, Square to) const {
    if (!has_king) return true;
    Bitboard after = (occ & ~square_bb(from)) | square_bb(to);
    return ColourTraits<Us>::king_safe(after, pieces, ~square_bb(to), king_sq);
  }
  bool king_move(Square from, Square to) const {
    Bitboard after = (occ & ~square_bb(from)) | square_bb(to);
    return ColourTraits<Us>::king_safe(after, pieces, ~square_bb(to), to);
  }
  bool en_passant(Square from, Square to, Square victim) const {
    if (!has_king) return true;
    Bitboard after = (occ & ~square_bb(from) & ~square_bb(victim)) | square_bb(to);
    return ColourTraits<Us>::king_safe(after, pieces, ~square_bb(victim), king_sq);
  }
};

template <Colour Us>
void gen_captures(Position& pos) {
  using T = ColourTraits<Us>;
  const Legality<Us> legal(pos);
  MoveStack& ms = pos.move_stack;
  const Bitboard enemy = T::enemy(pos);
  const Bitboard* p = pos.piece_bb;
  const Bitboard pawns = p[own_index<Us>(PAWN)];
  const Bitboard last_rank = Us == White ? RANK_8_BB : RANK_1_BB;

  for (Bitboard b = pawns; b;) {
    Square from = pop_lowest(b);
    for (Bitboard t = T::pawn_attacks()[from] & enemy; t;) {
      Square to = pop_lowest(t);
      if (!legal.piece_move(from, to)) continue;
      unsigned promo = (square_bb(to) & last_rank) ? T::QUEEN_CODE : 0;
      ms.push(make_move_word(from, to, pos.mailbox[to], promo));
    }
  }
  for (Bitboard b = pawns & T::PROMOTION_FROM; b;) {
    Square from = pop_lowest(b);
    Square to = from + T::UP;
    if (!(pos.occ_all & square_bb(to)) && legal.piece_move(from, to))
      ms.push(make_move_word(from, to, 0, T::QUEEN_CODE));
  }
  // A set-up can name an en-passant square that is occupied; a pawn that
  // really passed over it left it empty.
  if (pos.ep_square && !pos.mailbox[pos.ep_square]) {
    const Square to = Square(pos.ep_square);
    const Square victim = to - T::UP;
    if (pos.mailbox[victim] == T::ENEMY_PAWN)
      for (Bitboard b = T::pawn_attackers()[to] & pawns; b;) {
        Square from = pop_lowest(b);
        if (legal.en_passant(from, to, victim))
          ms.push(make_move_word(from, to, 0, 0, MOVE_EN_PASSANT));
      }
  }
  for (Bitboard b = p[own_index<Us>(KNIGHT)]; b;) {
    Square from = pop_lowest(b);
    for (Bitboard t = knight_attacks[from] & enemy; t;) {
      Square to = pop_lowest(t);
      if (legal.piece_move(from, to)) ms.push(make_move_word(from, to, pos.mailbox[to]));
    }
  }
  const Bitboard queens = p[own_index<Us>(QUEEN)];
  for (Bitboard b = p[own_index<Us>(BISHOP)] | queens; b;) {
    Square from = pop_lowest(b);
    for (Bitboard t = bishop_attacks(from, pos.occ_all) & enemy; t;) {
      Square to = pop_lowest(t);
      if (legal.piece_move(from, to)) ms.push(make_move_word(from, to, pos.mailbox[to]));
    }
  }
  for (Bitboard b = p[own_index<Us>(ROOK)] | queens; b;) {
    Square from = pop_lowest(b);
    for (Bitboard t = rook_attacks(from, pos.occ_all) & enemy; t;) {
      Square to = pop_lowest(t);
      if (legal.piece_move(from, to)) ms.push(make_move_word(from, to, pos.mailbox[to]));
    }
  }
  if (legal.has_king) {
    Square from = legal.king_sq;
    for (Bitboard t = king_attacks[from] & enemy; t;) {
      Square to = pop_lowest(t);
      if (legal.king_move(from, to)) ms.push(make_move_word(from, to, pos.mailbox[to]));
    }
  }
}

// Castling also demands king and rook on their home squares: a right kept by
// an odd set-up must never move an absent king or rook. Of several kings only
// the one the legality test guards (the first in square order) castles.
template <Colour Us>
bool may_castle(const Position& pos, unsigned right, Square rook_home, int path,
                Square pass, Square king_to) {
  using T = ColourTraits<Us>;
  return (pos.castle_flags & right) && pos.mailbox[T::KING_HOME] == T::KING_CODE &&
         lowest_bit(pos.piece_bb[own_index<Us>(KING)]) == T::KING_HOME &&
         pos.mailbox[rook_home] == T::ROOK_CODE && !(pos.occ_all & castle_path[path]) &&
         !T::enemy_attacks(pos, T::KING_HOME) && !T::enemy_attacks(pos, pass) &&
         !T::enemy_attacks(pos, king_to);
}

template <Colour Us>
void gen_quiets(Position& pos) {
  using T = ColourTraits<Us>;
  const Legality<Us> legal(pos);
  MoveStack& ms = pos.move_stack;
  const Bitboard empty = ~pos.occ_all;
  const Bitboard* p = pos.piece_bb;
  const Bitboard pawns = p[own_index<Us>(PAWN)];

  if (may_castle<Us>(pos, T::RIGHT_K, T::ROOK_HOME_K, T::PATH_K, T::PASS_K, T::KING_TO_K))
    ms.push(T::CASTLE_K);
  if (may_castle<Us>(pos, T::RIGHT_Q, T::ROOK_HOME_Q, T::PATH_Q, T::PASS_Q, T::KING_TO_Q))
    ms.push(T::CASTLE_Q);

  for (Bitboard b = pawns & ~T::PROMOTION_FROM; b;) {
    Square from = pop_lowest(b);
    if ((T::pawn_push()[from] & empty) && legal.piece_move(from, from + T::UP))
      ms.push(make_move_word(from, from + T::UP));
  }
  for (Bitboard b = pawns & T::DOUBLE_FROM; b;) {
    Square from = pop_lowest(b);
    if ((T::pawn_push()[from] & empty) && (T::pawn_double()[from] & empty) &&
        legal.piece_move(from, from + 2 * T::UP))
      ms.push(make_move_word(from, from + 2 * T::UP, 0, 0, MOVE_DOUBLE_STEP));
  }
  for (Bitboard b = p[own_index<Us>(KNIGHT)]; b;) {
    Square from = pop_lowest(b);
    for (Bitboard t = knight_attacks[from] & empty; t;) {
      Square to = pop_lowest(t);
      if (legal.piece_move(from, to)) ms.push(make_move_word(from, to));
    }
  }
  const Bitboard queens = p[own_index<Us>(QUEEN)];
  for (Bitboard b = p[own_index<Us>(BISHOP)] | queens; b;) {
    Square from = pop_lowest(b);
    for (Bitboard t = bishop_attacks(from, pos.occ_all) & empty; t;) {
      Square to = pop_lowest(t);
      if (legal.piece_move(from, to)) ms.push(make_move_word(from, to));
    }
  }
  for (Bitboard b = p[own_index<Us>(ROOK)] | queens; b;) {
    Square from = pop_lowest(b);
    for (Bitboard t = rook_attacks(from, pos.occ_all) & empty; t;) {
      Square to = pop_lowest(t);
      if (legal.piece_move(from, to)) ms.push(make_move_word(from, to));
    }
  }
  if (legal.has_king) {
    Square from = legal.king_sq;
    for (Bitboard t = king_attacks[from] & empty; t;) {
      Square to = pop_lowest(t);
      if (legal.king_move(from, to)) ms.push(make_move_word(from, to));
    }
  }
}

template <Colour Us>
void gen_underpromotions(Position& pos) {
  using T = ColourTraits<Us>;
  const Legality<Us> legal(pos);
  MoveStack& ms = pos.move_stack;
  const Bitboard promoting = pos.piece_bb[own_index<Us>(PAWN)] & T::PROMOTION_FROM;

  for (Bitboard b = promoting; b;) {
    Square from = pop_lowest(b);
    Square to = from + T::UP;
    if ((pos.occ_all & square_bb(to)) || !legal.piece_move(from, to)) continue;
    for (unsigned promo : T::UNDER_PROMOTIONS) ms.push(make_move_word(from, to, 0, promo));
  }
  for (Bitboard b = promoting; b;) {
    Square from = pop_lowest(b);
    for (Bitboard t = T::pawn_attacks()[from] & T::enemy(pos); t;) {
      Square to = pop_lowest(t);
      if (!legal.piece_move(from, to)) continue;
      for (unsigned promo : T::UNDER_PROMOTIONS)
        ms.push(make_move_word(from, to, pos.mailbox[to], promo));
    }
  }
}

// Targets of a set of pieces, stopping at the first legal move.
template <Colour Us, typename Attacks>
bool any_piece_move(const Legality<Us>& legal, Bitboard pieces, Bitboard targets,
                    Attacks attacks) {
  for (Bitboard b = pieces; b;) {
    Square from = pop_lowest(b);
    for (Bitboard t = attacks(from) & targets; t;)
      if (legal.piece_move(from, pop_lowest(t))) return true;
  }
  return false;
}

template <Colour Us>
unsigned has_legal_move(const Position& pos) {
  using T = ColourTraits<Us>;
  const Legality<Us> legal(pos);
  const Bitboard* p = pos.piece_bb;
  const Bitboard empty = ~pos.occ_all;
  const Bitboard enemy = T::enemy(pos);
  const Bitboard pawns = p[own_index<Us>(PAWN)];
  const Bitboard occ = pos.occ_all;

  for (Bitboard b = pawns; b;) {
    Square from = pop_lowest(b);
    if ((T::pawn_push()[from] & empty) && legal.piece_move(from, from + T::UP)) return 1;
  }
  // A double step can be the one move that blocks a check along its rank.
  for (Bitboard b = pawns & T::DOUBLE_FROM; b;) {
    Square from = pop_lowest(b);
    if ((T::pawn_push()[from] & empty) && (T::pawn_double()[from] & empty) &&
        legal.piece_move(from, from + 2 * T::UP))
      return 1;
  }
  if (any_piece_move(legal, pawns, enemy, [](Square s) { return T::pawn_attacks()[s]; }))
    return 1;
  if (pos.ep_square && !pos.mailbox[pos.ep_square]) {
    const Square to = Square(pos.ep_square);
    const Square victim = to - T::UP;
    if (pos.mailbox[victim] == T::ENEMY_PAWN)
      for (Bitboard b = T::pawn_attackers()[to] & pawns; b;)
        if (legal.en_passant(pop_lowest(b), to, victim)) return 1;
  }
  const Bitboard knights = p[own_index<Us>(KNIGHT)];
  auto knight = [](Square s) { return knight_attacks[s]; };
  if (any_piece_move(legal, knights, enemy, knight)) return 1;
  if (any_piece_move(legal, knights, empty, knight)) return 1;
  const Bitboard queens = p[own_index<Us>(QUEEN)];
  auto diagonal = [occ](Square s) { return bishop_attacks(s, occ); };
  auto straight = [occ](Square s) { return rook_attacks(s, occ); };
  const Bitboard diagonal_movers = p[own_index<Us>(BISHOP)] | queens;
  const Bitboard straight_movers = p[own_index<Us>(ROOK)] | queens;
  if (any_piece_move(legal, diagonal_movers, enemy, diagonal)) return 1;
  if (any_piece_move(legal, diagonal_movers, empty, diagonal)) return 1;
  if (any_piece_move(legal, straight_movers, enemy, straight)) return 1;
  if (any_piece_move(legal, straight_movers, empty, straight)) return 1;
  if (legal.has_king) {
    Square from = legal.king_sq;
    for (Bitboard t = king_attacks[from] & enemy; t;)
      if (legal.king_move(from, pop_lowest(t))) return 1;
    for (Bitboard t = king_attacks[from] & empty; t;)
      if (legal.king_move(from, pop_lowest(t))) return 1;
  }
  return 0;
}

}  // namespace

void gen_captures_white(Position& pos) { gen_captures<White>(pos); }
void gen_quiets_white(Position& pos) { gen_quiets<White>(pos); }
void gen_underpromotions_white(Position& pos) { gen_underpromotions<White>(pos); }
void gen_captures_black(Position& pos) { gen_captures<Black>(pos); }
void gen_quiets_black(Position& pos) { gen_quiets<Black>(pos); }
void gen_underpromotions_black(Position& pos) { gen_underpromotions<Black>(pos); }

void gen_captures(Position& pos) {
  pos.side_to_move == 1 ? gen_captures<White>(pos) : gen_captures<Black>(pos);
}
void gen_quiets(Position& pos) {
  pos.side_to_move == 1 ? gen_quiets<White>(pos) : gen_quiets<Black>(pos);
}
void gen_underpromotions(Position& pos) {
  pos.side_to_move == 1 ? gen_underpromotions<White>(pos) : gen_underpromotions<Black>(pos);
}

void generate_all(Position& pos) {
  pos.move_stack.open_level();
  if (pos.side_to_move == 1) {
    gen_captures<White>(pos);
    gen_quiets<White>(pos);
    gen_underpromotions<White>(pos);
  } else {
    gen_captures<Black>(pos);
    gen_quiets<Black>(pos);
    gen_underpromotions<Black>(pos);
  }
}

unsigned has_legal_move(Position& pos) {
  return pos.side_to_move == 1 ? has_legal_move<White>(pos) : has_legal_move<Black>(pos);
}
