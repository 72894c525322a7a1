#include <gtest/gtest.h>

#include "egdb/kpk.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Runs the test body in an empty working directory of its own.
struct InTempDir {
  fs::path old, dir;
  InTempDir() {
    old = fs::current_path();
    dir = fs::temp_directory_path() / ("kelo_kpk_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::current_path(dir);
  }
  ~InTempDir() {
    fs::current_path(old);
    fs::remove_all(dir);
  }
};

std::string random_bytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = char(rng());
  return s;
}

uint64_t word(const std::string& bytes, size_t at) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | uint8_t(bytes[at + size_t(i)]);
  return v;
}

void clear_tables() {
  for (int i = 0; i < KPK_ENTRIES; ++i) kpk_table[i] = kkp_table[i] = KpkEntry{0, 0};
  kpk_loaded = false;
}

TEST(KpkBitbase, LoadsAndSavesTheFileLayout) {
  InTempDir tmp;
  clear_tables();
  EXPECT_EQ(load_kpk_bitbase(), 0);  // no file: nothing changes
  EXPECT_FALSE(kpk_loaded);

  const std::string bytes = random_bytes(KPK_FILE_BYTES, 1);
  std::ofstream("kpk.bin", std::ios::binary) << bytes;
  EXPECT_EQ(load_kpk_bitbase(), 1);
  EXPECT_TRUE(kpk_loaded);
  // Little-endian words, black to move first, kpk_table before kkp_table.
  for (int i : {0, 1, 777, 4095}) {
    EXPECT_EQ(kpk_table[i].black_to_move, word(bytes, size_t(i) * 16));
    EXPECT_EQ(kpk_table[i].white_to_move, word(bytes, size_t(i) * 16 + 8));
    EXPECT_EQ(kkp_table[i].black_to_move, word(bytes, 65536 + size_t(i) * 16));
    EXPECT_EQ(kkp_table[i].white_to_move, word(bytes, 65536 + size_t(i) * 16 + 8));
  }
  fs::remove("kpk.bin");
  save_kpk_bitbase();
  std::ifstream in("kpk.bin", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), bytes);
}

TEST(KpkBitbase, ShortFileIsReadAsFarAsItGoes) {
  InTempDir tmp;
  clear_tables();
  // Two whole entries and a half, then a word cut short.
  const std::string bytes = random_bytes(16 * 2 + 8 + 5, 2);
  std::ofstream("kpk.bin", std::ios::binary) << bytes;
  EXPECT_EQ(load_kpk_bitbase(), 1);
  EXPECT_TRUE(kpk_loaded);
  EXPECT_EQ(kpk_table[1].white_to_move, word(bytes, 24));
  EXPECT_EQ(kpk_table[2].black_to_move, word(bytes, 32));
  EXPECT_EQ(kpk_table[2].white_to_move, 0u);
  EXPECT_EQ(kpk_table[3].black_to_move, 0u);
  EXPECT_EQ(kkp_table[0].black_to_move, 0u);

  // An empty file loads nothing but counts as read.
  clear_tables();
  std::ofstream("kpk.bin", std::ios::binary | std::ios::trunc).close();
  EXPECT_EQ(load_kpk_bitbase(), 1);
  EXPECT_EQ(kpk_table[0].black_to_move, 0u);
}

// A kpk.bin that opens but cannot take the bytes (a full device) is not
// reported as saved.
TEST(KpkBitbase, FailedWriteSaysMalo) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  InTempDir tmp;
  fs::create_symlink("/dev/full", "kpk.bin");
  testing::internal::CaptureStdout();
  save_kpk_bitbase();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "malo");
  fs::remove("kpk.bin");
  fs::create_directory("kpk.bin");  // cannot be opened for writing at all
  testing::internal::CaptureStdout();
  save_kpk_bitbase();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "malo");
}

TEST(KpkBitbase, NoTablesLeavesEverythingAlone) {
  InTempDir tmp;
  clear_tables();
  kpk_table[9].white_to_move = 42;
  testing::internal::CaptureStdout();
  generate_kpk_bitbase();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR EN TBS\n");
  EXPECT_EQ(kpk_table[9].white_to_move, 42u);
  EXPECT_FALSE(kpk_loaded);
  EXPECT_FALSE(fs::exists("kpk.bin"));
}

}  // namespace
