#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "position/fen.h"
#include "position/makemove.h"
#include "position/movetext.h"
#include "position/perft.h"

namespace {

// Runs the published counts of tests/data/perft.epd up to the depth whose
// count stays below the limit, so the suite stays fast.
TEST(Perft, PublishedSuite) {
  std::ifstream in(std::string(KELO_SOURCE_DIR) + "/tests/data/perft.epd");
  ASSERT_TRUE(in.good());
  std::string line;
  int positions = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::string fen = line.substr(0, line.find(';'));
    Position pos((fen + " 0 1").c_str());
    EXPECT_TRUE(setup_problems(pos).empty()) << fen;
    std::istringstream fields(line.substr(line.find(';')));
    std::string tag;
    int64_t count;
    while (fields >> tag >> count) {
      if (count > 5000000) break;
      int depth = std::stoi(tag.substr(2));
      EXPECT_EQ(perft(pos, depth), count) << fen << " depth " << depth;
    }
    ++positions;
  }
  EXPECT_EQ(positions, 20);
}

// The threaded walk splits the tree by root move and reply. Whatever the
// thread count, it must find the published count and the plain walk's node
// count, and divide must give each root move the leaves below it: on
// positions with castling, promotions, en passant and pins.
TEST(Perft, ThreadsAndDivideAddUpToThePublishedCounts) {
  struct Case {
    const char* fen;
    int32_t depth;
    int64_t leaves;
  };
  const Case cases[] = {
      {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 3, 97862},
      {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", 5, 674624},
      {"r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1", 4, 422333},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fen);
    Position plain(c.fen);
    EXPECT_EQ(perft(plain, c.depth), c.leaves);
    for (int32_t threads : {2, 3}) {
      Position pos(c.fen);
      EXPECT_EQ(perft(pos, c.depth, threads), c.leaves) << threads << " threads";
      EXPECT_EQ(pos.node_count, plain.node_count) << threads << " threads";
    }
    Position pos(c.fen);
    const std::vector<RootCount> counts = perft_divide(pos, c.depth, 2);
    EXPECT_EQ(int64_t(counts.size()), perft(plain, 1));
    int64_t sum = 0;
    for (const RootCount& rc : counts) {
      make_move(plain, rc.move);
      EXPECT_EQ(rc.leaves, perft(plain, c.depth - 1)) << move_text(rc.move);
      unmake_move(plain);
      sum += rc.leaves;
    }
    EXPECT_EQ(sum, c.leaves);
  }
}

}  // namespace
