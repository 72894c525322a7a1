// Helpers of the book tests: a fresh working directory, book.bin read back,
// games played from coordinate moves.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "book/book_file.h"
#include "position/fen.h"
#include "position/makemove.h"
#include "position/movegen.h"
#include "support/scratch.h"

// Runs each test in its own empty directory, with the default book settings
// for the test to change.
class BookDirTest : public testing::Test {
 protected:
  void SetUp() override {
    original_ = std::filesystem::current_path();
    dir_ = scratch_dir("kelo-book");
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(original_);
    std::filesystem::remove_all(dir_);
  }
  std::filesystem::path dir_, original_;
  BookSettings settings_;
};

inline std::vector<unsigned char> read_bytes(const char* name) {
  std::vector<unsigned char> bytes;
  if (std::FILE* f = std::fopen(name, "rb")) {
    int c;
    while ((c = std::fgetc(f)) != EOF) bytes.push_back((unsigned char)c);
    std::fclose(f);
  }
  return bytes;
}

inline void write_text(const char* name, const std::string& text) {
  std::FILE* f = std::fopen(name, "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

inline std::vector<BookSlot> read_slots(const std::vector<unsigned char>& bytes) {
  std::vector<BookSlot> slots;
  for (size_t at = BOOK_HEADER_BYTES; at + BOOK_SLOT_BYTES <= bytes.size(); at += BOOK_SLOT_BYTES)
    slots.push_back(decode_slot(bytes.data() + at));
  return slots;
}

// Book key to count over every non-empty entry of book.bin.
inline std::map<uint64_t, int32_t> book_counts() {
  std::map<uint64_t, int32_t> counts;
  for (const BookSlot& s : read_slots(read_bytes(BOOK_FILE_NAME)))
    for (const BookEntry& e : s.entry)
      if (e.count) counts[e.key] += e.count;
  return counts;
}

// Plays a move given as from, to and an optional promotion letter (e7e8q).
inline bool play_coordinates(Position& pos, const std::string& text) {
  const Square from = make_square(text[0] - 'a', text[1] - '0');
  const Square to = make_square(text[2] - 'a', text[3] - '0');
  const char promo = text.size() > 4 ? text[4] : 0;
  generate_all(pos);
  for (int i = 0; i < pos.move_stack.count(); ++i) {
    const Move m = pos.move_stack.at(i);
    const unsigned p = move_promotion(m);
    const char letter = p ? "?pnbrqk"[kind_of(p)] : 0;
    if (move_from(m) == from && move_to(m) == to && letter == promo) {
      make_listed(pos, i);
      pos.move_stack.close_level();
      return true;
    }
  }
  pos.move_stack.close_level();
  return false;
}

// Adds the book keys of the positions after plies 1 .. depth of a game.
inline void add_game(std::map<uint64_t, int32_t>& counts, const std::vector<std::string>& moves,
                     int depth) {
  Position pos(START_FEN);
  int ply = 0;
  for (const std::string& m : moves) {
    ASSERT_TRUE(play_coordinates(pos, m)) << m;
    if (++ply <= depth) ++counts[book_key(pos.hash_key, pos.side_to_move)];
  }
}
