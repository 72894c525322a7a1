#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "position/fen.h"
#include "position/movegen.h"
#include "position/movetext.h"
#include "support/engine_process.h"

namespace {

const std::regex THINKING(R"(^(\d+) (-?\d+) (\d+) (\d+) ((?:[a-h][1-8][a-h][1-8][nbrq]? )*)\[\d+\.\d\d% NPS=\d+\]$)");

struct Thinking {
  size_t index;  // in the engine's output
  int depth;
  std::vector<std::string> pv;
};

std::vector<Thinking> thinking(const EngineProcess& e, size_t from, size_t to = SIZE_MAX) {
  std::vector<Thinking> out;
  for (size_t i = from; i < e.lines.size() && i < to; ++i) {
    std::smatch m;
    if (!std::regex_match(e.lines[i], m, THINKING)) continue;
    Thinking t{i, std::stoi(m[1]), {}};
    std::string pv = m[5];
    for (size_t p = 0; p < pv.size();) {
      size_t blank = pv.find(' ', p);
      t.pv.push_back(pv.substr(p, blank - p));
      p = blank + 1;
    }
    out.push_back(t);
  }
  return out;
}

bool no_move_lines(const EngineProcess& e, size_t from) {
  for (size_t i = from; i < e.lines.size(); ++i)
    if (e.lines[i].rfind("move ", 0) == 0) return false;
  return true;
}

// Index of the first thinking line from index from with at least the given depth.
long wait_for_depth(EngineProcess& e, int depth, size_t from, int timeout_ms = 10000) {
  return e.wait_until(
      [&](const std::string& l) {
        std::smatch m;
        return std::regex_match(l, m, THINKING) && std::stoi(m[1]) >= depth;
      },
      from, timeout_ms);
}

// Waits until an analysis limited to depth has ended by itself. The ping
// that tells when output is complete stops an analysis still in its last
// iteration, which then starts again from iteration 2 at once; so after each
// pong a fresh depth-2 line means the wait goes on.
bool analysis_ended(EngineProcess& e, int depth, size_t from) {
  for (int round = 0; round < 20; ++round) {
    if (wait_for_depth(e, depth, from) < 0) return false;
    const size_t before = e.lines.size();
    if (!e.sync()) return false;
    const long restart =
        e.wait_until([](const std::string& l) { return l.rfind("2 ", 0) == 0; }, before, 500);
    if (restart < 0) return true;
    from = size_t(restart);
  }
  return false;
}

// Whether every line of moves is playable from the position given by fen and
// the moves before: each line's first move belongs to the side to move there.
bool variations_legal(const char* fen, const std::vector<std::string>& before,
                      const std::vector<Thinking>& lines) {
  for (const Thinking& t : lines) {
    Position pos(fen);
    for (const auto& m : before) play_move_text(pos, m.c_str());
    for (const auto& m : t.pv) {
      generate_all(pos);
      bool found = false;
      for (int i = 0; i < pos.move_stack.count(); ++i)
        if (move_text(pos.move_stack.at(i)) == m) found = true;
      pos.move_stack.close_level();
      if (!found) return false;
      play_move_text(pos, m.c_str());
    }
  }
  return true;
}

// Every line shows at least the root move.
bool all_show_moves(const std::vector<Thinking>& lines) {
  for (const Thinking& t : lines)
    if (t.pv.empty()) return false;
  return !lines.empty();
}

// The analysis restarted after index from: the first depth-2 line from there
// on starts the new search. Returns the new search's lines up to a line of at
// least the given depth.
std::vector<Thinking> restarted_lines(EngineProcess& e, size_t from, int depth) {
  long restart = e.wait_until([](const std::string& l) { return l.rfind("2 ", 0) == 0; }, from, 10000);
  if (restart < 0) return {};
  long deep = wait_for_depth(e, depth, size_t(restart));
  if (deep < 0) return {};
  return thinking(e, size_t(restart), size_t(deep) + 1);
}

TEST(Analysis, FollowsTheGameWithoutMovingUntilExit) {
  EngineProcess e;
  e.send("new");
  e.send("analyze");
  ASSERT_GE(wait_for_depth(e, 5, 0), 0);
  EXPECT_TRUE(no_move_lines(e, 0));
  EXPECT_TRUE(all_show_moves(thinking(e, 0)));
  EXPECT_TRUE(variations_legal(START_FEN, {}, thinking(e, 0)));

  // The user's move restarts the analysis for Black.
  size_t from = e.lines.size();
  e.send("e2e4");
  auto black = restarted_lines(e, from, 4);
  EXPECT_TRUE(all_show_moves(black));
  EXPECT_TRUE(variations_legal(START_FEN, {"e2e4"}, black));

  // Black's reply and its take-back: White to move again each time.
  from = e.lines.size();
  e.send("c7c5");
  auto white = restarted_lines(e, from, 4);
  ASSERT_FALSE(white.empty());
  EXPECT_TRUE(variations_legal(START_FEN, {"e2e4", "c7c5"}, white));
  from = e.lines.size();
  e.send("undo");
  black = restarted_lines(e, from, 4);
  ASSERT_FALSE(black.empty());
  EXPECT_TRUE(variations_legal(START_FEN, {"e2e4"}, black));

  // A new position.
  const char* fen = "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3";
  from = e.lines.size();
  e.send(std::string("setboard ") + fen);
  white = restarted_lines(e, from, 4);
  EXPECT_TRUE(all_show_moves(white));
  EXPECT_TRUE(variations_legal(fen, {}, white));
  EXPECT_TRUE(no_move_lines(e, 0));

  // "exit" leaves force mode: a move is only played after "go".
  e.send("exit");
  e.send("f1b5");
  ASSERT_TRUE(e.sync());
  from = e.lines.size();
  ASSERT_TRUE(e.sync());
  EXPECT_TRUE(thinking(e, from).empty());  // nothing is searched any more
  EXPECT_TRUE(no_move_lines(e, 0));
  e.send("go");
  const std::string reply = e.wait_for_prefix("move ", 5000, from);
  ASSERT_FALSE(reply.empty());
  EXPECT_TRUE(variations_legal(fen, {"f1b5"}, {Thinking{0, 0, {reply.substr(5)}}})) << reply;
}

TEST(Analysis, StatusRequestDoesNotStopTheSearch) {
  EngineProcess e;
  e.send("analyze");
  long deep = wait_for_depth(e, 4, 0);
  ASSERT_GE(deep, 0);
  const size_t from = e.lines.size();
  e.send(".");
  // Had "." stopped the search, the analysis would start again: its depth-2
  // line would come before the reply to a later ping.
  EXPECT_LT(e.wait_until([](const std::string& l) { return l.rfind("2 ", 0) == 0; }, from, 300), 0);
  ASSERT_TRUE(e.sync());
  long pong = e.wait_until([](const std::string& l) { return l.rfind("pong ", 0) == 0; }, from, 1000);
  ASSERT_GE(pong, 0);
  for (const auto& t : thinking(e, from, size_t(pong))) EXPECT_GT(t.depth, 2) << e.lines[t.index];
  // Any other line stops it, and the analysis then starts again.
  ASSERT_FALSE(restarted_lines(e, size_t(pong), 3).empty());
  EXPECT_TRUE(no_move_lines(e, 0));
}

// With a low iteration limit each analysis ends by itself; the engine then
// waits, and only a change of the position starts it again.
TEST(Analysis, IterationLimitEndsItWithoutAMove) {
  EngineProcess e(EngineProcess::dir_with_file("KELO.ini", "MAX_DEPTH_SEARCH=4\n"));
  e.send("analyze");
  ASSERT_TRUE(analysis_ended(e, 4, 0));
  auto first = thinking(e, 0);
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first.front().depth, 2);
  EXPECT_EQ(first.back().depth, 4);
  size_t from = e.lines.size();
  e.send("hint");
  e.send("level 40 5 0");
  ASSERT_TRUE(e.sync());
  EXPECT_TRUE(thinking(e, from).empty());

