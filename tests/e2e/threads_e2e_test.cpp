// Two search threads through both protocols: the settings are offered, the
// searches end where they are told to, and the moves are legal.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "position/movegen.h"
#include "position/movetext.h"
#include "position/position.h"
#include "support/engine_process.h"

namespace {

const char* const MIDDLEGAME =
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 1";

std::set<std::string> legal_moves(const char* fen) {
  Position pos(fen);
  generate_all(pos);
  std::set<std::string> moves;
  for (int i = 0; i < pos.move_stack.count(); ++i) moves.insert(move_text(pos.move_stack.at(i)));
  pos.move_stack.close_level();
  return moves;
}

// Whether the thinking line l names a depth of at least 5 at offset at.
bool deep(const std::string& l, size_t at) {
  const size_t end = l.find(' ', at);
  if (end == std::string::npos || end == at) return false;
  for (size_t i = at; i < end; ++i)
    if (l[i] < '0' || l[i] > '9') return false;
  return std::stoi(l.substr(at, end - at)) >= 5;
}

TEST(ThreadsE2e, UciThreadsSearchToTheDepthAndStop) {
  EngineProcess e;
  e.send("uci");
  ASSERT_TRUE(e.wait_for_line("uciok"));
  EXPECT_TRUE(e.wait_for_line("option name Threads type spin default 1 min 1 max 64", 10, 0));
  e.send("setoption name Threads value 2");
  e.send(std::string("position fen ") + MIDDLEGAME);
  size_t from = e.lines.size();
  e.send("go depth 8");
  std::string best = e.wait_for_prefix("bestmove ", 60000, from);
  ASSERT_FALSE(best.empty());
  EXPECT_EQ(legal_moves(MIDDLEGAME).count(best.substr(9, best.find(' ', 9) - 9)), 1u) << best;
  std::string deepest;
  for (const std::string& l : e.since(from))
    if (l.rfind("info depth ", 0) == 0) deepest = l.substr(11, l.find(' ', 11) - 11);
  EXPECT_EQ(deepest, "8");

  from = e.lines.size();
  e.send("go infinite");
  // The main thread may take over a deeper iteration a helper finished, so
  // a depth can be skipped in the thinking lines.
  ASSERT_NE(e.wait_until(
                [](const std::string& l) { return l.rfind("info depth ", 0) == 0 && deep(l, 11); },
                from, 20000),
            -1);
  e.send("isready");
  ASSERT_TRUE(e.wait_for_line("readyok", 2000, from));
  e.send("stop");
  best = e.wait_for_prefix("bestmove ", 2000, from);
  ASSERT_FALSE(best.empty());
  EXPECT_EQ(legal_moves(MIDDLEGAME).count(best.substr(9, best.find(' ', 9) - 9)), 1u) << best;
  EXPECT_EQ(e.close_and_wait(3000), 0);
}

TEST(ThreadsE2e, XboardCoresPlaysAndAnalyses) {
  EngineProcess e;
  e.send("xboard");
  e.send("protover 2");
  ASSERT_TRUE(e.wait_for_line("feature memory=1 smp=1 nps=1 exclude=1 variants=\"normal,fischerandom\""));
  e.send("cores 2");
  e.send("post");
  e.send(std::string("setboard ") + MIDDLEGAME);
  e.send("sd 6");
  size_t from = e.lines.size();
  e.send("go");
  const std::string move = e.wait_for_prefix("move ", 60000, from);
  ASSERT_FALSE(move.empty());
  EXPECT_EQ(legal_moves(MIDDLEGAME).count(move.substr(5)), 1u) << move;
  e.send("force");
  e.send(std::string("setboard ") + MIDDLEGAME);
  from = e.lines.size();
  e.send("analyze");
  ASSERT_NE(e.wait_until([](const std::string& l) { return deep(l, 0); }, from, 20000), -1);
  e.send("exit");
  EXPECT_TRUE(e.sync());
  e.send("quit");
  EXPECT_EQ(e.wait_exit(3000), 0);
}

}  // namespace
