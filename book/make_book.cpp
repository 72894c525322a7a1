#include "book/make_book.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "book/book_file.h"
#include "position/fen.h"
#include "position/makemove.h"
#include "position/movegen.h"
#include "position/movetext.h"

namespace {

constexpr const char* TMP_NAME = "01.tmp";
// Carriage returns separate tokens too, for PGN files with CR LF line ends.
constexpr const char* SEPARATORS = " ,\t\n\r";
// Some editors start a UTF-8 text file with this mark; it is no movetext.
constexpr std::string_view UTF8_BOM = "\xEF\xBB\xBF";

void say(const char* text) {
  std::printf("%s\n", text);
  std::fflush(stdout);
}

Bitboard named_square(const char* two) {
  return names_square(two) ? square_bb(square_named(two)) : 0;
}

Bitboard file_bb(char letter) {
  return is_file_letter(letter) ? 0x0101010101010101ull << (letter - 'a') : 0;
}

Bitboard rank_bb(char digit) {
  return is_rank_digit(digit) ? RANK_1_BB >> (8 * (digit - '1')) : 0;
}

// Reads one line of any length, its line feed included; false at the end of
// the file.
bool read_whole_line(std::FILE* f, std::string& line) {
  line.clear();
  int c;
  while ((c = std::getc(f)) != EOF) {
    line += char(c);
    if (c == '\n') return true;
  }
  return !line.empty();
}

}  // namespace

void replay_book_line(std::string& line, int32_t max_depth) {
  Position pos(START_FEN);
  int32_t ply = 0;
  char* rest = line.data();
  while (true) {
    rest += std::strspn(rest, SEPARATORS);
    if (!*rest) break;
    char* token = rest;
    rest += std::strcspn(rest, SEPARATORS);
    if (*rest) *rest++ = 0;

    if (!std::strcmp(token, "1-0") || !std::strcmp(token, "0-1") ||
        !std::strcmp(token, "1/2-1/2")) {
      std::printf("%s", token);
      std::fflush(stdout);
      break;
    }
    ++ply;
    SanSquares san;
    generate_all(pos);
    parse_san_token(token, pos, san);
    MoveStack& moves = pos.move_stack;
    int chosen = -1;
    for (int i = 0; i < moves.count() && chosen < 0; ++i) {
      const Move m = moves.at(i);
      if ((san.from & square_bb(move_from(m))) && (san.to & square_bb(move_to(m))) &&
          (san.promotion == 0 || move_promotion(m) == san.promotion))
        chosen = i;
    }
    if (chosen < 0) {
      moves.close_level();
      break;
    }
    make_listed(pos, chosen);
    moves.close_level();
    count_book_position(pos.hash_key, pos.side_to_move, ply, max_depth);
  }
}

bool insert_at(char* buffer, size_t capacity, const char* text, size_t index) {
  const size_t length = std::strlen(buffer), n = std::strlen(text);
  if (index > length || length + n + 1 > capacity) return false;
  std::memmove(buffer + index + n, buffer + index, length - index + 1);
  std::memcpy(buffer + index, text, n);
  return true;
}

// One pass over the text in place of a fresh search per replacement, so that
// a long line costs time in step with its length. The text is taken a
// character at a time into done, which never holds the search text: the
// first time done ends with it, that is the first occurrence in the whole
// text. Its replacement goes back in front of what is left to read, since it
// may complete an occurrence with the text around it, as a search from the
// start would find.
int replace_all(char* buffer, size_t capacity, const char* find, const char* replacement) {
  const size_t find_length = std::strlen(find), growth = std::strlen(replacement);
  const char* const first = find_length ? std::strstr(buffer, find) : nullptr;
  if (!first) return 0;
  const size_t length = std::strlen(buffer);
  const char last = find[find_length - 1];
  // Nothing before the first occurrence can change. The buffer is only read
  // until the end, where done is copied back.
  size_t next = size_t(first - buffer);
  std::string done(buffer, next), again;  // again: replaced text to read, last character first
  done.reserve(length);
  int replaced = 0;
  while (!again.empty() || next < length) {
    char c;
    if (again.empty()) {
      c = buffer[next++];
    } else {
      c = again.back();
      again.pop_back();
    }
    done += c;
    if (c != last || done.size() < find_length ||
        done.compare(done.size() - find_length, find_length, find) != 0)
      continue;
    if (growth > find_length &&
        done.size() + again.size() + length - next + growth - find_length + 1 > capacity)
      break;
    done.resize(done.size() - find_length);
    again.append(replacement, growth);
    std::reverse(again.end() - growth, again.end());
    replaced = 1;
  }
  done.append(again.rbegin(), again.rend());
  done.append(buffer + next, length - next);
  std::memcpy(buffer, done.c_str(), done.size() + 1);
  return replaced;
}

