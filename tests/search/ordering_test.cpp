#include "search/ordering.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr Square sq(const char* name) { return make_square(name[0] - 'a', name[1] - '0'); }
Move mv(const char* from, const char* to, unsigned captured = 0, unsigned promo = 0,
        Move flags = 0) {
  return make_move_word(sq(from), sq(to), captured, promo, flags);
}

TEST(StaticExchange, SimpleExchanges) {
  Position knight("4k3/8/8/3n4/4P3/8/8/4K3 w - - 0 1");
  EXPECT_EQ(static_exchange_eval(knight, mv("e4", "d5", B_KNIGHT)), 300);
  Position pawn("4k3/8/2p5/3p4/8/8/8/3QK3 w - - 0 1");
  EXPECT_EQ(static_exchange_eval(pawn, mv("d1", "d5", B_PAWN)), -880);
  Position quiet("4k3/8/3p4/8/8/8/8/1N2K3 w - - 0 1");
  EXPECT_EQ(static_exchange_eval(quiet, mv("b1", "c3")), 0);
  Position attacked("4k3/8/8/3p4/8/8/8/1N2K3 w - - 0 1");
  EXPECT_EQ(static_exchange_eval(attacked, mv("b1", "c3")), 0);
  Position hit("4k3/8/8/8/3p4/8/8/1N2K3 w - - 0 1");
  EXPECT_EQ(static_exchange_eval(hit, mv("b1", "c3")), -300);
  Position king("8/8/8/8/8/2p5/3p4/4K2k w - - 0 1");
  EXPECT_EQ(static_exchange_eval(king, mv("e1", "d2", B_PAWN)), -15900);
  Position ep("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
  EXPECT_EQ(static_exchange_eval(ep, mv("e5", "d6", 0, 0, MOVE_EN_PASSANT)), 0);
}

TEST(StaticExchange, Promotions) {
  Position free_square("1k6/4P3/8/8/8/8/8/4K3 w - - 0 1");
  EXPECT_EQ(static_exchange_eval(free_square, mv("e7", "e8", 0, W_KNIGHT)), 850);
  Position rook("r6k/4P3/8/8/8/8/8/4K3 w - - 0 1");
  EXPECT_EQ(static_exchange_eval(rook, mv("e7", "e8", 0, W_QUEEN)), -130);
  // The queen takes the g8 knight and the h7 pawn retakes, promoting:
  // 300 - (980 - 300 + 850).
  Position h7("6N1/k6P/8/8/6q1/8/8/K7 b - - 0 1");
  EXPECT_EQ(static_exchange_eval(h7, mv("g4", "g8", W_KNIGHT)), -1530);
  // A promoting capture, the queen retakes the new queen, the knight retakes.
  Position chain("4k1r1/7P/5N2/8/8/8/8/K5q1 w - - 0 1");
  EXPECT_EQ(static_exchange_eval(chain, mv("h7", "g8", B_ROOK, W_QUEEN)), 1370);
}

TEST(StaticExchange, XRayOnlyThroughTheMovingPiece) {
  Position pos("3nq2r/k7/8/8/8/8/3R4/3RK3 w - - 0 1");
  EXPECT_EQ(static_exchange_eval(pos, mv("d2", "d8", B_KNIGHT)), 300);
}

// Fills the current level of the move stack with the given moves.
void set_list(Position& pos, const std::vector<Move>& moves) {
  pos.move_stack.open_level();
  for (Move m : moves) pos.move_stack.push(m);
}
std::vector<Move> list_of(Position& pos) {
  std::vector<Move> out;
  for (int i = 0; i < pos.move_stack.count(); ++i) out.push_back(pos.move_stack.at(i));
  return out;
}

TEST(OrderGoodCaptures, LosersGoLastWinnersFirst) {
  Position pos("4k3/8/5p2/3nr3/8/2N5/8/4K2R w - - 0 1");
  const Move nxd5 = mv("c3", "d5", B_KNIGHT);  // wins the knight
  const Move rh5 = mv("h1", "h5");             // into the e5 rook's fire
  set_list(pos, {rh5, nxd5});
  EXPECT_EQ(order_good_captures(pos, 0, 2, -1), 1);
  EXPECT_EQ(list_of(pos), (std::vector<Move>{nxd5, rh5}));
  pos.move_stack.close_level();
}

TEST(OrderGoodCaptures, ThresholdMovesWithTheMaterialBalance) {
  // Rook takes a knight guarded by a pawn: -220, kept only with a lead.
  Position ahead("4k3/8/1p6/n7/8/8/8/R3K2Q w - - 0 1");
  Position behind("4k2q/8/1p6/n7/8/8/8/R3K3 w - - 0 1");
  const Move rxa5 = mv("a1", "a5", B_KNIGHT);
  EXPECT_EQ(static_exchange_eval(ahead, rxa5), -220);
  ASSERT_GT(ahead.material_balance() / 3, 170);
  set_list(ahead, {rxa5});
  EXPECT_EQ(order_good_captures(ahead, 0, 1, -1), 1);
  ahead.move_stack.close_level();
  ASSERT_LT(behind.material_balance(), 0);
  set_list(behind, {rxa5});
  EXPECT_EQ(order_good_captures(behind, 0, 1, -1), 0);
  // A recapture on last_to earns 50 but -220 + 50 still loses.
  EXPECT_EQ(order_good_captures(behind, 0, 1, sq("a5")), 0);
  behind.move_stack.close_level();
}

TEST(SelectQsearchCaptures, KeepsOnlyWhatCanReachAlpha) {
  Position pos("4k3/8/8/2n1p3/1P1P4/8/8/4K3 w - - 0 1");
  const Move bxc5 = mv("b4", "c5", B_KNIGHT);  // 300
  const Move dxe5 = mv("d4", "e5", B_PAWN);    // 100
  const Move dxc5 = mv("d4", "c5", B_KNIGHT);  // 300
  set_list(pos, {dxe5, bxc5, dxc5});
  EXPECT_EQ(select_qsearch_captures(pos, 0, 3, 50, 200), 2);  // needs 150
  std::vector<Move> got = list_of(pos);
  EXPECT_EQ(got[2], dxe5);
  EXPECT_TRUE((got[0] == bxc5 && got[1] == dxc5) || (got[0] == dxc5 && got[1] == bxc5));
  pos.move_stack.close_level();
  set_list(pos, {dxe5, bxc5});
  EXPECT_EQ(select_qsearch_captures(pos, 0, 2, 300, 200), 2);  // alpha below stand-pat
  EXPECT_EQ(list_of(pos)[0], bxc5);
  pos.move_stack.close_level();
}

TEST(OrderQuietMoves, HistoryOrdersAndLosersGoLast) {
  const Move nc3 = mv("b1", "c3");
  const Move na3 = mv("b1", "a3");
  const Move nd2 = mv("b1", "d2");
  Position hit("4k3/8/8/8/3p4/8/8/1N2K3 w - - 0 1");  // c3 and e3 attacked
  auto& h = hit.move_stack.history_score;
  h[0][na3 & 0xFFF] = 5;
  h[0][nd2 & 0xFFF] = uint64_t(1) << 40;  // high word decides
  h[1][na3 & 0xFFF] = uint64_t(1) << 50;  // Black's counters are not read
  set_list(hit, {na3, nc3, nd2});
  EXPECT_EQ(order_quiet_moves(hit, 0, 3, 1), 2);
  std::vector<Move> got = list_of(hit);
  EXPECT_EQ(got[0], nd2);
  EXPECT_EQ(got[1], na3);
  EXPECT_EQ(got[2], nc3);
  hit.move_stack.close_level();
}

TEST(OrderLosing, SortsWholeRange) {
  Position pos("4k3/8/2p5/3p4/8/8/3R4/3QK3 w - - 0 1");
  const Move qxd5 = mv("d1", "d5", B_PAWN);  // the queen is lost for a pawn
  const Move rxd5 = mv("d2", "d5", B_PAWN);  // the rook is lost for a pawn
  set_list(pos, {qxd5, rxd5});
  EXPECT_EQ(order_losing_captures(pos, 0, 2), 2);
  EXPECT_EQ(list_of(pos)[0], rxd5);
  pos.move_stack.close_level();

  Position q("4k3/8/8/8/8/8/8/1N2K3 b - - 0 1");
  const Move a = mv("e8", "d8"), b = mv("e8", "f8"), c = mv("e8", "e7");
  q.move_stack.history_score[1][b & 0xFFF] = 9;
  q.move_stack.history_score[1][c & 0xFFF] = 3;
  q.move_stack.history_score[0][a & 0xFFF] = 100;  // White's, ignored
  set_list(q, {a, c, b});
  EXPECT_EQ(order_losing_quiets(q, 0, 3), 3);
  EXPECT_EQ(list_of(q), (std::vector<Move>{b, c, a}));
  q.move_stack.close_level();
}

// The shell sort with its own gap sequence and the front-scan partition give
// one exact order for equal keys; a fixed search depends on it.
TEST(Ordering, EqualKeysFollowTheAlgorithm) {
  // Equal history keys: only the partition moves anything.
  Position pos("4k3/8/8/8/3p4/8/8/1N2K3 w - - 0 1");
  const Move na3 = mv("b1", "a3"), nc3 = mv("b1", "c3"), nd2 = mv("b1", "d2");
  const Move kd1 = mv("e1", "d1"), kf1 = mv("e1", "f1"), ke2 = mv("e1", "e2");
  set_list(pos, {nc3, na3, nd2, kd1, kf1, ke2});
  EXPECT_EQ(order_quiet_moves(pos, 0, 6, 1), 5);
  // nc3 fails at 0 and swaps with ke2; ke2 stays; the rest are kept.
  EXPECT_EQ(list_of(pos), (std::vector<Move>{ke2, na3, nd2, kd1, kf1, nc3}));
  pos.move_stack.close_level();
}

TEST(Ordering, SortsLongRangesDescending) {
  Position pos("4k3/8/8/8/8/8/8/4K3 w - - 0 1");
  std::vector<Move> moves;
  for (int i = 0; i < 300; ++i) {
    Move m = Move(i * 37 % 4096);
    moves.push_back(m);
    pos.move_stack.history_score[0][m] = uint64_t((i * 7919) % 101);
  }
  set_list(pos, moves);
  EXPECT_EQ(order_losing_quiets(pos, 0, 300), 300);
  std::vector<Move> got = list_of(pos);
  for (int i = 1; i < 300; ++i)
    ASSERT_GE(pos.move_stack.history_score[0][got[i - 1]], pos.move_stack.history_score[0][got[i]]);
  pos.move_stack.close_level();
}

}  // namespace

