// Synthetic tables shaped like tablebase data: index digits are squares of
// 64, values vary slowly with the geometry, with runs of draws and of
// illegal (zero) positions.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

inline std::vector<uint8_t> synthetic_table(size_t size, uint32_t seed = 1) {
  std::vector<uint8_t> t(size);
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    const int a = int(i % 64), b = int((i / 64) % 64), k = int(i / 4096);
    const int df = std::abs(a % 8 - b % 8), dr = std::abs(a / 8 - b / 8);
    int v;
    if (a == b || (k * 7 + a) % 13 == 0) {
      v = 0;
    } else if ((df == 0 || dr == 0) && (k & 3) == 1) {
      v = 0;  // drawn lines
    } else {
      v = 1 + (df + dr + k % 5) % 40;
      if ((k + a) % 11 == 0) v = 256 - v;  // losses
    }
    x = x * 1103515245u + 12345u;
    if ((x >> 24) < 3) v ^= 1;  // sparse noise
    t[i] = uint8_t(v);
  }
  return t;
}
