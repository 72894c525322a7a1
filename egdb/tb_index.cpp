#include "egdb/tb_index.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<uint8_t, 64> make_quadrant_mask() {
  std::array<uint8_t, 64> m{};
  for (int s = 0; s < 64; ++s) m[s] = uint8_t(((s & 7) >= 4 ? 7 : 0) | ((s >> 3) >= 4 ? 56 : 0));
  return m;
}
constexpr std::array<uint8_t, 64> make_file_mask() {
  std::array<uint8_t, 64> m{};
  for (int s = 0; s < 64; ++s) m[s] = uint8_t((s & 7) >= 4 ? 7 : 0);
  return m;
}
constexpr auto quadrant_values = make_quadrant_mask();
constexpr auto file_values = make_file_mask();

constexpr int file_of_tb(int sq) { return sq & 7; }
constexpr int rank_of_tb(int sq) { return sq >> 3; }
constexpr bool adjacent_or_same(int a, int b) {
  int df = file_of_tb(a) - file_of_tb(b), dr = rank_of_tb(a) - rank_of_tb(b);
  return df >= -1 && df <= 1 && dr >= -1 && dr <= 1;
}
constexpr uint64_t c2(uint64_t x) { return x * (x - 1) / 2; }

// Whether a piece of `kind` on s gives contact check to a king on k. The
// stand-in pawn kind p has no check rule.
bool contact_check(int kind, int s, int k) {
  int df = file_of_tb(k) - file_of_tb(s), dr = rank_of_tb(k) - rank_of_tb(s);
  switch (kind) {
    case TB_KIND_P: return dr == 1 && (df == 1 || df == -1);
    case TB_KIND_N: return (df * df + dr * dr) == 5;
    case TB_KIND_B: return (df == 1 || df == -1) && (dr == 1 || dr == -1);
    case TB_KIND_R: return (df == 0 && (dr == 1 || dr == -1)) || (dr == 0 && (df == 1 || df == -1));
    case TB_KIND_Q: return s != k && adjacent_or_same(s, k);
    default: return false;
  }
}

bool tables_built = false;

// How one index function numbers its pieces. S is the side to move, O the
// other; slots refer to the class-order square lists (0 the king).
struct TbMember {
  bool pawns;      // pawn king pairs and file symmetry instead of all eight
  bool flip;       // the king pair and S part are numbered with ranks flipped
  bool standin;    // O's pawns are numbered as S's pieces, kind p
  bool ep;         // both sides have pawns: the en-passant extension
  int s_count;
  int s_kind[2];
  int s_slot[2];   // in S's list, or in O's list for stand-in pawns
  int s_pawn_count;
  int s_pawn_slot[2];
  int o_piece_count;
  int o_piece_slot[2];
  bool o_pieces_like;
  int o_pawn_count;  // O's pawns numbered among the pawn squares (not stand-ins)
  int o_pawn_slot[2];
  int o_all_pawn_count;
  int o_all_pawn_slot[2];
};

constexpr TbMember make_member(int cls, int side) {
  TbMember m{};
  TbSideMaterial s = tb_class_material(cls, side);
  TbSideMaterial o = tb_class_material(cls, side ^ 1);
  for (int i = 0; i < s.count; ++i)
    if (s.type[i] == 1) m.s_pawn_slot[m.s_pawn_count++] = i + 1;
  for (int i = 0; i < o.count; ++i)
    if (o.type[i] == 1) m.o_all_pawn_slot[m.o_all_pawn_count++] = i + 1;
  m.pawns = m.s_pawn_count + m.o_all_pawn_count > 0;
  m.standin = s.count == 0 && m.o_all_pawn_count > 0;
  m.flip = side == 1 && (m.s_pawn_count > 0 || m.standin);
  m.ep = m.s_pawn_count > 0 && m.o_all_pawn_count > 0;
  if (m.standin) {
    for (int i = 0; i < m.o_all_pawn_count; ++i) {
      m.s_kind[m.s_count] = TB_KIND_p;
      m.s_slot[m.s_count++] = m.o_all_pawn_slot[i];
    }
  } else {
    for (int i = 0; i < s.count; ++i) {
      m.s_kind[m.s_count] = s.type[i];
      m.s_slot[m.s_count++] = i + 1;
    }
    for (int i = 0; i < m.o_all_pawn_count; ++i) m.o_pawn_slot[m.o_pawn_count++] = m.o_all_pawn_slot[i];
  }
  for (int i = 0; i < o.count; ++i)
    if (o.type[i] != 1) m.o_piece_slot[m.o_piece_count++] = i + 1;
  m.o_pieces_like = m.o_piece_count == 2 && o.type[m.o_piece_slot[0] - 1] == o.type[m.o_piece_slot[1] - 1];
  return m;
}

