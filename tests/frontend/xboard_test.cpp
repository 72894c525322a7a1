#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "position/fen.h"
#include "frontend/session_ops.h"
#include "position/movetext.h"
#include "frontend/session.h"
#include "frontend/xboard.h"
#include "position/clock.h"

namespace {

const char* KIWIPETE = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

// A session on the position with a small table and the given limits.
std::unique_ptr<Session> session(const char* fen, int32_t iterations, int32_t sd) {
  auto s = std::make_unique<Session>();
  engine_set_table(s->engine, 1 << 16);
  testing::internal::CaptureStdout();
  set_position(*s, fen);
  testing::internal::GetCapturedStdout();
  s->iteration_limit = iterations;
  s->depth_limit = sd;
  stop_search.store(0);
  return s;
}

// The depth (first number) of the last thinking line of a search's output.
int last_depth(const std::string& output) {
  int depth = 0;
  for (const auto& l : split_lines(output))
    if (!l.empty() && l[0] >= '0' && l[0] <= '9') depth = std::stoi(l);
  return depth;
}

TEST(ClockReports, SetTheMoverFromTimeAndTheOtherSideFromOtim) {
  XboardClock c;
  c.fixed_move_time = 0;
  c.time_left_white = c.time_left_black = 5000;
  apply_clock_reports(c, ClockReports{}, 1);  // no report: the engine's own clocks
  EXPECT_EQ(c.time_left_white, 5000);
  EXPECT_EQ(c.time_left_black, 5000);

  apply_clock_reports(c, ClockReports{true, true, 12340, -500}, 1);
  EXPECT_EQ(c.time_left_white, 12340);
  EXPECT_EQ(c.time_left_black, -500);
  apply_clock_reports(c, ClockReports{true, true, 12340, -500}, 0);  // the engine moves for Black
  EXPECT_EQ(c.time_left_black, 12340);
  EXPECT_EQ(c.time_left_white, -500);

  // Only "otim" came: the mover keeps its own clock.
  apply_clock_reports(c, ClockReports{false, true, 0, 777}, 0);
  EXPECT_EQ(c.time_left_black, 12340);
  EXPECT_EQ(c.time_left_white, 777);

  // With a fixed time per move the reports are ignored.
  c.fixed_move_time = 2000;
  apply_clock_reports(c, ClockReports{true, true, 1, 2}, 0);
  EXPECT_EQ(c.time_left_black, 12340);
  EXPECT_EQ(c.time_left_white, 777);
}

// The engine's move uses up the reports: the next budget waits for new ones,
// and the clock it charges is the reported one.
TEST(ClockReports, AreUsedForOneMoveOnly) {
  auto s = session(START_FEN, 3, 0);
  XboardClock& c = s->clock;
  c.fixed_move_time = 0;
  c.time_left_white = c.time_left_black = 1000000;
  c.moves_left_white = c.moves_left_black = c.moves_per_period = 40;
  c.increment = 0;
  s->reports = ClockReports{true, true, 80000, 70000};
  testing::internal::CaptureStdout();
  think(*s);
  testing::internal::GetCapturedStdout();
  EXPECT_FALSE(s->reports.has_own);
  EXPECT_FALSE(s->reports.has_opponent);
  EXPECT_LE(c.time_left_white, 80000);
  EXPECT_GT(c.time_left_white, 80000 - 1000);
  EXPECT_EQ(c.time_left_black, 70000);
  EXPECT_EQ(c.moves_left_white, 39);
  EXPECT_EQ(s->game.history.count, 1);
}

TEST(DepthLimit, StopsAfterItsIterationsUnderTheConfiguredLimit) {
  struct Case {
    int32_t configured, sd;
    int deepest;  // iteration + 1 of the last thinking line
  } cases[] = {{64, 3, 4}, {64, 1, 2}, {4, 10, 4}, {5, 0, 5}, {5, -2, 5}};
  for (const Case& c : cases) {
    auto s = session(KIWIPETE, c.configured, c.sd);
    s->clock.fixed_move_time = 600000;  // the limit, not the timer, ends the search
    testing::internal::CaptureStdout();
    think(*s);
    EXPECT_EQ(last_depth(testing::internal::GetCapturedStdout()), c.deepest)
        << c.configured << " " << c.sd;
  }
}

// The thinking line's bytes: depth, score, centiseconds, nodes, the
// variation with a blank after each move, the statistics.
TEST(ThinkingLine, XboardFormat) {
  const std::vector<Move> variation{make_move_word(square_named("e2"), square_named("e4")),
                                    make_move_word(square_named("e7"), square_named("e5"))};
  EXPECT_EQ(xboard_thinking_text(ThinkingLine{5, 34, 1200, 56789, 7099, variation, 0, 9, 0, 0}),
            "5 34 120 56789 e2e4 e7e5 [12.50% NPS=47324]\n");
  EXPECT_EQ(xboard_thinking_text(ThinkingLine{2, -7, 0, 0, 0, variation, 0, 2, 0, 0}),
            "2 -7 0 0 e2e4 e7e5 [0.00% NPS=0]\n");
}

}  // namespace
