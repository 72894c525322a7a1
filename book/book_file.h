// book.bin: a fixed-size table on disk counting how often each position
// occurred in the opening plies of a game collection.
#pragma once

#include <cstdint>

// The file, little-endian:
//
//   offset 0        4 bytes   slot count N (signed)
//   offset 4+32*i   32 bytes  slot i, for i = 0 .. N-1
//
// A slot, two entries; entry 0 is never less frequent than entry 1:
//
//    0        8     12    16       24    28    32
//   +--------+-----+-----+--------+-----+-----+
//   | key 0  | cnt0| pad | key 1  | cnt1| pad |
//   +--------+-----+-----+--------+-----+-----+
//
// key: unsigned 64-bit book key; count: signed 32-bit, 0 for an empty
// entry; the padding is written as zero and never read.
struct BookEntry {
  uint64_t key;
  int32_t count;
};

struct BookSlot {
  BookEntry entry[2];
};

constexpr const char* BOOK_FILE_NAME = "book.bin";

// How large a new book.bin is and how deep into each game it counts; the
// defaults are the engine's when its configuration file says nothing.
struct BookSettings {
  int32_t slots = 349524;  // 4 units of 87381 slots
  int32_t max_depth = 20;  // the last ply counted
};
constexpr long BOOK_HEADER_BYTES = 4;
constexpr long BOOK_SLOT_BYTES = 32;

// The key stored for a position: black to move flips some bits of the hash
// key, then the absolute value of the result read as signed.
uint64_t book_key(uint64_t hash_key, int32_t side_to_move);

void encode_slot(const BookSlot& slot, unsigned char bytes[BOOK_SLOT_BYTES]);
BookSlot decode_slot(const unsigned char bytes[BOOK_SLOT_BYTES]);

// Applies one occurrence of key to the slot: a matching entry grows, else an
// empty entry 0 or, failing that, entry 1 takes the key; the more frequent
// entry then stands first.
void count_in_slot(BookSlot& slot, uint64_t key);

// Creates or truncates book.bin with the given number of empty slots; does
// nothing when the file cannot be made.
void create_book_file(int32_t slots);

// Records one occurrence of a position reached after ply plies, when ply is
// within max_depth. A missing or unusable file is passed over silently.
void count_book_position(uint64_t hash_key, int32_t side_to_move, int32_t ply, int32_t max_depth);