template <size_t... I>
constexpr std::array<std::array<TbMember, 2>, TB_CLASS_COUNT> make_members(std::index_sequence<I...>) {
  return {{{{make_member(int(I), 0), make_member(int(I), 1)}}...}};
}
constexpr auto members = make_members(std::make_index_sequence<TB_CLASS_COUNT>{});

// Number of the squares in `taken` (count n) below sq.
inline int below(int sq, const int* taken, int n) {
  int c = 0;
  for (int i = 0; i < n; ++i) c += taken[i] < sq;
  return c;
}

// Ordinal of a piece of the side to move among its allowed squares against
// the other king, with the own king's square taken out.
inline uint32_t ordinal(int kind, int sq, int ks, int ko) {
  return uint32_t(square_ordinal[kind][ko][sq]) - (square_ordinal[kind][ko][ks] != 255 && sq > ks);
}
inline uint32_t kind_count(int kind, int ks, int ko) {
  return uint32_t(square_count[kind][ko]) - (square_ordinal[kind][ko][ks] != 255);
}

// The number of the capturing pawn's choice of target: 0..6 toward file a,
// 7..13 toward file h; -1 when e is no capture target of cap. The side to
// move captures up the board with white to move, down with black to move.
inline int ep_slot(int side, int cap, int e) {
  int f = file_of_tb(cap);
  if (side == 0) {
    if (f != 0 && e == cap + 7) return f - 1;
    if (f != 7 && e == cap + 9) return f + 7;
  } else {
    if (f != 0 && e == cap - 9) return f - 1;
    if (f != 7 && e == cap - 7) return f + 7;
  }
  return -1;
}

uint64_t ordinary_range(const TbMember& m) {
  int pk = m.pawns ? 1 : 0;
  uint64_t r;
  if (m.s_count == 0) r = pk ? TB_PAWN_PAIRS : TB_PAWNLESS_PAIRS;
  else if (m.s_count == 1) r = one_piece_total[pk][m.s_kind[0]];
  else r = two_piece_total[pk][m.s_kind[0]][m.s_kind[1]];
  int placed = 2 + (m.standin ? 0 : m.s_count) + m.o_all_pawn_count;
  if (m.o_pieces_like) {
    r *= c2(64 - placed);
  } else {
    for (int i = 0; i < m.o_piece_count; ++i) r *= 64 - placed++;
  }
  if (m.o_pawn_count == 1) r *= 48 - m.s_pawn_count;
  if (m.o_pawn_count == 2) r *= c2(48 - m.s_pawn_count);
  return r;
}

uint64_t ep_range(const TbMember& m) {
  if (!m.ep) return 0;
  if (m.s_pawn_count == 2 || m.o_all_pawn_count == 2) return uint64_t(TB_PAWN_PAIRS) * 616;
  if (m.s_count == 2) {
    int x = m.s_kind[0] == TB_KIND_P ? m.s_kind[1] : m.s_kind[0];
    return uint64_t(one_piece_total[1][x]) * 14;
  }
  if (m.o_piece_count == 1) return uint64_t(TB_PAWN_PAIRS) * 58 * 14;
  return uint64_t(TB_PAWN_PAIRS) * 14;
}

