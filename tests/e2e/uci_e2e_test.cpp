#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/referee.h"
#include "support/scratch.h"

namespace fs = std::filesystem;

namespace {

// Runs one check of tests/e2e/uci_client.cjs, which drives build/kelo over
// UCI through the npm client node-uci, in a fresh working directory. The
// script reports the whole exchange when the check fails.
void run_check(const std::string& check) {
  const std::string missing = referee_missing();
  ASSERT_TRUE(missing.empty()) << missing;
  const fs::path modules = fs::path(KELO_REFEREE_DIR) / "node_modules";
  ASSERT_TRUE(fs::exists(modules / "node-uci" / "package.json"))
      << "node-uci is not installed in " << KELO_REFEREE_DIR
      << ": `cmake --build <build> --target referee` installs it (npm ci)";
  const std::string dir = scratch_dir("kelo-uci");
  const std::string out = dir + "/report.txt";
  const std::string command = "cd '" + dir + "' && timeout 120 node '" + KELO_SOURCE_DIR +
                              "/tests/e2e/uci_client.cjs' '" + KELO_REFEREE_DIR + "' '" +
                              KELO_BINARY + "' " + check + " > '" + out + "' 2>&1";
  const int status = std::system(command.c_str());
  std::stringstream report;
  report << std::ifstream(out).rdbuf();
  EXPECT_EQ(status, 0) << report.str();
  EXPECT_NE(report.str().find("ok " + check + "\n"), std::string::npos)
      << "the script did not report the check as passed";
  fs::remove_all(dir);
}

// "uci": id name KELO 0.56Z, id author Brenu, the Hash spin and Clear Hash
// button options, uciok.
TEST(UciClient, Handshake) { run_check("handshake"); }
// "isready" during "go infinite" is answered within 50 ms and the search
// runs on; "stop" ends it with a legal bestmove.
TEST(UciClient, IsreadyAndStopDuringInfiniteSearch) { run_check("infinite"); }
// "go movetime 500" answers a legal move after 300 to 800 ms.
TEST(UciClient, MovetimeIsKept) { run_check("movetime"); }
// "go depth 5" shows depths up to 5 and no more; its info lines parse and
// their variations are legal.
TEST(UciClient, DepthLimitAndInfoLines) { run_check("depth"); }
// Sixteen plies against itself on wtime/btime/winc/binc, every move legal
// and in time.
TEST(UciClient, ClockedGame) { run_check("game"); }
// A "position startpos moves ..." line of over 400 characters (80 plies) is
// read whole: the answer is legal after its last move.
TEST(UciClient, LongPositionLine) { run_check("longgame"); }
// "setoption name Hash value 16" and "setoption name Clear Hash" keep the
// engine ready and searching.
TEST(UciClient, HashOptions) { run_check("hash"); }
// "go ponder" waits for "ponderhit" (then its clock budget counts from
// there) or "stop" (then it answers at once), also once its depth is reached.
TEST(UciClient, PonderhitAndStop) { run_check("ponder"); }
// MultiPV 3 to depth 10 at the start and in kiwipete: three ranked lines of
// different moves at every depth, bestmove the best line's; "searchmoves"
// keeps the mate in one out and the move played among those named.
TEST(UciClient, MultiPvAndSearchmoves) { run_check("multipv"); }
// A mated side answers "bestmove 0000".
TEST(UciClient, BestmoveOfAMatedSide) { run_check("mated"); }

}  // namespace
