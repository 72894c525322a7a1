#include "eval/modern_eval.h"

#include <algorithm>
#include <cstdlib>

#include "position/attacks.h"
#include "position/colour_traits.h"

namespace {

constexpr Bitboard FILE_A_BB = 0x0101010101010101ull;
constexpr Bitboard FILE_H_BB = FILE_A_BB << 7;
constexpr Bitboard LIGHT_SQUARES = 0xAA55AA55AA55AA55ull;  // a8 and h1 are light

constexpr Bitboard file_bb(int file) { return FILE_A_BB << file; }
constexpr Bitboard row_bb(int row) { return Bitboard(0xFF) << (8 * row); }

// Rank 1 .. 8 as the side Us sees it; the square as White would see it.
template <Colour Us>
constexpr int rel_rank(Square sq) {
  return Us == White ? 8 - row_of(sq) : row_of(sq) + 1;
}
template <Colour Us>
constexpr Square rel_square(Square sq) {
  return Us == White ? sq : sq ^ 56;
}

int distance(Square a, Square b) {
  return std::max(std::abs(file_of(a) - file_of(b)), std::abs(row_of(a) - row_of(b)));
}
int centre_distance(Square sq) {
  const int f = file_of(sq), r = row_of(sq);
  return std::max(f < 4 ? 3 - f : f - 4, r < 4 ? 3 - r : r - 4);
}

template <Colour Us>
Bitboard pawn_attack_set(Bitboard pawns) {
  if (Us == White) return ((pawns & ~FILE_A_BB) >> 9) | ((pawns & ~FILE_H_BB) >> 7);
  return ((pawns & ~FILE_A_BB) << 7) | ((pawns & ~FILE_H_BB) << 9);
}

// Per colour and square: the rows ahead, the same file ahead, and the
// neighbouring files ahead (where enemy pawns could still stop or attack).
struct Masks {
  Bitboard ahead[2][64];
  Bitboard front_file[2][64];
  Bitboard front_span[2][64];  // file and neighbours ahead: a pawn is passed when no enemy pawn is there
  Bitboard neighbours[64];
  int32_t psq_mg[16][64], psq_eg[16][64];  // material plus square value by piece code
};

Masks make_masks() {
  Masks m{};
  for (Square sq = 0; sq < 64; ++sq) {
    const int row = row_of(sq), file = file_of(sq);
    Bitboard above = 0, below = 0;
    for (int r = 0; r < row; ++r) above |= row_bb(r);
    for (int r = row + 1; r < 8; ++r) below |= row_bb(r);
    Bitboard side = 0;
    if (file > 0) side |= file_bb(file - 1);
    if (file < 7) side |= file_bb(file + 1);
    m.neighbours[sq] = side;
    m.ahead[White][sq] = above;
    m.ahead[Black][sq] = below;
    m.front_file[White][sq] = above & file_bb(file);
    m.front_file[Black][sq] = below & file_bb(file);
    m.front_span[White][sq] = above & (file_bb(file) | side);
    m.front_span[Black][sq] = below & (file_bb(file) | side);
  }
  for (unsigned kind = PAWN; kind <= KING; ++kind) {
    const TermValue material = kind == KING ? TermValue{} : MODERN_WEIGHTS[T_MATERIAL + kind - 1];
    for (Square sq = 0; sq < 64; ++sq) {
      const TermValue& w = MODERN_WEIGHTS[T_PST + 64 * (kind - 1) + sq];
      const TermValue& b = MODERN_WEIGHTS[T_PST + 64 * (kind - 1) + (sq ^ 56)];
      m.psq_mg[make_piece(White, kind)][sq] = material.mg + w.mg;
      m.psq_eg[make_piece(White, kind)][sq] = material.eg + w.eg;
      m.psq_mg[make_piece(Black, kind)][sq] = material.mg + b.mg;
      m.psq_eg[make_piece(Black, kind)][sq] = material.eg + b.eg;
    }
  }
  return m;
}

const Masks& masks() {
  static const Masks m = make_masks();
  return m;
}

// Midgame and endgame sums in White's view, and the trace when there is one.
template <bool Trace>
struct Sums {
  int32_t mg = 0, eg = 0;
  ModernTrace* trace = nullptr;

