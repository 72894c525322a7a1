#include <gtest/gtest.h>

#include "egdb/tb_probe.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "egdb/tb_encode.h"
#include "egdb/tb_generate.h"
#include "position/position.h"
#include "support/tb_synthetic.h"
#include "tb_test_board.h"

namespace fs = std::filesystem;

namespace {

TbSolved& solved() {
  static TbSolved* s = new TbSolved;
  return *s;
}

void write_file(const fs::path& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary);
  out.write(static_cast<const char*>(data), std::streamsize(size));
}

std::vector<uint8_t> compressed(const std::vector<int8_t>& table) {
  std::vector<uint8_t> packed;
  EXPECT_EQ(tb_encode(reinterpret_cast<const uint8_t*>(table.data()), table.size(), packed), 0);
  return packed;
}

// Solved classes written once per run: plain files in plain/, compressed
// ones (NAME.nbw.emd) in packed/.
const fs::path& table_dirs() {
  static fs::path root;
  if (!root.empty()) return root;
  root = fs::temp_directory_path() / ("kelo_tb_probe_" + std::to_string(::getpid()));
  fs::create_directories(root / "plain");
  fs::create_directories(root / "packed");
  for (const char* name : {"kpk", "kqk", "krk", "krkr"}) {
    int cls = tb_class_by_name(name);
    std::string error;
    EXPECT_TRUE(tb_generate_class(solved(), cls, error)) << error;
    for (int side = 0; side < 2; ++side) {
      std::string file = std::string(name) + (side ? ".nbb" : ".nbw");
      const std::vector<int8_t>& t = solved().table[cls][side];
      write_file(root / "plain" / file, t.data(), t.size());
      std::vector<uint8_t> packed = compressed(t);
      write_file(root / "packed" / (file + ".emd"), packed.data(), packed.size());
    }
  }
  return root;
}

