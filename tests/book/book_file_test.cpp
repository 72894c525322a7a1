#include <gtest/gtest.h>

#include <cstring>

#include "book_support.h"

namespace {

constexpr uint64_t BLACK_XOR = 0x6703DF9D2924E97Eull;

BookSlot slot_of(const std::vector<unsigned char>& bytes, uint64_t key) {
  const int32_t n = int32_t(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t(bytes[3]) << 24);
  return decode_slot(bytes.data() + BOOK_HEADER_BYTES + BOOK_SLOT_BYTES * (key % uint64_t(n)));
}

}  // namespace

TEST(BookKey, BlackToMoveFlipsBitsThenTakesTheAbsoluteValue) {
  EXPECT_EQ(book_key(0x123456789ull, 1), 0x123456789ull);
  EXPECT_EQ(book_key(0x123456789ull, 0), 0x123456789ull ^ BLACK_XOR);
  // A negative value reads as its magnitude: -5 becomes 5.
  EXPECT_EQ(book_key(uint64_t(-5ll), 1), 5u);
  EXPECT_EQ(book_key(uint64_t(-5ll) ^ BLACK_XOR, 0), 5u);
  EXPECT_EQ(book_key(0x8000000000000000ull, 1), 0x8000000000000000ull);
}

TEST(BookKey, SidesToMoveOfOnePlacementDiffer) {
  Position after_e4(START_FEN);
  ASSERT_TRUE(play_coordinates(after_e4, "e2e4"));
  Position white_to_move("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 1");
  Position black_to_move("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1");
  EXPECT_EQ(white_to_move.hash_key, black_to_move.hash_key);
  EXPECT_NE(book_key(white_to_move.hash_key, 1), book_key(black_to_move.hash_key, 0));
  const uint64_t flipped = after_e4.hash_key ^ BLACK_XOR;
  EXPECT_EQ(book_key(after_e4.hash_key, 0), int64_t(flipped) < 0 ? 0 - flipped : flipped);
}

TEST(BookSlotCodec, LittleEndianWithZeroPadding) {
  BookSlot slot{{{0x0102030405060708ull, 0x11223344}, {0xA0ull, -2}}};
  unsigned char bytes[BOOK_SLOT_BYTES];
  std::memset(bytes, 0xEE, sizeof bytes);
  encode_slot(slot, bytes);
  const unsigned char expected[BOOK_SLOT_BYTES] = {
      8, 7, 6, 5, 4, 3, 2, 1, 0x44, 0x33, 0x22, 0x11, 0, 0, 0, 0,
      0xA0, 0, 0, 0, 0, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(bytes, expected, sizeof bytes));
  const BookSlot back = decode_slot(bytes);
  EXPECT_EQ(back.entry[0].key, slot.entry[0].key);
  EXPECT_EQ(back.entry[1].count, -2);
}

TEST_F(BookDirTest, CreatedFileHoldsHeaderAndEmptySlots) {
  settings_.slots = 5;
  create_book_file(settings_.slots);
  const auto bytes = read_bytes(BOOK_FILE_NAME);
  ASSERT_EQ(bytes.size(), 4u + 32 * 5);
  EXPECT_EQ(bytes[0], 5);
  for (size_t i = 1; i < bytes.size(); ++i) EXPECT_EQ(bytes[i], 0) << i;
}

TEST_F(BookDirTest, DefaultSizeFile) {
  create_book_file(settings_.slots);
  EXPECT_EQ(std::filesystem::file_size(BOOK_FILE_NAME), 11184772u);
}

TEST_F(BookDirTest, CreationTruncatesAnOldBook) {
  settings_.slots = 3;
  create_book_file(settings_.slots);
  count_book_position(7, 1, 1, settings_.max_depth);
  settings_.slots = 2;
  create_book_file(settings_.slots);
  const auto bytes = read_bytes(BOOK_FILE_NAME);
  ASSERT_EQ(bytes.size(), 4u + 64);
  for (size_t i = 4; i < bytes.size(); ++i) EXPECT_EQ(bytes[i], 0);
}

TEST_F(BookDirTest, FirstCountFillsEntryZeroOfTheKeysSlot) {
  settings_.slots = 11;
  create_book_file(settings_.slots);
  Position pos(START_FEN);
  ASSERT_TRUE(play_coordinates(pos, "e2e4"));
  const uint64_t key = book_key(pos.hash_key, pos.side_to_move);
  count_book_position(pos.hash_key, pos.side_to_move, 1, settings_.max_depth);
  const auto bytes = read_bytes(BOOK_FILE_NAME);
  const BookSlot s = slot_of(bytes, key);
  EXPECT_EQ(s.entry[0].key, key);
  EXPECT_EQ(s.entry[0].count, 1);
  EXPECT_EQ(s.entry[1].count, 0);
  EXPECT_EQ(book_counts().size(), 1u);
}

