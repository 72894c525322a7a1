// Searches the sliding-attack multipliers and prints them as the C++ tables
// of position/attacks_magics.cpp. The seed is fixed, so every run prints the
// same tables.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "position/attacks.h"

namespace {

uint64_t xorshift(uint64_t& s) {
  s ^= s >> 12;
  s ^= s << 25;
  s ^= s >> 27;
  return s * 2685821657736338717ull;
}

// The first candidate that maps every subset of the mask of sq without a
// harmful collision; sparse candidates find one quickly.
uint64_t find_multiplier(Square sq, bool rook, uint64_t& seed) {
  const Bitboard mask = walk_mask(sq, rook);
  const unsigned shift = 64 - unsigned(popcount(mask));
  const std::vector<Bitboard> subsets = mask_subsets(mask);
  std::vector<Bitboard> reference;
  for (Bitboard occ : subsets) reference.push_back(walk_attacks(sq, occ, rook));
  std::vector<Bitboard> table(subsets.size());
  std::vector<int> epoch(subsets.size(), 0);
  for (int current = 1;; ++current) {
    const uint64_t candidate = xorshift(seed) & xorshift(seed) & xorshift(seed);
    // Too few bits reach the top byte to spread the index.
    if (popcount((mask * candidate) >> 56) < 6) {
      --current;
      continue;
    }
    bool ok = true;
    for (size_t i = 0; i < subsets.size() && ok; ++i) {
      const size_t index = size_t((subsets[i] * candidate) >> shift);
      if (epoch[index] != current) {
        epoch[index] = current;
        table[index] = reference[i];
      } else if (table[index] != reference[i]) {
        ok = false;
      }
    }
    if (ok) return candidate;
  }
}

void print_table(const char* name, const uint64_t* values) {
  std::printf("const uint64_t %s[64] = {\n", name);
  for (int sq = 0; sq < 64; sq += 2)
    std::printf("    0x%016llxull, 0x%016llxull,\n", (unsigned long long)values[sq],
                (unsigned long long)values[sq + 1]);
  std::printf("};\n");
}

}  // namespace

int main() {
  init_geometry();
  uint64_t seed = 0x2545F4914F6CDD1Dull;
  uint64_t bishops[64], rooks[64];
  for (int sq = 0; sq < 64; ++sq) bishops[sq] = find_multiplier(sq, false, seed);
  for (int sq = 0; sq < 64; ++sq) rooks[sq] = find_multiplier(sq, true, seed);
  print_table("rook_magic", rooks);
  std::printf("\n");
  print_table("bishop_magic", bishops);
  return 0;
}