struct ScratchDir {
  fs::path path;
  explicit ScratchDir(const char* name) {
    path = fs::temp_directory_path() / (std::string("kelo_tb_") + name + "_" + std::to_string(::getpid()));
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~ScratchDir() { fs::remove_all(path); }
};

// A cache area for the tests; a few blocks or the full size.
std::vector<uint8_t>& cache_area(size_t bytes) {
  static std::vector<uint8_t> area;
  area.assign(bytes, 0);
  set_block_cache(area.data(), area.size());
  return area;
}

// The reader over dirs, which hold no broken file.
int init_reader(const char* dirs) {
  TbError error;
  const int pieces = tb_init_reader(dirs, error);
  EXPECT_FALSE(error.failed()) << error.message;
  return pieces;
}

int open_tables(const fs::path& dir, size_t cache_bytes = TB_CACHE_BYTES) {
  int pieces = init_reader(dir.string().c_str());
  cache_area(cache_bytes);
  tb_cache_stats = TbCacheStats{};
  return pieces;
}

// Puts the pieces (tablebase squares, colour 0 White) on a position record.
void place(Position& pos, const TestPiece* p, int n, int stm) {
  for (Bitboard& b : pos.piece_bb) b = 0;
  for (uint32_t& m : pos.mailbox) m = EMPTY;
  pos.occ_white = pos.occ_black = 0;
  for (int i = 0; i < n; ++i) {
    int sq = p[i].sq ^ 56;
    unsigned code = make_piece(p[i].colour == 0 ? White : Black, unsigned(p[i].type));
    pos.bb(code) |= square_bb(sq);
    pos.mailbox[sq] = code;
    (p[i].colour == 0 ? pos.occ_white : pos.occ_black) |= square_bb(sq);
  }
  pos.occ_all = pos.occ_white | pos.occ_black;
  pos.side_to_move = stm == 0 ? White : Black;
  pos.ep_square = 0;
  pos.castle_flags = 0;
}

TbBoard board_of(const TestPiece* p, int n, int stm) {
  TbBoard b{};
  b.count = n;
  for (int i = 0; i < n; ++i) b.type[i] = p[i].type, b.colour[i] = p[i].colour, b.square[i] = p[i].sq;
  b.side_to_move = stm;
  b.ep = TB_NO_EP;
  return b;
}

// Every legal placement of kings and one piece of `type`, owned by either
// colour, with either side to move, probed against the generator's byte.
void expect_class_agrees(int type) {
  Position pos;
  long compared = 0;
  for (int owner = 0; owner < 2; ++owner)
    for (int wk = 0; wk < 64; ++wk)
      for (int bk = 0; bk < 64; ++bk)
        for (int x = 0; x < 64; ++x)
          for (int stm = 0; stm < 2; ++stm) {
            TestPiece p[3] = {{6, 0, wk}, {6, 1, bk}, {type, owner, x}};
            if (!test_legal(p, 3, stm)) continue;
            place(pos, p, 3, stm);
            int want = test_expected_score(tb_solved_byte(solved(), board_of(p, 3, stm)));
            ASSERT_EQ(probe_tablebase(pos, 0), want)
                << "type " << type << " owner " << owner << " wk " << wk << " bk " << bk << " x " << x
                << " stm " << stm;
            ++compared;
          }
  EXPECT_GT(compared, 400'000);
}

TEST(TbProbe, EveryThreePiecePositionAgreesWithTheGenerator) {
  for (const char* dir : {"plain", "packed"}) {
    SCOPED_TRACE(dir);
    ASSERT_EQ(open_tables(table_dirs() / dir), 4);
    for (int type : {1, 4, 5}) expect_class_agrees(type);
  }
}

TEST(TbProbe, SameMaterialIsProbedWithColoursExchanged) {
  // krkr is entered only under its exchanged (negative) number, so every
  // position is looked up mirrored, with the other side's table.
  ASSERT_EQ(open_tables(table_dirs() / "packed"), 4);
  int counts[10] = {0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
  EXPECT_EQ(material_class(counts), -tb_class_by_name("krkr"));
  Position pos;
  std::mt19937 rng(11);
  int compared = 0, decided = 0;
  while (compared < 20'000) {
    TestPiece p[4] = {{6, 0, int(rng() % 64)}, {6, 1, int(rng() % 64)}, {4, 0, int(rng() % 64)},
                      {4, 1, int(rng() % 64)}};
    int stm = int(rng() % 2);
    if (!test_legal(p, 4, stm)) continue;
    place(pos, p, 4, stm);
    int want = test_expected_score(tb_solved_byte(solved(), board_of(p, 4, stm)));
    ASSERT_EQ(probe_tablebase(pos, 0), want);
    decided += want != 0;
    ++compared;
  }
  EXPECT_GT(decided, 1'000);  // the comparison covers wins and losses
}

TEST(TbProbe, PlyIsTakenOffWinsAndAddedToLosses) {
  ASSERT_EQ(open_tables(table_dirs() / "plain"), 4);
  Position pos("8/8/8/8/8/2k5/8/KQ6 w - - 0 1");
  int win = probe_tablebase(pos, 0);
  ASSERT_GT(win, 10'000);
  EXPECT_EQ(probe_tablebase(pos, 7), win - 7);
  Position lost("8/8/8/8/8/2k5/8/KQ6 b - - 0 1");
  int loss = probe_tablebase(lost, 0);
  ASSERT_LT(loss, -10'000);
  EXPECT_EQ(probe_tablebase(lost, 7), loss + 7);
}

TEST(TbProbe, PositionsWithoutAnAnswer) {
  ASSERT_EQ(open_tables(table_dirs() / "plain"), 4);
  // No table for the material, too many pieces, a missing king, kings that
  // touch (the index functions number no such placement) with either side to
  // move.
  for (const char* fen : {"8/8/8/8/8/2k5/8/KN6 w - - 0 1", "8/8/8/8/8/2k5/8/KQQQQ3 w - - 0 1",
                          "8/8/8/8/8/8/8/KQ6 w - - 0 1", "8/8/8/8/8/2k5/8/1Q6 w - - 0 1",
                          "8/8/8/8/8/8/1k6/KQ6 w - - 0 1", "8/8/8/8/8/8/1k6/KQ6 b - - 0 1",
                          "8/8/8/8/8/8/kP6/K7 w - - 0 1", "8/8/3kK3/8/8/8/8/7R b - - 0 1"}) {
    Position pos(fen);
    EXPECT_EQ(probe_tablebase(pos, 0), -1) << fen;
  }
}

TEST(TbRegister, PiecesOfTheLargestRegisteredClass) {
  ScratchDir empty("empty");
  EXPECT_EQ(init_reader(empty.path.string().c_str()), 0);
  EXPECT_EQ(init_reader((empty.path / "missing").string().c_str()), 0);

  ScratchDir dir("sizes");
  table_dirs();
  write_file(dir.path / "kpk.nbw", solved().table[1][0].data(), solved().table[1][0].size());
  write_file(dir.path / "kpk.nbb", solved().table[1][1].data(), solved().table[1][1].size());
  EXPECT_EQ(init_reader(dir.path.string().c_str()), 3);
  // A plain table is registered by its length alone.
  std::ofstream(dir.path / "krkr.nbw").close();
  fs::resize_file(dir.path / "krkr.nbw", tb_class_info[15].size[0]);
  EXPECT_EQ(init_reader(dir.path.string().c_str()), 4);
  std::ofstream(dir.path / "kppkp.nbb").close();
  fs::resize_file(dir.path / "kppkp.nbb", tb_class_info[36].size[1]);
  EXPECT_EQ(init_reader(dir.path.string().c_str()), 5);
  // Directories are separated by ',' or ';'.
  std::string list = empty.path.string() + ";" + dir.path.string();
  EXPECT_EQ(init_reader(list.c_str()), 5);
  EXPECT_NE(tb_classes[36].file_name[1], nullptr);
  EXPECT_EQ(tb_classes[36].file_name[0], nullptr);
}

// A table whose length is not its class's is reported to the caller, which
// decides what to do; the reader then answers nothing.
TEST(TbRegister, BrokenFileIsReported) {
  ScratchDir dir("short");
  table_dirs();
  write_file(dir.path / "kpk.nbw", solved().table[1][0].data(), solved().table[1][0].size() - 1);
  TbError error;
  EXPECT_EQ(tb_init_reader(dir.path.string().c_str(), error), 0);
  EXPECT_EQ(error.message, "*** " + (dir.path / "kpk.nbw").string() + " corrupted");
}

TEST(TbRegister, ThreeFileNameForms) {
  table_dirs();
  ScratchDir dir("names");
  std::vector<uint8_t> w = compressed(solved().table[1][0]);
  std::vector<uint8_t> b = compressed(solved().table[1][1]);
  write_file(dir.path / "kpk.nbw.emd", w.data(), w.size());
  write_file(dir.path / "kpknbb.emd", b.data(), b.size());
  write_file(dir.path / "kqk.nbw", solved().table[5][0].data(), solved().table[5][0].size());
  ASSERT_EQ(open_tables(dir.path), 3);
  const std::string d = dir.path.string();
  EXPECT_EQ(std::string(tb_classes[1].file_name[0]), d + "/kpk.nbw.emd");
  EXPECT_EQ(std::string(tb_classes[1].file_name[1]), d + "/kpknbb.emd");
  EXPECT_EQ(std::string(tb_classes[5].file_name[0]), d + "/kqk.nbw");
  EXPECT_EQ(tb_classes[5].file_name[1], nullptr);
  EXPECT_NE(tb_classes[1].compressed[0], nullptr);
  EXPECT_EQ(tb_classes[5].compressed[0], nullptr);
  // The registered side answers, the other does not.
  Position white("8/8/8/8/8/2k5/8/KQ6 w - - 0 1"), black("8/8/8/8/8/2k5/8/KQ6 b - - 0 1");
  EXPECT_GT(probe_tablebase(white, 0), 0);
  EXPECT_EQ(probe_tablebase(black, 0), -1);
  Position kpk("8/8/8/8/8/2k5/1P6/1K6 b - - 0 1");
  EXPECT_NE(probe_tablebase(kpk, 0), -1);
}

TEST(TbRegister, MaterialClassesOfRegisteredTables) {
  ASSERT_EQ(open_tables(table_dirs() / "plain"), 4);
  int kpk[10] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  int kkp[10] = {0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
  int kqk[10] = {0, 0, 0, 0, 1, 0, 0, 0, 0, 0};
  int kbk[10] = {0, 0, 1, 0, 0, 0, 0, 0, 0, 0};  // not registered
  int four[10] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0};
  int negative[10] = {-1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(material_class(kpk), 1);
  EXPECT_EQ(material_class(kkp), -1);
  EXPECT_EQ(material_class(kqk), 5);
  EXPECT_EQ(material_class(kbk), 0);
  EXPECT_EQ(material_class(four), 0);
  EXPECT_EQ(material_class(negative), 0);
}

// A plain kqkr table of synthetic bytes, and its compressed twin.
struct SyntheticKqkr {
  ScratchDir plain{"kqkr_plain"}, packed{"kqkr_packed"};
  std::vector<uint8_t> data;
  SyntheticKqkr() {
    data = synthetic_table(tb_class_info[19].size[0], 5);
    write_file(plain.path / "kqkr.nbw", data.data(), data.size());
    std::vector<uint8_t> out;
    EXPECT_EQ(tb_encode(data.data(), data.size(), out), 0);
    write_file(packed.path / "kqkr.nbw.emd", out.data(), out.size());
  }
};

TEST(TbCache, OneBlockPer8192Indices) {
  SyntheticKqkr t;
  for (const fs::path& dir : {t.plain.path, t.packed.path}) {
    ASSERT_EQ(open_tables(dir), 4);
    EXPECT_EQ(tb_cache_block_count(), 2031);
    EXPECT_EQ(read_tablebase_byte(19, 0, 0), int8_t(t.data[0]));
    EXPECT_EQ(read_tablebase_byte(19, 0, 8191), int8_t(t.data[8191]));
    EXPECT_EQ(tb_cache_stats.reads, 1u);
    EXPECT_EQ(read_tablebase_byte(19, 0, 8192), int8_t(t.data[8192]));
    EXPECT_EQ(tb_cache_stats.reads, 2u);
    // The last block is short; past the table's end nothing is read.
    uint32_t last = uint32_t(t.data.size() - 1);
    EXPECT_EQ(read_tablebase_byte(19, 0, last), int8_t(t.data[last]));
    EXPECT_EQ(read_tablebase_byte(19, 0, last + 1), 127);
    EXPECT_EQ(read_tablebase_byte(19, 0, 0xFFFFFFFFu), 127);
    EXPECT_EQ(tb_cache_stats.reads, 3u);
    EXPECT_NE(tb_classes[19].file_name[0], nullptr);
    // The unregistered side reads nothing.
    EXPECT_EQ(read_tablebase_byte(19, 1, 0), 127);
  }
}

TEST(TbCache, LeastRecentlyUsedBlockIsEvicted) {
  SyntheticKqkr t;
  ASSERT_EQ(open_tables(t.plain.path, 3 * TB_CACHE_ENTRY_BYTES), 4);
  ASSERT_EQ(tb_cache_block_count(), 3);
  // Blocks 0, 32 and 64 share a bucket; 1 has one of its own.
  auto read = [&](uint32_t block) {
    uint32_t i = block * 8192 + 17;
    EXPECT_EQ(read_tablebase_byte(19, 0, i), int8_t(t.data[i]));
    return tb_cache_stats.reads;
  };
  read(0);
  read(32);
  read(64);
  EXPECT_EQ(tb_cache_stats.reads, 3u);
  EXPECT_EQ(read(0), 3u);   // hit: 32 is now the oldest
  EXPECT_EQ(read(1), 4u);   // evicts 32
  EXPECT_EQ(read(64), 4u);  // still cached
  EXPECT_EQ(read(0), 4u);
  EXPECT_EQ(read(32), 5u);  // was evicted; evicts 1
  EXPECT_EQ(read(1), 6u);   // evicts 64
  EXPECT_EQ(read(0), 6u);
  EXPECT_EQ(read(64), 7u);
}

TEST(TbCache, RandomProbesReadWhatTheFileHolds) {
  SyntheticKqkr t;
  for (const fs::path& dir : {t.plain.path, t.packed.path}) {
    SCOPED_TRACE(dir.string());
    ASSERT_EQ(open_tables(dir, 5 * TB_CACHE_ENTRY_BYTES), 4);
    std::mt19937 rng(3);
    // Most probes fall on a few blocks of shared buckets, the rest anywhere.
    const uint32_t hot[] = {0, 32, 64, 96, 128, 160, 33, 65};
    for (int i = 0; i < 20'000; ++i) {
      uint32_t index = rng() % 4 ? hot[rng() % 8] * 8192 + rng() % 8192 : rng() % uint32_t(t.data.size());
      ASSERT_EQ(read_tablebase_byte(19, 0, index), int8_t(t.data[index])) << index;
    }
    EXPECT_GT(tb_cache_stats.hits, 5'000u);
    EXPECT_GT(tb_cache_stats.reads, 5'000u);
  }
}

TEST(TbCache, ABlockThatFailsUnregistersItsTable) {
  SyntheticKqkr t;
  ScratchDir broken("kqkr_broken");
  std::vector<uint8_t> out;
  ASSERT_EQ(tb_encode(t.data.data(), t.data.size(), out), 0);
  write_file(broken.path / "kqkr.nbw.emd", out.data(), out.size());
  ASSERT_EQ(open_tables(broken.path), 4);
  EXPECT_EQ(read_tablebase_byte(19, 0, 5), int8_t(t.data[5]));
  // The file loses the end of its last block after registration.
  fs::resize_file(broken.path / "kqkr.nbw.emd", out.size() - 40);
  uint32_t last = uint32_t(t.data.size() - 1);
  EXPECT_EQ(read_tablebase_byte(19, 0, last), 127);
  EXPECT_EQ(tb_classes[19].file_name[0], nullptr);
  EXPECT_EQ(read_tablebase_byte(19, 0, 5), 127);
  Position pos("8/8/8/8/8/2k5/3r4/KQ6 w - - 0 1");
  EXPECT_EQ(probe_tablebase(pos, 0), -1);

  // A plain file that shrank after registration fails the same way.
  std::vector<uint8_t> shrunk(t.data.begin(), t.data.end());
  ScratchDir plain("kqkr_shrunk");
  write_file(plain.path / "kqkr.nbw", shrunk.data(), shrunk.size());
  ASSERT_EQ(open_tables(plain.path), 4);
  fs::resize_file(plain.path / "kqkr.nbw", 8192 * 3);
  EXPECT_EQ(read_tablebase_byte(19, 0, 8192 * 2 + 1), int8_t(t.data[8192 * 2 + 1]));
  EXPECT_EQ(read_tablebase_byte(19, 0, 8192 * 5), 127);
  EXPECT_EQ(tb_classes[19].file_name[0], nullptr);
}

TEST(TbValue, MappingOfTheByte) {
  ScratchDir dir("values");
  std::vector<uint8_t> bytes(tb_class_info[1].size[0], 0);
  const int raw[] = {0, 1, 126, 127, -1, -126, -127, -128};
  for (int i = 0; i < 8; ++i) bytes[i] = uint8_t(raw[i]);
  write_file(dir.path / "kpk.nbw", bytes.data(), bytes.size());
  std::ofstream(dir.path / "kppkp.nbb").close();
  fs::resize_file(dir.path / "kppkp.nbb", tb_class_info[36].size[1]);
  ASSERT_EQ(open_tables(dir.path), 5);
  const int want[] = {0, 32641, 32766, 32767, -32641, -32766, -32640, 32640};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(tablebase_value(1, 0, uint32_t(i)), want[i]) << raw[i];
  // Seven kppkp positions answer without a read; their neighbours are read.
  uint64_t reads = tb_cache_stats.reads;
  for (uint32_t i : {56'802'428u, 56'811'076u, 56'849'992u, 56'858'640u, 59'592'489u, 67'775'659u,
                     71'071'628u})
    EXPECT_EQ(tablebase_value(36, 1, i), -32639);
  EXPECT_EQ(tb_cache_stats.reads, reads);
  EXPECT_EQ(tablebase_value(36, 1, 56'802'429u), 0);
  EXPECT_EQ(tb_cache_stats.reads, reads + 1);
}

TEST(TbValue, NoCacheMeansNoAnswer) {
  ASSERT_EQ(init_reader((table_dirs() / "plain").string().c_str()), 4);
  set_block_cache(nullptr, 0);
  EXPECT_EQ(read_tablebase_byte(5, 0, 0), 127);
  Position pos("8/8/8/8/8/2k5/8/KQ6 w - - 0 1");
  EXPECT_EQ(probe_tablebase(pos, 0), -1);
  cache_area(16);  // too small for a block
  EXPECT_EQ(tb_cache_block_count(), 0);
  EXPECT_EQ(probe_tablebase(pos, 0), -1);
}

}  // namespace
