#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

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

// Values worked out by hand from the description of the check value (the
// XOR applies when the lowest bit is 0, no inversions), not by the code.
TEST(TbCrc, KnownValues) {
  const uint8_t zero = 0;
  EXPECT_EQ(tb_crc(&zero, 1), 0x2D02EF8Du);  // the table's entry for 0
  const uint8_t ones = 0xFF;
  EXPECT_EQ(tb_crc(&ones, 1), 0u);  // 255 shifts out its eight ones
  const char* digits = "123456789";
  EXPECT_EQ(tb_crc(reinterpret_cast<const uint8_t*>(digits), 9), 0x20D421B6u);
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

// Most significant bit first, as the format reads its bit streams.
struct HandBits {
  std::vector<uint8_t> bytes;
  int used = 8;
  void put(uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      if (used == 8) bytes.push_back(0), used = 0;
      if ((value >> i) & 1) bytes.back() |= uint8_t(0x80 >> used);
      ++used;
    }
  }
  void code(const char* bits) {
    for (; *bits; ++bits) put(*bits == '1', 1);
  }
};

void put_be32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + size_t(i)] = uint8_t(x >> (24 - 8 * i));
}

// A file of two blocks written byte by byte from the description of the
// format, without the project's encoder or its file assembler: block 0 is
// stored (its size written as 0, standing for 8,192), block 1 is coded.
// The main code has 'a' and 'b' of length 2 and one match symbol of length
// 1 (distance slot 0, length 4); its lengths travel in the pre-coded form,
// whose own two codes travel in the simple form.
TEST(TbHandBuilt, WholeFileWrittenFromTheFormatDescription) {
  std::vector<uint8_t> stored(TB_BLOCK_SIZE);
  for (size_t i = 0; i < stored.size(); ++i) stored[i] = uint8_t(i * 7 + 3);

  std::vector<uint8_t> file(80 + 8 * 2, 0);
  std::memcpy(file.data(), tb_banner, TB_BANNER_BYTES);
  file[70] = 13;  // block size 2^13
  file[71] = 24;  // distances
  put_be32(file, 72, 2);  // blocks
  put_be32(file, 76, 0x004001F5);

  HandBits sizes;  // two compressed sizes, the last block's decoded size, 24 distances
  sizes.put(0, 13);
  sizes.put(1, 13);
  sizes.put(7, 13);
  sizes.put(2, 13);  // slot 0: distance 2
  for (int d = 1; d < 24; ++d) sizes.put(uint32_t(d + 5), 13);
  file.insert(file.end(), sizes.bytes.begin(), sizes.bytes.end());
  ASSERT_EQ(sizes.bytes.size(), 44u);  // (2 + 25) * 13 bits, padded

  HandBits lengths;
  lengths.put(0, 1);  // not all zero; 1,024 symbols: the pre-coded form
  // 128 lengths in the simple form, two bits each; a 0 is followed by a
  // count of further zeros. Code A (0-63): 1 and 2 of length 2, 32 of
  // length 1. Code B (64-127): 38 and 41 of length 1.
  lengths.put(0, 1);
  lengths.put(2, 5);
  auto zeros = [&](int n) {  // n zeros, at most 16 per entry
    for (; n > 0; n -= 16) lengths.put(0, 2), lengths.put(uint32_t(std::min(n, 16) - 1), 4);
  };
  zeros(1);
  lengths.put(2, 2);
  lengths.put(2, 2);
  zeros(29);
  lengths.put(1, 2);  // A 32
  zeros(69);
  lengths.put(1, 2);  // B 38
  zeros(2);
  lengths.put(1, 2);  // B 41
  zeros(22);
  // Code A: 32 is "0", 1 is "10", 2 is "11". Code B: 38 is "0", 41 is "1".
  lengths.code("00");
  lengths.put(0, 6);  // 2^6 + 0 + 33 = 97 zeros: symbols 0-96
  lengths.code("11");
  lengths.code("11");  // 'a' and 'b' of length 2
  lengths.code("00");
  lengths.put(63, 6);  // 2^6 + 63 + 33 = 160 zeros: 99-258
  lengths.code("10");  // 259 of length 1
  lengths.code("01");
  lengths.put(219, 9);  // 2^9 + 219 + 33 = 764 zeros: 260-1023
  file.insert(file.end(), lengths.bytes.begin(), lengths.bytes.end());

  const uint32_t h = uint32_t(file.size() + 4);
  put_be32(file, 64, h);
  file.resize(h);
  put_be32(file, h - 4, tb_crc(file.data(), h - 4));
  file.insert(file.end(), stored.begin(), stored.end());
  // Main code: 259 is "0", 'a' is "10", 'b' is "11". a b match(4, back 2) a.
  HandBits block;
  block.code("1011010");
  file.insert(file.end(), block.bytes.begin(), block.bytes.end());

  std::vector<uint8_t> back;
  ASSERT_EQ(decode_all(file, back), 0);
  std::vector<uint8_t> expected = stored;
  for (char c : std::string("abababa")) expected.push_back(uint8_t(c));
  EXPECT_TRUE(back == expected);
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
  // A header length far past the file's end is a read error too, not a
  // failure to allocate it.
  auto oversized = file;
  for (int i = 64; i < 68; ++i) oversized[size_t(i)] = 0xFF;
  EXPECT_EQ(tb_error_kind(decode_all(oversized, back)), TB_ERR_READ);
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
