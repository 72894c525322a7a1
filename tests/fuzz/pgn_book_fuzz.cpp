// Feeds arbitrary text as a PGN file to the two stages of the book builder,
// as make_book runs them: the file is read in pieces of at most 2047 bytes,
// tag lines are skipped, each piece is rewritten in place, and every line of
// the rewritten text is then replayed as SAN from the initial position. The
// book file itself is left out (its counting is a fixed-size slot update
// tested elsewhere): the scratch directory holds no book.bin, so each count
// finds no file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "book/make_book.h"
#include "position/fen.h"
#include "position/init.h"
#include "position/movegen.h"

namespace {

std::filesystem::path scratch;

void remove_scratch() {
  std::error_code ec;
  std::filesystem::remove_all(scratch, ec);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  init_tables();
  std::string pattern = (std::filesystem::temp_directory_path() / "kelo-fuzz-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return 1;
  scratch = pattern;
  std::filesystem::current_path(scratch);
  std::atexit(remove_scratch);
  if (!std::freopen("/dev/null", "w", stdout)) return 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 16384) return 0;
  std::string rewritten;
  // Whole lines, up to and including a line end, as the file reader gives them.
  for (size_t at = 0; at < size;) {
    size_t end = at;
    while (end < size && data[end++] != '\n') {
    }
    std::string line(reinterpret_cast<const char*>(data) + at, end - at);
    at = end;
    if (line[0] == '[') continue;
    normalise_pgn_line(line);
    rewritten += line;
  }

  // Lines of any length, as read back from the temporary file.
  size_t at = 0;
  while (at < rewritten.size()) {
    size_t end = rewritten.find('\n', at);
    end = end == std::string::npos ? rewritten.size() : end + 1;
    std::string line = rewritten.substr(at, end - at);
    at = end;
    replay_book_line(line, BookSettings{}.max_depth);
  }

  // The SAN reader alone, on the raw tokens, for the start position.
  Position pos(START_FEN);
  std::string text(reinterpret_cast<const char*>(data), size < 64 ? size : 64);
  SanSquares san;
  parse_san_token(text.c_str(), pos, san);
  return 0;
}
