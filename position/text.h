// Small readers of command and file text, shared by the front end, the
// configuration and the book builder.
#pragma once

#include <cstdint>

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