  from = e.lines.size();
  e.send("d2d4");
  ASSERT_TRUE(analysis_ended(e, 4, from));
  auto after = thinking(e, from);
  ASSERT_FALSE(after.empty());
  EXPECT_EQ(after.front().depth, 2);
  EXPECT_EQ(after.back().depth, 4);
  EXPECT_TRUE(variations_legal(START_FEN, {"d2d4"}, after));
  from = e.lines.size();
  e.send("new");
  ASSERT_TRUE(analysis_ended(e, 4, from));
  EXPECT_TRUE(variations_legal(START_FEN, {}, thinking(e, from)));
  EXPECT_FALSE(thinking(e, from).empty());
  EXPECT_TRUE(no_move_lines(e, 0));

  // "go" during analysis mode leaves it and plays the side to move.
  from = e.lines.size();
  e.send("go");
  const std::string reply = e.wait_for_prefix("move ", 5000, from);
  EXPECT_TRUE(variations_legal(START_FEN, {}, {Thinking{0, 0, {reply.substr(5)}}})) << reply;
  from = e.lines.size();
  e.send("force");
  e.send("e7e5");
  ASSERT_TRUE(e.sync());
  EXPECT_TRUE(thinking(e, from).empty());
}

// Mate, stalemate and king-less set-ups: the engine stays alive and answers.
TEST(Analysis, PositionsWithoutMovesOrKings) {
  EngineProcess e;
  e.send("analyze");
  const char* fens[] = {
      "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3",  // mated
      "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1",                                // stalemate
      "4k3/8/8/8/8/8/8/8 w - - 0 1",                                   // White has nothing
      "8/8/8/8/8/8/8/4K2R w - - 0 1",                                  // Black has no king
      "4k3/8/8/8/8/8/8/7R w - - 0 1",                                  // White has no king
  };
  for (const char* fen : fens) {
    e.send(std::string("setboard ") + fen);
    ASSERT_TRUE(e.sync(5000)) << fen;
    const size_t from = e.lines.size();  // the earlier analysis has stopped
    // The new one runs until the next line stops it.
    ASSERT_TRUE(e.sync(5000)) << fen;
    EXPECT_TRUE(variations_legal(fen, {}, thinking(e, from))) << fen;
  }
  EXPECT_TRUE(no_move_lines(e, 0));
  e.send("exit");
  e.send("new");
  e.send("go");
  EXPECT_NE(e.wait_for_prefix("move ", 5000), "");
}