// Index of a position with an en-passant target, numbered after all ordinary
// positions. Squares are already oriented (not flipped). Returns -1 when no
// pawn of the side to move can capture onto e.
int64_t ep_index(const TbMember& m, int side, const int* S, const int* O, int e) {
  // With two pawns able to capture, the lower one is taken.
  int pawns[2] = {S[m.s_pawn_slot[0]], m.s_pawn_count == 2 ? S[m.s_pawn_slot[1]] : S[m.s_pawn_slot[0]]};
  if (pawns[1] < pawns[0]) std::swap(pawns[0], pawns[1]);
  int cap = pawns[0];
  int slot = ep_slot(side, cap, e);
  if (slot < 0) {
    cap = pawns[1];
    slot = ep_slot(side, cap, e);
  }
  if (slot < 0) return -1;
  int adv = side == 0 ? e - 8 : e + 8;    // the pawn that just advanced two squares
  int start = side == 0 ? e + 8 : e - 8;  // the square it came from
  uint64_t pair = pawn_king_pairs[S[0] * 64 + O[0]];
  uint64_t base = ordinary_range(m);
  if (m.s_pawn_count == 2) {
    int other = S[m.s_pawn_slot[0]] == cap ? S[m.s_pawn_slot[1]] : S[m.s_pawn_slot[0]];
    int o_pawn = O[m.o_all_pawn_slot[0]];
    int taken[4] = {cap, o_pawn, e, start};
    uint64_t w = uint64_t(other - 8 - below(other, taken, 4));
    return int64_t(base + pair * 616 + uint64_t(slot) + 14 * w);
  }
  if (m.o_all_pawn_count == 2) {
    int p0 = O[m.o_all_pawn_slot[0]], p1 = O[m.o_all_pawn_slot[1]];
    int other = p0 == adv ? p1 : p0;
    int taken[4] = {cap, adv, e, start};
    uint64_t w = uint64_t(other - 8 - below(other, taken, 4));
    return int64_t(base + pair * 616 + uint64_t(slot) + 14 * w);
  }
  if (m.s_count == 2) {
    int xs = m.s_kind[0] == TB_KIND_P ? m.s_slot[1] : m.s_slot[0];
    int xk = m.s_kind[0] == TB_KIND_P ? m.s_kind[1] : m.s_kind[0];
    uint64_t term = one_piece_base[1][xk][pair] + ordinal(xk, S[xs], S[0], O[0]);
    return int64_t(base + term * 14 + uint64_t(slot));
  }
  if (m.o_piece_count == 1) {
    int x = O[m.o_piece_slot[0]];
    int taken[6] = {S[0], O[0], cap, adv, e, start};
    uint64_t n = uint64_t(x - below(x, taken, 6));
    return int64_t(base + (pair * 58 + n) * 14 + uint64_t(slot));
  }
  return int64_t(base + pair * 14 + uint64_t(slot));
}

uint32_t member_index(const TbMember& m, int side, const int* s_in, const int* o_in,
                      int ep, int mirror) {
  int S[4] = {s_in[0], s_in[1], s_in[2], s_in[3]};
  int O[4] = {o_in[0], o_in[1], o_in[2], o_in[3]};
  if (!m.pawns) {
    int x = quadrant_values[S[0]];
    for (int i = 0; i < 4; ++i) S[i] ^= x, O[i] ^= x;
    bool keep = tb_in_triangle(S[0]) && (file_of_tb(S[0]) != rank_of_tb(S[0])
                                         || file_of_tb(O[0]) >= rank_of_tb(O[0]));
    if (!keep)
      for (int i = 0; i < 4; ++i) S[i] = tb_reflect_diagonal(S[i]), O[i] = tb_reflect_diagonal(O[i]);
  } else {
    int x = file_values[S[0]] ^ (mirror ? 56 : 0);
    for (int i = 0; i < 4; ++i) S[i] ^= x, O[i] ^= x;
    if (ep != TB_NO_EP) ep ^= x;
    if (m.ep && ep != TB_NO_EP) {
      int64_t e = ep_index(m, side, S, O, ep);
      if (e >= 0) return uint32_t(e);
    }
  }

  // The king pair and the side to move's pieces (or the stand-in pawns).
  int pk = m.pawns ? 1 : 0;
  int f = m.flip ? 56 : 0;
  int ks = S[0] ^ f, ko = O[0] ^ f;
  uint64_t pair = (m.pawns ? pawn_king_pairs : pawnless_king_pairs)[ks * 64 + ko];
  const int* src = m.standin ? O : S;
  uint64_t a;
  if (m.s_count == 0) {
    a = pair;
  } else if (m.s_count == 1) {
    int k = m.s_kind[0];
    a = one_piece_base[pk][k][pair] + ordinal(k, src[m.s_slot[0]] ^ f, ks, ko);
  } else {
    int kx = m.s_kind[0], ky = m.s_kind[1];
    uint64_t ox = ordinal(kx, src[m.s_slot[0]] ^ f, ks, ko);
    uint64_t oy = ordinal(ky, src[m.s_slot[1]] ^ f, ks, ko);
    if (kx == ky) {
      if (ox < oy) std::swap(ox, oy);
      a = two_piece_base[pk][kx][kx][pair] + c2(ox) + oy;
    } else {
      a = two_piece_base[pk][kx][ky][pair] + ox * kind_count(ky, ks, ko) + oy;
    }
  }

  // The other side's pieces, each among the squares not yet taken, then its
  // pawns among the pawn squares not taken by the side to move's pawns.
  int taken[8];
  int n = 0;
  taken[n++] = S[0];
  taken[n++] = O[0];
  for (int i = 0; i < m.s_count && !m.standin; ++i) taken[n++] = S[m.s_slot[i]];
  for (int i = 0; i < m.o_all_pawn_count; ++i) taken[n++] = O[m.o_all_pawn_slot[i]];
  if (m.o_pieces_like) {
    int p = O[m.o_piece_slot[0]], q = O[m.o_piece_slot[1]];
    if (p < q) std::swap(p, q);
    uint64_t hi = uint64_t(p - below(p, taken, n)), lo = uint64_t(q - below(q, taken, n));
    a = a * c2(64 - n) + c2(hi) + lo;
  } else {
    for (int i = 0; i < m.o_piece_count; ++i) {
      int p = O[m.o_piece_slot[i]];
      a = a * uint64_t(64 - n) + uint64_t(p - below(p, taken, n));
      taken[n++] = p;
    }
  }
  if (m.o_pawn_count > 0) {
    int sp[2], ns = 0;
    for (int i = 0; i < m.s_pawn_count; ++i) sp[ns++] = S[m.s_pawn_slot[i]];
    uint64_t r = uint64_t(48 - ns);
    if (m.o_pawn_count == 1) {
      int p = O[m.o_pawn_slot[0]];
      a = a * r + uint64_t(p - 8 - below(p, sp, ns));
    } else {
      int p = O[m.o_pawn_slot[0]], q = O[m.o_pawn_slot[1]];
      if (p < q) std::swap(p, q);
      uint64_t hi = uint64_t(p - 8 - below(p, sp, ns)), lo = uint64_t(q - 8 - below(q, sp, ns));
      a = a * c2(r) + c2(hi) + lo;
    }
  }
  return uint32_t(a);
}

