#include <gtest/gtest.h>

#include <string>

#include <memory>

#include "frontend/interpreter.h"
#include "frontend/session.h"

namespace {

void command(Session& s, const std::string& line) {
  std::string buffer = line;
  testing::internal::CaptureStdout();  // set-up messages
  interpret_command(s, buffer.data());
  testing::internal::GetCapturedStdout();
}

// A new game or a set-up position starts both clocks from the time control in
// force; the control itself is kept.
TEST(Interpreter, NewAndSetboardRestartTheClocksFromTheControl) {
  for (const char* restart : {"new", "setboard 4k3/8/8/8/8/8/4P3/4K3 b - - 0 1"}) {
    auto session = std::make_unique<Session>();
    Session& s = *session;
    command(s, "level 40 5 2");
    s.clock.time_left_white = -1234;
    s.clock.time_left_black = 17;
    s.clock.moves_left_white = 3;
    s.clock.moves_left_black = 0;
    command(s, restart);
    EXPECT_EQ(s.clock.time_left_white, 300000) << restart;
    EXPECT_EQ(s.clock.time_left_black, 300000) << restart;
    EXPECT_EQ(s.clock.moves_left_white, 40) << restart;
    EXPECT_EQ(s.clock.moves_left_black, 40) << restart;
    EXPECT_EQ(s.clock.moves_per_period, 40) << restart;
    EXPECT_EQ(s.clock.base_time, 300000) << restart;
    EXPECT_EQ(s.clock.increment, 2000) << restart;
    EXPECT_EQ(s.clock.no_move_count, 0) << restart;
    EXPECT_EQ(s.clock.fixed_move_time, 0) << restart;
  }
  // A fixed time per move survives them as before.
  auto session = std::make_unique<Session>();
  Session& s = *session;
  command(s, "st 4");
  command(s, "new");
  EXPECT_EQ(s.clock.fixed_move_time, 4000);
}

TEST(Interpreter, ClockReportsCountHundredths) {
  auto session = std::make_unique<Session>();
  Session& s = *session;
  command(s, "time 1234");
  EXPECT_TRUE(s.reports.has_own);
  EXPECT_FALSE(s.reports.has_opponent);
  EXPECT_EQ(s.reports.own, 12340);
  command(s, "otim -50");  // a clock already run out
  EXPECT_TRUE(s.reports.has_opponent);
  EXPECT_EQ(s.reports.opponent, -500);
  command(s, "time 99999999999999999999");
  EXPECT_EQ(s.reports.own, int64_t(INT32_MAX) * 10);
  // The reports do not touch the clock until the engine budgets a move.
  EXPECT_EQ(s.clock.time_left_white, 0);
}

TEST(Interpreter, SdSetsTheLimitUntilNewOrTheNextSd) {
  auto session = std::make_unique<Session>();
  Session& s = *session;
  command(s, "sd 7");
  EXPECT_EQ(s.depth_limit, 7);
  command(s, "sd 3");
  EXPECT_EQ(s.depth_limit, 3);
  command(s, "setboard 4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
  EXPECT_EQ(s.depth_limit, 3);
  command(s, "new");
  EXPECT_EQ(s.depth_limit, 0);
  command(s, "sd 5");
  command(s, "sd -2");
  EXPECT_EQ(s.depth_limit, 0);
  command(s, "sd 99999999999999");
  EXPECT_EQ(s.depth_limit, INT32_MAX);
  command(s, "sd 0");
  EXPECT_EQ(s.depth_limit, 0);
}

// Anything after "st " that does not begin with a digit reads as 0, which
// returns the engine to clock play.
TEST(Interpreter, StWithoutALeadingDigitIsNoFixedTime) {
  auto session = std::make_unique<Session>();
  Session& s = *session;
  for (const char* line : {"st -5", "st  5", "st +5", "st x", "st "}) {
    command(s, "st 9");
    command(s, line);
    EXPECT_EQ(s.clock.fixed_move_time, 0) << line;
  }
  command(s, "st 5x");
  EXPECT_EQ(s.clock.fixed_move_time, 5000);
}

}  // namespace
