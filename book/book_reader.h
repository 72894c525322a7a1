// Reading book.bin in play: the whole table in memory, the count of a
// position, and the choice of a move among the counted continuations.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "book/book_file.h"
#include "position/position.h"

// The file's slots as it stores them, decoded when looked up: reading the
// book is one read.
struct OpeningBook {
  std::vector<unsigned char> slot_bytes;
  uint64_t slot_count = 0;
};

// Reads the whole file. False, with the reason in `problem`, when it cannot
// be read or its header's slot count disagrees with its length.
bool book_load(OpeningBook& book, const char* path, std::string& problem);

// How often the position was counted, 0 when it was not.
int32_t book_count(const OpeningBook& book, uint64_t hash_key, int32_t side_to_move);

struct BookChoice {
  Move move = 0;      // 0 when no position after a legal move was counted
  int32_t count = 0;  // the count of the position it leads to
  int32_t total = 0;  // of all the counted continuations
};

// One of the legal moves whose position after it was counted: chosen in
// proportion to the counts by `random` (any 64-bit value, uniformly drawn),
// or with `best` always the most counted (the first generated on a tie).
BookChoice book_choice(const OpeningBook& book, Position& pos, uint64_t random, bool best);
