// Endgame tables in play: KELO with its own tablebases playing both sides of
// won endings mates in exactly the tables' number of moves; the KPK bitbase
// scores king and pawn against king in the search.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include "support/engine_process.h"
#include "support/scratch.h"

namespace fs = std::filesystem;

namespace {

// A folder with the KQK, KRK and KPK tables made by kelo-tb.
std::string table_dir() {
  const std::string dir = scratch_dir("kelo-endgame");
  const std::string command = "'" + std::string(KELO_TB_BINARY) + "' generate '" + dir +
                              "/TB' kqk krk kpk > /dev/null 2>&1";
  return std::system(command.c_str()) == 0 ? dir : "";
}

const std::regex THINKING_SCORE(R"(^\d+ (-?\d+) \d+ \d+ .*)");

TEST(Endgame, TablesMateInTheTablesNumberOfMoves) {
  const std::string dir = table_dir();
  ASSERT_FALSE(dir.empty()) << "kelo-tb generate failed";
  struct Case {
    const char* fen;
    int moves;  // from kelo-tb probe: a win in n moves scores 15000 - 2n
  } cases[] = {{"8/8/8/8/8/2k5/8/K6Q w - - 0 1", 6},
               {"8/8/8/4k3/8/8/8/K6R w - - 0 1", 15},
               {"4k3/8/4K3/4P3/8/8/8/8 w - - 0 1", 11},  // through the promotion
               {"8/8/8/8/8/2k5/8/K6Q b - - 0 1", 8}};   // the loser to move
  for (const Case& c : cases) {
    EngineProcess e(dir);
    e.send("option Tablebases=TB\nsetboard " + std::string(c.fen) + "\nst 1");
    const bool white_wins = std::string(c.fen).find(" w ") != std::string::npos;
    int winner_moves = 0;
    std::string result;
    for (int ply = 0; ply < 80 && result.empty(); ++ply) {
      const size_t from = e.lines.size();
      e.send("go");
      const long at = e.wait_until([](const std::string& l) {
        return l.rfind("move ", 0) == 0 || l.rfind("1-0", 0) == 0 || l.rfind("0-1", 0) == 0 ||
               l.rfind("1/2-1/2", 0) == 0;
      }, from, 10000);
      ASSERT_GE(at, 0) << c.fen;
      const std::string& line = e.lines[size_t(at)];
      if (line.rfind("move ", 0) != 0) {
        result = line;
        break;
      }
      if ((ply % 2 == 0) == white_wins) ++winner_moves;
      // Each move the tables choose comes with their score, no search.
      ASSERT_GT(at, long(from)) << c.fen;
      EXPECT_TRUE(std::regex_match(e.lines[size_t(at) - 1], THINKING_SCORE)) << c.fen;
    }
    EXPECT_EQ(result.substr(0, 3), "1-0") << c.fen << ": " << result;
    EXPECT_EQ(winner_moves, c.moves) << c.fen;
  }
}

// A broken file leaves out its own table, with a message; the others serve.
TEST(Endgame, ABrokenFileLeavesOutItsTableOnly) {
  const std::string dir = table_dir();
  ASSERT_FALSE(dir.empty());
  fs::resize_file(dir + "/TB/kqk.nbb", 1000);
  EngineProcess e(dir);
  e.send("option Tablebases=TB");
  ASSERT_TRUE(e.sync());
  ASSERT_EQ(e.lines.size(), 3u);
  EXPECT_EQ(e.lines[1].rfind("tellusererror *** ", 0), 0u) << e.lines[1];
  EXPECT_NE(e.lines[1].find("kqk.nbb"), std::string::npos) << e.lines[1];
  // KRK from the tables: one thinking line with the mate, no search.
  const size_t from = e.lines.size();
  e.send("setboard 8/8/8/4k3/8/8/8/K6R w - - 0 1\nst 1\ngo");
  ASSERT_FALSE(e.wait_for_prefix("move ", 10000, from).empty());
  EXPECT_EQ(e.lines.size() - from, 2u);
  EXPECT_EQ(e.lines[from].rfind("1 14971 ", 0), 0u) << e.lines[from];
}

// kpk.bin made by genkpk from the tables, then the search alone (no
// tablebases): a won KPK position scores between 9000 and 9100, a drawn one 0.
TEST(Endgame, KpkBitbaseScoresTheSearch) {
  const std::string dir = table_dir();
  ASSERT_FALSE(dir.empty());
  {
    EngineProcess gen(dir);
    gen.send("genkpk");
    ASSERT_FALSE(gen.wait_for_prefix("kpk.bin", 30000).empty());
  }
  ASSERT_TRUE(fs::exists(dir + "/kpk.bin"));
  struct Case {
    const char* fen;
    int least, most;
  } cases[] = {{"4k3/8/4K3/4P3/8/8/8/8 w - - 0 1", 9000, 9100},
               {"4k3/8/4K3/4P3/8/8/8/8 b - - 0 1", -9100, -9000},
               {"8/8/8/8/8/4k3/4P3/4K3 w - - 0 1", 0, 0}};
  for (const Case& c : cases) {
    EngineProcess e(dir);
    e.send("option KPKBitbase=1\nsetboard " + std::string(c.fen) + "\nsd 6\nst 10\ngo");
    ASSERT_FALSE(e.wait_for_prefix("move ", 20000).empty()) << c.fen;
    int last = 1 << 30;
    for (const std::string& l : e.lines) {
      std::smatch m;
      if (std::regex_match(l, m, THINKING_SCORE)) last = std::stoi(m[1]);
    }
    EXPECT_GE(last, c.least) << c.fen;
    EXPECT_LE(last, c.most) << c.fen;
  }
}

}  // namespace
