#include "egdb/tb_generate.h"

#include <algorithm>
#include <cstdio>

#include "egdb/tb_index.h"

// The generator has its own compact move logic over a handful of pieces, in
// tablebase numbering (a1 = 0): White's pawns move up (+8), Black's down.
//
// Solving works ply by ply over both tables of a class at once. Positions
// lost at ply d make their predecessors (found by moving pieces backwards)
// won at d + 1; positions won at d make each predecessor lost at d + 1 once
// every move of it is known to lose. That second test replays the
// predecessor's moves instead of counting them down, because the index keeps
// two entries for some symmetric positions (both kings on the long diagonal),
// which makes per-entry move counters unreliable. Moves that leave the class
// (captures and promotions) take their values from the solved smaller or
// promoted classes.
//
// En passant: a double step that lands beside an enemy pawn leads to the
// entry with that en-passant target (classes where both sides have pawns);
// every other entry is a position without an en-passant right.

namespace {

constexpr int WHITE_SIDE = 0, BLACK_SIDE = 1;
constexpr int PAWN_T = 1, KNIGHT_T = 2, BISHOP_T = 3, ROOK_T = 4, QUEEN_T = 5, KING_T = 6;

constexpr uint8_t PLY_UNKNOWN = 255;  // not resolved yet; a draw at the end
constexpr uint8_t PLY_DRAW = 254;     // known draw (stalemate, or a drawing exit only)
constexpr uint8_t PLY_PENDING = 253;  // known loss, resolved at its scheduled ply
constexpr int PLY_LIMIT = 250;
constexpr uint32_t NO_POSITION = 0xFFFFFFFF;
constexpr uint8_t EXIT_CANNOT_LOSE = 255;

constexpr int file_of_tb(int sq) { return sq & 7; }
constexpr int rank_of_tb(int sq) { return sq >> 3; }

constexpr bool is_pawn_square(int sq) { return sq >= 8 && sq < 56; }

// Attack tables, built once.
struct Attacks {
  uint64_t knight[64], king[64], pawn[2][64];
  uint64_t ray[8][64];  // squares beyond each square in each direction
};
constexpr int ray_df[8] = {1, -1, 0, 0, 1, 1, -1, -1};
constexpr int ray_dr[8] = {0, 0, 1, -1, 1, -1, 1, -1};  // 0-3 orthogonal, 4-7 diagonal

Attacks make_attacks() {
  Attacks a{};
  for (int s = 0; s < 64; ++s) {
    int f = file_of_tb(s), r = rank_of_tb(s);
    auto add = [&](uint64_t& b, int df, int dr) {
      int nf = f + df, nr = r + dr;
      if (nf >= 0 && nf < 8 && nr >= 0 && nr < 8) b |= uint64_t(1) << (nr * 8 + nf);
    };
    for (int df = -2; df <= 2; ++df)
      for (int dr = -2; dr <= 2; ++dr) {
        if (df * df + dr * dr == 5) add(a.knight[s], df, dr);
        if ((df != 0 || dr != 0) && df >= -1 && df <= 1 && dr >= -1 && dr <= 1) add(a.king[s], df, dr);
      }
    add(a.pawn[WHITE_SIDE][s], -1, 1);
    add(a.pawn[WHITE_SIDE][s], 1, 1);
    add(a.pawn[BLACK_SIDE][s], -1, -1);
    add(a.pawn[BLACK_SIDE][s], 1, -1);
    for (int d = 0; d < 8; ++d)
      for (int k = 1; k < 8; ++k) {
        int nf = f + k * ray_df[d], nr = r + k * ray_dr[d];
        if (nf < 0 || nf > 7 || nr < 0 || nr > 7) break;
        a.ray[d][s] |= uint64_t(1) << (nr * 8 + nf);
      }
  }
  return a;
}
const Attacks attacks = make_attacks();

// Directions 0, 2, 4, 5's first blocker is the lowest square; the others' the highest.
inline uint64_t ray_attacks(int d, int sq, uint64_t occ) {
  uint64_t r = attacks.ray[d][sq];
  uint64_t b = r & occ;
  if (b == 0) return r;
  bool up = ray_dr[d] > 0 || (ray_dr[d] == 0 && ray_df[d] > 0);
  int first = up ? __builtin_ctzll(b) : 63 - __builtin_clzll(b);
  return r & ~attacks.ray[d][first];
}
inline uint64_t piece_attacks(int type, int colour, int sq, uint64_t occ) {
  switch (type) {
    case PAWN_T: return attacks.pawn[colour][sq];
    case KNIGHT_T: return attacks.knight[sq];
    case KING_T: return attacks.king[sq];
    default: break;
  }
  uint64_t a = 0;
  int d0 = type == BISHOP_T ? 4 : 0, d1 = type == ROOK_T ? 4 : 8;
  for (int d = d0; d < d1; ++d) a |= ray_attacks(d, sq, occ);
  return a;
}

// A position of any material (up to five pieces), as the generator sees it.
struct Board {
  int n;
  int type[5];
  int colour[5];
  int sq[5];
  int stm;
  int ep;  // en-passant target or TB_NO_EP
};

inline uint64_t occupancy(const Board& b) {
  uint64_t o = 0;
  for (int i = 0; i < b.n; ++i) o |= uint64_t(1) << b.sq[i];
  return o;
}
inline int king_square(const Board& b, int colour) {
  for (int i = 0; i < b.n; ++i)
    if (b.type[i] == KING_T && b.colour[i] == colour) return b.sq[i];
  return -1;
}
inline bool attacked(const Board& b, int sq, int by, uint64_t occ) {
  for (int i = 0; i < b.n; ++i)
    if (b.colour[i] == by && (piece_attacks(b.type[i], by, b.sq[i], occ) >> sq & 1)) return true;
  return false;
}
inline bool in_check(const Board& b, int colour) {
  return attacked(b, king_square(b, colour), colour ^ 1, occupancy(b));
}

// Targets of en passant in a board with `stm` to move: the square passed by an
// enemy pawn that stands beside a pawn of stm on its fourth rank with the
// two squares behind it empty. At most two.
int ep_targets(const Board& b, int* out) {
  int count = 0;
  uint64_t occ = occupancy(b);
  int them = b.stm ^ 1;
  for (int i = 0; i < b.n; ++i) {
    if (b.type[i] != PAWN_T || b.colour[i] != them) continue;
    int a = b.sq[i];
    int passed = them == WHITE_SIDE ? a - 8 : a + 8, start = them == WHITE_SIDE ? a - 16 : a + 16;
    if (rank_of_tb(a) != (them == WHITE_SIDE ? 3 : 4)) continue;
    if ((occ >> passed & 1) || (occ >> start & 1)) continue;
    bool beside = false;
    for (int j = 0; j < b.n; ++j)
      beside |= b.type[j] == PAWN_T && b.colour[j] == b.stm && rank_of_tb(b.sq[j]) == rank_of_tb(a)
                && (b.sq[j] == a + 1 || b.sq[j] == a - 1);
    if (beside) out[count++] = passed;
  }
  return count;
}

// Whether a pawn that has just stepped two squares to `sq` can be taken en
// passant: an enemy pawn stands beside it.
bool grants_ep(const Board& b, int sq, int pawn_colour) {
  for (int j = 0; j < b.n; ++j)
    if (b.type[j] == PAWN_T && b.colour[j] != pawn_colour && rank_of_tb(b.sq[j]) == rank_of_tb(sq)
        && (b.sq[j] == sq + 1 || b.sq[j] == sq - 1))
      return true;
  return false;
}

// Class lookup by material: counts of P N B R Q for White then Black, base 4.
int material_key(const int* white, const int* black) {
  int k = 0;
  for (int i = 0; i < 5; ++i) k = k * 4 + white[i];
  for (int i = 0; i < 5; ++i) k = k * 4 + black[i];
  return k;
}
std::vector<int16_t> make_class_map() {
  std::vector<int16_t> map(1 << 20, 0);
  for (int pass = 0; pass < 2; ++pass)
    for (int c = 1; c < TB_CLASS_COUNT; ++c) {
      int f[5] = {}, s[5] = {};
      TbSideMaterial a = tb_class_material(c, 0), z = tb_class_material(c, 1);
      for (int i = 0; i < a.count; ++i) ++f[a.type[i] - 1];
      for (int i = 0; i < z.count; ++i) ++s[z.type[i] - 1];
      int key = pass == 0 ? material_key(f, s) : material_key(s, f);
      if (map[key] == 0) map[key] = int16_t(pass == 0 ? c : -c);
    }
  return map;
}
const std::vector<int16_t>& class_map() {
  static const std::vector<int16_t> map = make_class_map();
  return map;
}

// Signed class of a board's material (negative: colours exchanged), 0 for
// bare kings, or TB_CLASS_COUNT when no class has it.
int board_class(const Board& b) {
  int c[2][5] = {};
  int pieces = 0;
  for (int i = 0; i < b.n; ++i)
    if (b.type[i] != KING_T) {
      if (++c[b.colour[i]][b.type[i] - 1] > 3) return TB_CLASS_COUNT;
      ++pieces;
    }
  if (pieces == 0) return 0;
  if (pieces > 3) return TB_CLASS_COUNT;
  int r = class_map()[material_key(c[WHITE_SIDE], c[BLACK_SIDE])];
  return r == 0 ? TB_CLASS_COUNT : r;
}

// Squares of one colour in the order of a class side's material.
void class_order_squares(const Board& b, const TbSideMaterial& mat, int colour, int* out) {
  out[0] = king_square(b, colour);
  out[1] = out[2] = out[3] = 0;
  bool used[5] = {};
  for (int k = 0; k < mat.count; ++k)
    for (int i = 0; i < b.n; ++i)
      if (!used[i] && b.colour[i] == colour && b.type[i] == mat.type[k]) {
        used[i] = true;
        out[k + 1] = b.sq[i];
        break;
      }
}

// Table side and index of a board in class |signed_class|.
uint32_t board_index(const Board& b, int signed_class, int* side) {
  int cls = signed_class < 0 ? -signed_class : signed_class;
  int first_colour = signed_class < 0 ? BLACK_SIDE : WHITE_SIDE;
  int f[4], s[4];
  class_order_squares(b, tb_class_material(cls, 0), first_colour, f);
  class_order_squares(b, tb_class_material(cls, 1), first_colour ^ 1, s);
  *side = b.stm == first_colour ? 0 : 1;
  return tb_index_from_squares(cls, *side, f, s, b.ep, signed_class < 0 ? 1 : 0);
}

// A value seen from the side to move: kind +1 win, -1 loss, 0 draw; ply the
// distance to mate in plies.
struct Outcome {
  int kind;
  int ply;
};
Outcome byte_outcome(int8_t v) {
  if (v == 0) return {0, 0};
  if (v == -128) return {1, 253};
  if (v > 0) return {1, 2 * (127 - v) - 1};
  if (v == -127) return {-1, 252};
  return {-1, 2 * (v + 126)};
}
int8_t ply_byte(uint8_t ply) {
  if (ply >= PLY_PENDING) return 0;
  if (ply & 1) {
    int n = (ply + 1) / 2;
    return n == 127 ? int8_t(-128) : int8_t(127 - n);
  }
  int n = ply / 2;
  return n == 126 ? int8_t(-127) : int8_t(n - 126);
}

Outcome solved_outcome(const TbSolved& solved, const Board& b) {
  int c = board_class(b);
  if (c == 0) return {0, 0};
  int side;
  uint32_t idx = board_index(b, c, &side);
  const std::vector<int8_t>& t = solved.table[c < 0 ? -c : c][side];
  return byte_outcome(idx < t.size() ? t[idx] : 0);
}

// One class being solved: its layout (slot order: first side's king and
// pieces, then the second side's), and per table side the position of every
// index and the working values.
struct Work {
  int cls;
  int n;
  int type[4];
  int colour[4];
  int first_king_slot, second_king_slot;
  bool pawnless;
  uint64_t range[2];
  std::vector<uint32_t> pos[2];
  std::vector<uint8_t> ply[2];
  std::vector<uint8_t> exit_loss[2];  // longest loss through a capture or promotion
  // Classes with pawns number every position once up to the file mirror, which
  // fixes no position, so counting down the moves not yet refuted is exact.
  // Without pawns the moves of a candidate are replayed instead, once per ply.
  bool count_moves;
  bool ep_extension;
  std::vector<uint8_t> moves_left[2];
  std::vector<uint8_t> tried_at[2];  // ply + 1 of the last replay that failed
  std::vector<std::vector<uint64_t>> scheduled;  // by ply: side << 32 | index
  const TbSolved* solved;
};

// Packed board of the class: six bits per slot, then seven for en passant.
inline uint32_t pack(const Work& w, const Board& b) {
  uint32_t p = 0;
  for (int i = 0; i < w.n; ++i) p |= uint32_t(b.sq[i]) << (6 * i);
  return p | uint32_t(b.ep) << 24;
}
inline Board unpack(const Work& w, uint32_t p, int stm) {
  Board b;
  b.n = w.n;
  for (int i = 0; i < w.n; ++i) {
    b.type[i] = w.type[i];
    b.colour[i] = w.colour[i];
    b.sq[i] = int(p >> (6 * i) & 63);
  }
  b.stm = stm;
  b.ep = int(p >> 24 & 127);
  return b;
}

// Index of an in-class board (its side to move is the table side).
inline uint32_t work_index(const Work& w, const Board& b) {
  int f[4] = {0, 0, 0, 0}, s[4] = {0, 0, 0, 0};
  int nf = 0, ns = 0;
  for (int i = 0; i < w.n; ++i) {
    if (w.colour[i] == WHITE_SIDE) f[nf++] = b.sq[i];
    else s[ns++] = b.sq[i];
  }
  return tb_index_from_squares(w.cls, b.stm, f, s, b.ep, 0);
}

// Every index of a board's orbit under the board symmetries: one, or two for
// pawnless boards whose kings both lie on the long diagonal after orientation.
inline int orbit_indices(const Work& w, const Board& b, uint32_t* out) {
  out[0] = work_index(w, b);
  if (!w.pawnless) return 1;
  int ks = b.sq[b.stm == WHITE_SIDE ? w.first_king_slot : w.second_king_slot];
  int ko = b.sq[b.stm == WHITE_SIDE ? w.second_king_slot : w.first_king_slot];
  int x = quadrant_mask[ks];
  ks ^= x, ko ^= x;
  if (file_of_tb(ks) != rank_of_tb(ks) || file_of_tb(ko) != rank_of_tb(ko)) return 1;
  Board r = b;
  for (int i = 0; i < w.n; ++i) r.sq[i] = tb_reflect_diagonal(b.sq[i] ^ x);
  out[1] = work_index(w, r);
  return out[1] == out[0] ? 1 : 2;
}

// Legal moves of a board, handed to `visit(child, leaves_class)`; `visit`
// returns false to stop early. Returns false if stopped.
template <typename Visit>
bool for_each_move(const Board& b, Visit visit) {
  uint64_t occ = occupancy(b);
  int us = b.stm, them = us ^ 1;
  uint64_t own = 0, enemy = 0;
  for (int i = 0; i < b.n; ++i) (b.colour[i] == us ? own : enemy) |= uint64_t(1) << b.sq[i];

  auto finish = [&](Board& c, bool leaves) -> bool {
    c.stm = them;
    if (in_check(c, us)) return true;
    return visit(c, leaves);
  };
  // Moves piece i to `to`, capturing whatever stands there, promoting to `promo`.
  auto play = [&](int i, int to, int promo, int ep_victim) -> bool {
    Board c = b;
    c.ep = TB_NO_EP;
    bool leaves = promo != 0;
    int victim = ep_victim;
    if (victim < 0 && (enemy >> to & 1))
      for (int j = 0; j < b.n; ++j)
        if (b.sq[j] == to) victim = j;
    c.sq[i] = to;
    if (promo) c.type[i] = promo;
    if (victim >= 0) {
      leaves = true;
      for (int j = victim; j + 1 < c.n; ++j) {
        c.type[j] = c.type[j + 1];
        c.colour[j] = c.colour[j + 1];
        c.sq[j] = c.sq[j + 1];
      }
      --c.n;
    }
    return finish(c, leaves);
  };

  for (int i = 0; i < b.n; ++i) {
    if (b.colour[i] != us) continue;
    int from = b.sq[i];
    if (b.type[i] == PAWN_T) {
      int up = us == WHITE_SIDE ? 8 : -8;
      int last = us == WHITE_SIDE ? 7 : 0;
      auto advance = [&](int to) -> bool {
        if (rank_of_tb(to) == last) {
          for (int promo = QUEEN_T; promo >= KNIGHT_T; --promo)
            if (!play(i, to, promo, -1)) return false;
          return true;
        }
        return play(i, to, 0, -1);
      };
      int one = from + up;
      if (!(occ >> one & 1)) {
        if (!advance(one)) return false;
        int two = one + up;
        if (rank_of_tb(from) == (us == WHITE_SIDE ? 1 : 6) && !(occ >> two & 1)) {
          Board c = b;
          c.sq[i] = two;
          c.ep = grants_ep(c, two, us) ? one : TB_NO_EP;
          if (!finish(c, false)) return false;
        }
      }
      uint64_t caps = attacks.pawn[us][from] & enemy;
      while (caps) {
        int to = __builtin_ctzll(caps);
        caps &= caps - 1;
        if (!advance(to)) return false;
      }
      if (b.ep != TB_NO_EP && (attacks.pawn[us][from] >> b.ep & 1)) {
        int victim_sq = b.ep - up;
        for (int j = 0; j < b.n; ++j)
          if (b.sq[j] == victim_sq && b.type[j] == PAWN_T && b.colour[j] == them)
            if (!play(i, b.ep, 0, j)) return false;
      }
      continue;
    }
    uint64_t targets = piece_attacks(b.type[i], us, from, occ) & ~own;
    while (targets) {
      int to = __builtin_ctzll(targets);
      targets &= targets - 1;
      if (!play(i, to, 0, -1)) return false;
    }
  }
  return true;
}

// Boards from which the side that did not move in `c` reaches `c` by one move
// within the class (no capture, no promotion), each with any en-passant
// right it may hold.
template <typename Visit>
void for_each_predecessor(const Work& w, const Board& c, Visit visit) {
  int mover = c.stm ^ 1;
  uint64_t occ = occupancy(c);
  auto offer = [&](Board& q, int landing, int passed) {
    // The child's en-passant state must be what the move would give.
    bool grants = landing >= 0 && grants_ep(c, landing, mover);
    if ((grants ? passed : TB_NO_EP) != c.ep) return;
    int t[2];
    q.stm = mover;
    q.ep = TB_NO_EP;
    if (in_check(q, c.stm)) return;
    visit(q);
    if (!w.ep_extension) return;
    int n = ep_targets(q, t);
    for (int k = 0; k < n; ++k) {
      q.ep = t[k];
      visit(q);
    }
    q.ep = TB_NO_EP;
  };
  for (int i = 0; i < c.n; ++i) {
    if (c.colour[i] != mover) continue;
    int to = c.sq[i];
    Board q = c;
    if (c.type[i] == PAWN_T) {
      int down = mover == WHITE_SIDE ? -8 : 8;
      int one = to + down;
      if (!is_pawn_square(one) || (occ >> one & 1)) continue;
      q.sq[i] = one;
      offer(q, -1, 0);
      int two = one + down;
      if (rank_of_tb(to) == (mover == WHITE_SIDE ? 3 : 4) && !(occ >> two & 1)) {
        q = c;
        q.sq[i] = two;
        offer(q, to, one);
      }
      continue;
    }
    uint64_t from = piece_attacks(c.type[i], mover, to, occ) & ~occ;
    while (from) {
      int f = __builtin_ctzll(from);
      from &= from - 1;
      q = c;
      q.sq[i] = f;
      offer(q, -1, 0);
    }
  }
}

bool legal_placement(const Board& b) {
  uint64_t occ = 0;
  for (int i = 0; i < b.n; ++i) {
    uint64_t bit = uint64_t(1) << b.sq[i];
    if (occ & bit) return false;
    occ |= bit;
    if (b.type[i] == PAWN_T && !is_pawn_square(b.sq[i])) return false;
  }
  int wk = king_square(b, WHITE_SIDE), bk = king_square(b, BLACK_SIDE);
  if (attacks.king[wk] >> bk & 1) return false;
  return !attacked(b, king_square(b, b.stm ^ 1), b.stm, occ);
}

// Fills pos[side] with one board per index: every legal board with the side
// to move's king where the index orientation puts it, en-passant rights too.
bool enumerate_positions(Work& w, int side, std::string& error) {
  w.pos[side].assign(w.range[side], NO_POSITION);
  int king_slot = side == 0 ? w.first_king_slot : w.second_king_slot;
  Board b{};
  b.n = w.n;
  for (int i = 0; i < w.n; ++i) b.type[i] = w.type[i], b.colour[i] = w.colour[i];
  b.stm = side;
  b.ep = TB_NO_EP;
  bool ok = true;
  uint64_t used = 0;
  auto store = [&](const Board& x) {
    uint32_t idx = work_index(w, x);
    if (idx >= w.range[side]) {
      ok = false;
      return;
    }
    if (w.pos[side][idx] == NO_POSITION) w.pos[side][idx] = pack(w, x);
  };
  auto place = [&](auto& self, int slot) -> void {
    if (slot >= w.n || slot >= 4) {
      if (!legal_placement(b)) return;
      b.ep = TB_NO_EP;
      store(b);
      if (w.ep_extension) {
        int t[2];
        int n = ep_targets(b, t);
        for (int k = 0; k < n; ++k) {
          b.ep = t[k];
          store(b);
        }
        b.ep = TB_NO_EP;
      }
      return;
    }
    for (int s = 0; s < 64; ++s) {
      if (slot == king_slot) {
        if (w.pawnless ? !tb_in_triangle(s) : file_of_tb(s) > 3) continue;
      } else if (w.type[slot] == PAWN_T && !is_pawn_square(s)) {
        continue;
      }
      if (used >> s & 1) continue;
      if (slot == w.second_king_slot && (attacks.king[b.sq[0]] >> s & 1)) continue;
      b.sq[slot] = s;
      used |= uint64_t(1) << s;
      self(self, slot + 1);
      used &= ~(uint64_t(1) << s);
    }
  };
  // The side to move's king first, so the orientation restriction prunes early.
  place(place, 0);
  if (!ok) error = std::string("index out of range in ") + tb_class_info[w.cls].name;
  return ok;
}

void schedule(Work& w, int ply, int side, uint32_t idx) {
  if (int(w.scheduled.size()) <= ply) w.scheduled.resize(ply + 1);
  w.scheduled[ply].push_back(uint64_t(side) << 32 | idx);
}

// Classifies every position by its moves: mates and stalemates, positions
// whose moves all leave the class, and the best results through exits.
void initialise(Work& w, int side) {
  uint64_t size = w.range[side];
  w.ply[side].assign(size, PLY_UNKNOWN);
  w.exit_loss[side].assign(size, 0);
  if (w.count_moves) w.moves_left[side].assign(size, 0);
  else w.tried_at[side].assign(size, 0);
  for (uint64_t idx = 0; idx < size; ++idx) {
    uint32_t p = w.pos[side][idx];
    if (p == NO_POSITION) {
      w.ply[side][idx] = PLY_DRAW;
      continue;
    }
    Board b = unpack(w, p, side);
    int moves = 0, inside = 0;
    int best_win = 1000, worst_loss = 0;
    bool cannot_lose = false;
    for_each_move(b, [&](const Board& c, bool leaves) {
      ++moves;
      if (!leaves) {
        ++inside;
        return true;
      }
      Outcome o = solved_outcome(*w.solved, c);
      if (o.kind < 0) best_win = std::min(best_win, o.ply + 1);
      else if (o.kind > 0) worst_loss = std::max(worst_loss, o.ply + 1);
      if (o.kind <= 0) cannot_lose = true;
      return true;
    });
    if (moves == 0) {
      if (in_check(b, side)) schedule(w, 0, side, uint32_t(idx));
      else w.ply[side][idx] = PLY_DRAW;
      continue;
    }
    if (best_win < 1000) schedule(w, best_win, side, uint32_t(idx));
    w.exit_loss[side][idx] = cannot_lose ? EXIT_CANNOT_LOSE : uint8_t(worst_loss);
    if (w.count_moves) w.moves_left[side][idx] = uint8_t(inside);
    if (inside == 0) {
      if (best_win < 1000) continue;
      if (cannot_lose) {
        w.ply[side][idx] = PLY_DRAW;
      } else {
        w.ply[side][idx] = PLY_PENDING;
        schedule(w, worst_loss, side, uint32_t(idx));
      }
    }
  }
}

// Whether every move of board q leads to a position won for the opponent
// within `ply` plies.
bool all_moves_lose(const Work& w, const Board& q, int ply) {
  return for_each_move(q, [&](const Board& c, bool leaves) {
    if (leaves) return true;  // exits are summarised in exit_loss
    uint8_t v = w.ply[c.stm][work_index(w, c)];
    return v < PLY_PENDING && (v & 1) && v <= ply;
  });
}

bool solve(Work& w, std::string& error) {
  std::vector<uint64_t> current, next;
  for (int d = 0;; ++d) {
    if (d > PLY_LIMIT) {
      error = "mate distances too long";
      return false;
    }
    if (d < int(w.scheduled.size()))
      for (uint64_t e : w.scheduled[d]) {
        int side = int(e >> 32);
        uint32_t idx = uint32_t(e);
        uint8_t& v = w.ply[side][idx];
        if (v == PLY_UNKNOWN || v == PLY_PENDING) {
          v = uint8_t(d);
          current.push_back(e);
        }
      }
    if (current.empty() && d >= int(w.scheduled.size())) return true;
    next.clear();
    for (uint64_t e : current) {
      int side = int(e >> 32);
      Board c = unpack(w, w.pos[side][uint32_t(e)], side);
      for_each_predecessor(w, c, [&](const Board& q) {
        uint32_t ids[2];
        int n = orbit_indices(w, q, ids);
        for (int k = 0; k < n; ++k) {
          uint8_t& v = w.ply[q.stm][ids[k]];
          if (v != PLY_UNKNOWN) continue;
          if ((d & 1) == 0) {
            v = uint8_t(d + 1);
            next.push_back(uint64_t(q.stm) << 32 | ids[k]);
            continue;
          }
          uint8_t exit = w.exit_loss[q.stm][ids[k]];
          if (w.count_moves) {
            if (--w.moves_left[q.stm][ids[k]] != 0 || exit == EXIT_CANNOT_LOSE) continue;
          } else {
            if (exit == EXIT_CANNOT_LOSE) continue;
            uint8_t& tried = w.tried_at[q.stm][ids[k]];
            if (tried == d + 1) continue;
            Board rep = unpack(w, w.pos[q.stm][ids[k]], q.stm);
            if (!all_moves_lose(w, rep, d)) {
              tried = uint8_t(d + 1);
              continue;
            }
          }
          if (exit > d + 1) {
            v = PLY_PENDING;
            schedule(w, exit, q.stm, ids[k]);
          } else {
            v = uint8_t(d + 1);
            next.push_back(uint64_t(q.stm) << 32 | ids[k]);
          }
        }
      });
    }
    // Positions found in this round have ply d + 1; the next round spreads them.
    std::swap(current, next);
  }
}

// Classes that captures and promotions of class `cls` lead to.
std::vector<int> dependencies(int cls) {
  std::vector<int> deps;
  TbSideMaterial m[2] = {tb_class_material(cls, 0), tb_class_material(cls, 1)};
  auto add = [&](int w[5], int b[5]) {
    int total = 0;
    for (int i = 0; i < 5; ++i) total += w[i] + b[i];
    if (total == 0) return;
    int c = class_map()[material_key(w, b)];
    if (c < 0) c = -c;
    if (c != 0 && std::find(deps.begin(), deps.end(), c) == deps.end()) deps.push_back(c);
  };
  int base[2][5] = {};
  for (int s = 0; s < 2; ++s)
    for (int i = 0; i < m[s].count; ++i) ++base[s][m[s].type[i] - 1];
  for (int s = 0; s < 2; ++s)
    for (int t = 0; t < 5; ++t) {
      if (base[s][t] == 0) continue;
      int c[2][5];
      std::copy(&base[0][0], &base[0][0] + 10, &c[0][0]);
      --c[s][t];  // a capture
      add(c[0], c[1]);
      if (t == 0)
        for (int promo = 1; promo < 5; ++promo) {
          ++c[s][promo];  // a promotion
          add(c[0], c[1]);
          for (int v = 0; v < 5; ++v)  // a capture that promotes
            if (c[s ^ 1][v] > 0) {
              --c[s ^ 1][v];
              add(c[0], c[1]);
              ++c[s ^ 1][v];
            }
          --c[s][promo];
        }
    }
  return deps;
}

}  // namespace

