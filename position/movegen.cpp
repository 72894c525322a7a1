#include "position/movegen.h"

#include "position/colour_traits.h"

namespace {

// A set moved by step squares (negative towards row 0); squares pushed off
// the board are dropped.
constexpr Bitboard shift_by(Bitboard b, int step) { return step > 0 ? b << step : b >> -step; }

// Our pawns' single-step targets, occupied or not.
template <Colour Us>
constexpr Bitboard advance(Bitboard pawns) {
  return shift_by(pawns, ColourTraits<Us>::UP);
}

constexpr Bitboard FILE_A_BB = 0x0101010101010101ull;
constexpr Bitboard FILE_H_BB = FILE_A_BB << 7;

// The squares from which one of our pawns would capture on a square of
// targets: one step back, one file to either side.
template <Colour Us>
constexpr Bitboard capturing_pawns(Bitboard targets) {
  const Bitboard back = shift_by(targets, -ColourTraits<Us>::UP);
  return ((back & ~FILE_H_BB) << 1) | ((back & ~FILE_A_BB) >> 1);
}

// Legality of a candidate: our king may not stand attacked afterwards. The
// occupancy and the enemy sets are passed as the move leaves them; a position
// set up without our king has nothing to protect.
//
// When our king is not in check, a piece that does not stand alone between it
// and an enemy slider cannot uncover an attack by moving, so its moves pass
// without the full test; the others (and every move while in check) take it.
//
// The guard: our king's square, whether it stands in check, and the origins
// whose moves need the full test.
template <Colour Us>
KingGuard guard_of(const Position& pos) {
  const Bitboard* e = pos.piece_bb;
  const Bitboard kings = e[own_index<Us>(KING)];
  KingGuard g{0, kings ? lowest_bit(kings) : 0, kings != 0, false};
  if (!g.has_king) return g;
  const Square king_sq = g.king_sq;
  const Bitboard occ = pos.occ_all;
  const Bitboard enemy_queens = e[enemy_index<Us>(QUEEN)];
  auto check = [&g]() {
    g.must_test = ~Bitboard(0);
    g.in_check = true;
    return g;
  };
  if ((ColourTraits<Us>::pawn_attacks()[king_sq] & e[enemy_index<Us>(PAWN)]) ||
      (knight_attacks[king_sq] & e[enemy_index<Us>(KNIGHT)]) ||
      (king_attacks[king_sq] & e[enemy_index<Us>(KING)]))
    return check();
  for (Bitboard b = bishop_lines[king_sq] & (e[enemy_index<Us>(BISHOP)] | enemy_queens); b;) {
    const Bitboard between = between_diag[pop_lowest(b)][king_sq] & occ;
    if (!between) return check();
    if (!more_than_one(between)) g.must_test |= between;
  }
  for (Bitboard b = rook_lines[king_sq] & (e[enemy_index<Us>(ROOK)] | enemy_queens); b;) {
    const Bitboard between = between_orth[pop_lowest(b)][king_sq] & occ;
    if (!between) return check();
    if (!more_than_one(between)) g.must_test |= between;
  }
  return g;
}

template <Colour Us>
struct Legality {
  const Bitboard* pieces;
  Bitboard occ;        // occupancy before the move
  Bitboard must_test;  // origins whose moves need the full king-safety test
  Square king_sq;
  bool has_king;

  Legality(const Position& pos, const KingGuard& g)
      : pieces(pos.piece_bb),
        occ(pos.occ_all),
        must_test(g.must_test),
        king_sq(g.king_sq),
        has_king(g.has_king) {}
  explicit Legality(const Position& pos) : Legality(pos, guard_of<Us>(pos)) {}

