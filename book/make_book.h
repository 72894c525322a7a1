// The "makebook" command: a PGN game collection becomes book.bin.
#pragma once

#include <cstddef>
#include <string>

#include "book/book_file.h"
#include "position/position.h"

// The rewriting needs at most this many bytes per character of a line: only
// the unfinished-game marker grows the text, from one character to three.
constexpr size_t REWRITE_GROWTH = 3;

// Inserts text before the character at index; false, with the buffer
// unchanged, when the result would not fit capacity bytes.
bool insert_at(char* buffer, size_t capacity, const char* text, size_t index);
// Replaces every occurrence of find by replacement, searching again from the
// start after each one; 1 when anything was replaced, else 0.
int replace_all(char* buffer, size_t capacity, const char* find, const char* replacement);
// Rewrites one whole line of movetext, of any length, into comma-separated
// tokens; a result marker becomes @a, @b, @c or @d and ends the line.
void normalise_pgn_line(std::string& line);

// The squares a SAN token names for the side to move: from-squares, target
// squares and the promotion piece code (0 for none). An empty set matches no
// move.
struct SanSquares {
  Bitboard from = 0;
  Bitboard to = 0;
  unsigned promotion = 0;
};
void parse_san_token(const char* token, const Position& pos, SanSquares& out);

// Plays the tokens of one line of 01.tmp from the initial position, counting
// every position reached within max_depth plies in book.bin, up to a result
// or an unplayable token.
void replay_book_line(std::string& line, int32_t max_depth);

// Rewrites the PGN file into 01.tmp, replays every game into a fresh
// book.bin of the settings' size and deletes 01.tmp.
void make_book(const char* pgn_name, const BookSettings& settings);
