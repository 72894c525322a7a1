#include "book/book_file.h"

#include <cstdio>

namespace {

constexpr uint32_t BLACK_XOR_HIGH = 0x6703DF9D;
constexpr uint32_t BLACK_XOR_LOW = 0x2924E97E;

void put_le(unsigned char* p, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = (unsigned char)(v >> (8 * i));
}

uint64_t get_le(const unsigned char* p, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= uint64_t(p[i]) << (8 * i);
  return v;
}

// Counts stop at the largest value rather than turning negative.
void grow(int32_t& count) {
  if (count < INT32_MAX) ++count;
}

}  // namespace

uint64_t book_key(uint64_t hash_key, int32_t side_to_move) {
  uint64_t x = hash_key;
  if (side_to_move == 0) x ^= uint64_t(BLACK_XOR_HIGH) << 32 | BLACK_XOR_LOW;
  // Unsigned negation gives the absolute value without overflow; the most
  // negative value stays 2^63.
  return int64_t(x) < 0 ? 0 - x : x;
}

void encode_slot(const BookSlot& slot, unsigned char bytes[BOOK_SLOT_BYTES]) {
  for (int e = 0; e < 2; ++e) {
    unsigned char* p = bytes + 16 * e;
    put_le(p, slot.entry[e].key, 8);
    put_le(p + 8, uint32_t(slot.entry[e].count), 4);
    put_le(p + 12, 0, 4);
  }
}

BookSlot decode_slot(const unsigned char bytes[BOOK_SLOT_BYTES]) {
  BookSlot slot;
  for (int e = 0; e < 2; ++e) {
    const unsigned char* p = bytes + 16 * e;
    slot.entry[e].key = get_le(p, 8);
    slot.entry[e].count = int32_t(uint32_t(get_le(p + 8, 4)));
  }
  return slot;
}

void count_in_slot(BookSlot& slot, uint64_t key) {
  BookEntry* e = slot.entry;
  if (e[0].key == key) {
    grow(e[0].count);
  } else if (e[1].key == key) {
    grow(e[1].count);
  } else if (e[0].count == 0) {
    e[0] = {key, 1};
  } else {
    e[1] = {key, 1};
  }
  if (e[1].count > e[0].count) {
    const BookEntry t = e[0];
    e[0] = e[1];
    e[1] = t;
  }
}

void create_book_file(int32_t slots) {
  std::FILE* f = std::fopen(BOOK_FILE_NAME, "w+b");
  if (!f) return;
  unsigned char header[BOOK_HEADER_BYTES];
  put_le(header, uint32_t(slots), 4);
  std::fwrite(header, 1, sizeof header, f);
  unsigned char empty[BOOK_SLOT_BYTES] = {};
  for (int32_t i = 0; i < slots; ++i) std::fwrite(empty, 1, sizeof empty, f);
  std::fclose(f);
}

void count_book_position(uint64_t hash_key, int32_t side_to_move, int32_t ply, int32_t max_depth) {
  if (ply > max_depth) return;
  const uint64_t key = book_key(hash_key, side_to_move);
  std::FILE* f = std::fopen(BOOK_FILE_NAME, "r+b");
  if (!f) return;
  unsigned char header[BOOK_HEADER_BYTES];
  unsigned char bytes[BOOK_SLOT_BYTES];
  if (std::fread(header, 1, sizeof header, f) == sizeof header) {
    const int32_t slots = int32_t(uint32_t(get_le(header, 4)));
    if (slots > 0) {
      const long offset = BOOK_HEADER_BYTES + BOOK_SLOT_BYTES * long(key % uint64_t(slots));
      if (std::fseek(f, offset, SEEK_SET) == 0 &&
          std::fread(bytes, 1, sizeof bytes, f) == sizeof bytes) {
        BookSlot slot = decode_slot(bytes);
        count_in_slot(slot, key);
        encode_slot(slot, bytes);
        if (std::fseek(f, offset, SEEK_SET) == 0) std::fwrite(bytes, 1, sizeof bytes, f);
      }
    }
  }
  std::fclose(f);
}
