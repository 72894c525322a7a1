#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "egdb/tb_decompress.h"
#include "egdb/tb_encode.h"
#include "egdb/tb_generate.h"
#include "support/tb_synthetic.h"

namespace {

struct TempFile {
  std::FILE* f;
  explicit TempFile(const std::vector<uint8_t>& bytes) : f(std::tmpfile()) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
  }
  ~TempFile() { std::fclose(f); }
};

// Decodes the whole file block by block; returns the first error code.
int decode_all(const std::vector<uint8_t>& file, std::vector<uint8_t>& plain) {
  TempFile tmp(file);
  std::unique_ptr<TbCompressedFile> tb;
  if (int err = tb_read_header(tmp.f, tb)) return err;
  auto work = std::make_unique<TbDecodeBlock>();
  std::vector<uint8_t> out(tb->block_size + 3);
  work->output = out.data();
  work->output_capacity = uint32_t(out.size());
  plain.clear();
  for (uint32_t b = 0; b < tb->block_count; ++b) {
    if (int err = tb_read_block(tmp.f, *tb, b, *work)) return err;
    if (int err = tb_decode_block(*tb, *work)) return err;
    plain.insert(plain.end(), out.begin(), out.begin() + work->expected);
  }
  return 0;
}

void expect_round_trip(const std::vector<uint8_t>& data, TbEncodeStats* stats = nullptr) {
  std::vector<uint8_t> file, back;
  ASSERT_EQ(tb_encode(data.data(), data.size(), file, stats), 0);
  ASSERT_EQ(decode_all(file, back), 0);
  EXPECT_TRUE(back == data) << "size " << data.size();
}

std::vector<uint8_t> random_bytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = uint8_t(rng());
  return v;
}

TEST(TbCrc, MatchesBitwiseDefinition) {
  auto data = random_bytes(1000, 7);
  uint32_t v = 0;
  for (uint8_t byte : data) {
    v ^= byte;
    for (int k = 0; k < 8; ++k) v = (v & 1) ? v >> 1 : (v >> 1) ^ 0xEDB88320u;
  }
  EXPECT_EQ(tb_crc(data.data(), data.size()), v);
  EXPECT_EQ(tb_crc(data.data(), 0), 0u);
}

TEST(TbRoundTrip, ShapesThatReachEveryPath) {
  expect_round_trip(std::vector<uint8_t>(5 * TB_BLOCK_SIZE + 100, 0));
  expect_round_trip(synthetic_table(300000));
  expect_round_trip(std::vector<uint8_t>(TB_BLOCK_SIZE, 42));     // one block
  expect_round_trip(synthetic_table(3 * TB_BLOCK_SIZE + 1, 3));  // last block of 1 byte
  expect_round_trip(std::vector<uint8_t>(1, 9));
  TbEncodeStats stats;
  expect_round_trip(random_bytes(4 * TB_BLOCK_SIZE + 17, 1), &stats);
  EXPECT_EQ(stats.stored_blocks, 5u);
}

TEST(TbRoundTrip, EveryEncodableLengthClass) {
  // Runs of one byte of every length up to a whole block.
  std::vector<uint8_t> data;
  std::mt19937 rng(5);
  for (uint32_t len = 1; data.size() < 40 * TB_BLOCK_SIZE; len = len < 40 ? len + 1 : len * 5 / 4) {
    if (len > TB_BLOCK_SIZE) len = 1;
    data.push_back(uint8_t(rng()));
    data.insert(data.end(), len, uint8_t(rng()));
  }
  TbEncodeStats stats;
  expect_round_trip(data, &stats);
  uint64_t per_class[32] = {};
  for (int s = 256; s < TB_SYMBOLS; ++s) per_class[(s - 256) & 31] += stats.symbol_count[s];
  for (int lc = 1; lc <= 26; ++lc) EXPECT_GT(per_class[lc], 0u) << "class " << lc;
}

TEST(TbRoundTrip, LongCodesUseTheTree) {
  // Byte v occurs about 2^v times: the rarest get codes well past 13 bits.
  std::vector<uint8_t> data;
  for (int v = 0; v < 20; ++v) data.insert(data.end(), size_t(1) << v, uint8_t(v * 13 + 1));
  std::shuffle(data.begin(), data.end(), std::mt19937(11));
  TbEncodeStats stats;
  expect_round_trip(data, &stats);
  EXPECT_GT(*std::max_element(stats.lengths, stats.lengths + TB_SYMBOLS), TB_LOOKUP_BITS);
}

// A one-block file with the given main code and coded bytes.
std::vector<uint8_t> hand_file(const uint8_t* lengths, const std::vector<uint8_t>& coded,
                               uint32_t decoded_size, uint32_t first_distance = 1) {
  uint32_t distance[TB_DISTANCES];
  for (int i = 0; i < TB_DISTANCES; ++i) distance[i] = uint32_t(i + 1);
  distance[0] = first_distance;
  std::vector<TbEncodedBlock> blocks(1);
  blocks[0].bytes = coded;
  std::vector<uint8_t> file;
  tb_assemble_file(distance, lengths, blocks, decoded_size, file);
  return file;
}

TEST(TbHandBuilt, SingleSymbolConsumesNoBits) {
  uint8_t lengths[TB_SYMBOLS] = {};
  lengths[int('A')] = 1;
  std::vector<uint8_t> back;
  ASSERT_EQ(decode_all(hand_file(lengths, {0xFF}, 100), back), 0);
  EXPECT_EQ(back, std::vector<uint8_t>(100, 'A'));
}