namespace {

// One sort serves the move ordering and the root: equal keys come out in one
// fixed order (not the order they went in), whatever the key type.
TEST(ShellSort, HighestFirstWithEqualKeysInAFixedOrder) {
  const std::vector<int32_t> keys = {3, 7, 3, 1, 7, 3, 9, 1, 3, 7, 0, 3, 9, 3};
  const std::vector<Move> sorted = {107, 113, 102, 110, 105, 106, 103,
                                    114, 109, 112, 101, 104, 108, 111};
  std::vector<Move> moves;
  for (Move m = 101; m < 101 + keys.size(); ++m) moves.push_back(m);

  std::vector<Move> by_score = moves;
  std::vector<int32_t> scores = keys;
  shell_sort(by_score.data(), scores.data(), int(scores.size()));
  EXPECT_EQ(by_score, sorted);
  EXPECT_EQ(scores, (std::vector<int32_t>{9, 9, 7, 7, 7, 3, 3, 3, 3, 3, 3, 1, 1, 0}));

  std::vector<Move> by_history = moves;
  std::vector<uint64_t> counters(keys.begin(), keys.end());
  shell_sort(by_history.data(), counters.data(), int(counters.size()));
  EXPECT_EQ(by_history, sorted);

  // Unsigned counters compare as unsigned: the top bit makes a key largest.
  std::vector<Move> two = {1, 2};
  std::vector<uint64_t> big = {5, uint64_t(1) << 63};
  shell_sort(two.data(), big.data(), 2);
  EXPECT_EQ(two, (std::vector<Move>{2, 1}));
}

}  // namespace