bool tb_generate_class(TbSolved& solved, int cls, std::string& error) {
  if (cls < 1 || cls > TB_GENERATE_MAX_CLASS) {
    error = "only classes of three and four pieces can be generated";
    return false;
  }
  if (solved.done[cls]) return true;
  init_tb_index_tables();
  for (int dep : dependencies(cls))
    if (!tb_generate_class(solved, dep, error)) return false;

  Work w;
  w.cls = cls;
  w.solved = &solved;
  w.n = 0;
  w.pawnless = true;
  for (int s = 0; s < 2; ++s) {
    if (s == 1) w.second_king_slot = w.n;
    else w.first_king_slot = 0;
    w.type[w.n] = KING_T;
    w.colour[w.n++] = s;
    TbSideMaterial m = tb_class_material(cls, s);
    for (int i = 0; i < m.count; ++i) {
      w.type[w.n] = m.type[i];
      w.colour[w.n++] = s;
      if (m.type[i] == PAWN_T) w.pawnless = false;
    }
  }
  w.count_moves = !w.pawnless;
  w.ep_extension = tb_has_ep_extension(cls);
  for (int side = 0; side < 2; ++side) {
    w.range[side] = tb_index_range(cls, side);
    if (!enumerate_positions(w, side, error)) return false;
  }
  for (int side = 0; side < 2; ++side) initialise(w, side);
  if (!solve(w, error)) return false;

  for (int side = 0; side < 2; ++side) {
    uint64_t size = tb_class_info[cls].size[side];
    for (uint64_t i = size; i < w.range[side]; ++i)
      if (w.pos[side][i] != NO_POSITION) {
        error = std::string("legal position past the end of ") + tb_class_info[cls].name;
        return false;
      }
    std::vector<int8_t>& t = solved.table[cls][side];
    t.resize(size);
    for (uint64_t i = 0; i < size; ++i) t[i] = ply_byte(w.ply[side][i]);
  }
  solved.done[cls] = true;
  return true;
}

int tb_solved_byte(const TbSolved& solved, const TbBoard& tb) {
  Board b;
  b.n = tb.count;
  for (int i = 0; i < b.n; ++i) b.type[i] = tb.type[i], b.colour[i] = tb.colour[i], b.sq[i] = tb.square[i];
  b.stm = tb.side_to_move;
  b.ep = tb.ep;
  int c = board_class(b);
  if (c == 0) return 0;
  if (c == TB_CLASS_COUNT || !solved.done[c < 0 ? -c : c]) return 127;
  int side;
  uint32_t idx = board_index(b, c, &side);
  const std::vector<int8_t>& t = solved.table[c < 0 ? -c : c][side];
  return idx < t.size() ? t[idx] : 0;
}