// Squares of one side in class order, taken from a piece list by type: the
// first piece of a type is the first slot holding it; the second is slot 2
// when slots 1 and 2 both hold the type, else slot 3.
void squares_in_class_order(const TbSideMaterial& mat, const TbPieceList& list, int* out) {
  out[0] = list.square[0];
  out[1] = out[2] = out[3] = 0;
  for (int i = 0; i < mat.count; ++i) {
    int t = mat.type[i];
    bool second = false;
    for (int j = 0; j < i; ++j) second |= mat.type[j] == t;
    int slot = 0;
    if (!second) {
      for (int j = 1; j < 4 && slot == 0; ++j)
        if (list.type[j] == t) slot = j;
    } else {
      slot = list.type[1] == t && list.type[2] == t ? 2 : 3;
    }
    out[i + 1] = list.square[slot];
  }
}

template <int C, int Side>
uint32_t index_member(const TbPieceList& first, const TbPieceList& second, int ep, int mirror) {
  constexpr TbSideMaterial mf = tb_class_material(C, 0), ms = tb_class_material(C, 1);
  int a[4], b[4];
  squares_in_class_order(mf, first, a);
  squares_in_class_order(ms, second, b);
  if constexpr (Side == 0) return member_index(members[C][0], 0, a, b, ep, mirror);
  else return member_index(members[C][1], 1, b, a, ep, mirror);
}

template <size_t... I>
constexpr std::array<std::array<TbIndexFunction, 2>, TB_CLASS_COUNT> make_functions(
    std::index_sequence<I...>) {
  return {{{{I == 0 ? nullptr : &index_member<int(I), 0>, I == 0 ? nullptr : &index_member<int(I), 1>}}...}};
}

void build_king_pairs() {
  int pawnless = 0, pawn = 0;
  for (int k1 = 0; k1 < 64; ++k1)
    for (int k2 = 0; k2 < 64; ++k2) {
      int i = k1 * 64 + k2;
      pawnless_king_pairs[i] = pawn_king_pairs[i] = TB_NO_PAIR;
      if (adjacent_or_same(k1, k2)) continue;
      if (file_of_tb(k1) <= 3) pawn_king_pairs[i] = uint16_t(pawn++);
      bool on_diagonal = file_of_tb(k1) == rank_of_tb(k1);
      if (tb_in_triangle(k1) && (!on_diagonal || file_of_tb(k2) >= rank_of_tb(k2)))
        pawnless_king_pairs[i] = uint16_t(pawnless++);
    }
}

void build_square_ordinals() {
  for (int kind = 0; kind < TB_KIND_COUNT; ++kind)
    for (int k = 0; k < 64; ++k) {
      int n = 0;
      for (int s = 0; s < 64; ++s) {
        bool pawn_kind = kind == TB_KIND_p || kind == TB_KIND_P;
        bool allowed = s != k && (!pawn_kind || (s >= 8 && s < 56)) && !contact_check(kind, s, k);
        square_ordinal[kind][k][s] = allowed ? uint8_t(n++) : 255;
      }
      square_count[kind][k] = uint8_t(n);
    }
}

