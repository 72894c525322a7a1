#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "egdb/tb_index.h"
#include "tb_test_board.h"

namespace {

struct TbIndexTest : testing::Test {
  static void SetUpTestSuite() { init_tb_index_tables(); }
};

TEST_F(TbIndexTest, BaseTablesReachTheirCounts) {
  EXPECT_EQ(one_piece_total[1][TB_KIND_P], 81'664u);
  EXPECT_EQ(one_piece_total[1][TB_KIND_p], 84'012u);
  EXPECT_EQ(one_piece_total[0][TB_KIND_N], 26'282u);
  EXPECT_EQ(two_piece_total[1][TB_KIND_P][TB_KIND_P], 1'806'671u);
  EXPECT_EQ(two_piece_total[1][TB_KIND_N][TB_KIND_P], 4'648'581u);
  EXPECT_EQ(two_piece_total[0][TB_KIND_B][TB_KIND_B], 789'885u);
  int pawnless = 0, pawn = 0;
  for (int i = 0; i < 4096; ++i) {
    if (pawnless_king_pairs[i] != TB_NO_PAIR) {
      EXPECT_EQ(pawnless_king_pairs[i], pawnless++);
    }
    if (pawn_king_pairs[i] != TB_NO_PAIR) {
      EXPECT_EQ(pawn_king_pairs[i], pawn++);
    }
  }
  EXPECT_EQ(pawnless, TB_PAWNLESS_PAIRS);
  EXPECT_EQ(pawn, TB_PAWN_PAIRS);
  // A knight cannot stand a knight's move from the king it would check.
  EXPECT_EQ(square_ordinal[TB_KIND_N][0][10], 255);  // a1 king, c2 knight
  EXPECT_NE(square_ordinal[TB_KIND_p][0][9], 255);   // the stand-in pawn has no check rule
  EXPECT_EQ(square_ordinal[TB_KIND_P][9][0], 255);   // rank 1
}

TEST_F(TbIndexTest, ClassNamesFollowTheNamingRule) {
  const char* letters = "pnbrq";
  std::vector<std::string> names = {"kk"};
  for (int x = 0; x < 5; ++x) names.push_back(std::string("k") + letters[x] + "k");
  for (int x = 0; x < 5; ++x)
    for (int y = 0; y <= x; ++y) names.push_back(std::string("k") + letters[x] + "k" + letters[y]);
  std::vector<std::string> pairs;
  for (int x = 0; x < 5; ++x)
    for (int y = 0; y <= x; ++y) pairs.push_back(std::string(1, letters[x]) + letters[y]);
  for (const std::string& p : pairs) names.push_back("k" + p + "k");
  for (const std::string& p : pairs)
    for (int z = 0; z < 5; ++z) names.push_back("k" + p + "k" + letters[z]);
  ASSERT_EQ(names.size(), size_t(TB_CLASS_COUNT));
  for (int c = 0; c < TB_CLASS_COUNT; ++c) {
    EXPECT_EQ(tb_class_info[c].number, c);
    EXPECT_EQ(names[c], tb_class_info[c].name);
    EXPECT_EQ(tb_class_by_name(names[c]), c == 0 ? -1 : c);
  }
}

TEST_F(TbIndexTest, RangesMatchTheCheckFigures) {
  auto range = [](const char* name, int side) { return tb_index_range(tb_class_by_name(name), side); };
  EXPECT_EQ(range("kpkp", 0), 3'863'492u);
  EXPECT_EQ(range("kpkp", 1), 3'863'492u);
  EXPECT_EQ(range("knpkp", 0), 219'921'779u);
  EXPECT_EQ(range("knpkp", 1), 231'758'952u);
  EXPECT_EQ(range("knkp", 0), 4'931'904u);
  EXPECT_EQ(range("knkp", 1), 4'981'504u);
  EXPECT_EQ(range("kbbk", 0), 789'885u);
  EXPECT_EQ(range("kbbk", 1), 873'642u);
  EXPECT_EQ(range("kppkp", 1), 89'391'280u);
  EXPECT_EQ(range("kppkn", 1), 115'899'744u);
  EXPECT_EQ(range("knnkp", 0), 137'991'648u);
  EXPECT_EQ(tb_ordinary_range(tb_class_by_name("kpkp"), 0), 3'838'208u);
  // Every table ends at most a few thousand (illegal) positions before its range.
  for (int c = 1; c < TB_CLASS_COUNT; ++c)
    for (int side = 0; side < 2; ++side) {
      uint64_t r = tb_index_range(c, side), size = tb_class_info[c].size[side];
      EXPECT_GE(r, size) << tb_class_info[c].name << " side " << side;
      EXPECT_LE(r - size, std::min<uint64_t>(6'000, r / 1'000)) << tb_class_info[c].name << " side " << side;
    }
}

// Piece lists from class-order pieces: slots 1 to 3 by engine square.
void make_lists(const TestPiece* p, int n, TbPieceList& first, TbPieceList& second) {
  first = second = TbPieceList{};
  int nf = 1, ns = 1;
  std::vector<TestPiece> sorted(p, p + n);
  std::sort(sorted.begin(), sorted.end(), [](const TestPiece& a, const TestPiece& b) {
    return (a.sq ^ 56) < (b.sq ^ 56);
  });
  for (const TestPiece& x : sorted) {
    TbPieceList& l = x.colour == 0 ? first : second;
    int slot = x.type == 6 ? 0 : (x.colour == 0 ? nf++ : ns++);
    l.type[slot] = x.type;
    l.square[slot] = x.sq;
  }
}

uint32_t index_of(int cls, int side, const TestPiece* p, int n, int ep = TB_NO_EP) {
  TbPieceList f, s;
  make_lists(p, n, f, s);
  return tb_index_functions[cls][side](f, s, ep, 0);
}

// The class's pieces in class order, first side's king first.
std::vector<TestPiece> class_pieces(int cls) {
  std::vector<TestPiece> v;
  for (int side = 0; side < 2; ++side) {
    v.push_back({6, side, 0});
    TbSideMaterial m = tb_class_material(cls, side);
    for (int i = 0; i < m.count; ++i) v.push_back({m.type[i], side, 0});
  }
  return v;
}

TEST_F(TbIndexTest, KnkLastIndexAndDiagonalKings) {
  int knk = tb_class_by_name("knk");
  std::vector<TestPiece> p = class_pieces(knk);
  uint32_t highest = 0;
  for (int a = 0; a < 64; ++a)
    for (int b = 0; b < 64; ++b)
      for (int c = 0; c < 64; ++c) {
        p[0].sq = a, p[1].sq = b, p[2].sq = c;
        if (test_legal(p.data(), 3, 0)) highest = std::max(highest, index_of(knk, 0, p.data(), 3));
      }
  EXPECT_EQ(highest, 26'281u);

  // kqk: kings on b2 and e5, the queen off the diagonal; its reflection
  // across the diagonal is a different entry.
  int kqk = tb_class_by_name("kqk");
  TestPiece q[3] = {{6, 0, 9}, {5, 0, 2}, {6, 1, 36}};
  TestPiece r[3] = {{6, 0, 9}, {5, 0, tb_reflect_diagonal(2)}, {6, 1, 36}};
  EXPECT_NE(index_of(kqk, 0, q, 3), index_of(kqk, 0, r, 3));
  // With the black king off the diagonal the two images share an entry.
  q[2].sq = r[2].sq = 37;
  r[2].sq = tb_reflect_diagonal(37);
  EXPECT_EQ(index_of(kqk, 0, q, 3), index_of(kqk, 0, r, 3));
}

TEST_F(TbIndexTest, KpkpEnPassantFollowsTheOrdinaryPositions) {
  int kpkp = tb_class_by_name("kpkp");
  // White to move: white pawn e5 (36), black pawn just played d7-d5 (35).
  TestPiece p[4] = {{6, 0, 4}, {1, 0, 36}, {6, 1, 60}, {1, 1, 35}};
  uint32_t with_ep = index_of(kpkp, 0, p, 4, 43);
  EXPECT_GE(with_ep, 3'838'208u);
  EXPECT_LT(with_ep, 3'863'492u);
  EXPECT_LT(index_of(kpkp, 0, p, 4), 3'838'208u);
  // Black to move: black pawn d4 (27), white pawn just played e2-e4 (28).
  TestPiece b[4] = {{6, 0, 4}, {1, 0, 28}, {6, 1, 60}, {1, 1, 27}};
  uint32_t black_ep = index_of(kpkp, 1, b, 4, 20);
  EXPECT_GE(black_ep, 3'838'208u);
  EXPECT_NE(black_ep, index_of(kpkp, 1, b, 4, TB_NO_EP));
  // The other capture direction gives another slot.
  TestPiece c[4] = {{6, 0, 4}, {1, 0, 36}, {6, 1, 60}, {1, 1, 37}};
  EXPECT_NE(index_of(kpkp, 0, c, 4, 45), with_ep);
}

TEST_F(TbIndexTest, KqrkqMatchesHandComputedIndices) {
  int cls = tb_class_by_name("kqrkq");
  ASSERT_EQ(cls, 105);
  // K g7 (54), Q d7 (51), R a5 (32); k c2 (10), q h3 (23).
  TestPiece p[5] = {{6, 0, 54}, {5, 0, 51}, {4, 0, 32}, {6, 1, 10}, {5, 1, 23}};
  // White to move: the white king's quadrant mask is 63; K -> b2 (9), on
  // the diagonal, k -> f7 (53) above it, so everything is reflected too.
  auto t = [](int sq, int m, bool reflect) { return reflect ? tb_reflect_diagonal(sq ^ m) : sq ^ m; };
  int K = t(54, 63, true), Q = t(51, 63, true), R = t(32, 63, true), k = t(10, 63, true),
      q = t(23, 63, true);
  ASSERT_EQ(K, 9);
  ASSERT_EQ(k, tb_reflect_diagonal(53));
  uint32_t pair = pawnless_king_pairs[K * 64 + k];
  uint32_t ordQ = square_ordinal[TB_KIND_Q][k][Q] - (Q > K);
  uint32_t ordR = square_ordinal[TB_KIND_R][k][R] - (R > K);
  uint32_t nR = square_count[TB_KIND_R][k] - 1;
  uint64_t A = two_piece_base[0][TB_KIND_Q][TB_KIND_R][pair] + ordQ * nR + ordR;
  uint64_t white = A * 60 + q - (q > k) - (q > R) - (q > Q) - (q > K);
  EXPECT_EQ(index_of(cls, 0, p, 5), white);

  // Black to move: the black king c2 is in a1-d4 and in the triangle, off
  // the diagonal: no change of squares.
  K = 54, Q = 51, R = 32, k = 10, q = 23;
  pair = pawnless_king_pairs[k * 64 + K];
  uint32_t ordq = square_ordinal[TB_KIND_Q][K][q] - (q > k);
  A = one_piece_base[0][TB_KIND_Q][pair] + ordq;
  uint64_t black = (A * 61 + Q - (Q > q) - (Q > k) - (Q > K)) * 60 + R - (R > q) - (R > k) - (R > Q)
                   - (R > K);
  EXPECT_EQ(index_of(cls, 1, p, 5), black);
}

// Enumerates the legal positions of a class with the side to move's king in
// the region the orientation maps it to (every square when `all_kings`): each index lies in
// the range, and positions sharing an index are images under the class's
// symmetries (all eight without pawns, the file mirror with pawns).
struct ClassEnumeration : TbIndexTest, testing::WithParamInterface<int> {};

uint64_t canonical_key(std::vector<TestPiece> p, bool pawns) {
  uint64_t best = ~uint64_t(0);
  for (int g = 0; g < 8; ++g) {
    if (pawns && g != 0 && g != 1) continue;
    std::vector<int> sq;
    // Like pieces are interchangeable: sort each (colour, type) group.
    std::vector<std::pair<int, int>> items;
    for (const TestPiece& x : p) items.push_back({x.colour * 8 + x.type, test_image(x.sq, g)});
    std::sort(items.begin(), items.end());
    uint64_t key = 0;
    for (auto& it : items) key = key * 64 + uint64_t(it.second);
    best = std::min(best, key);
  }
  return best;
}

void check_class(int cls, bool all_kings) {
  std::vector<TestPiece> p = class_pieces(cls);
  int n = int(p.size());
  bool pawns = false;
  for (const TestPiece& x : p) pawns |= x.type == 1;
  for (int side = 0; side < 2; ++side) {
    uint64_t range = tb_index_range(cls, side);
    std::vector<uint32_t> first(range, 0xFFFFFFFF);
    int king_slot = 0;
    for (int i = 0; i < n; ++i)
      if (p[i].type == 6 && p[i].colour == side) king_slot = i;
    uint64_t positions = 0, failures = 0;
    auto pack = [&]() {
      uint32_t v = 0;
      for (int i = 0; i < n; ++i) v = v * 64 + uint32_t(p[i].sq);
      return v;
    };
    auto visit = [&](auto& self, int slot) -> void {
      if (slot == n) {
        if (!test_legal(p.data(), n, side)) return;
        ++positions;
        uint32_t idx = index_of(cls, side, p.data(), n);
        if (idx >= range) {
          if (failures++ < 5) ADD_FAILURE() << tb_class_info[cls].name << " index " << idx << " out of range";
          return;
        }
        if (first[idx] == 0xFFFFFFFF) {
          first[idx] = pack();
          return;
        }
        std::vector<TestPiece> other = p;
        uint32_t v = first[idx];
        for (int i = n - 1; i >= 0; --i, v /= 64) other[i].sq = int(v % 64);
        if (canonical_key(other, pawns) != canonical_key(p, pawns) && failures++ < 5)
          ADD_FAILURE() << tb_class_info[cls].name << " side " << side << ": unrelated positions share index " << idx;
        return;
      }
      for (int s = 0; s < 64; ++s) {
        if (slot == king_slot && !all_kings && (pawns ? (s & 7) > 3 : !tb_in_triangle(s))) continue;
        if (p[slot].type == 1 && (s < 8 || s >= 56)) continue;
        p[slot].sq = s;
        self(self, slot + 1);
      }
    };
    visit(visit, 0);
    EXPECT_GT(positions, 0u);
    EXPECT_EQ(failures, 0u) << tb_class_info[cls].name << " side " << side;
  }
}

TEST_P(ClassEnumeration, LegalPositionsGetDistinctIndicesUpToSymmetry) {
  int cls = GetParam();
  check_class(cls, tb_class_piece_count(cls) == 3);
}

INSTANTIATE_TEST_SUITE_P(ThreeAndFourPieces, ClassEnumeration, testing::Range(1, 36),
                         [](const testing::TestParamInfo<int>& i) {
                           return std::string(tb_class_info[i.param].name);
                         });

TEST_F(TbIndexTest, KpkpEveryKingSquare) { check_class(tb_class_by_name("kpkp"), true); }

TEST_F(TbIndexTest, RandomFivePiecePositionsLandInRange) {
  std::mt19937_64 rng(20261207);
  uint64_t checked = 0;
  for (int cls = 36; cls < TB_CLASS_COUNT; ++cls) {
    std::vector<TestPiece> p = class_pieces(cls);
    for (int side = 0; side < 2; ++side) {
      uint64_t range = tb_index_range(cls, side);
      for (int done = 0; done < 15'000;) {
        for (TestPiece& x : p) x.sq = x.type == 1 ? 8 + int(rng() % 48) : int(rng() % 64);
        int kings[2] = {p[0].sq, p[3].sq};
        int df = (kings[0] & 7) - (kings[1] & 7), dr = (kings[0] >> 3) - (kings[1] >> 3);
        if (df >= -1 && df <= 1 && dr >= -1 && dr <= 1) continue;
        if (!test_legal(p.data(), 5, side)) continue;
        ++done;
        ++checked;
        uint32_t idx = index_of(cls, side, p.data(), 5);
        ASSERT_LT(idx, range) << tb_class_info[cls].name << " side " << side;
      }
    }
  }
  EXPECT_EQ(checked, 75u * 2 * 15'000);
}

}  // namespace
