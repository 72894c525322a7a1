#include "search/tt.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

TEST(PrimeBucketCount, LargestPrimeNotAbove) {
  for (int n = 0; n <= 4; ++n) EXPECT_EQ(prime_bucket_count(n), 3) << n;
  EXPECT_EQ(prime_bucket_count(-7), 3);
  EXPECT_EQ(prime_bucket_count(5), 5);
  EXPECT_EQ(prime_bucket_count(6), 5);
  EXPECT_EQ(prime_bucket_count(9), 7);
  EXPECT_EQ(prime_bucket_count(10), 7);
  EXPECT_EQ(prime_bucket_count(25), 23);
  EXPECT_EQ(prime_bucket_count(49), 47);
  EXPECT_EQ(prime_bucket_count(699040), 699037);
}

// The bucket of a key without a division equals the 64-bit remainder: keys
// at the edges and a stream of pseudo-random ones, for table sizes from the
// smallest to the largest a 32-bit count allows.
TEST(BucketOf, EqualsTheRemainder) {
  const uint32_t sizes[] = {1, 2, 3, 5, 29, 997, 699037, 2147483647u, 4294967291u, 4294967295u};
  uint64_t x = 0x2545F4914F6CDD1Dull;
  for (uint32_t d : sizes) {
    const unsigned __int128 r = bucket_reciprocal(d);
    for (uint64_t key : {uint64_t(0), uint64_t(1), uint64_t(d - 1), uint64_t(d), uint64_t(d) + 1,
                         ~uint64_t(0), ~uint64_t(0) - 1, uint64_t(1) << 63})
      ASSERT_EQ(bucket_of(key, r, d), key % d) << key << " % " << d;
    for (int i = 0; i < 200000; ++i) {
      x ^= x >> 12, x ^= x << 25, x ^= x >> 27;
      const uint64_t key = x * 2685821657736338717ull;
      ASSERT_EQ(bucket_of(key, r, d), key % d) << key << " % " << d;
    }
  }
}

struct TableTest : testing::Test {
  Position pos{START};
  void SetUp() override { tt_allocate(pos.tt, 1000); }
  void TearDown() override { tt_release(pos.tt); }
};

TEST_F(TableTest, AllocationIsPrimeAndZeroed) {
  ASSERT_EQ(pos.tt.bucket_count, 997u);
  for (uint32_t i = 0; i < pos.tt.bucket_count; ++i)
    for (const TTSlot& slot : pos.tt.buckets[i].slot) {
      const TtEntry s = tt_read(slot);
      ASSERT_EQ(s.bound | s.best_move | s.key, 0u);
    }
  tt_allocate(pos.tt, 30);  // replaces the earlier array
  EXPECT_EQ(pos.tt.bucket_count, 29u);
}

TEST_F(TableTest, MateScoresCountFromThePosition) {
  tt_store(pos, 12345, 14990, 777, TT_LOWER, 64, 3);
  const TTSlot& slot = pos.tt.buckets[12345 % 997].slot[0];
  EXPECT_EQ(tt_read(slot).score, 14993);
  EXPECT_EQ(tt_read(slot).depth, 0);
  int32_t score = 0;
  uint32_t move = 0;
  EXPECT_EQ(tt_probe(pos, 12345, 0, 5, score, move), TT_LOWER);
  EXPECT_EQ(score, 14988);
  EXPECT_EQ(move, 777u);
  score = 1;
  move = 0;
  EXPECT_EQ(tt_probe(pos, 12345, 16, 5, score, move), 0u);
  EXPECT_EQ(move, 777u);  // the move is still handed out
  EXPECT_EQ(score, 1);

  tt_store(pos, 12345, -14990, 5, TT_UPPER, 40, 3);
  EXPECT_EQ(tt_read(slot).score, -14993);
  EXPECT_EQ(tt_probe(pos, 12345, 0, 3, score, move), TT_UPPER);
  EXPECT_EQ(score, -14990);
}

TEST_F(TableTest, BoundaryScoresAreNotMates) {
  int32_t score = 0;
  uint32_t move = 0;
  tt_store(pos, 99, 10000, 1, TT_EXACT, 48, 7);
  EXPECT_EQ(tt_probe(pos, 99, 48, 2, score, move), TT_EXACT);
  EXPECT_EQ(score, 10000);
  tt_store(pos, 99, -10000, 1, TT_EXACT, 48, 7);
  EXPECT_EQ(tt_probe(pos, 99, 48, 2, score, move), TT_EXACT);
  EXPECT_EQ(score, -10000);
}

TEST_F(TableTest, EachSideHasItsSlot) {
  tt_store(pos, 4242, 50, 11, TT_EXACT, 32, 1);
  pos.side_to_move = 0;
  tt_store(pos, 4242, -70, 22, TT_LOWER, 16, 1);
  int32_t score = 0;
  uint32_t move = 0;
  EXPECT_EQ(tt_probe(pos, 4242, 16, 1, score, move), TT_LOWER);
  EXPECT_EQ(score, -70);
  EXPECT_EQ(tt_best_move(pos, 4242), 22u);
  pos.side_to_move = 1;
  EXPECT_EQ(tt_probe(pos, 4242, 32, 1, score, move), TT_EXACT);
  EXPECT_EQ(score, 50);
  EXPECT_EQ(move, 11u);
}

TEST_F(TableTest, StoreAlwaysReplaces) {
  tt_store(pos, 500, 30, 1, TT_EXACT, 160, 1);
  tt_store(pos, 500 + 997, 40, 2, TT_UPPER, 16, 1);  // same bucket, shallower
  int32_t score = 7;
  uint32_t move = 9;
  EXPECT_EQ(tt_probe(pos, 500, 0, 1, score, move), 0u);
  EXPECT_EQ(score, 7);  // a foreign key leaves both outputs alone
  EXPECT_EQ(move, 9u);
  EXPECT_EQ(tt_best_move(pos, 500), 0u);
  EXPECT_EQ(tt_probe(pos, 500 + 997, 16, 1, score, move), TT_UPPER);
  EXPECT_EQ(score, 40);
}

TEST(EmptyTable, StoresNothingFindsNothing) {
  Position pos(START);
  ASSERT_EQ(pos.tt.bucket_count, 0u);
  tt_store(pos, 1, 1, 1, TT_EXACT, 1, 1);
  int32_t score = 3;
  uint32_t move = 4;
  EXPECT_EQ(tt_probe(pos, 1, 0, 0, score, move), 0u);
  EXPECT_EQ(move, 4u);
  EXPECT_EQ(tt_best_move(pos, 1), 0u);
}

}  // namespace

TEST_F(TableTest, SlotMixedFromTwoWritesIsNotFound) {
  // Two threads storing into one slot at once may leave one write's words
  // beside the other's: neither key may then find it.
  tt_store(pos, 12345, 50, 777, TT_EXACT, 64, 3);
  TTSlot& slot = pos.tt.buckets[12345 % 997].slot[0];
  const uint64_t first_info = slot.info.load();
  const uint64_t other_key = 12345 + 997;  // the same bucket
  tt_store(pos, other_key, -80, 555, TT_LOWER, 32, 3);
  slot.info.store(first_info);
  int32_t score = 0;
  uint32_t move = 0;
  EXPECT_EQ(tt_probe(pos, 12345, 0, 3, score, move), 0u);
  EXPECT_EQ(tt_probe(pos, other_key, 0, 3, score, move), 0u);
  EXPECT_EQ(move, 0u);
  EXPECT_EQ(tt_best_move(pos, other_key), 0u);
}
