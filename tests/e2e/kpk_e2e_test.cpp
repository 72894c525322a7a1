// "genkpk" and "kelo-tb probe" through the binaries, in fresh working
// directories, checked against the tablebase generator's own solution.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "egdb/tb_generate.h"
#include "egdb/tb_test_board.h"
#include "support/engine_process.h"

namespace fs = std::filesystem;

namespace {

TbSolved& solved() {
  static TbSolved* s = [] {
    auto* t = new TbSolved;
    for (const char* name : {"kpk", "kqk", "krk"}) {
      std::string error;
      EXPECT_TRUE(tb_generate_class(*t, tb_class_by_name(name), error)) << error;
    }
    return t;
  }();
  return *s;
}

int run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

void make_tables(const std::string& dir, bool compress, const std::string& classes = "kpk") {
  ASSERT_EQ(run("cd '" + dir + "' && " KELO_TB_BINARY " generate " + (compress ? "--compress " : "") +
                "TB " + classes),
            0);
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

uint64_t word(const std::string& bytes, size_t at) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | uint8_t(bytes[at + size_t(i)]);
  return v;
}

bool wins(int b) { return b != 0 && (b > 0 || b == -128); }

// Runs "genkpk" in the engine's directory and returns kpk.bin.
std::string genkpk(EngineProcess& engine) {
  EXPECT_TRUE(engine.sync());
  size_t from = engine.lines.size();
  engine.send("genkpk");
  EXPECT_TRUE(engine.sync(60000));
  std::vector<std::string> out = engine.since(from);
  std::vector<std::string> want = {"KPK GENERADO", "KKP GENERADO", "kpk.bin GUARADADO"};
  EXPECT_GE(out.size(), 3u);
  if (out.size() >= 3) {
    EXPECT_EQ(std::vector<std::string>(out.begin(), out.begin() + 3), want);
  }
  return read_file(fs::path(engine.dir) / "kpk.bin");
}

// Every bit of kpk.bin against the generator: legal placements carry the
// win, pawn squares on ranks 1 and 8 and the kings' own squares are clear.
void expect_bitbase_matches(const std::string& bin) {
  ASSERT_EQ(bin.size(), 131072u);
  long legal = 0, won = 0;
  for (int half = 0; half < 2; ++half) {
    const int pawn_colour = half;  // 0: White has the pawn (kpk_table)
    for (int wk = 0; wk < 64; ++wk)
      for (int bk = 0; bk < 64; ++bk) {
        size_t at = size_t(half) * 65536 + size_t(wk * 64 + bk) * 16;
        uint64_t sets[2] = {word(bin, at), word(bin, at + 8)};  // black, white to move
        if (wk == bk) {
          EXPECT_EQ(sets[0] | sets[1], 0u);
          continue;
        }
        for (int p = 0; p < 64; ++p)
          for (int stm_white = 0; stm_white < 2; ++stm_white) {
            bool bit = (sets[stm_white] >> p) & 1;
            if (p < 8 || p > 55 || p == wk || p == bk) {
              ASSERT_FALSE(bit) << "half " << half << " wk " << wk << " bk " << bk << " p " << p;
              continue;
            }
            // Engine squares (a8 = 0) to tablebase squares (a1 = 0).
            TestPiece pieces[3] = {{6, 0, wk ^ 56}, {6, 1, bk ^ 56}, {1, pawn_colour, p ^ 56}};
            int stm = stm_white ? 0 : 1;
            if (!test_legal(pieces, 3, stm)) continue;
            TbBoard b{3, {6, 6, 1}, {0, 1, pawn_colour}, {wk ^ 56, bk ^ 56, p ^ 56}, stm, 64};
            bool want = wins(tb_solved_byte(solved(), b));
            ASSERT_EQ(bit, want) << "half " << half << " wk " << wk << " bk " << bk << " p " << p
                                 << " white to move " << stm_white;
            ++legal;
            won += want;
          }
      }
  }
  EXPECT_GT(legal, 300'000);
  EXPECT_GT(won, 100'000);
}

TEST(Genkpk, BitbaseFromPlainAndCompressedTablesIsTheGeneratorsSolution) {
  EngineProcess plain;
  make_tables(plain.dir, false);
  std::string first = genkpk(plain);
  expect_bitbase_matches(first);
  EXPECT_EQ(genkpk(plain), first);  // a second run writes the same file

  EngineProcess packed;
  make_tables(packed.dir, true);
  ASSERT_TRUE(fs::exists(fs::path(packed.dir) / "TB" / "kpk.nbw.emd"));
  ASSERT_FALSE(fs::exists(fs::path(packed.dir) / "TB" / "kpk.nbw"));
  EXPECT_EQ(genkpk(packed), first);
}

TEST(Genkpk, MissingAndBrokenTables) {
  // Without tables nothing is written.
  EngineProcess none;
  ASSERT_TRUE(none.sync());
  size_t from = none.lines.size();
  none.send("genkpk");
  ASSERT_TRUE(none.sync());
  std::vector<std::string> out = none.since(from);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], "ERROR EN TBS");
  EXPECT_FALSE(fs::exists(fs::path(none.dir) / "kpk.bin"));

  // A plain table one byte short ends the program.
  EngineProcess broken;
  make_tables(broken.dir, false);
  fs::resize_file(fs::path(broken.dir) / "TB" / "kpk.nbw", 81663);
  broken.send("genkpk");
  EXPECT_TRUE(broken.wait_for_line("*** TB/kpk.nbw corrupted"));
  EXPECT_EQ(broken.wait_exit(), 1);

  // A compressed table with a broken header, likewise.
  EngineProcess bad_header;
  make_tables(bad_header.dir, true);
  fs::path f = fs::path(bad_header.dir) / "TB" / "kpk.nbb.emd";
  std::string bytes = read_file(f);
  bytes[100] ^= 0x55;
  std::ofstream(f, std::ios::binary) << bytes;
  bad_header.send("genkpk");
  EXPECT_TRUE(bad_header.wait_for_line("*** Unable to read TB/kpk.nbb.emd - file broken"));
  EXPECT_EQ(bad_header.wait_exit(), 1);
}

TEST(Genkpk, UnwritableBitbaseKeepsRunning) {
  EngineProcess engine;
  make_tables(engine.dir, false);
  fs::create_directory(fs::path(engine.dir) / "kpk.bin");
  ASSERT_TRUE(engine.sync());
  size_t from = engine.lines.size();
  engine.send("genkpk");
  engine.send("ping 7");
  // "malo" has no line end, so the reply to the ping follows it on its line.
  long at = engine.wait_until([](const std::string& l) { return l == "malopong 7"; }, from, 60000);
  ASSERT_GE(at, 0);
  EXPECT_EQ(engine.since(from), std::vector<std::string>({"KPK GENERADO", "KKP GENERADO", "malopong 7"}));
  EXPECT_TRUE(fs::is_directory(fs::path(engine.dir) / "kpk.bin"));
}

TEST(Genkpk, EngineStartsWithAnyKpkBin) {
  for (size_t size : {size_t(0), size_t(5), size_t(100), size_t(131072), size_t(200000)}) {
    fs::path dir = fs::temp_directory_path() / ("kelo_kpk_len_" + std::to_string(size));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::mt19937 rng{unsigned(size)};
    std::string bytes(size, '\0');
    for (char& c : bytes) c = char(rng());
    std::ofstream(dir / "kpk.bin", std::ios::binary) << bytes;
    {
      EngineProcess engine(dir.string());
      EXPECT_TRUE(engine.sync()) << size;
      EXPECT_EQ(engine.close_and_wait(), 0) << size;
    }
    EXPECT_EQ(read_file(dir / "kpk.bin"), bytes);  // loading leaves the file alone
    fs::remove_all(dir);
  }
}

// A FEN of kings and one piece, from tablebase squares.
std::string fen_of(const TestPiece* p, int n, int stm) {
  char board[64];
  for (char& c : board) c = 0;
  for (int i = 0; i < n; ++i) board[p[i].sq ^ 56] = (p[i].colour == 0 ? "?PNBRQK" : "?pnbrqk")[p[i].type];
  std::string fen;
  for (int row = 0; row < 8; ++row) {
    int empty = 0;
    for (int f = 0; f < 8; ++f) {
      char c = board[row * 8 + f];
      if (!c) {
        ++empty;
        continue;
      }
      if (empty) fen += char('0' + empty), empty = 0;
      fen += c;
    }
    if (empty) fen += char('0' + empty);
    if (row < 7) fen += '/';
  }
  return fen + (stm == 0 ? " w - - 0 1" : " b - - 0 1");
}

TEST(KeloTbProbe, AgreesWithTheGeneratorThroughBothFileForms) {
  fs::path dir = fs::temp_directory_path() / "kelo_tb_probe_tool";
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (bool compress : {false, true}) {
    SCOPED_TRACE(compress ? "compressed" : "plain");
    fs::remove_all(dir / "TB");
    make_tables(dir.string(), compress, "kpk kqk krk");
    std::mt19937 rng(compress ? 2 : 1);
    std::vector<int> want;
    std::string input;
    int decided = 0;
    while (want.size() < 6000) {
      const int types[3] = {1, 4, 5};
      int type = types[rng() % 3];
      TestPiece p[3] = {{6, 0, int(rng() % 64)}, {6, 1, int(rng() % 64)}, {type, int(rng() % 2), int(rng() % 64)}};
      int stm = int(rng() % 2);
      if (!test_legal(p, 3, stm)) continue;
      TbBoard b{3, {6, 6, type}, {0, 1, p[2].colour}, {p[0].sq, p[1].sq, p[2].sq}, stm, 64};
      want.push_back(test_expected_score(tb_solved_byte(solved(), b)));
      decided += want.back() != 0;
      input += fen_of(p, 3, stm) + "\n";
    }
    std::ofstream(dir / "fens.txt") << input;
    ASSERT_EQ(std::system(("cd '" + dir.string() + "' && " KELO_TB_BINARY " probe TB - < fens.txt > scores.txt")
                              .c_str()),
              0);
    std::istringstream scores(read_file(dir / "scores.txt"));
    for (size_t i = 0; i < want.size(); ++i) {
      int got = 0;
      ASSERT_TRUE(scores >> got) << i;
      ASSERT_EQ(got, want[i]) << "line " << i + 1;
    }
    EXPECT_GT(decided, 2000);
  }
  // A single FEN on the command line; no table gives -1.
  TbBoard kqk{3, {6, 6, 5}, {0, 1, 0}, {0, 18, 1}, 0, 64};  // Ka1 Qb1 against Kc3
  auto probe_one = [&](const std::string& fen) {
    std::string cmd = "cd '" + dir.string() + "' && " KELO_TB_BINARY " probe TB '" + fen + "' > one.txt";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    return read_file(dir / "one.txt");
  };
  EXPECT_EQ(probe_one("8/8/8/8/8/2k5/8/KQ6 w - - 0 1"),
            std::to_string(test_expected_score(tb_solved_byte(solved(), kqk))) + "\n");
  EXPECT_EQ(probe_one("8/8/8/8/8/3k4/8/KN6 w - - 0 1"), "-1\n");
  fs::remove_all(dir);
}

}  // namespace

