#include <gtest/gtest.h>

#include "search/search_setup.h"

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/config.h"
#include "position/clock.h"
#include "position/makemove.h"
#include "search/think.h"
#include "search/tt.h"

namespace {

std::unique_ptr<Position> setup(const char* fen) {
  auto pos = setup_position(fen);
  pos->time_left_white = 60000;
  pos->moves_left_white = 40;
  pos->fixed_move_time = 0;
  return pos;
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

struct IterationLimit {
  int32_t saved = config.max_depth_search;
  explicit IterationLimit(int32_t limit) { config.max_depth_search = limit; }
  ~IterationLimit() { config.max_depth_search = saved; }
};

// An analysis to the iteration limit writes thinking lines but plays nothing:
// the board, the game, the clock and the move stack are as before.
TEST(Analyse, RunsToTheLimitAndLeavesPositionAndClock) {
  IterationLimit limit(4);
  auto p = setup("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
  const uint64_t key = p->hash_key;
  testing::internal::CaptureStdout();
  EXPECT_TRUE(analyse(*p));
  const auto lines = split_lines(testing::internal::GetCapturedStdout());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front().substr(0, 2), "2 ");
  EXPECT_EQ(lines.back().substr(0, 2), "4 ");
  for (const auto& l : lines) EXPECT_EQ(l.find("move"), std::string::npos) << l;
  EXPECT_EQ(p->hash_key, key);
  EXPECT_EQ(p->side_to_move, 1);
  EXPECT_EQ(p->history.count, 0);
  EXPECT_EQ(p->move_stack.level, 1);
  EXPECT_EQ(p->time_left_white, 60000);
  EXPECT_EQ(p->moves_left_white, 40);
  EXPECT_EQ(stop_search.load(), 0);
  EXPECT_GT(last_search_nodes, 0u);
}

// A stop raised before the analysis starts (the caller did not clear it) ends
// it at once, reported as stopped, and the flag is cleared for the next one.
TEST(Analyse, StopBeforeTheStartEndsItAtOnce) {
  auto p = setup("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  raise_stop();
  testing::internal::CaptureStdout();
  EXPECT_FALSE(analyse(*p));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(stop_search.load(), 0);
  EXPECT_EQ(p->history.count, 0);
  EXPECT_EQ(p->move_stack.level, 1);
}

// Mate, stalemate and a side to move without king or men leave nothing to
// search: no output, finished at once. A single legal move is still analysed.
TEST(Analyse, PositionsWithoutASearch) {
  IterationLimit limit(3);
  const char* nothing[] = {
      "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3",
      "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1",
      "4k3/8/8/8/8/8/8/8 w - - 0 1",
  };
  for (const char* fen : nothing) {
    auto p = setup(fen);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(analyse(*p)) << fen;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << fen;
    EXPECT_EQ(p->move_stack.level, 1);
  }
  auto p = setup("7k/8/8/8/8/8/6q1/7K w - - 0 1");  // Kxg2 only
  testing::internal::CaptureStdout();
  EXPECT_TRUE(analyse(*p));
  const auto lines = split_lines(testing::internal::GetCapturedStdout());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().substr(0, 2), "3 ");
  EXPECT_EQ(p->history.count, 0);
}

}  // namespace
