// Perft allocates only while its containers grow to the depth of the tree:
// a second walk of the same tree, after the first has sized them, allocates
// nothing. Counted by replacing the global operator new of this test program.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "position/perft.h"
#include "position/position.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
// Out of line: inlined where g++ sees the pointer come from operator new, the
// free() inside looks to it like a mismatched release.
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

constexpr const char* KIWIPETE = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";

TEST(Perft, NoAllocationOnceTheContainersHaveGrown) {
  Position pos(KIWIPETE);
  ASSERT_EQ(perft(pos, 3), 97862);
  const long after_first = allocations.load();
  ASSERT_EQ(perft(pos, 3), 97862);
  EXPECT_EQ(allocations.load(), after_first);
  // The counter does see allocations: a new record makes its containers.
  Position fresh(KIWIPETE);
  EXPECT_GT(allocations.load(), after_first);
}

}  // namespace