void normalise_pgn_line(std::string& line) {
  std::vector<char> room(REWRITE_GROWTH * line.size() + 1, 0);
  std::memcpy(room.data(), line.c_str(), line.size());
  char* const buffer = room.data();
  const size_t cap = room.size();
  for (const char* mark : {"=", "x", "+", "#", "!", "?", "{", "}"}) replace_all(buffer, cap, mark, "");
  replace_all(buffer, cap, "\n", ",");
  replace_all(buffer, cap, "\r", ",");
  // Move numbers: each pass takes one digit off before every point.
  for (int pass = 0; pass < 10; ++pass)
    for (const char* number : {"0.", "1.", "2.", "3.", "4.", "5.", "6.", "7.", "8.", "9."})
      replace_all(buffer, cap, number, ".");
  replace_all(buffer, cap, " ", ",");
  replace_all(buffer, cap, ".", ",");
  replace_all(buffer, cap, ",,", ",");
  replace_all(buffer, cap, "1-0", "@a\n");
  replace_all(buffer, cap, "0-1", "@b\n");
  replace_all(buffer, cap, "1/2-1/2", "@c\n");
  // An unfinished game ends its line like a finished one, so that the next
  // game starts from the initial position.
  replace_all(buffer, cap, "*", "@d\n");
  line = buffer;
}

void parse_san_token(const char* t, const Position& pos, SanSquares& out) {
  const bool white = pos.side_to_move == 1;
  const Colour us = white ? White : Black;
  const size_t length = std::strlen(t);
  auto own = [&](unsigned kind) { return pos.piece_bb[piece_bb_index(make_piece(us, kind))]; };

  if (!std::strcmp(t, "O-O") || !std::strcmp(t, "O-O-O")) {
    out.from = square_bb(white ? SQ_E1 : SQ_E8);
    out.to = square_bb(length == 3 ? (white ? SQ_G1 : SQ_G8) : (white ? SQ_C1 : SQ_C8));
    return;
  }
  if (length == 0) return;
  const char last = t[length - 1];
  if (last == 'Q' || last == 'R' || last == 'B' || last == 'N') {
    out.promotion = make_piece(us, kind_from_letter(last));
    out.from = own(PAWN) & file_bb(t[0]);
    if (length >= 3) out.to = named_square(t + length - 3);
    return;
  }
  if (length < 2) return;
  out.to = named_square(t + length - 2);
  if (length == 2) {
    out.from = own(PAWN);
  } else if (length == 3) {
    if (unsigned kind = kind_from_letter(t[0]))
      out.from = own(kind);
    else
      out.from = own(PAWN) & file_bb(t[0]);
  } else if (length == 4) {
    if (unsigned kind = kind_from_letter(t[0])) {
      out.from = own(kind);
      if (Bitboard line = file_bb(t[1]) | rank_bb(t[1])) out.from &= line;
    }
  }
}

void make_book(const char* pgn_name, const BookSettings& settings) {
  std::FILE* tmp = std::fopen(TMP_NAME, "w");
  if (!tmp) return;
  if (std::FILE* pgn = std::fopen(pgn_name, "r")) {
    say("generando 01.tmp");
    // Whole lines: a piece cut from a long line could split a result marker
    // and run two games together.
    std::string line;
    for (bool first = true; read_whole_line(pgn, line); first = false) {
      if (first && line.compare(0, UTF8_BOM.size(), UTF8_BOM) == 0) line.erase(0, UTF8_BOM.size());
      if (line[0] == '[') continue;  // tag pairs
      normalise_pgn_line(line);
      std::fputs(line.c_str(), tmp);
    }
    std::fclose(pgn);
    std::fclose(tmp);
    say("01.tmp generado");
    say("generando book.bin");
  } else {
    std::fclose(tmp);
  }

  create_book_file(settings.slots);
  tmp = std::fopen(TMP_NAME, "r");
  if (!tmp) return;
  std::string line;
  while (read_whole_line(tmp, line)) replay_book_line(line, settings.max_depth);
  std::fclose(tmp);
  std::remove(TMP_NAME);
  say("book.bin generado");
  say("01.tmp eliminado");
}
