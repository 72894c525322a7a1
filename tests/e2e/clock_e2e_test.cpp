// The engine's clock as an interface drives it: the reports of both clocks,
// a move with no time left, a new game, fixed depth. Margins leave room for a
// loaded machine; the budgets differ enough from the engine's own clock that
// a report ignored shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "support/engine_process.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t ms_since(Clock::time_point t0) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
}

const std::regex THINKING(R"(^(\d+) -?\d+ \d+ \d+ ([a-h][1-8][a-h][1-8][nbrq]? )+\[\d+\.\d\d% NPS=\d+\]$)");

int thinking_count(const EngineProcess& e, size_t from) {
  int n = 0;
  for (size_t i = from; i < e.lines.size(); ++i) n += std::regex_match(e.lines[i], THINKING);
  return n;
}

int deepest(const EngineProcess& e, size_t from) {
  int d = 0;
  for (size_t i = from; i < e.lines.size(); ++i) {
    std::smatch m;
    if (std::regex_match(e.lines[i], m, THINKING)) d = std::max(d, std::stoi(m[1]));
  }
  return d;
}

// Writes text (lines joined by newlines) in one piece and returns how long
// the "move" line took to come.
int64_t time_to_move(EngineProcess& e, const std::string& text) {
  const size_t from = e.lines.size();
  const auto t0 = Clock::now();
  e.send(text);
  const std::string reply = e.wait_for_prefix("move ", 10000, from);
  const int64_t took = ms_since(t0);
  return reply.empty() ? -1 : took;
}

// "time" gives the engine's own clock in hundredths: at 40 moves a period the
// first budget is a 81st of it, whatever the level's base time.
TEST(Clock, TimeReportSetsTheBudget) {
  struct Case {
    const char* time;
    int64_t budget;
  } cases[] = {{"time 1000", 10000 / 81}, {"time 12000", 120000 / 81}};
  for (const Case& c : cases) {
    EngineProcess e;
    e.send("level 40 1 0");
    ASSERT_TRUE(e.sync());
    const int64_t took = time_to_move(e, std::string(c.time) + "\notim 6000\ngo");
    ASSERT_GE(took, 0) << c.time;
    std::printf("%s: budget %lld ms, move after %lld ms\n", c.time, (long long)c.budget,
                (long long)took);
    EXPECT_GE(took, c.budget - 5) << c.time;
    EXPECT_LE(took, c.budget + 150) << c.time;
  }
}

// An interface writes both reports and the opponent's move at once: the reply
// comes within the budget that the reported time gives, with no pause between
// the lines.
TEST(Clock, ReportsAndMoveWrittenAtOnceAreAnsweredInTheBudget) {
  EngineProcess e;
  e.send("new");
  e.send("level 40 1 0");
  ASSERT_TRUE(e.sync());
  struct Turn {
    const char* text;
    int64_t budget;  // reported time / (2 * moves left + 1)
  } turns[] = {{"time 3000\notim 6000\ne2e4", 30000 / 81},
               {"time 2900\notim 5900\nd2d4", 29000 / 79},
               {"time 2800\notim 5800\ng1f3", 28000 / 77}};
  std::vector<int64_t> over;
  for (const Turn& t : turns) {
    const int64_t took = time_to_move(e, t.text);
    ASSERT_GE(took, 0) << t.text;
    std::printf("budget %lld ms, reply after %lld ms\n", (long long)t.budget, (long long)took);
    EXPECT_GE(took, t.budget - 5);
    EXPECT_LE(took, t.budget + 100);
    over.push_back(took - t.budget);
    // Both moves taken back, the engine Black again: its move count goes on.
    e.send("undo");
    e.send("undo");
    e.send("playother");
    ASSERT_TRUE(e.sync());
  }
  std::sort(over.begin(), over.end());
  EXPECT_LE(over[1], 50) << "median over the budget";
}

// With no time at all the engine stops before it searches: the first
// generated move, every time, and no thinking line.
TEST(Clock, NoTimeLeftPlaysTheFirstMoveWithoutThinking) {
  for (int run = 0; run < 20; ++run) {
    EngineProcess e;
    e.send("level 0 0 0");
    e.send("go");
    ASSERT_TRUE(e.sync());
    std::string move;
    for (const auto& l : e.lines)
      if (l.rfind("move ", 0) == 0) move = l;
    EXPECT_EQ(move, "move a2a3") << "run " << run;
    EXPECT_EQ(thinking_count(e, 0), 0) << "run " << run;
  }
}

// "new" starts the clocks afresh from the control: 300000 / 81 ms.
TEST(Clock, NewGameStartsFromTheTimeControl) {
  EngineProcess e;
  e.send("level 40 5 0");
  e.send("new");
  ASSERT_TRUE(e.sync());
  const int64_t took = time_to_move(e, "go");
  std::printf("move after %lld ms\n", (long long)took);
  EXPECT_GT(took, 3650);
  EXPECT_LT(took, 4000);
}

// "st " followed by no digit is no fixed time: the clock decides again.
TEST(Clock, StWithoutADigitReturnsToClockPlay) {
  EngineProcess e;
  e.send("level 40 0:30 0");
  e.send("st 1");
  e.send("st -5");
  ASSERT_TRUE(e.sync());
  const int64_t took = time_to_move(e, "go");
  EXPECT_GT(took, 30000 / 81 - 5);
  EXPECT_LT(took, 30000 / 81 + 150);
}

// "sd 3": three iterations, shown with the root move as depths 2 to 4; "new"
// lifts the limit.
TEST(Clock, SdLimitsTheDepthUntilNew) {
  EngineProcess e;
  e.send("sd 3");
  e.send("st 20");
  ASSERT_TRUE(e.sync());
  size_t from = e.lines.size();
  const int64_t took = time_to_move(e, "go");
  ASSERT_GE(took, 0);
  EXPECT_LT(took, 5000);
  EXPECT_EQ(deepest(e, from), 4);
  e.send("new");
  e.send("st 1");
  ASSERT_TRUE(e.sync());
  from = e.lines.size();
  ASSERT_GE(time_to_move(e, "go"), 0);
  EXPECT_GT(deepest(e, from), 4);
}

// "nps 1000": the engine's clock counts a thousand nodes as a second, so
// "st 30" is thirty thousand nodes, searched in far less than thirty seconds.
TEST(Clock, NodeRateMakesTheClockCountNodes) {
  EngineProcess e;
  e.send("nps 1000");
  e.send("st 30");
  e.send("post");
  ASSERT_TRUE(e.sync());
  const size_t from = e.lines.size();
  const int64_t took = time_to_move(e, "go");
  ASSERT_GE(took, 0);
  EXPECT_LT(took, 10000);
  ASSERT_GT(thinking_count(e, from), 0);
  for (size_t i = from; i < e.lines.size(); ++i) {
    std::smatch m;
    static const std::regex NODES(R"(^\d+ -?\d+ \d+ (\d+) )");
    if (std::regex_search(e.lines[i], m, NODES)) {
      EXPECT_LE(std::stoll(m[1]), 30000) << e.lines[i];
    }
  }
}

}  // namespace