TEST(TbHandBuilt, SeventeenExtraBitsAreCutAtTheBlockEnd) {
  uint8_t lengths[TB_SYMBOLS] = {};
  lengths[int('x')] = 1;      // code 0
  lengths[256 + 31] = 1;  // code 1: distance slot 0, 17 extra bits
  // 0, 1, then 17 extra bits of ones: length 2^17 + 131071 + 14.
  TbBitWriter w;
  tb_put_bits(w, 1, 2);
  tb_put_bits(w, 0x1FFFF, 17);
  std::vector<uint8_t> back;
  ASSERT_EQ(decode_all(hand_file(lengths, w.bytes, TB_BLOCK_SIZE - 1), back), 0);
  EXPECT_EQ(back, std::vector<uint8_t>(TB_BLOCK_SIZE - 1, 'x'));
}

TEST(TbHostile, BrokenBlocksAreRefused) {
  uint8_t lengths[TB_SYMBOLS] = {};
  lengths[int('x')] = 1;
  lengths[256] = 1;  // a match of length 1 at the first distance
  std::vector<uint8_t> back;
  // A match before anything was written reaches before the block.
  EXPECT_EQ(tb_error_kind(decode_all(hand_file(lengths, {0x80}, 50), back)), TB_ERR_BROKEN);
  // Fifty literals need 50 bits, the block holds 16.
  EXPECT_EQ(tb_error_kind(decode_all(hand_file(lengths, {0x00, 0x00}, 50), back)), TB_ERR_BROKEN);
  // A distance past the block start after some output.
  EXPECT_EQ(tb_error_kind(decode_all(hand_file(lengths, {0x10}, 50, 4000), back)), TB_ERR_BROKEN);
}

TEST(TbHeader, ChecksAndTheirKinds) {
  std::vector<uint8_t> file, back;
  auto data = synthetic_table(50000);
  ASSERT_EQ(tb_encode(data.data(), data.size(), file), 0);
  auto banner = file;
  banner[10] ^= 1;
  EXPECT_EQ(tb_error_kind(decode_all(banner, back)), TB_ERR_READ);
  auto check = file;
  const uint32_t h = (uint32_t(file[64]) << 24) | (file[65] << 16) | (file[66] << 8) | file[67];
  check[h - 1] ^= 0x40;
  EXPECT_EQ(tb_error_kind(decode_all(check, back)), TB_ERR_BROKEN);
  // Truncated inside the header, and inside the blocks.
  EXPECT_EQ(tb_error_kind(decode_all({file.begin(), file.begin() + h - 2}, back)), TB_ERR_READ);
  EXPECT_EQ(tb_error_kind(decode_all({file.begin(), file.end() - 1}, back)), TB_ERR_BROKEN);
  EXPECT_EQ(tb_error_kind(decode_all({file.begin(), file.begin() + 40}, back)), TB_ERR_READ);
}

TEST(TbHeader, BlockSizeIsReportedForTheCaller) {
  std::vector<uint8_t> file;
  auto data = synthetic_table(20000);
  ASSERT_EQ(tb_encode(data.data(), data.size(), file), 0);
  TempFile tmp(file);
  std::unique_ptr<TbCompressedFile> tb;
  ASSERT_EQ(tb_read_header(tmp.f, tb), 0);
  EXPECT_EQ(tb->block_size, 8192u);
  EXPECT_EQ(uint64_t(tb->block_count - 1) * tb->block_size + tb->last_block_size, data.size());
}

TEST(TbCodeLengths, OverrunsAreBroken) {
  // Simple form, width 1: a zero with a repeat of 15 into a count of 4.
  TbBitWriter w;
  tb_put_bits(w, 0, 1);
  tb_put_bits(w, 1, 5);
  tb_put_bits(w, 0, 1);
  tb_put_bits(w, 15, 4);
  uint8_t lengths[8];
  TbBitReader bits{w.bytes.data(), w.bytes.size() * 8, 0, false};
  EXPECT_EQ(tb_error_kind(tb_read_code_lengths(bits, 4, lengths)), TB_ERR_BROKEN);
  // An incomplete code and a lone symbol of length 2 cannot be built.
  auto table = std::make_unique<TbCodeTable>();
  const uint8_t incomplete[4] = {1, 2, 0, 0}, lone[4] = {0, 2, 0, 0}, fine[4] = {1, 2, 3, 3};
  EXPECT_EQ(tb_error_kind(tb_build_code_table(incomplete, 4, 8, *table)), TB_ERR_BROKEN);
  EXPECT_EQ(tb_error_kind(tb_build_code_table(lone, 4, 8, *table)), TB_ERR_BROKEN);
  EXPECT_EQ(tb_build_code_table(fine, 4, 8, *table), 0);
}

// Round trip over the plain tables of the directory KELO_TB_DIR names, or,
// without one, over the solved tables of three small classes.
TEST(TbRoundTrip, PlainTablesOfADirectory) {
  const char* dir = std::getenv("KELO_TB_DIR");
  int tables = 0;
  if (!dir) {
    TbSolved solved;
    for (const char* name : {"kpk", "kqk", "krk"}) {
      const int cls = tb_class_by_name(name);
      std::string error;
      ASSERT_TRUE(tb_generate_class(solved, cls, error)) << error;
      for (const std::vector<int8_t>& t : solved.table[cls]) {
        SCOPED_TRACE(name);
        expect_round_trip(std::vector<uint8_t>(t.begin(), t.end()));
        ++tables;
      }
    }
    EXPECT_EQ(tables, 6);
    return;
  }
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const auto ext = entry.path().extension();
    if (ext != ".nbw" && ext != ".nbb") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), {});
    if (data.empty()) continue;
    SCOPED_TRACE(entry.path().string());
    expect_round_trip(data);
    ++tables;
  }
  EXPECT_GT(tables, 0);
}

}  // namespace
