#include "eval/evaluate.h"

#include <gtest/gtest.h>

#include "position/makemove.h"

namespace {

TEST(Evaluate, StartPositionIsLevelForBothSides) {
  Position w("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  Position b("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1");
  EXPECT_EQ(evaluate(w), 0);
  EXPECT_EQ(evaluate(b), 0);
}

TEST(Evaluate, AfterKingPawnTwoSquares) {
  Position pos("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  make_move(pos, make_move_word(SQ_E1 - 8, SQ_E1 - 24, 0, 0, MOVE_DOUBLE_STEP));
  EXPECT_EQ(pos.material_balance(), -12);
  EXPECT_EQ(evaluate(pos), -12);
}

// Bishop pair counts file parities, not square colours.
TEST(Evaluate, BishopPairByFileParity) {
  Position none("4k3/8/8/8/8/8/B7/B3K3 w - - 0 1");   // a1 and a2
  Position pair("4k3/8/8/8/8/8/1B6/B3K3 w - - 0 1");  // a1 and b2, both dark
  Position one("4k3/8/8/8/8/8/8/B3K3 w - - 0 1");
  EXPECT_EQ(evaluate(none) - none.material_balance(), 0);
  EXPECT_EQ(evaluate(pair) - pair.material_balance(), 30);
  EXPECT_EQ(evaluate(one) - one.material_balance(), 0);
}

TEST(Evaluate, CombinationBonuses) {
  // Three knights: the pair weight is 0. Two rooks and a queen: 5 + 5.
  Position knights("4k3/8/8/8/8/8/8/NNN1K3 w - - 0 1");
  EXPECT_EQ(evaluate(knights), knights.material_balance());
  Position heavy("4k3/8/8/8/8/8/8/R2QK2R w - - 0 1");
  EXPECT_EQ(evaluate(heavy) - heavy.material_balance(), 10);
  Position bq("4k3/8/8/8/8/8/8/3QKB2 w - - 0 1");
  EXPECT_EQ(evaluate(bq) - bq.material_balance(), 5);
}

TEST(Evaluate, CastlingTerms) {
  // Same material; White's rights and marks differ, Black keeps both rights.
  Position home("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
  Position lost("r3k2r/8/8/8/8/8/8/R3K2R w kq - 0 1");
  EXPECT_EQ(evaluate(home) - home.material_balance(), 0);
  EXPECT_EQ(evaluate(lost) - lost.material_balance(), -45);
  lost.castle_flags |= CASTLED_WK;
  EXPECT_EQ(evaluate(lost) - lost.material_balance(), 30);
  lost.castle_flags ^= CASTLED_WK | CASTLED_WQ;
  EXPECT_EQ(evaluate(lost) - lost.material_balance(), 10);
  // Black's bits count for Black.
  Position black_lost("r3k2r/8/8/8/8/8/8/R3K2R b KQ - 0 1");
  EXPECT_EQ(evaluate(black_lost) - black_lost.material_balance(), -45);
}

TEST(Evaluate, SideSwitchNegates) {
  Position pos("r1bqk2r/pp3ppp/2n5/3p4/1b1P4/2N2N2/PP3PPP/R2QKB1R w KQkq - 0 1");
  const int32_t e = evaluate(pos), mb = pos.material_balance();
  pos.side_to_move = 0;
  EXPECT_EQ(evaluate(pos), -e);
  EXPECT_EQ(pos.material_balance(), -mb);
  pos.side_to_move = 2;
  EXPECT_EQ(evaluate(pos), 0);
}

}  // namespace
