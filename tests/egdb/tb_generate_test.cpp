#include <gtest/gtest.h>

#include "egdb/tb_encode.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "egdb/tb_generate.h"
#include "egdb/tb_index.h"
#include "tb_test_board.h"

namespace {

// Classes are solved on first use and kept for the test program's run
// (kqkr and kbnk bring their smaller classes along).
TbSolved& solved() {
  static TbSolved* s = new TbSolved;
  return *s;
}
const std::vector<int8_t>& table(const char* name, int side) {
  int cls = tb_class_by_name(name);
  std::string error;
  EXPECT_TRUE(tb_generate_class(solved(), cls, error)) << name << ": " << error;
  return solved().table[cls][side];
}

struct Summary {
  long wins = 0, losses = 0, draws = 0;
  int longest_win = 0, longest_loss = -1;
};

// Mate distances in moves from the table bytes.
Summary summarise(const std::vector<int8_t>& t) {
  Summary s;
  for (int8_t b : t) {
    if (b == 0) {
      ++s.draws;
    } else if (b > 0 || b == -128) {
      ++s.wins;
      s.longest_win = std::max(s.longest_win, b == -128 ? 127 : 127 - b);
    } else {
      ++s.losses;
      s.longest_loss = std::max(s.longest_loss, b == -127 ? 126 : b + 126);
    }
  }
  return s;
}

TEST(TbGenerate, TablesHaveTheClassSizes) {
  for (const char* name : {"kpk", "kqk", "krk", "kbk", "knk", "knnk", "kbbk"})
    for (int side = 0; side < 2; ++side)
      EXPECT_EQ(table(name, side).size(), tb_class_info[tb_class_by_name(name)].size[side]) << name;
}

TEST(TbGenerate, LongestMatesAreTheKnownOnes) {
  struct Case {
    const char* name;
    int moves;
  } cases[] = {{"kqk", 10}, {"krk", 16}, {"kbbk", 19}, {"kbnk", 33}, {"kqkr", 35}};
  for (const Case& c : cases) {
    for (int side = 0; side < 2; ++side)
      EXPECT_EQ(table(c.name, side).size(), tb_class_info[tb_class_by_name(c.name)].size[side]);
    Summary w = summarise(table(c.name, 0)), b = summarise(table(c.name, 1));
    EXPECT_EQ(w.longest_win, c.moves) << c.name;
    EXPECT_EQ(b.longest_loss, c.moves) << c.name;
  }
  // The lone king never wins; in kqkr the rook side wins only by a blunder
  // of the queen side, well short of the queen's longest mate.
  EXPECT_EQ(summarise(table("kqk", 1)).wins, 0);
  EXPECT_EQ(summarise(table("kbnk", 1)).wins, 0);
  EXPECT_GT(summarise(table("kqkr", 1)).wins, 0);
}

TEST(TbGenerate, MinorPiecesAloneCannotForceMate) {
  for (const char* name : {"knk", "kbk"})
    for (int side = 0; side < 2; ++side) {
      Summary s = summarise(table(name, side));
      EXPECT_EQ(s.wins + s.losses, 0) << name;
    }
  // Two knights: mates exist, but only as mate in one that the lone king
  // walked into; no position is lost for the lone king with best play.
  Summary w = summarise(table("knnk", 0)), b = summarise(table("knnk", 1));
  EXPECT_GT(w.wins, 0);
  EXPECT_EQ(w.longest_win, 1);
  EXPECT_GT(b.losses, 0);
  EXPECT_EQ(b.longest_loss, 0);  // only positions already checkmated
  std::printf("knnk: %ld mates in one (white to move), %ld checkmates (black to move)\n", w.wins,
              b.losses);
}

TbBoard board(std::initializer_list<TestPiece> pieces, int stm) {
  TbBoard b{};
  for (const TestPiece& p : pieces) {
    b.type[b.count] = p.type;
    b.colour[b.count] = p.colour;
    b.square[b.count++] = p.sq;
  }
  b.side_to_move = stm;
  b.ep = TB_NO_EP;
  return b;
}

TEST(TbGenerate, KnownPositions) {
  table("kqk", 0);
  Summary w = summarise(table("kpk", 0));
  std::printf("kpk: white wins %ld of its white-to-move entries (longest mate %d)\n", w.wins,
              w.longest_win);
  EXPECT_EQ(w.losses, 0);
  // The pawn outruns the king: a5 queens before Black's king from h1 arrives.
  EXPECT_GT(tb_solved_byte(solved(), board({{6, 0, 63}, {1, 0, 32}, {6, 1, 7}}, 0)), 0);
  // A rook's pawn with the defender in the corner in front of it is a draw.
  EXPECT_EQ(tb_solved_byte(solved(), board({{6, 0, 7}, {1, 0, 24}, {6, 1, 56}}, 0)), 0);
  // Checkmated now: White Kf7, Qg7 against Kh8, Black to move.
  EXPECT_EQ(tb_solved_byte(solved(), board({{6, 0, 53}, {5, 0, 54}, {6, 1, 63}}, 1)), -126);
  // Mate in one: White Kg6, Qb1 against Kh8: Qb8 mates.
  EXPECT_EQ(tb_solved_byte(solved(), board({{6, 0, 46}, {5, 0, 1}, {6, 1, 63}}, 0)), 126);
  // Mate in two with the move: White Kf6, Qa1 against Kh8 (Kg6 first).
  EXPECT_EQ(tb_solved_byte(solved(), board({{6, 0, 45}, {5, 0, 0}, {6, 1, 63}}, 0)), 125);
}

TEST(TbGenerate, ColourExchangedPositionsAgree) {
  table("kpk", 0);
  table("krk", 0);
  // The same kpk and kkr positions with the colours exchanged and the board
  // flipped are looked up through the mirrored index and give the same byte.
  std::mt19937 rng(7);
  int compared = 0;
  for (int trial = 0; trial < 20'000; ++trial) {
    // kpk, or krk with the rook on Black's side.
    TestPiece p[3] = {{6, 0, int(rng() % 64)}, {1, 0, 8 + int(rng() % 48)}, {6, 1, int(rng() % 64)}};
    if (trial % 2) p[1] = {4, 1, int(rng() % 64)};
    int n = 3;
    int stm = int(rng() % 2);
    if (!test_legal(p, n, stm)) continue;
    TbBoard a{}, b{};
    for (int i = 0; i < n; ++i) {
      a.type[i] = b.type[i] = p[i].type;
      a.colour[i] = p[i].colour;
      b.colour[i] = p[i].colour ^ 1;
      a.square[i] = p[i].sq;
      b.square[i] = p[i].sq ^ 56;
    }
    a.count = b.count = n;
    a.side_to_move = stm;
    b.side_to_move = stm ^ 1;
    a.ep = b.ep = TB_NO_EP;
    ASSERT_EQ(tb_solved_byte(solved(), a), tb_solved_byte(solved(), b));
    ++compared;
  }
  EXPECT_GT(compared, 5'000);
}

TEST(TbGenerate, RejectsClassesOfFivePieces) {
  TbSolved s;
  std::string error;
  EXPECT_FALSE(tb_generate_class(s, tb_class_by_name("kqrkq"), error));
  EXPECT_FALSE(error.empty());
}

std::string run(const std::string& command) {
  std::string out;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  char buf[256];
  while (std::fgets(buf, sizeof buf, p)) out += buf;
  int status = pclose(p);
  return out + "\nstatus " + std::to_string(WEXITSTATUS(status));
}

TEST(TbGenerateTool, WritesBothTablesOfAClass) {
  std::filesystem::path dir = std::filesystem::temp_directory_path() / "kelo_tb_generate_test";
  std::filesystem::remove_all(dir);
  std::string out = run(std::string(KELO_TB_BINARY) + " generate " + dir.string() + " kpk");
  EXPECT_NE(out.find("status 0"), std::string::npos) << out;
  for (int side = 0; side < 2; ++side) {
    std::ifstream f(dir / (side == 0 ? "kpk.nbw" : "kpk.nbb"), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const std::vector<int8_t>& t = table("kpk", side);
    ASSERT_EQ(bytes.size(), t.size());
    EXPECT_TRUE(std::equal(t.begin(), t.end(), bytes.begin(),
                           [](int8_t a, char b) { return a == int8_t(b); }));
  }
  std::filesystem::remove_all(dir);

  // The compressed form is what the encoder makes of the same table.
  out = run(std::string(KELO_TB_BINARY) + " generate --compress " + dir.string() + " kpk");
  EXPECT_NE(out.find("status 0"), std::string::npos) << out;
  for (int side = 0; side < 2; ++side) {
    std::ifstream f(dir / (side == 0 ? "kpk.nbw.emd" : "kpk.nbb.emd"), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const std::vector<int8_t>& t = table("kpk", side);
    std::vector<uint8_t> packed;
    ASSERT_EQ(tb_encode(reinterpret_cast<const uint8_t*>(t.data()), t.size(), packed), 0);
    ASSERT_EQ(bytes.size(), packed.size());
    EXPECT_TRUE(std::equal(packed.begin(), packed.end(), bytes.begin(),
                           [](uint8_t a, char b) { return a == uint8_t(b); }));
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "kpk.nbw"));
  std::filesystem::remove_all(dir);
  out = run(std::string(KELO_TB_BINARY) + " generate " + dir.string() + " kxk");
  EXPECT_NE(out.find("unknown class"), std::string::npos) << out;
  out = run(std::string(KELO_TB_BINARY) + " frobnicate");
  EXPECT_NE(out.find("usage"), std::string::npos) << out;
}

}  // namespace