TEST(Analysis, QuitAndEndOfInputEndTheProcess) {
  {
    EngineProcess e;
    e.send("analyze");
    ASSERT_GE(wait_for_depth(e, 3, 0), 0);
    e.send("quit");
    EXPECT_EQ(e.wait_exit(3000), 0);
    EXPECT_TRUE(no_move_lines(e, 0));
  }
  EngineProcess e;
  e.send("analyze");
  ASSERT_GE(wait_for_depth(e, 3, 0), 0);
  EXPECT_EQ(e.close_and_wait(3000), 0);
  EXPECT_TRUE(no_move_lines(e, 0));
}

}  // namespace

namespace {

// A mate in one, a1a8, among seventeen moves.
const char* const MATE_IN_ONE = "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1";

// The scores of the thinking lines from index from to index to.
std::vector<int> scores(const EngineProcess& e, size_t from, size_t to) {
  std::vector<int> out;
  for (size_t i = from; i < e.lines.size() && i < to; ++i) {
    std::smatch m;
    if (std::regex_match(e.lines[i], m, THINKING)) out.push_back(std::stoi(m[2]));
  }
  return out;
}

}  // namespace

// MultiPV 3 in analysis: each depth ends with three lines of different first
// moves, best first. "." answers one status line and the analysis goes on;
// "exclude" restarts it without the mate, "hint" names an allowed move, and
// in play the engine keeps to the moves left.
TEST(Analysis, SeveralLinesExclusionsStatusAndHint) {
  EngineProcess e;
  e.send("option MultiPV=3");
  e.send(std::string("setboard ") + MATE_IN_ONE);
  e.send("sd 5");
  e.send("analyze");
  ASSERT_TRUE(analysis_ended(e, 6, 0));
  const std::vector<Thinking> lines = thinking(e, 0);
  const std::vector<int> score = scores(e, 0, SIZE_MAX);
  ASSERT_EQ(lines.size() % 3, 0u);
  ASSERT_FALSE(lines.empty());
  for (size_t i = 0; i + 2 < lines.size(); i += 3) {
    EXPECT_EQ(lines[i].depth, lines[i + 2].depth);
    EXPECT_EQ(lines[i].pv[0], "a1a8");
    EXPECT_NE(lines[i + 1].pv[0], lines[i + 2].pv[0]);
    EXPECT_NE(lines[i + 1].pv[0], "a1a8");
    EXPECT_GE(score[i], score[i + 1]);
    EXPECT_GE(score[i + 1], score[i + 2]);
  }
  EXPECT_TRUE(variations_legal(MATE_IN_ONE, {}, lines));

  // Without a depth limit: "." while it runs.
  e.send("sd 0");
  e.send("exclude a1a8");
  ASSERT_TRUE(e.sync());
  size_t from = e.lines.size();
  ASSERT_GE(wait_for_depth(e, 5, from), 0);
  for (const Thinking& t : thinking(e, from)) EXPECT_NE(t.pv[0], "a1a8") << e.lines[t.index];
  from = e.lines.size();
  e.send(".");
  const std::string status = e.wait_for_prefix("stat01: ", 2000, from);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(status, m, std::regex(R"(stat01: \d+ \d+ (\d+) (\d+) 16 ([a-h][1-8][a-h][1-8]))")))
      << status;
  EXPECT_GE(std::stoi(m[2]), 1);  // the move being searched is still to finish
  EXPECT_LE(std::stoi(m[2]), 16);
  EXPECT_NE(m[3], "a1a8");
  // The analysis goes on: it reaches a deeper iteration without restarting.
  // Lines written before the status may still arrive after "." was sent:
  // only those after the status line count.
  size_t status_at = from;
  while (status_at < e.lines.size() && e.lines[status_at] != status) ++status_at;
  const int depth = std::stoi(m[1]);
  const long deeper = wait_for_depth(e, depth + 1, status_at, 30000);
  ASSERT_GE(deeper, 0);
  for (const Thinking& t : thinking(e, status_at + 1, size_t(deeper) + 1))
    EXPECT_GE(t.depth, depth);
  from = e.lines.size();
  e.send("hint");
  const std::string hint = e.wait_for_prefix("Hint: ", 2000, from);
  ASSERT_FALSE(hint.empty());
  EXPECT_NE(hint, "Hint: a1a8");
  EXPECT_TRUE(variations_legal(MATE_IN_ONE, {}, {Thinking{0, 0, {hint.substr(6)}}})) << hint;

  // In play: the moves left are the engine's choice; a new position searches
  // all its moves again.
  e.send("exit");
  e.send("sd 3");
  e.send("force");
  e.send(std::string("setboard ") + MATE_IN_ONE);
  e.send("exclude all");
  e.send("include g1f1");
  e.send("go");
  ASSERT_EQ(e.wait_for_prefix("move ", 10000, from), "move g1f1");
  e.send("force");
  e.send(std::string("setboard ") + MATE_IN_ONE);
  e.send("go");
  ASSERT_EQ(e.wait_for_prefix("move ", 10000, e.lines.size()), "move a1a8");
  e.send("force");
  e.send(std::string("setboard ") + MATE_IN_ONE);
  e.send("exclude all");
  e.send("go");
  ASSERT_TRUE(e.sync());
  EXPECT_EQ(std::count_if(e.lines.begin(), e.lines.end(),
                          [](const std::string& l) { return l.rfind("move ", 0) == 0; }),
            2);
}
