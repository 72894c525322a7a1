#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "engine/bench.h"
#include "support/engine_process.h"

namespace {

// The value after a word of an info line, or "" without that word.
std::string field(const std::string& line, const std::string& word) {
  std::istringstream in(line);
  for (std::string w; in >> w;)
    if (w == word) return in >> w ? w : "";
  return "";
}

std::string last_with_prefix(const EngineProcess& e, const std::string& prefix, size_t from) {
  std::string found;
  for (size_t i = from; i < e.lines.size(); ++i)
    if (e.lines[i].rfind(prefix, 0) == 0) found = e.lines[i];
  return found;
}

// "go depth 9" in UCI and "sd 8" in xboard run the same iterations over the
// same tree: each bench position, one after the other in one process (the
// table, killers and history carry over alike), ends on the same node count.
TEST(UciProtocol, SearchesTheSameTreesAsXboard) {
  EngineProcess xboard, uci;
  xboard.send("xboard");
  xboard.send("st 100000");
  xboard.send("sd 8");
  uci.send("uci");
  ASSERT_TRUE(uci.wait_for_line("uciok"));
  for (const char* fen : BENCH_FENS) {
    SCOPED_TRACE(fen);
    size_t from = xboard.lines.size();
    xboard.send(std::string("setboard ") + fen);
    xboard.send("go");
    ASSERT_FALSE(xboard.wait_for_prefix("move ", 60000, from).empty());
    std::string thinking;
    for (size_t i = from; i < xboard.lines.size(); ++i)
      if (!xboard.lines[i].empty() && xboard.lines[i][0] >= '0' && xboard.lines[i][0] <= '9')
        thinking = xboard.lines[i];
    std::istringstream words(thinking);
    std::string depth, score, centiseconds, nodes;
    words >> depth >> score >> centiseconds >> nodes;

    from = uci.lines.size();
    uci.send(std::string("position fen ") + fen);
    uci.send("go depth 9");
    ASSERT_FALSE(uci.wait_for_prefix("bestmove ", 60000, from).empty());
    const std::string info = last_with_prefix(uci, "info depth", from);
    EXPECT_EQ(field(info, "depth"), depth) << info;
    EXPECT_EQ(field(info, "cp"), score) << info;
    EXPECT_EQ(field(info, "nodes"), nodes) << thinking << "\n" << info;
  }
}

// Mates show in moves, from the engine's side: its mate in one, and its
// being mated after the reply; a position without a move has no best move.
TEST(UciProtocol, MateScoresAndNoLegalMove) {
  EngineProcess e;
  e.send("uci");
  ASSERT_TRUE(e.wait_for_line("uciok"));
  struct Case {
    const char* fen;
    const char* score;
  } cases[] = {{"6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", "score mate 1"},
               {"8/8/8/8/8/1k6/2q4P/K7 w - - 0 1", "score mate -1"}};
  for (const Case& c : cases) {
    const size_t from = e.lines.size();
    e.send(std::string("position fen ") + c.fen);
    e.send("go depth 5");
    ASSERT_FALSE(e.wait_for_prefix("bestmove ", 20000, from).empty());
    const std::string info = last_with_prefix(e, "info depth", from);
    EXPECT_NE(info.find(c.score), std::string::npos) << c.fen << ": " << info;
  }
  const size_t from = e.lines.size();
  e.send("position fen R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1");
  e.send("go depth 5");
  EXPECT_EQ(e.wait_for_prefix("bestmove ", 5000, from), "bestmove 0000");
  e.send("isready");
  ASSERT_TRUE(e.wait_for_line("readyok", 5000, from));
  for (size_t i = from; i < e.lines.size(); ++i)
    EXPECT_EQ(e.lines[i].rfind("info depth", 0), std::string::npos) << e.lines[i];
}

}  // namespace