  template <Colour Us>
  void add(int term, int count = 1) {
    const TermValue& w = MODERN_WEIGHTS[term];
    const int sign = Us == White ? 1 : -1;
    mg += sign * w.mg * count;
    eg += sign * w.eg * count;
    if constexpr (Trace) trace->count[term][Us] = int16_t(trace->count[term][Us] + count);
  }
};

// Attacks each side makes, gathered while its pieces are scored.
struct AttackInfo {
  Bitboard pawn[2] = {0, 0};
  Bitboard minor[2] = {0, 0};
  Bitboard rook[2] = {0, 0};
  Bitboard queen[2] = {0, 0};
  Bitboard all[2] = {0, 0};
  Bitboard knight[2] = {0, 0};
  Bitboard bishop[2] = {0, 0};
  int king_units[2] = {0, 0};  // on the enemy king's zone
  Bitboard zone[2] = {0, 0};   // around each side's king
};

constexpr int ATTACK_UNITS[7] = {0, 0, 2, 2, 3, 5, 0};    // by kind, an attacker of the zone
constexpr int CHECK_UNITS[7] = {0, 0, 4, 3, 4, 3, 0};     // by kind, a safe check
constexpr int KING_DANGER_SIZE = 48;

// Pawn structure of one side: base values of passed pawns and the shape
// terms. Only pawns take part, so the result keeps by the pawns' placement.
template <Colour Us, bool Trace>
void pawn_structure(const Position& pos, Sums<Trace>& s, Bitboard& passed) {
  using T = ColourTraits<Us>;
  const Masks& m = masks();
  const Bitboard own = pos.piece_bb[own_index<Us>(PAWN)];
  const Bitboard enemy = pos.piece_bb[enemy_index<Us>(PAWN)];
  const Bitboard own_attacks = pawn_attack_set<Us>(own);
  const Bitboard enemy_attacks = pawn_attack_set<T::Them>(enemy);
  for (Bitboard b = own; b;) {
    const Square sq = pop_lowest(b);
    const int r = rel_rank<Us>(sq);
    if constexpr (Trace) {
      s.template add<Us>(T_MATERIAL);
      s.template add<Us>(T_PST + rel_square<Us>(sq));
    } else {
      s.mg += (Us == White ? 1 : -1) * m.psq_mg[T::PAWN_CODE][sq];
      s.eg += (Us == White ? 1 : -1) * m.psq_eg[T::PAWN_CODE][sq];
    }
    const Bitboard neighbours = m.neighbours[sq];
    if (!(m.front_span[Us][sq] & enemy)) {
      passed |= square_bb(sq);
      s.template add<Us>(T_PASSED + r - 1);
    }
    if (m.front_file[Us][sq] & own) s.template add<Us>(T_DOUBLED);
    if (!(neighbours & own)) {
      s.template add<Us>(T_ISOLATED);
    } else {
      // Backward: no pawn beside or behind can defend it, and an enemy
      // pawn controls the square ahead.
      const Square stop = sq + T::UP;
      if (!(neighbours & own & ~m.ahead[Us][sq]) && (enemy_attacks & square_bb(stop)))
        s.template add<Us>(T_BACKWARD);
    }
    if (own_attacks & square_bb(sq)) s.template add<Us>(T_SUPPORTED + r - 1);
    if (neighbours & own & row_bb(row_of(sq))) s.template add<Us>(T_PHALANX + r - 1);
  }
}

template <bool Trace>
const PawnEntry& pawn_entry(const Position& pos, PawnCache* cache, PawnEntry& scratch,
                            Sums<Trace>& s) {
  const Bitboard white = pos.piece_bb[piece_bb_index(W_PAWN)];
  const Bitboard black = pos.piece_bb[piece_bb_index(B_PAWN)];
  if constexpr (!Trace) {
    const uint64_t mix = white * 0x9E3779B97F4A7C15ull ^ (black + 1) * 0xC2B2AE3D27D4EB4Full;
    PawnEntry& e = cache->entries[(mix >> 40) & (cache->entries.size() - 1)];
    if (e.white_pawns == white && e.black_pawns == black) return e;
    Sums<false> p;
    Bitboard passed = 0;
    pawn_structure<White>(pos, p, passed);
    pawn_structure<Black>(pos, p, passed);
    e = {white, black, passed, p.mg, p.eg};
    return e;
  } else {
    // Traced: scored into the evaluation's own sums, so every term is counted.
    Bitboard passed = 0;
    pawn_structure<White>(pos, s, passed);
    pawn_structure<Black>(pos, s, passed);
    scratch = {white, black, passed, 0, 0};
    return scratch;
  }
}

// Material, squares, mobility and placement of one side's pieces; gathers
// the attacks that the later terms read.
template <Colour Us, bool Trace>
void pieces(const Position& pos, Sums<Trace>& s, AttackInfo& ai) {
  using T = ColourTraits<Us>;
  constexpr Colour Them = T::Them;
  const Masks& m = masks();
  const Bitboard* p = pos.piece_bb;
  const Bitboard own_pawns = p[own_index<Us>(PAWN)], enemy_pawns = p[enemy_index<Us>(PAWN)];
  const Bitboard occ = pos.occ_all;
  const Square own_king = lowest_bit(p[own_index<Us>(KING)]);
  const Square enemy_king = lowest_bit(p[enemy_index<Us>(KING)]);
  const Bitboard mobility_area = ~(own_pawns | square_bb(own_king) | ai.pawn[Them]);
  const Bitboard enemy_zone = ai.zone[Them];
  const int sign = Us == White ? 1 : -1;
  int units = 0, attackers = 0;

  for (unsigned kind = KNIGHT; kind <= QUEEN; ++kind) {
    const unsigned code = make_piece(Us, kind);
    for (Bitboard b = p[own_index<Us>(kind)]; b;) {
      const Square sq = pop_lowest(b);
      if constexpr (Trace) {
        s.template add<Us>(T_MATERIAL + kind - 1);
        s.template add<Us>(T_PST + 64 * (kind - 1) + rel_square<Us>(sq));
      } else {
        s.mg += sign * m.psq_mg[code][sq];
        s.eg += sign * m.psq_eg[code][sq];
      }
      Bitboard att;
      int mobility_term;
      switch (kind) {
        case KNIGHT:
          att = knight_attacks[sq];
          mobility_term = T_KNIGHT_MOBILITY;
          ai.knight[Us] |= att;
          ai.minor[Us] |= att;
          break;
        case BISHOP:
          att = bishop_attacks(sq, occ);
          mobility_term = T_BISHOP_MOBILITY;
          ai.bishop[Us] |= att;
          ai.minor[Us] |= att;
          break;
        case ROOK:
          att = rook_attacks(sq, occ);
          mobility_term = T_ROOK_MOBILITY;
          ai.rook[Us] |= att;
          break;
        default:
          att = queen_attacks(sq, occ);
          mobility_term = T_QUEEN_MOBILITY;
          ai.queen[Us] |= att;
          break;
      }
      ai.all[Us] |= att;
      s.template add<Us>(mobility_term + popcount(att & mobility_area));
      if (att & enemy_zone) {
        ++attackers;
        units += ATTACK_UNITS[kind] + popcount(att & enemy_zone);
      }

      if (kind == KNIGHT || kind == BISHOP) {
        const int r = rel_rank<Us>(sq);
        if (r >= 4 && r <= 6 && (ai.pawn[Us] & square_bb(sq)) &&
            !(m.front_span[Us][sq] & m.neighbours[sq] & enemy_pawns))
          s.template add<Us>(kind == KNIGHT ? T_KNIGHT_OUTPOST : T_BISHOP_OUTPOST);
        if (rel_rank<Us>(sq) < 8 && ((own_pawns | enemy_pawns) & square_bb(sq + T::UP)))
          s.template add<Us>(T_MINOR_BEHIND_PAWN);
        if (kind == BISHOP) {
          const Bitboard colour = (square_bb(sq) & LIGHT_SQUARES) ? LIGHT_SQUARES : ~LIGHT_SQUARES;
          s.template add<Us>(T_BISHOP_PAWNS, popcount(own_pawns & colour));
        }
      } else if (kind == ROOK) {
        const Bitboard file = file_bb(file_of(sq));
        if (!(file & own_pawns))
          s.template add<Us>(file & enemy_pawns ? T_ROOK_SEMI_OPEN : T_ROOK_OPEN);
        if (rel_rank<Us>(sq) == 7 &&
            (rel_rank<Us>(enemy_king) == 8 || (enemy_pawns & row_bb(row_of(sq)))))
          s.template add<Us>(T_ROOK_SEVENTH);
      }
    }
  }
  const Bitboard bishops = p[own_index<Us>(BISHOP)];
  if ((bishops & LIGHT_SQUARES) && (bishops & ~LIGHT_SQUARES)) s.template add<Us>(T_BISHOP_PAIR);

  // The king's own square value.
  if constexpr (Trace) {
    s.template add<Us>(T_PST + 64 * (KING - 1) + rel_square<Us>(own_king));
  } else {
    s.mg += sign * m.psq_mg[T::KING_CODE][own_king];
    s.eg += sign * m.psq_eg[T::KING_CODE][own_king];
  }
  ai.all[Us] |= king_attacks[own_king] | ai.pawn[Us];
  ai.king_units[Us] = attackers ? units : 0;
}

// The danger to Them's king from Us's pieces, and Them's pawn cover.
template <Colour Us, bool Trace>
void king_attack(const Position& pos, Sums<Trace>& s, const AttackInfo& ai) {
  constexpr Colour Them = ColourTraits<Us>::Them;
  const Bitboard* p = pos.piece_bb;
  const Square king = lowest_bit(p[enemy_index<Us>(KING)]);
  const Bitboard occ = pos.occ_all;
  const Bitboard safe = ~ai.all[Them] & ~(Us == White ? pos.occ_white : pos.occ_black);
  int units = ai.king_units[Us];
  const Bitboard diagonal = bishop_attacks(king, occ), straight = rook_attacks(king, occ);
  if (knight_attacks[king] & ai.knight[Us] & safe) units += CHECK_UNITS[KNIGHT];
  if (diagonal & ai.bishop[Us] & safe) units += CHECK_UNITS[BISHOP];
  if (straight & ai.rook[Us] & safe) units += CHECK_UNITS[ROOK];
  if ((diagonal | straight) & ai.queen[Us] & safe) units += CHECK_UNITS[QUEEN];
  if (!p[own_index<Us>(QUEEN)]) units /= 2;
  s.template add<Us>(T_KING_DANGER + std::min(units, KING_DANGER_SIZE - 1));
}

// Them's pawns in front of Them's king, and Us's pawns storming it; scored
// for Them.
template <Colour Us, bool Trace>
void king_shelter(const Position& pos, Sums<Trace>& s) {
  const Masks& m = masks();
  const Bitboard* p = pos.piece_bb;
  const Square king = lowest_bit(p[own_index<Us>(KING)]);
  const Bitboard own = p[own_index<Us>(PAWN)], enemy = p[enemy_index<Us>(PAWN)];
  const int kf = file_of(king);
  const Bitboard ahead = m.ahead[Us][king];
  for (int f = std::max(kf - 1, 0); f <= std::min(kf + 1, 7); ++f) {
    const Bitboard shield = own & ahead & file_bb(f), storm = enemy & ahead & file_bb(f);
    int shield_index = 0, storm_index = 0;
    if (shield) {
      const Square nearest = Us == White ? 63 - __builtin_clzll(shield) : lowest_bit(shield);
      shield_index = std::min(std::abs(row_of(nearest) - row_of(king)), 6);
    }
    if (storm) {
      const Square nearest = Us == White ? 63 - __builtin_clzll(storm) : lowest_bit(storm);
      storm_index = std::min(std::abs(row_of(nearest) - row_of(king)), 6);
    }
    s.template add<Us>(T_SHIELD + shield_index);
    s.template add<Us>(T_STORM + storm_index);
  }
  if (!(own & file_bb(kf))) s.template add<Us>(T_KING_OPEN_FILE);
}

// Us's pieces and pawns attacking Them's.
template <Colour Us, bool Trace>
void threats(const Position& pos, Sums<Trace>& s, const AttackInfo& ai) {
  constexpr Colour Them = ColourTraits<Us>::Them;
  const Bitboard* p = pos.piece_bb;
  const Bitboard enemy_pieces = (Us == White ? pos.occ_black : pos.occ_white) &
                                ~p[enemy_index<Us>(KING)];
  const Bitboard weak = enemy_pieces & ~ai.pawn[Them];
  const Bitboard heavy = p[enemy_index<Us>(ROOK)] | p[enemy_index<Us>(QUEEN)];
  for (unsigned kind = PAWN; kind <= QUEEN; ++kind) {
    const Bitboard victims = p[enemy_index<Us>(kind)];
    if (kind != PAWN) {
      if (int n = popcount(victims & ai.pawn[Us])) s.template add<Us>(T_THREAT_BY_PAWN + kind - 2, n);
    }
    if (int n = popcount(victims & (weak | heavy) & ai.minor[Us]))
      s.template add<Us>(T_THREAT_BY_MINOR + kind - 1, n);
    if (int n = popcount(victims & (weak | p[enemy_index<Us>(QUEEN)]) & ai.rook[Us]))
      s.template add<Us>(T_THREAT_BY_ROOK + kind - 1, n);
  }
  if (int n = popcount(enemy_pieces & ai.all[Us] & ~ai.all[Them])) s.template add<Us>(T_HANGING, n);
}

// What each passed pawn of Us gains from its surroundings.
template <Colour Us, bool Trace>
void passed_pawns(const Position& pos, Sums<Trace>& s, const AttackInfo& ai, Bitboard passed) {
  using T = ColourTraits<Us>;
  constexpr Colour Them = T::Them;
  const Masks& m = masks();
  const Bitboard* p = pos.piece_bb;
  const Square own_king = lowest_bit(p[own_index<Us>(KING)]);
  const Square enemy_king = lowest_bit(p[enemy_index<Us>(KING)]);
  const Bitboard enemy_pieces = (Us == White ? pos.occ_black : pos.occ_white) &
                                ~p[enemy_index<Us>(PAWN)] & ~p[enemy_index<Us>(KING)];
  bool unstoppable = false;
  for (Bitboard b = passed & p[own_index<Us>(PAWN)]; b;) {
    const Square sq = pop_lowest(b);
    const int r = rel_rank<Us>(sq);
    const Square stop = sq + T::UP;
    const Bitboard path = m.front_file[Us][sq];
    const bool free = !(path & pos.occ_all);
    if (free) s.template add<Us>(T_PASSED_FREE + r - 1);
    if (!(ai.all[Them] & square_bb(stop))) s.template add<Us>(T_PASSED_SAFE + r - 1);
    if (pos.occ_all & square_bb(stop)) s.template add<Us>(T_PASSED_BLOCKED + r - 1);
    if (r >= 3) {
      s.template add<Us>(T_PASSED_OWN_KING + distance(own_king, stop), r - 2);
      s.template add<Us>(T_PASSED_ENEMY_KING + distance(enemy_king, stop), r - 2);
    }
    if (!unstoppable && free && !enemy_pieces) {
      // The rule of the square: the enemy king cannot reach the queening
      // square in time.
      const Square queening = Us == White ? file_of(sq) : 56 + file_of(sq);
      const int pawn_steps = std::min(8 - r, 5);
      const int king_steps = distance(enemy_king, queening) - (pos.side_to_move == Them ? 1 : 0);
      if (king_steps > pawn_steps) unstoppable = true;
    }
  }
  if (unstoppable) s.template add<Us>(T_UNSTOPPABLE);
}

constexpr int MINOR_VALUE = 325, ROOK_VALUE = 500, QUEEN_VALUE = 975;

struct MaterialCount {
  int pawns = 0, knights = 0, bishops = 0, rooks = 0, queens = 0;
  int pieces() const { return knights * MINOR_VALUE + bishops * MINOR_VALUE + rooks * ROOK_VALUE + queens * QUEEN_VALUE; }
};

template <Colour Us>
MaterialCount count_material(const Position& pos) {
  const Bitboard* p = pos.piece_bb;
  return {popcount(p[own_index<Us>(PAWN)]), popcount(p[own_index<Us>(KNIGHT)]),
          popcount(p[own_index<Us>(BISHOP)]), popcount(p[own_index<Us>(ROOK)]),
          popcount(p[own_index<Us>(QUEEN)])};
}

// Too little to mate, with no pawn left to make more.
bool known_draw(const MaterialCount& w, const MaterialCount& b) {
  if (w.pawns || b.pawns) return false;
  auto at_most_minor = [](const MaterialCount& c) {
    return !c.rooks && !c.queens && c.knights + c.bishops <= 1;
  };
  auto two_knights = [](const MaterialCount& c) {
    return !c.rooks && !c.queens && !c.bishops && c.knights == 2;
  };
  auto bare = [](const MaterialCount& c) { return c.pieces() == 0; };
  if (at_most_minor(w) && at_most_minor(b)) return true;
  return (two_knights(w) && bare(b)) || (two_knights(b) && bare(w));
}

// The endgame part's scale, out of 64, for the side the endgame part favours.
int endgame_scale(const Position& pos, const MaterialCount& strong, const MaterialCount& weak,
                  Colour strong_side) {
  if (!strong.pawns && strong.pieces() - weak.pieces() <= MINOR_VALUE)
    return strong.pieces() <= MINOR_VALUE ? 0 : 16;
  const Bitboard wb = pos.piece_bb[piece_bb_index(W_BISHOP)];
  const Bitboard bb = pos.piece_bb[piece_bb_index(B_BISHOP)];
  if (strong.bishops == 1 && weak.bishops == 1 &&
      bool(wb & LIGHT_SQUARES) != bool(bb & LIGHT_SQUARES)) {
    const bool only_bishops = strong.pieces() == MINOR_VALUE && weak.pieces() == MINOR_VALUE;
    return only_bishops ? 24 : 48;
  }
  if (strong.pawns == 1 && !strong.queens && weak.pieces() > 0 &&
      strong.pieces() <= weak.pieces() + MINOR_VALUE / 2)
    return 32;
  (void)strong_side;
  return MODERN_SCALE_NORMAL;
}

// Against a bare king: drive it to the edge (to a corner the bishop covers
// in KBNK) and bring the own king near. White's view.
int32_t mating_drive(const Position& pos, const MaterialCount& w, const MaterialCount& b) {
  const bool white_strong = b.pawns == 0 && b.pieces() == 0 && w.pieces() >= ROOK_VALUE;
  const bool black_strong = w.pawns == 0 && w.pieces() == 0 && b.pieces() >= ROOK_VALUE;
  if (white_strong == black_strong) return 0;
  const Colour strong = white_strong ? White : Black;
  const MaterialCount& s = white_strong ? w : b;
  const Square strong_king = lowest_bit(pos.piece_bb[piece_bb_index(make_piece(strong, KING))]);
  const Square weak_king =
      lowest_bit(pos.piece_bb[piece_bb_index(make_piece(opposite(strong), KING))]);
  int32_t drive = 20 * centre_distance(weak_king) + 10 * (7 - distance(strong_king, weak_king));
  if (s.knights == 1 && s.bishops == 1 && !s.rooks && !s.queens) {
    const Bitboard bishop = pos.piece_bb[piece_bb_index(make_piece(strong, BISHOP))];
    const bool light = bishop & LIGHT_SQUARES;
    // a8 and h1 are light.
    const int corner = light ? std::min(distance(weak_king, SQ_A8), distance(weak_king, SQ_H1))
                             : std::min(distance(weak_king, SQ_A1), distance(weak_king, SQ_H8));
    drive = 40 * (7 - corner) + 10 * (7 - distance(strong_king, weak_king));
  }
  return strong == White ? drive : -drive;
}

template <bool Trace>
int32_t evaluate_white(const Position& pos, PawnCache* cache, ModernTrace* trace) {
  const MaterialCount wm = count_material<White>(pos), bm = count_material<Black>(pos);
  if (known_draw(wm, bm)) {
    if constexpr (Trace) trace->drawn = true;
    return 0;
  }
  Sums<Trace> s;
  s.trace = trace;
  PawnEntry scratch;
  const PawnEntry& pawns = pawn_entry<Trace>(pos, cache, scratch, s);
  if constexpr (!Trace) {
    s.mg += pawns.mg;
    s.eg += pawns.eg;
  }

  const Bitboard* p = pos.piece_bb;
  AttackInfo ai;
  ai.pawn[White] = pawn_attack_set<White>(p[piece_bb_index(W_PAWN)]);
  ai.pawn[Black] = pawn_attack_set<Black>(p[piece_bb_index(B_PAWN)]);
  const Square wk = lowest_bit(p[piece_bb_index(W_KING)]);
  const Square bk = lowest_bit(p[piece_bb_index(B_KING)]);
  ai.zone[White] = king_attacks[wk] | square_bb(wk);
  ai.zone[Black] = king_attacks[bk] | square_bb(bk);
  pieces<White>(pos, s, ai);
  pieces<Black>(pos, s, ai);
  king_attack<White>(pos, s, ai);
  king_attack<Black>(pos, s, ai);
  king_shelter<White>(pos, s);
  king_shelter<Black>(pos, s);
  threats<White>(pos, s, ai);
  threats<Black>(pos, s, ai);
  passed_pawns<White>(pos, s, ai, pawns.passed);
  passed_pawns<Black>(pos, s, ai, pawns.passed);
  if (pos.side_to_move == 1)
    s.template add<White>(T_TEMPO);
  else
    s.template add<Black>(T_TEMPO);

  const int phase = std::min(
      MODERN_PHASE_MAX, wm.knights + wm.bishops + bm.knights + bm.bishops +
                            2 * (wm.rooks + bm.rooks) + 4 * (wm.queens + bm.queens));
  const int scale = s.eg > 0   ? endgame_scale(pos, wm, bm, White)
                    : s.eg < 0 ? endgame_scale(pos, bm, wm, Black)
                               : MODERN_SCALE_NORMAL;
  const int32_t fixed = mating_drive(pos, wm, bm);
  if constexpr (Trace) {
    trace->phase = phase;
    trace->scale = scale;
    trace->fixed = fixed;
  }
  return (s.mg * phase + s.eg * scale / MODERN_SCALE_NORMAL * (MODERN_PHASE_MAX - phase)) /
             MODERN_PHASE_MAX +
         fixed;
}

constexpr int32_t EVAL_LIMIT = 9000;  // below every mate score

int32_t to_side(const Position& pos, int32_t white) {
  white = std::clamp(white, -EVAL_LIMIT, EVAL_LIMIT);
  return pos.side_to_move == 1 ? white : -white;
}

}  // namespace

int32_t modern_evaluate(const Position& pos, PawnCache& cache) {
  return to_side(pos, evaluate_white<false>(pos, &cache, nullptr));
}

int32_t modern_evaluate_traced(const Position& pos, ModernTrace& trace) {
  trace = ModernTrace{};
  return to_side(pos, evaluate_white<true>(pos, nullptr, &trace));
}
