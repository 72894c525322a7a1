#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>

#include "eval/evaluate.h"
#include "position/clock.h"
#include "position/makemove.h"
#include "position/movegen.h"
#include "search/search.h"
#include "search/tt.h"
#include "search/search_setup.h"

namespace {

SearchPosition setup(const char* fen) { return setup_position(fen); }

TEST(Quiescence, QuietPositionScoresItsEvaluation) {
  auto p = setup("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
  const int32_t eval = evaluate(*p);
  EXPECT_EQ(quiescence(*p, -15000, 15000, 1), eval);
  EXPECT_EQ(quiescence(*p, 5000, 6000, 1), eval);
  EXPECT_EQ(quiescence(*p, -6000, -5000, 1), eval);  // stand pat at once
}

TEST(Quiescence, MateAndStalemateWithoutCaptures) {
  auto mate = setup("7k/6Q1/6K1/8/8/8/8/8 b - - 0 1");
  EXPECT_EQ(quiescence(*mate, -15000, 15000, 3), 3 - 10000);
  auto stale = setup("7k/8/6Q1/8/8/8/8/6K1 b - - 0 1");
  EXPECT_EQ(quiescence(*stale, -15000, 15000, 3), 0);
  // Standing pat at or above beta wins even against a mate.
  EXPECT_EQ(quiescence(*mate, -20000, -19000, 3), evaluate(*mate));
}

TEST(Quiescence, CaptureFilterFollowsAlpha) {
  // The pawn on d5 (worth 100) and the knight on f5 (300) hang.
  auto p = setup("4k3/8/8/3p1n2/4P3/8/8/4K3 w - - 0 1");
  const int32_t stand_pat = evaluate(*p);
  // With alpha 150 above the stand pat only the knight capture is tried.
  EXPECT_GT(quiescence(*p, stand_pat + 150, stand_pat + 1000, 1), stand_pat + 150);
  EXPECT_EQ(p->history.count, 0);
  EXPECT_EQ(p->move_stack.level, 1);
  // With alpha 350 above no capture can reach it: the stand pat stays.
  EXPECT_EQ(quiescence(*p, stand_pat + 350, stand_pat + 1000, 1), stand_pat);
}

TEST(Search, MateScoresDependOnPly) {
  auto mate = setup("7k/6Q1/6K1/8/8/8/8/8 b - - 0 1");
  EXPECT_EQ(search(*mate, -15000, 15000, 64, 4, false), -14996);
  auto stale = setup("7k/8/6Q1/8/8/8/8/6K1 b - - 0 1");
  EXPECT_EQ(search(*stale, -15000, 15000, 64, 4, false), 0);
}

TEST(Search, MateDistanceAndFiftyMoveCutoffs) {
  auto p = setup("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
  EXPECT_EQ(search(*p, 14995, 14996, 32, 5, false), 14995);
  p->fifty_count = 100;
  EXPECT_EQ(search(*p, -15000, 15000, 48, 1, false), 0);
  // The mate test comes first: a mated side is mated whatever the counter says.
  auto mate = setup("7k/6Q1/6K1/8/8/8/8/8 b - - 0 1");
  mate->fifty_count = 100;
  EXPECT_EQ(search(*mate, -15000, 15000, 48, 2, false), -14998);
}

TEST(Search, StoppedSearchReturnsZeroAndRestoresThePosition) {
  auto p = setup("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
  const uint64_t key = p->hash_key;
  raise_stop();
  EXPECT_EQ(search(*p, -15000, 15000, 96, 1, false), 0);
  stop_search.store(0);
  search(*p, -15000, 15000, 64, 1, false);
  EXPECT_EQ(p->hash_key, key);
  EXPECT_EQ(p->history.count, 0);
  EXPECT_EQ(p->move_stack.level, 1);
  EXPECT_TRUE(position_consistent(*p));
}

TEST(Search, WinsTheHangingQueenAndSwitchesTheReductions) {
  auto p = setup("4k3/8/8/3q4/4P3/8/8/4K3 w - - 0 1");
  const int32_t score = search(*p, -15000, 15000, 48, 1, false);
  EXPECT_GT(score, 0);  // a pawn against a queen before the capture
  const Move best = tt_best_move(*p, p->hash_key);
  EXPECT_EQ(move_from(best), make_square(4, 4));
  EXPECT_EQ(move_to(best), make_square(3, 5));
  // Some node had a winning capture: the late-move reductions grow for good.
  EXPECT_EQ(p->move_stack.lmr_reduction[0], 16);
  EXPECT_EQ(p->move_stack.lmr_reduction[1], 32);
  EXPECT_EQ(p->move_stack.lmr_reduction[2], 32);
  EXPECT_EQ(p->move_stack.lmr_reduction[3], 32);
}

// The reductions grow in the position searched and in no other; a new game
// assigned to the engine's position keeps them, as it keeps the killers.
TEST(Search, ReductionsBelongToThePositionSearched) {
  using Reductions = std::array<int32_t, 4>;
  auto p = setup("4k3/8/8/3q4/4P3/8/8/4K3 w - - 0 1");
  auto other = setup("4k3/8/8/3q4/4P3/8/8/4K3 w - - 0 1");
  EXPECT_EQ(p->move_stack.lmr_reduction, (Reductions{16, 16, 16, 16}));
  search(*p, -15000, 15000, 48, 1, false);
  EXPECT_EQ(p->move_stack.lmr_reduction, (Reductions{16, 32, 32, 32}));
  EXPECT_EQ(other->move_stack.lmr_reduction, (Reductions{16, 16, 16, 16}));
  *p = *other;
  EXPECT_EQ(p->move_stack.lmr_reduction, (Reductions{16, 32, 32, 32}));
}

}  // namespace

namespace {

TEST(SearchConditions, NullMove) {
  auto p = setup("4k3/8/8/8/8/8/4P3/1N2K3 w - - 0 1");
  EXPECT_TRUE(null_move_allowed(*p, 1, false, false, false, 100, 50));
  EXPECT_FALSE(null_move_allowed(*p, 0, false, false, false, 100, 50));   // the root
  EXPECT_FALSE(null_move_allowed(*p, 1, true, false, false, 100, 50));    // after a null move
  EXPECT_FALSE(null_move_allowed(*p, 1, false, true, false, 100, 50));    // in check
  EXPECT_FALSE(null_move_allowed(*p, 1, false, false, true, 100, 50));    // pv node
  EXPECT_FALSE(null_move_allowed(*p, 1, false, false, false, 50, 50));    // not above alpha
  auto pawns_only = setup("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
  EXPECT_FALSE(null_move_allowed(*pawns_only, 1, false, false, false, 100, 50));
  // Only the side to move's pieces count.
  auto black_piece = setup("4k1n1/8/8/8/8/8/4P3/4K3 w - - 0 1");
  EXPECT_FALSE(null_move_allowed(*black_piece, 1, false, false, false, 100, 50));
}

TEST(SearchConditions, InternalSearchDepth) {
  EXPECT_EQ(internal_search_depth(0, 80), -1);
  EXPECT_EQ(internal_search_depth(0, 81), 40);
  EXPECT_EQ(internal_search_depth(0, 96), 48);
  EXPECT_EQ(internal_search_depth(0, 200), 100);
  EXPECT_EQ(internal_search_depth(make_move_word(52, 36), 200), -1);  // the table gave a move
}

}  // namespace