  // The full test for a move of a piece other than the king.
  bool safe_after(Square from, Square to) const {
    Bitboard after = (occ & ~square_bb(from)) | square_bb(to);
    return ColourTraits<Us>::king_safe(after, pieces, ~square_bb(to), king_sq);
  }
  bool needs_test(Square from) const { return (must_test & square_bb(from)) != 0; }
  bool in_check() const { return must_test == ~Bitboard(0); }
  // Out of check, a piece that needs the test is pinned: it stands alone
  // between our king and one enemy slider, and keeps the king covered
  // exactly while it stays on their line (taking the slider included).
  Bitboard pin_line(Square from) const {
    return (rook_lines[king_sq] & square_bb(from)) ? rook_lines[king_sq] & rook_lines[from]
                                                   : bishop_lines[king_sq] & bishop_lines[from];
  }
  [[gnu::always_inline]] bool piece_move(Square from, Square to) const {
    if (!needs_test(from)) return true;
    if (!in_check()) return (pin_line(from) & square_bb(to)) != 0;
    return safe_after(from, to);
  }
  // The targets of a piece on from that its moves may reach legally.
  [[gnu::always_inline]] Bitboard legal_targets(Square from, Bitboard targets) const {
    if (!needs_test(from)) return targets;
    if (!in_check()) return targets & pin_line(from);
    Bitboard kept = 0;
    for (Bitboard t = targets; t;) {
      Square to = pop_lowest(t);
      if (safe_after(from, to)) kept |= square_bb(to);
    }
    return kept;
  }
  // The targets of advances by step that stay legal; an origin is target - step.
  Bitboard legal_advances(Bitboard targets, int step) const {
    for (Bitboard t = targets & shift_by(must_test, step); t;) {
      Square to = pop_lowest(t);
      if (!safe_after(to - step, to)) targets &= ~square_bb(to);
    }
    return targets;
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

// Appends to the top list through a local cursor; the list end and the pool
// growth follow the same rule as MoveStack::push.
struct MoveSink {
  MoveStack& ms;
  Move* start;
  Move* out;
  Move* end;

  explicit MoveSink(MoveStack& stack)
      : ms(stack),
        start(stack.pool.data() + stack.top),
        out(start),
        end(stack.pool.data() + stack.pool_capacity) {}
  ~MoveSink() {
    if (out != start) sync();
  }

  void push(Move m) {
    *out++ = m;
    if (out == end) grow();
  }
  void sync() {
    ms.top = int32_t(out - ms.pool.data());
    ms.list_end[ms.level - 1] = ms.top;
  }
  void grow() {
    sync();
    ms.grow_pool();
    start = out = ms.pool.data() + ms.top;
    end = ms.pool.data() + ms.pool_capacity;
  }
};

template <Colour Us>
void gen_captures(Position& pos, const Legality<Us>& legal) {
  using T = ColourTraits<Us>;
  MoveSink ms(pos.move_stack);
  const Bitboard enemy = T::enemy(pos);
  const Bitboard occ = pos.occ_all;
  const Bitboard* p = pos.piece_bb;
  const uint32_t* board = pos.mailbox;
  const Bitboard pawns = p[own_index<Us>(PAWN)];
  const Bitboard last_rank = Us == White ? RANK_8_BB : RANK_1_BB;

  for (Bitboard b = pawns & capturing_pawns<Us>(enemy); b;) {
    Square from = pop_lowest(b);
    for (Bitboard t = legal.legal_targets(from, T::pawn_attacks()[from] & enemy); t;) {
      Square to = pop_lowest(t);
      unsigned promo = (square_bb(to) & last_rank) ? T::QUEEN_CODE : 0;
      ms.push(make_move_word(from, to, board[to], promo));
    }
  }
  for (Bitboard b = pawns & T::PROMOTION_FROM; b;) {
    Square from = pop_lowest(b);
    Square to = from + T::UP;
    if (!(occ & square_bb(to)) && legal.piece_move(from, to))
      ms.push(make_move_word(from, to, 0, T::QUEEN_CODE));
  }
  // A set-up can name an en-passant square that is occupied; a pawn that
  // really passed over it left it empty.
  // As in the generator, an en-passant capture needs an empty target and the
  // enemy pawn beyond it: a set-up may name a target with neither, and then
  // a side with no other move is stalemated, not saved by a phantom capture.
  if (pos.ep_square && !pos.mailbox[pos.ep_square]) {
    const Square to = Square(pos.ep_square);
    const Square victim = to - T::UP;
    if (board[victim] == T::ENEMY_PAWN)
      for (Bitboard b = T::pawn_attackers()[to] & pawns; b;) {
        Square from = pop_lowest(b);
        if (legal.en_passant(from, to, victim))
          ms.push(make_move_word(from, to, 0, 0, MOVE_EN_PASSANT));
      }
  }
  for (Bitboard b = p[own_index<Us>(KNIGHT)]; b;) {
    Square from = pop_lowest(b);
    for (Bitboard t = legal.legal_targets(from, knight_attacks[from] & enemy); t;) {
      Square to = pop_lowest(t);
      ms.push(make_move_word(from, to, board[to]));
    }
  }
  // A slider with no enemy on its lines has nothing to take: no lookup.
  const Bitboard queens = p[own_index<Us>(QUEEN)];
  for (Bitboard b = p[own_index<Us>(BISHOP)] | queens; b;) {
    Square from = pop_lowest(b);
    if (!(bishop_lines[from] & enemy)) continue;
    for (Bitboard t = legal.legal_targets(from, bishop_attacks(from, occ) & enemy); t;) {
      Square to = pop_lowest(t);
      ms.push(make_move_word(from, to, board[to]));
    }
  }
  for (Bitboard b = p[own_index<Us>(ROOK)] | queens; b;) {
    Square from = pop_lowest(b);
    if (!(rook_lines[from] & enemy)) continue;
    for (Bitboard t = legal.legal_targets(from, rook_attacks(from, occ) & enemy); t;) {
      Square to = pop_lowest(t);
      ms.push(make_move_word(from, to, board[to]));
    }
  }
  if (legal.has_king) {
    Square from = legal.king_sq;
    for (Bitboard t = king_attacks[from] & enemy; t;) {
      Square to = pop_lowest(t);
      if (legal.king_move(from, to)) ms.push(make_move_word(from, to, board[to]));
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

// Castling right r in a Chess960 game: king and rook on their start squares,
// every square either crosses or reaches empty but for the two of them, and
// no square of the king's way attacked. The attacks are seen with both lifted:
// the rook may stand between an enemy rook or queen on the rank and the
// king's target, and leaves it open.
template <Colour Us>
bool may_castle_960(const Position& pos, int r) {
  using T = ColourTraits<Us>;
  const CastlingGeometry& g = pos.castling;
  const Square king = g.king_home[r], rook = g.rook_home[r];
  if (!(pos.castle_flags & (1u << r)) || pos.mailbox[king] != T::KING_CODE ||
      lowest_bit(pos.piece_bb[own_index<Us>(KING)]) != king || pos.mailbox[rook] != T::ROOK_CODE ||
      (pos.occ_all & g.must_be_empty[r]))
    return false;
  const Bitboard occ = pos.occ_all & ~(square_bb(king) | square_bb(rook));
  for (Bitboard b = g.king_path[r]; b;)
    if (!T::king_safe(occ, pos.piece_bb, ~Bitboard(0), pop_lowest(b))) return false;
  return true;
}

// The count of the side's legal castlings in a Chess960 game.
template <Colour Us>
[[gnu::noinline]] unsigned castlings_960(const Position& pos) {
  const int r = Us == White ? 0 : 2;
  return unsigned(may_castle_960<Us>(pos, r)) + unsigned(may_castle_960<Us>(pos, r + 1));
}

// The castling word of right r in a Chess960 game: the king onto its rook.
inline Move castling_word_960(const Position& pos, int r) {
  return make_move_word(pos.castling.king_home[r], pos.castling.rook_home[r], 0, 0, MOVE_CASTLE);
}

template <Colour Us>
void gen_quiets(Position& pos, const Legality<Us>& legal) {
  using T = ColourTraits<Us>;
  MoveSink ms(pos.move_stack);
  const Bitboard occ = pos.occ_all;
  const Bitboard empty = ~occ;
  const Bitboard* p = pos.piece_bb;
  const Bitboard pawns = p[own_index<Us>(PAWN)];

  if (pos.castle_flags & (T::RIGHT_K | T::RIGHT_Q)) {
    if (pos.castling.chess960) {
      for (int r = Us == White ? 0 : 2, end = r + 2; r < end; ++r)
        if (may_castle_960<Us>(pos, r)) ms.push(castling_word_960(pos, r));
    } else {
      if (may_castle<Us>(pos, T::RIGHT_K, T::ROOK_HOME_K, T::PATH_K, T::PASS_K, T::KING_TO_K))
        ms.push(T::CASTLE_K);
      if (may_castle<Us>(pos, T::RIGHT_Q, T::ROOK_HOME_Q, T::PATH_Q, T::PASS_Q, T::KING_TO_Q))
        ms.push(T::CASTLE_Q);
    }
  }

  // Advances are taken as whole sets of targets: shifting keeps the order of
  // the origins.
  const Bitboard single = advance<Us>(pawns & ~T::PROMOTION_FROM) & empty;
  for (Bitboard t = legal.legal_advances(single, T::UP); t;) {
    Square to = pop_lowest(t);
    ms.push(make_move_word(to - T::UP, to));
  }
  const Bitboard twice = advance<Us>(advance<Us>(pawns & T::DOUBLE_FROM) & empty) & empty;
  for (Bitboard t = legal.legal_advances(twice, 2 * T::UP); t;) {
    Square to = pop_lowest(t);
    ms.push(make_move_word(to - 2 * T::UP, to, 0, 0, MOVE_DOUBLE_STEP));
  }
  for (Bitboard b = p[own_index<Us>(KNIGHT)]; b;) {
    Square from = pop_lowest(b);
    for (Bitboard t = legal.legal_targets(from, knight_attacks[from] & empty); t;)
      ms.push(make_move_word(from, pop_lowest(t)));
  }
  const Bitboard queens = p[own_index<Us>(QUEEN)];
  for (Bitboard b = p[own_index<Us>(BISHOP)] | queens; b;) {
    Square from = pop_lowest(b);
    for (Bitboard t = legal.legal_targets(from, bishop_attacks(from, occ) & empty); t;)
      ms.push(make_move_word(from, pop_lowest(t)));
  }
  for (Bitboard b = p[own_index<Us>(ROOK)] | queens; b;) {
    Square from = pop_lowest(b);
    for (Bitboard t = legal.legal_targets(from, rook_attacks(from, occ) & empty); t;)
      ms.push(make_move_word(from, pop_lowest(t)));
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
void gen_underpromotions(Position& pos, const Legality<Us>& legal) {
  using T = ColourTraits<Us>;
  const Bitboard promoting = pos.piece_bb[own_index<Us>(PAWN)] & T::PROMOTION_FROM;
  if (!promoting) return;
  MoveSink ms(pos.move_stack);

  for (Bitboard b = promoting; b;) {
    Square from = pop_lowest(b);
    Square to = from + T::UP;
    if ((pos.occ_all & square_bb(to)) || !legal.piece_move(from, to)) continue;
    for (unsigned promo : T::UNDER_PROMOTIONS) ms.push(make_move_word(from, to, 0, promo));
  }
  for (Bitboard b = promoting; b;) {
    Square from = pop_lowest(b);
    for (Bitboard t = legal.legal_targets(from, T::pawn_attacks()[from] & T::enemy(pos)); t;) {
      Square to = pop_lowest(t);
      for (unsigned promo : T::UNDER_PROMOTIONS)
        ms.push(make_move_word(from, to, pos.mailbox[to], promo));
    }
  }
}

// The count of the moves that the three stages would list, taken from target
// sets by popcount where the moves need no test of their own. A promotion
// counts four times: the queen and the three under-promotions.
template <Colour Us>
unsigned count_moves(const Position& pos, const Legality<Us>& legal) {
  using T = ColourTraits<Us>;
  const Bitboard* p = pos.piece_bb;
  const Bitboard occ = pos.occ_all;
  const Bitboard empty = ~occ;
  const Bitboard enemy = T::enemy(pos);
  const Bitboard reachable = ~T::own(pos);
  const Bitboard pawns = p[own_index<Us>(PAWN)];
  auto weigh = [](Bitboard targets) {
    constexpr Bitboard last_rank = Us == White ? RANK_8_BB : RANK_1_BB;
    return unsigned(popcount(targets & ~last_rank) + 4 * popcount(targets & last_rank));
  };
  unsigned n = 0;

  // Pawns free of the test capture as whole sets, towards either file.
  const Bitboard free_pawns = pawns & ~legal.must_test;
  n += weigh(shift_by(free_pawns & ~FILE_A_BB, T::UP - 1) & enemy);
  n += weigh(shift_by(free_pawns & ~FILE_H_BB, T::UP + 1) & enemy);
  for (Bitboard b = pawns & legal.must_test & capturing_pawns<Us>(enemy); b;) {
    const Square from = pop_lowest(b);
    n += weigh(legal.legal_targets(from, T::pawn_attacks()[from] & enemy));
  }
  n += weigh(legal.legal_advances(advance<Us>(pawns) & empty, T::UP));
  const Bitboard twice = advance<Us>(advance<Us>(pawns & T::DOUBLE_FROM) & empty) & empty;
  n += unsigned(popcount(legal.legal_advances(twice, 2 * T::UP)));
  if (pos.ep_square && !pos.mailbox[pos.ep_square]) {
    const Square to = Square(pos.ep_square);
    const Square victim = to - T::UP;
    if (pos.mailbox[victim] == T::ENEMY_PAWN)
      for (Bitboard b = T::pawn_attackers()[to] & pawns; b;)
        n += legal.en_passant(pop_lowest(b), to, victim);
  }

  for (Bitboard b = p[own_index<Us>(KNIGHT)]; b;) {
    const Square from = pop_lowest(b);
    n += unsigned(popcount(legal.legal_targets(from, knight_attacks[from] & reachable)));
  }
  const Bitboard queens = p[own_index<Us>(QUEEN)];
  for (Bitboard b = p[own_index<Us>(BISHOP)] | queens; b;) {
    const Square from = pop_lowest(b);
    n += unsigned(popcount(legal.legal_targets(from, bishop_attacks(from, occ) & reachable)));
  }
  for (Bitboard b = p[own_index<Us>(ROOK)] | queens; b;) {
    const Square from = pop_lowest(b);
    n += unsigned(popcount(legal.legal_targets(from, rook_attacks(from, occ) & reachable)));
  }
  if (legal.has_king) {
    const Square from = legal.king_sq;
    for (Bitboard t = king_attacks[from] & reachable; t;) n += legal.king_move(from, pop_lowest(t));
  }
  if (pos.castle_flags & (T::RIGHT_K | T::RIGHT_Q)) {
    if (pos.castling.chess960) [[unlikely]] {
      n += castlings_960<Us>(pos);
    } else {
      n += may_castle<Us>(pos, T::RIGHT_K, T::ROOK_HOME_K, T::PATH_K, T::PASS_K, T::KING_TO_K);
      n += may_castle<Us>(pos, T::RIGHT_Q, T::ROOK_HOME_Q, T::PATH_Q, T::PASS_Q, T::KING_TO_Q);
    }
  }
  return n;
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
unsigned has_legal_move(const Position& pos, const Legality<Us>& legal) {
  using T = ColourTraits<Us>;
  const Bitboard* p = pos.piece_bb;
  const Bitboard empty = ~pos.occ_all;
  const Bitboard enemy = T::enemy(pos);
  const Bitboard pawns = p[own_index<Us>(PAWN)];
  const Bitboard occ = pos.occ_all;

  // In check a king step is the likeliest way out: try those first.
  const bool check = legal.has_king && legal.must_test == ~Bitboard(0);
  if (check) {
    for (Bitboard t = king_attacks[legal.king_sq] & ~T::own(pos); t;)
      if (legal.king_move(legal.king_sq, pop_lowest(t))) return 1;
  }
  // A pawn free to leave its square and free to step ahead has a legal move.
  if (advance<Us>(pawns & ~legal.must_test) & empty) return 1;
  for (Bitboard b = pawns & legal.must_test; b;) {
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
  // As in the generator, an en-passant capture needs an empty target and the
  // enemy pawn beyond it: a set-up may name a target with neither, and then
  // a side with no other move is stalemated, not saved by a phantom capture.
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
  if (legal.has_king && !check) {
    Square from = legal.king_sq;
    for (Bitboard t = king_attacks[from] & enemy; t;)
      if (legal.king_move(from, pop_lowest(t))) return 1;
    for (Bitboard t = king_attacks[from] & empty; t;)
      if (legal.king_move(from, pop_lowest(t))) return 1;
  }
  // In normal chess a legal castling implies the king's legal step towards
  // the rook. In Chess960 the king may stay put, or step onto its rook's
  // square: the castling can be the only move.
  if (pos.castling.chess960 && (pos.castle_flags & (T::RIGHT_K | T::RIGHT_Q)) &&
      castlings_960<Us>(pos))
    return 1;
  return 0;
}

}  // namespace

void gen_captures_white(Position& pos) { gen_captures<White>(pos, Legality<White>(pos)); }
void gen_quiets_white(Position& pos) { gen_quiets<White>(pos, Legality<White>(pos)); }
void gen_underpromotions_white(Position& pos) {
  gen_underpromotions<White>(pos, Legality<White>(pos));
}
void gen_captures_black(Position& pos) { gen_captures<Black>(pos, Legality<Black>(pos)); }
void gen_quiets_black(Position& pos) { gen_quiets<Black>(pos, Legality<Black>(pos)); }
void gen_underpromotions_black(Position& pos) {
  gen_underpromotions<Black>(pos, Legality<Black>(pos));
}

KingGuard king_guard(const Position& pos) {
  return pos.side_to_move == 1 ? guard_of<White>(pos) : guard_of<Black>(pos);
}

void gen_captures(Position& pos, const KingGuard& g) {
  if (pos.side_to_move == 1)
    gen_captures<White>(pos, Legality<White>(pos, g));
  else
    gen_captures<Black>(pos, Legality<Black>(pos, g));
}
void gen_quiets(Position& pos, const KingGuard& g) {
  if (pos.side_to_move == 1)
    gen_quiets<White>(pos, Legality<White>(pos, g));
  else
    gen_quiets<Black>(pos, Legality<Black>(pos, g));
}
void gen_underpromotions(Position& pos, const KingGuard& g) {
  if (pos.side_to_move == 1)
    gen_underpromotions<White>(pos, Legality<White>(pos, g));
  else
    gen_underpromotions<Black>(pos, Legality<Black>(pos, g));
}

void gen_captures(Position& pos) { gen_captures(pos, king_guard(pos)); }
void gen_quiets(Position& pos) { gen_quiets(pos, king_guard(pos)); }
void gen_underpromotions(Position& pos) { gen_underpromotions(pos, king_guard(pos)); }

// The three stages share one legality record: the position does not change
// between them.
template <Colour Us>
void generate_all_as(Position& pos) {
  pos.move_stack.open_level();
  const Legality<Us> legal(pos);
  gen_captures<Us>(pos, legal);
  gen_quiets<Us>(pos, legal);
  gen_underpromotions<Us>(pos, legal);
}
template void generate_all_as<White>(Position& pos);
template void generate_all_as<Black>(Position& pos);

template <Colour Us>
unsigned count_moves_as(const Position& pos) {
  return count_moves<Us>(pos, Legality<Us>(pos));
}
template unsigned count_moves_as<White>(const Position& pos);
template unsigned count_moves_as<Black>(const Position& pos);

unsigned count_moves(const Position& pos) {
  return pos.side_to_move == 1 ? count_moves_as<White>(pos) : count_moves_as<Black>(pos);
}

void generate_all(Position& pos) {
  if (pos.side_to_move == 1)
    generate_all_as<White>(pos);
  else
    generate_all_as<Black>(pos);
}

unsigned has_legal_move(Position& pos, const KingGuard& g) {
  return pos.side_to_move == 1 ? has_legal_move<White>(pos, Legality<White>(pos, g))
                               : has_legal_move<Black>(pos, Legality<Black>(pos, g));
}

unsigned has_legal_move(Position& pos) { return has_legal_move(pos, king_guard(pos)); }

bool castling_960_legal(const Position& pos, Move m) {
  for (int r = pos.side_to_move == 1 ? 0 : 2, end = r + 2; r < end; ++r)
    if (m == castling_word_960(pos, r))
      return pos.side_to_move == 1 ? may_castle_960<White>(pos, r) : may_castle_960<Black>(pos, r);
  return false;
}