// Walks the king pairs in order; each valid pair receives the running total,
// which then grows by the number of placements of the pieces for that pair.
template <typename Grow>
uint32_t walk_pairs(const uint16_t* pairs, uint32_t* base, Grow grow) {
  uint32_t total = 0;
  for (int k1 = 0; k1 < 64; ++k1)
    for (int k2 = 0; k2 < 64; ++k2) {
      uint16_t p = pairs[k1 * 64 + k2];
      if (p == TB_NO_PAIR) continue;
      base[p] = total;
      total += grow(k1, k2);
    }
  return total;
}

void build_bases() {
  for (int pk = 0; pk < 2; ++pk) {
    const uint16_t* pairs = pk ? pawn_king_pairs : pawnless_king_pairs;
    int first_kind = pk ? TB_KIND_p : TB_KIND_N;
    for (int x = first_kind; x < TB_KIND_COUNT; ++x) {
      one_piece_total[pk][x] = walk_pairs(pairs, one_piece_base[pk][x],
                                          [x](int k1, int k2) { return kind_count(x, k1, k2); });
      for (int y = (x == TB_KIND_p ? TB_KIND_p : pk ? TB_KIND_P : TB_KIND_N); y <= x; ++y) {
        if ((x == TB_KIND_p) != (y == TB_KIND_p)) continue;
        two_piece_total[pk][x][y] = walk_pairs(pairs, two_piece_base[pk][x][y], [x, y](int k1, int k2) {
          uint32_t nx = kind_count(x, k1, k2);
          return x == y ? uint32_t(c2(nx)) : nx * kind_count(y, k1, k2);
        });
      }
    }
  }
}

}  // namespace

// Rank 1 first, file a first in each row.
const uint8_t quadrant_mask[64] = {
    0, 0, 0, 0, 7, 7, 7, 7,
    0, 0, 0, 0, 7, 7, 7, 7,
    0, 0, 0, 0, 7, 7, 7, 7,
    0, 0, 0, 0, 7, 7, 7, 7,
    56, 56, 56, 56, 63, 63, 63, 63,
    56, 56, 56, 56, 63, 63, 63, 63,
    56, 56, 56, 56, 63, 63, 63, 63,
    56, 56, 56, 56, 63, 63, 63, 63,
};
const uint8_t file_mask[64] = {
    0, 0, 0, 0, 7, 7, 7, 7,
    0, 0, 0, 0, 7, 7, 7, 7,
    0, 0, 0, 0, 7, 7, 7, 7,
    0, 0, 0, 0, 7, 7, 7, 7,
    0, 0, 0, 0, 7, 7, 7, 7,
    0, 0, 0, 0, 7, 7, 7, 7,
    0, 0, 0, 0, 7, 7, 7, 7,
    0, 0, 0, 0, 7, 7, 7, 7,
};

uint16_t pawnless_king_pairs[4096];
uint16_t pawn_king_pairs[4096];
uint8_t square_ordinal[TB_KIND_COUNT][64][64];
uint8_t square_count[TB_KIND_COUNT][64];
uint32_t one_piece_base[2][TB_KIND_COUNT][TB_PAWN_PAIRS];
uint32_t two_piece_base[2][TB_KIND_COUNT][TB_KIND_COUNT][TB_PAWN_PAIRS];
uint32_t one_piece_total[2][TB_KIND_COUNT];
uint32_t two_piece_total[2][TB_KIND_COUNT][TB_KIND_COUNT];

extern const std::array<std::array<TbIndexFunction, 2>, TB_CLASS_COUNT> tb_index_functions =
    make_functions(std::make_index_sequence<TB_CLASS_COUNT>{});

void init_tb_index_tables() {
  if (tables_built) return;
  build_king_pairs();
  build_square_ordinals();
  build_bases();
  tables_built = true;
}

uint64_t tb_ordinary_range(int cls, int side) { return ordinary_range(members[cls][side]); }

uint64_t tb_index_range(int cls, int side) {
  const TbMember& m = members[cls][side];
  return ordinary_range(m) + ep_range(m);
}

bool tb_has_ep_extension(int cls) { return members[cls][0].ep; }

uint32_t tb_index_from_squares(int cls, int side, const int* first, const int* second, int ep,
                               int mirror) {
  const TbMember& m = members[cls][side];
  return side == 0 ? member_index(m, 0, first, second, ep, mirror)
                   : member_index(m, 1, second, first, ep, mirror);
}
