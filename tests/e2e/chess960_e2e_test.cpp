// Chess960 through both protocols, and KELO's moves held to chessops.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/engine_process.h"
#include "support/referee.h"
#include "support/scratch.h"

namespace fs = std::filesystem;

namespace {

// The one legal move of White is the castling that leaves the king on g1.
const char* ONLY_CASTLING = "k4r2/8/8/8/8/7p/7P/6KR w H - 0 1";

// 150 random games of up to 40 plies from random start arrays: at every
// position KELO's legal moves are chessops's, castlings included.
TEST(Chess960, MovesAgreeWithChessops) {
  const std::string missing = referee_missing();
  ASSERT_TRUE(missing.empty()) << missing;
  ASSERT_TRUE(fs::exists(fs::path(KELO_REFEREE_DIR) / "node_modules" / "chessops" / "package.json"))
      << "chessops is not installed: `make test` installs it (npm ci)";
  const std::string dir = scratch_dir("kelo-960");
  const std::string out = dir + "/report.txt";
  const std::string command = "cd '" + dir + "' && timeout 300 node '" + KELO_SOURCE_DIR +
                              "/tests/e2e/chess960_referee.mjs' '" + KELO_REFEREE_DIR + "' '" +
                              KELO_BINARY + "' 150 960 > '" + out + "' 2>&1";
  const int status = std::system(command.c_str());
  std::stringstream report;
  report << std::ifstream(out).rdbuf();
  ASSERT_EQ(status, 0) << report.str();
  std::string ok;
  long positions = 0, castlings = 0, played = 0;
  report >> ok >> positions >> castlings >> played;
  EXPECT_EQ(ok, "ok");
  EXPECT_GT(positions, 4000);
  EXPECT_GT(castlings, 300);
  EXPECT_GT(played, 100);
  fs::remove_all(dir);
}

// xboard: the variant is offered and chosen; castling comes in as O-O-O and
// as the king taking its rook (both sides' long castling here), and the
// engine's own castling goes out as O-O.
TEST(Chess960, XboardCastlingText) {
  EngineProcess e;
  e.send("xboard");
  e.send("protover 2");
  ASSERT_TRUE(e.wait_for_line(
      "feature memory=1 smp=1 nps=1 exclude=1 variants=\"normal,fischerandom\""));
  e.send("new");
  e.send("variant fischerandom");
  e.send("setboard rk5r/8/8/8/8/8/8/RK5R w HAha - 0 1");
  e.send("force");
  e.send("O-O-O");
  e.send("b8a8");
  e.send("display");
  ASSERT_TRUE(e.sync());
  for (const std::string& line : e.lines) EXPECT_EQ(line.find("Ilegal"), std::string::npos) << line;
  EXPECT_TRUE(e.wait_for_line("8 |   |   |RN |TN |   |   |   |TN |", 1000));
  EXPECT_TRUE(e.wait_for_line("1 |   |   |RB |TB |   |   |   |TB |", 1000));

  e.send("new");
  e.send("variant fischerandom");
  e.send(std::string("setboard ") + ONLY_CASTLING);
  e.send("sd 2");
  e.send("go");
  EXPECT_TRUE(e.wait_for_line("move O-O"));
}

// UCI: the option is offered; with it on, castling is the king taking its
// rook, in and out.
TEST(Chess960, UciKingTakesRook) {
  EngineProcess e;
  e.send("uci");
  ASSERT_TRUE(e.wait_for_line("uciok"));
  EXPECT_TRUE(e.wait_for_line("option name UCI_Chess960 type check default false", 10, 0));
  e.send("setoption name UCI_Chess960 value true");
  e.send(std::string("position fen ") + ONLY_CASTLING);
  e.send("go depth 2");
  EXPECT_EQ(e.wait_for_prefix("bestmove ").substr(0, 13), "bestmove g1h1");
  const size_t from = e.lines.size();
  e.send("position fen rk5r/8/8/8/8/8/8/RK5R w HAha - 0 1 moves b1h1 b8a8");
  e.send("go perft 1");
  EXPECT_NE(e.wait_for_prefix("Nodes searched: ", 10000, from), "");
  for (const std::string& line : e.since(from)) EXPECT_EQ(line.find("Ilegal"), std::string::npos);
  EXPECT_TRUE(e.wait_for_line("a1a8: 1", 10, from));  // the a-file is open after black castled
}

}  // namespace
