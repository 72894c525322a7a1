#include <gtest/gtest.h>

#include <string>

#include "frontend/interpreter.h"
#include "position/position.h"
#include "search/think.h"

namespace {

void command(Position& pos, const std::string& line) {
  std::string buffer = line;
  testing::internal::CaptureStdout();  // set-up messages
  interpret_command(pos, buffer.data());
  testing::internal::GetCapturedStdout();
}

// A new game or a set-up position starts both clocks from the time control in
// force; the control itself is kept.
TEST(Interpreter, NewAndSetboardRestartTheClocksFromTheControl) {
  for (const char* restart : {"new", "setboard 4k3/8/8/8/8/8/4P3/4K3 b - - 0 1"}) {
    Position pos;
    command(pos, "level 40 5 2");
    pos.time_left_white = -1234;
    pos.time_left_black = 17;
    pos.moves_left_white = 3;
    pos.moves_left_black = 0;
    command(pos, restart);
    EXPECT_EQ(pos.time_left_white, 300000) << restart;
    EXPECT_EQ(pos.time_left_black, 300000) << restart;
    EXPECT_EQ(pos.moves_left_white, 40) << restart;
    EXPECT_EQ(pos.moves_left_black, 40) << restart;
    EXPECT_EQ(pos.moves_per_period, 40) << restart;
    EXPECT_EQ(pos.base_time, 300000) << restart;
    EXPECT_EQ(pos.increment, 2000) << restart;
    EXPECT_EQ(pos.no_move_count, 0) << restart;
    EXPECT_EQ(pos.fixed_move_time, 0) << restart;
  }
  // A fixed time per move survives them as before.
  Position pos;
  command(pos, "st 4");
  command(pos, "new");
  EXPECT_EQ(pos.fixed_move_time, 4000);
}

TEST(Interpreter, ClockReportsCountHundredths) {
  clock_reports = ClockReports{};
  Position pos;
  command(pos, "time 1234");
  EXPECT_TRUE(clock_reports.has_own);
  EXPECT_FALSE(clock_reports.has_opponent);
  EXPECT_EQ(clock_reports.own, 12340);
  command(pos, "otim -50");  // a clock already run out
  EXPECT_TRUE(clock_reports.has_opponent);
  EXPECT_EQ(clock_reports.opponent, -500);
  command(pos, "time 99999999999999999999");
  EXPECT_EQ(clock_reports.own, int64_t(INT32_MAX) * 10);
  // The reports do not touch the clock until the engine budgets a move.
  EXPECT_EQ(pos.time_left_white, 0);
  clock_reports = ClockReports{};
}

TEST(Interpreter, SdSetsTheLimitUntilNewOrTheNextSd) {
  Position pos;
  command(pos, "sd 7");
  EXPECT_EQ(depth_limit, 7);
  command(pos, "sd 3");
  EXPECT_EQ(depth_limit, 3);
  command(pos, "setboard 4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
  EXPECT_EQ(depth_limit, 3);
  command(pos, "new");
  EXPECT_EQ(depth_limit, 0);
  command(pos, "sd 5");
  command(pos, "sd -2");
  EXPECT_EQ(depth_limit, 0);
  command(pos, "sd 99999999999999");
  EXPECT_EQ(depth_limit, INT32_MAX);
  command(pos, "sd 0");
  EXPECT_EQ(depth_limit, 0);
}

// Anything after "st " that does not begin with a digit reads as 0, which
// returns the engine to clock play.
TEST(Interpreter, StWithoutALeadingDigitIsNoFixedTime) {
  Position pos;
  for (const char* line : {"st -5", "st  5", "st +5", "st x", "st "}) {
    command(pos, "st 9");
    command(pos, line);
    EXPECT_EQ(pos.fixed_move_time, 0) << line;
  }
  command(pos, "st 5x");
  EXPECT_EQ(pos.fixed_move_time, 5000);
}

}  // namespace