namespace {

// Standard output of "kelo-tb probe TB -" run in dir on input, and its
// standard error.
std::pair<std::string, std::string> probe_input(const fs::path& dir, const std::string& input) {
  std::ofstream(dir / "in.txt", std::ios::binary) << input;
  EXPECT_EQ(std::system(("cd '" + dir.string() + "' && " KELO_TB_BINARY
                         " probe TB - < in.txt > out.txt 2> err.txt")
                            .c_str()),
            0);
  return {read_file(dir / "out.txt"), read_file(dir / "err.txt")};
}

}  // namespace

// Scores line up with the input lines: one line out for every line in, an
// illegal FEN, a blank line, a CR LF line end and a line far longer than a
// FEN included; the set-up messages go to standard error.
TEST(KeloTbProbe, OneScorePerInputLineOnStandardOutput) {
  fs::path dir = fs::temp_directory_path() / "kelo_tb_probe_lines";
  fs::remove_all(dir);
  fs::create_directories(dir);
  make_tables(dir.string(), false, "kqk");
  TbBoard kqk{3, {6, 6, 5}, {0, 1, 0}, {0, 18, 1}, 0, 64};  // Ka1 Qb1 against Kc3
  const std::string score = std::to_string(test_expected_score(tb_solved_byte(solved(), kqk)));
  const std::string legal = "8/8/8/8/8/2k5/8/KQ6 w - - 0 1";
  const std::string input = legal + "\n" +
                            "K7/8/8/8/8/8/8/K6k w - - 0 1\n"   // two white kings
                            "\n" +
                            legal + "\r\n" +
                            "4k3/8/8/8/8/8/8/4K3 w KQkq - 0 1\n" +  // rights without rooks
                            legal + std::string(1000, ' ') + "\n" + legal;  // no final line end
  auto [out, err] = probe_input(dir, input);
  EXPECT_EQ(out, score + "\n-1\n-1\n" + score + "\n-1\n" + score + "\n" + score + "\n");
  EXPECT_NE(err.find("tellusererror posici\xF3n ilegal varios reyes blancos"), std::string::npos);
  EXPECT_NE(err.find("ilegal enrroque"), std::string::npos);
  fs::remove_all(dir);
}
