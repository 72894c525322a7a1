// The optional configuration file KELO.ini, read once at start-up.
#pragma once

#include <cstdint>

struct Config {
  int32_t hash_buckets = 699040;     // DIM_HASH= megabytes, 21845 buckets each
  int32_t max_depth_search = 64;     // MAX_DEPTH_SEARCH= iteration limit
  int32_t max_depth_book = 20;       // MAX_DEPTH_BOOK= last ply the book counts
  int32_t book_slots = 349524;       // BOOK_SIZE= units of 87381 slots
};

extern Config config;

// Reads KELO.ini from the working directory; without it the defaults stay.
void read_config(const char* path = "KELO.ini");

// Deletes the first occurrence of text from line, closing the gap.
void delete_first(char* line, const char* text);

// v cut to the range lo .. hi, by default the 32-bit range: numbers read
// from input saturate instead of wrapping.
constexpr int32_t clamp32(int64_t v, int64_t lo = INT32_MIN, int64_t hi = INT32_MAX) {
  return int32_t(v < lo ? lo : v > hi ? hi : v);
}

// Leading decimal integer of s: blanks skipped, optional sign, stops at the
// first non-digit, no digits give 0; saturates instead of overflowing.
int64_t read_decimal(const char* s);
