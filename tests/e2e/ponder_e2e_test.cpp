// What an xboard interface expects beyond the first conversations: thinking
// on the opponent's time ("hard"), "remove", fractional times and the
// table's size from "memory".
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/engine_process.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t ms_since(Clock::time_point t0) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
}

const std::regex THINKING(R"(^(\d+) -?\d+ \d+ \d+ ((?:[a-h][1-8][a-h][1-8][nbrq]? )+)\[\d+\.\d\d% NPS=\d+\]$)");

bool is_thinking(const std::string& line) { return std::regex_match(line, THINKING); }

int depth_of(const std::string& line) {
  std::smatch m;
  return std::regex_match(line, m, THINKING) ? std::stoi(m[1]) : 0;
}

int deepest(const EngineProcess& e, size_t from, size_t to) {
  int d = 0;
  for (size_t i = from; i < to && i < e.lines.size(); ++i) d = std::max(d, depth_of(e.lines[i]));
  return d;
}

// The variation's second move in the last thinking line before index `at`:
// the reply a pondering engine expects.
std::string expected_reply(const EngineProcess& e, size_t at) {
  for (size_t i = at; i-- > 0;) {
    std::smatch m;
    if (!std::regex_match(e.lines[i], m, THINKING)) continue;
    std::istringstream pv(m[2]);
    std::string first, second;
    pv >> first >> second;
    return second;
  }
  return "";
}

// Starts a pondering game: 1.e4, the engine's reply, and a ponder search
// whose thinking lines have reached `depth`. Returns the index of the
// "move" line; `reply` gets the move the engine expects.
long ponder_after_e4(EngineProcess& e, std::string& reply, int depth = 6) {
  e.send("new\nhard\nst 1\ne2e4");
  const std::string move = e.wait_for_prefix("move ", 10000);
  if (move.empty()) return -1;
  const long at = e.wait_until([&](const std::string& l) { return l == move; }, 0, 1000);
  reply = expected_reply(e, size_t(at));
  if (e.wait_until([&](const std::string& l) { return depth_of(l) >= depth; }, size_t(at) + 1,
                   10000) < 0)
    return -1;
  return at;
}

int64_t resident_kb(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stoll(line.substr(6));
  return -1;
}

// The expected reply turns the ponder search into the real one: its move
// comes within the budget (970 ms), from the search that had been
// pondering (no restart at depth 2 after the reply), and so from deeper
// thinking than a fresh search of the same position in the same time.
TEST(Ponder, TheExpectedReplyIsAnsweredInTheBudgetFromDeeperThinking) {
  EngineProcess e;
  std::string reply;
  const long at = ponder_after_e4(e, reply);
  ASSERT_GE(at, 0) << "no ponder search after the engine's move";
  ASSERT_FALSE(reply.empty());
  const std::string first_move = e.lines[size_t(at)].substr(5);

  EngineProcess fresh;
  fresh.send("new\nforce\ne2e4\n" + first_move + "\n" + reply + "\nst 1\ngo");
  ASSERT_FALSE(fresh.wait_for_prefix("move ", 10000).empty());
  const int unpondered = deepest(fresh, 0, fresh.lines.size());
  // The opponent thinks long enough for one more iteration.
  ASSERT_GE(e.wait_until([&](const std::string& l) { return depth_of(l) > unpondered; },
                         size_t(at) + 1, 60000), 0);

  // "time", "otim" and "ping" leave the ponder search running (were it
  // stopped, the reply would be searched afresh from depth 2).
  e.send("time 6000\notim 6000");
  ASSERT_TRUE(e.sync());

  const size_t from = e.lines.size();
  const auto sent = Clock::now();
  e.send(reply);
  const long move = e.wait_until([](const std::string& l) { return l.rfind("move ", 0) == 0; },
                                 from, 5000);
  const int64_t took = ms_since(sent);
  ASSERT_GE(move, 0);
  EXPECT_LE(took, 970 + 150);  // the budget; the margin is for a loaded machine
  // Up to the move: the next ponder search's lines may arrive with it.
  for (size_t i = from; i < size_t(move); ++i) {
    if (is_thinking(e.lines[i])) {
      EXPECT_GT(depth_of(e.lines[i]), unpondered) << e.lines[i];
    }
  }
}

