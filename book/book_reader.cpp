#include "book/book_reader.h"

#include <cstdio>
#include <utility>

#include "position/makemove.h"
#include "position/movegen.h"

bool book_load(OpeningBook& book, const char* path, std::string& problem) {
  book = OpeningBook{};
  std::FILE* f = std::fopen(path, "rb");
  if (!f) {
    problem = std::string(path) + " cannot be opened";
    return false;
  }
  unsigned char header[BOOK_HEADER_BYTES];
  bool ok = std::fread(header, 1, sizeof header, f) == sizeof header;
  const int64_t slots =
      ok ? int32_t(uint32_t(header[0]) | uint32_t(header[1]) << 8 | uint32_t(header[2]) << 16 |
                   uint32_t(header[3]) << 24)
         : 0;
  long length = -1;
  if (ok && std::fseek(f, 0, SEEK_END) == 0) length = std::ftell(f);
  if (!ok || slots <= 0 || length != BOOK_HEADER_BYTES + slots * BOOK_SLOT_BYTES) {
    problem = std::string(path) + ": its header counts " + std::to_string(slots) +
              " slots, its length is " + std::to_string(length) + " bytes";
    std::fclose(f);
    return false;
  }
  std::fseek(f, BOOK_HEADER_BYTES, SEEK_SET);
  std::vector<unsigned char> bytes(size_t(slots) * BOOK_SLOT_BYTES);
  ok = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
  std::fclose(f);
  if (!ok) {
    problem = std::string(path) + " cannot be read";
    return false;
  }
  book.slot_bytes = std::move(bytes);
  book.slot_count = uint64_t(slots);
  return true;
}

int32_t book_count(const OpeningBook& book, uint64_t hash_key, int32_t side_to_move) {
  if (book.slot_count == 0) return 0;
  const uint64_t key = book_key(hash_key, side_to_move);
  const BookSlot slot = decode_slot(&book.slot_bytes[(key % book.slot_count) * BOOK_SLOT_BYTES]);
  for (const BookEntry& e : slot.entry)
    if (e.count > 0 && e.key == key) return e.count;
  return 0;
}

BookChoice book_choice(const OpeningBook& book, Position& pos, uint64_t random, bool best) {
  BookChoice choice;
  if (book.slot_count == 0) return choice;
  struct Candidate {
    Move move;
    int32_t count;
  };
  std::vector<Candidate> found;
  MoveStack& ms = pos.move_stack;
  generate_all(pos);
  for (int i = 0; i < ms.count(); ++i) {
    const Move m = ms.at(i);
    make_move(pos, m);
    const int32_t count = book_count(book, pos.hash_key, pos.side_to_move);
    unmake_move(pos);
    if (count > 0) found.push_back({m, count});
  }
  ms.close_level();
  if (found.empty()) return choice;
  int64_t total = 0;
  for (const Candidate& c : found) total += c.count;
  const Candidate* pick = &found[0];
  if (best) {
    for (const Candidate& c : found)
      if (c.count > pick->count) pick = &c;
  } else {
    int64_t r = int64_t(random % uint64_t(total));
    for (const Candidate& c : found) {
      if (r < c.count) {
        pick = &c;
        break;
      }
      r -= c.count;
    }
  }
  choice.move = pick->move;
  choice.count = pick->count;
  choice.total = int32_t(total > INT32_MAX ? INT32_MAX : total);
  return choice;
}
