#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/config.h"
#include "position/clock.h"
#include "position/movegen.h"
#include "position/movetext.h"
#include "search/search_setup.h"
#include "search/think.h"
#include "search/tt.h"

namespace {

const char* KIWIPETE = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";

std::unique_ptr<Position> setup(const char* fen) { return setup_position(fen); }

std::vector<std::string> words(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

// Whether the side to move has the move named by text.
bool has_move(Position& pos, const std::string& text) {
  generate_all(pos);
  bool found = false;
  for (int i = 0; i < pos.move_stack.count(); ++i)
    if (move_text(pos.move_stack.at(i)) == text) found = true;
  pos.move_stack.close_level();
  return found;
}

// Restores the process-wide search settings a test changes.
struct SearchSettings {
  int32_t saved_limit = config.max_depth_search;
  int32_t saved_depth = depth_limit;
  SearchSettings(int32_t iterations, int32_t sd) {
    config.max_depth_search = iterations;
    depth_limit = sd;
    clock_reports = ClockReports{};
  }
  ~SearchSettings() {
    config.max_depth_search = saved_limit;
    depth_limit = saved_depth;
    clock_reports = ClockReports{};
  }
};

// The depth (first number) of the last thinking line of a search's output.
int last_depth(const std::string& output) {
  int depth = 0;
  for (const auto& l : split_lines(output))
    if (!l.empty() && l[0] >= '0' && l[0] <= '9') depth = std::stoi(l);
  return depth;
}

TEST(ClockReports, SetTheMoverFromTimeAndTheOtherSideFromOtim) {
  SearchSettings settings(64, 0);
  auto p = setup("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
  p->fixed_move_time = 0;
  p->time_left_white = p->time_left_black = 5000;
  apply_clock_reports(*p);  // no report: the engine's own clocks
  EXPECT_EQ(p->time_left_white, 5000);
  EXPECT_EQ(p->time_left_black, 5000);

  clock_reports = ClockReports{true, true, 12340, -500};
  apply_clock_reports(*p);
  EXPECT_EQ(p->time_left_white, 12340);
  EXPECT_EQ(p->time_left_black, -500);
  p->side_to_move = 0;  // the engine now moves for Black
  apply_clock_reports(*p);
  EXPECT_EQ(p->time_left_black, 12340);
  EXPECT_EQ(p->time_left_white, -500);

  // Only "otim" came: the mover keeps its own clock.
  clock_reports = ClockReports{false, true, 0, 777};
  apply_clock_reports(*p);
  EXPECT_EQ(p->time_left_black, 12340);
  EXPECT_EQ(p->time_left_white, 777);

  // With a fixed time per move the reports are ignored.
  p->fixed_move_time = 2000;
  clock_reports = ClockReports{true, true, 1, 2};
  apply_clock_reports(*p);
  EXPECT_EQ(p->time_left_black, 12340);
  EXPECT_EQ(p->time_left_white, 777);
}

// The engine's move uses up the reports: the next budget waits for new ones,
// and the clock it charges is the reported one.
TEST(ClockReports, AreUsedForOneMoveOnly) {
  SearchSettings settings(3, 0);
  auto p = setup("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
  p->fixed_move_time = 0;
  p->time_left_white = p->time_left_black = 1000000;
  p->moves_left_white = p->moves_left_black = p->moves_per_period = 40;
  p->increment = 0;
  clock_reports = ClockReports{true, true, 80000, 70000};
  testing::internal::CaptureStdout();
  think(*p);
  testing::internal::GetCapturedStdout();
  EXPECT_FALSE(clock_reports.has_own);
  EXPECT_FALSE(clock_reports.has_opponent);
  EXPECT_LE(p->time_left_white, 80000);
  EXPECT_GT(p->time_left_white, 80000 - 1000);
  EXPECT_EQ(p->time_left_black, 70000);
  EXPECT_EQ(p->moves_left_white, 39);
}

TEST(DepthLimit, StopsAfterItsIterationsUnderTheConfiguredLimit) {
  struct Case {
    int32_t configured, sd;
    int deepest;  // iteration + 1 of the last thinking line
  } cases[] = {{64, 3, 4}, {64, 1, 2}, {4, 10, 4}, {5, 0, 5}, {5, -2, 5}};
  for (const Case& c : cases) {
    SearchSettings settings(c.configured, c.sd);
    auto p = setup(KIWIPETE);
    p->fixed_move_time = 600000;  // the limit, not the timer, ends the search
    testing::internal::CaptureStdout();
    think(*p);
    EXPECT_EQ(last_depth(testing::internal::GetCapturedStdout()), c.deepest)
        << c.configured << " " << c.sd;
  }
}

// The variation begins with the root move given, follows the table from the
// position after it, and leaves the position and the node count untouched.
TEST(Variation, RootMoveFirstThenTheTableWithoutCountingNodes) {
  SearchSettings settings(5, 0);
  auto p = setup(KIWIPETE);
  p->fixed_move_time = 600000;
  testing::internal::CaptureStdout();
  think(*p);  // fills the table; the engine's move is now on the board
  testing::internal::GetCapturedStdout();
  generate_all(*p);
  ASSERT_GT(p->move_stack.count(), 1);
  const Move root = p->move_stack.at(1);
  p->move_stack.close_level();

  const uint64_t key = p->hash_key;
  const int32_t plies = p->history.count;
  p->node_count = 4321;
  testing::internal::CaptureStdout();
  print_variation(*p, root, 6);
  const std::string text = testing::internal::GetCapturedStdout();
  EXPECT_EQ(p->node_count, 4321u);
  EXPECT_EQ(p->hash_key, key);
  EXPECT_EQ(p->history.count, plies);
  EXPECT_EQ(p->move_stack.level, 1);

  const auto moves = words(text);
  ASSERT_FALSE(moves.empty());
  EXPECT_EQ(moves[0], move_text(root));
  EXPECT_LE(moves.size(), 6u);
  EXPECT_EQ(text.back(), ' ');  // the statistics follow after a blank
  for (const auto& m : moves) {
    ASSERT_TRUE(has_move(*p, m)) << text;
    ASSERT_TRUE(play_move_text(*p, m.c_str()));
  }

  // An empty table: the root move alone.
  auto fresh = setup(KIWIPETE);
  generate_all(*fresh);
  const Move first = fresh->move_stack.at(0);
  fresh->move_stack.close_level();
  testing::internal::CaptureStdout();
  print_variation(*fresh, first, 6);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), move_text(first) + " ");
  EXPECT_EQ(fresh->node_count, 0u);
}

}  // namespace