// Another move stops the ponder search at once and is searched afresh (its
// thinking starts again at depth 2); "easy" and "quit" act at once too.
TEST(Ponder, OtherLinesStopThePonderSearch) {
  EngineProcess e;
  std::string reply;
  ASSERT_GE(ponder_after_e4(e, reply), 0);
  const std::string other = reply == "d2d4" ? "c2c4" : "d2d4";
  const size_t from = e.lines.size();
  const auto sent = Clock::now();
  e.send(other);
  const long first = e.wait_until([](const std::string& l) { return depth_of(l) == 2; }, from, 5000);
  ASSERT_GE(first, 0);
  // Measured at about 10 ms on a quiet machine; the margin is for a loaded
  // one. A ponder search left to finish its iteration takes seconds.
  EXPECT_LE(ms_since(sent), 200) << "the fresh search began late";
  EXPECT_FALSE(e.wait_for_prefix("move ", 5000, from).empty());

  // "easy": no thinking after it.
  ASSERT_GE(e.wait_until(is_thinking, e.lines.size(), 10000), 0) << "no ponder search";
  e.send("easy");
  ASSERT_TRUE(e.sync());
  const size_t after = e.lines.size();
  ASSERT_TRUE(e.sync());
  for (size_t i = after; i < e.lines.size(); ++i) EXPECT_FALSE(is_thinking(e.lines[i]));

  EngineProcess q;
  ASSERT_GE(ponder_after_e4(q, reply), 0);
  const auto asked = Clock::now();
  q.send("quit");
  EXPECT_EQ(q.wait_exit(2000), 0);
  EXPECT_LE(ms_since(asked), 500);
}

// "remove" takes back a move of each side; the engine then answers 1.d4
// from the board after 1.d4 alone, which "display" shows. With one ply in
// the game it takes back that one.
TEST(Xboard, RemoveTakesBackTheLastMoveOfEachSide) {
  EngineProcess e;
  e.send("new\nst 1\ne2e4");
  ASSERT_FALSE(e.wait_for_prefix("move ", 10000).empty());
  size_t from = e.lines.size();
  e.send("remove\nd2d4");
  const std::string answer = e.wait_for_prefix("move ", 10000, from);
  ASSERT_FALSE(answer.empty());
  ASSERT_TRUE(e.sync());
  from = e.lines.size();
  e.send("display");
  ASSERT_TRUE(e.sync());
  const std::vector<std::string> board = e.since(from);

  EngineProcess replay;
  replay.send("new\nforce\nd2d4\n" + answer.substr(5));
  ASSERT_TRUE(replay.sync());
  from = replay.lines.size();
  replay.send("display");
  ASSERT_TRUE(replay.sync());
  std::vector<std::string> expected = replay.since(from);
  EXPECT_EQ(board.size(), expected.size());
  for (size_t i = 0; i + 1 < board.size() && i + 1 < expected.size(); ++i)
    EXPECT_EQ(board[i], expected[i]);  // the last line is the pong

  EngineProcess one;
  one.send("new\nforce\ndisplay");
  ASSERT_TRUE(one.sync());
  const std::vector<std::string> start = one.since(1);
  from = one.lines.size();
  one.send("e2e4\nremove\ndisplay");
  ASSERT_TRUE(one.sync());
  std::vector<std::string> again = one.since(from);
  ASSERT_EQ(again.size(), start.size());
  for (size_t i = 0; i + 1 < again.size(); ++i) EXPECT_EQ(again[i], start[i]);
}

// "st 0.5" is half a second a move, less the 30 ms margin.
TEST(Xboard, FractionalFixedTime) {
  EngineProcess e;
  e.send("new\nst 0.5");
  std::vector<int64_t> took;
  for (const char* move : {"e2e4", "d2d4", "c2c4"}) {
    e.send("new");
    const size_t from = e.lines.size();
    const auto sent = Clock::now();
    e.send(move);
    ASSERT_FALSE(e.wait_for_prefix("move ", 5000, from).empty());
    took.push_back(ms_since(sent));
    EXPECT_GT(deepest(e, from, e.lines.size()), 0) << "no thinking lines";
  }
  std::sort(took.begin(), took.end());
  EXPECT_GE(took[1], 440);
  EXPECT_LE(took[1], 540);
}

// "memory N" bounds the whole engine's resident memory by N megabytes once a
// search has filled the table; UCI's Hash sizes the table itself; without
// either, KELO.ini's DIM_HASH holds.
TEST(Xboard, MemoryAndHashSizeTheTable) {
  struct Case {
    const char* ini;
    const char* commands;
    int64_t least_mb, most_mb;
  } cases[] = {
      {"DIM_HASH=16\n", "new\nst 2\ngo", 12, 24},
      {"DIM_HASH=16\n", "memory 96\nnew\nst 2\ngo", 72, 96},
      {"DIM_HASH=16\n", "uci\nsetoption name Hash value 96\nposition startpos\ngo movetime 2000", 96, 110},
  };
  for (const Case& c : cases) {
    EngineProcess e(EngineProcess::dir_with_file("KELO.ini", c.ini));
    e.send(c.commands);
    ASSERT_GE(e.wait_until([](const std::string& l) {
      return l.rfind("move ", 0) == 0 || l.rfind("bestmove ", 0) == 0;
    }, 0, 10000), 0);
    const int64_t mb = resident_kb(e.pid) / 1024;
    EXPECT_GE(mb, c.least_mb) << c.commands;
    EXPECT_LE(mb, c.most_mb) << c.commands;
  }
}

}  // namespace