TEST_F(BookDirTest, ThirdKeyEvictsEntryOneAndFrequentKeyMovesUp) {
  settings_.slots = 7;
  create_book_file(settings_.slots);
  const uint64_t a = 7 * 1 + 3, b = 7 * 2 + 3, c = 7 * 5 + 3;
  for (uint64_t k : {a, b, b}) count_book_position(k, 1, 1, settings_.max_depth);
  BookSlot s = slot_of(read_bytes(BOOK_FILE_NAME), a);
  EXPECT_EQ(s.entry[0].key, b);
  EXPECT_EQ(s.entry[0].count, 2);
  EXPECT_EQ(s.entry[1].key, a);
  EXPECT_EQ(s.entry[1].count, 1);
  count_book_position(c, 1, 1, settings_.max_depth);
  s = slot_of(read_bytes(BOOK_FILE_NAME), a);
  EXPECT_EQ(s.entry[0].key, b);
  EXPECT_EQ(s.entry[0].count, 2);
  EXPECT_EQ(s.entry[1].key, c);
  EXPECT_EQ(s.entry[1].count, 1);
}

TEST_F(BookDirTest, EqualCountsKeepTheirOrder) {
  settings_.slots = 7;
  create_book_file(settings_.slots);
  const uint64_t a = 7 * 3 + 1, b = 7 * 4 + 1;
  for (uint64_t k : {a, b, a, b}) count_book_position(k, 1, 1, settings_.max_depth);
  BookSlot s = slot_of(read_bytes(BOOK_FILE_NAME), a);
  EXPECT_EQ(s.entry[0].key, a);
  EXPECT_EQ(s.entry[0].count, 2);
  EXPECT_EQ(s.entry[1].key, b);
  EXPECT_EQ(s.entry[1].count, 2);
  count_book_position(b, 1, 1, settings_.max_depth);
  s = slot_of(read_bytes(BOOK_FILE_NAME), a);
  EXPECT_EQ(s.entry[0].key, b);
  EXPECT_EQ(s.entry[0].count, 3);
  EXPECT_EQ(s.entry[1].key, a);
}

TEST_F(BookDirTest, OnlyPliesUpToTheBookDepthCount) {
  settings_.slots = 101;
  create_book_file(settings_.slots);
  settings_.max_depth = 20;
  count_book_position(1, 1, 20, settings_.max_depth);
  count_book_position(2, 1, 21, settings_.max_depth);
  EXPECT_EQ(book_counts(), (std::map<uint64_t, int32_t>{{1, 1}}));
  settings_.max_depth = 0;
  count_book_position(3, 1, 1, settings_.max_depth);
  EXPECT_EQ(book_counts(), (std::map<uint64_t, int32_t>{{1, 1}}));
}

TEST_F(BookDirTest, UnusableFilesArePassedOverSilently) {
  testing::internal::CaptureStdout();
  count_book_position(5, 1, 1, settings_.max_depth);  // no file
  EXPECT_FALSE(std::filesystem::exists(BOOK_FILE_NAME));

  settings_.slots = 0;  // header 0: no slots
  create_book_file(settings_.slots);
  count_book_position(5, 1, 1, settings_.max_depth);
  EXPECT_EQ(read_bytes(BOOK_FILE_NAME), (std::vector<unsigned char>{0, 0, 0, 0}));

  // A negative header with room behind it records nothing either.
  std::vector<unsigned char> negative(4 + 32 * 4, 0);
  negative[0] = negative[1] = negative[2] = negative[3] = 0xFF;
  write_text(BOOK_FILE_NAME, std::string(negative.begin(), negative.end()));
  count_book_position(5, 1, 1, settings_.max_depth);
  EXPECT_EQ(read_bytes(BOOK_FILE_NAME), negative);

  // A slot cut short by the end of the file is not rewritten.
  std::vector<unsigned char> short_file(4 + 32 * 2 + 10, 0);
  short_file[0] = 3;
  write_text(BOOK_FILE_NAME, std::string(short_file.begin(), short_file.end()));
  count_book_position(2, 1, 1, settings_.max_depth);  // slot 2, which is incomplete
  EXPECT_EQ(read_bytes(BOOK_FILE_NAME), short_file);
  count_book_position(1, 1, 1, settings_.max_depth);  // slot 1 is whole
  EXPECT_EQ(read_slots(read_bytes(BOOK_FILE_NAME))[1].entry[0].count, 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}
