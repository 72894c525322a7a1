// kelo-tb probe DIR FEN: the score the engine's tablebase reader gives the
// position with ply 0 (positive a win for the side to move, negative a loss,
// 0 a draw), or -1 when the tables in DIR have no answer. With "-" for FEN
// the positions come from standard input, one FEN per line, and standard
// output holds exactly one score per line, a blank line's being -1; the
// set-up messages of an illegal FEN go to standard error.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "egdb/tb_probe.h"
#include "position/fen.h"
#include "position/init.h"
#include "position/position.h"
#include "tools/kelo-tb/commands.h"

namespace {

// Standard output carries only scores: the set-up messages of an illegal
// FEN, the lines the engine's interface would be shown, go to standard error.
void probe_one(const char* fen) {
  Position pos(fen);
  for (const std::string& problem : setup_problems(pos))
    std::fprintf(stderr, "tellusererror %s\n", problem.c_str());
  std::printf("%d\n", probe_tablebase(pos, 0));
}

// One line of any length without its line end; false at the end of input.
bool read_line(std::FILE* in, std::string& line) {
  line.clear();
  int c;
  while ((c = std::getc(in)) != EOF && c != '\n') line += char(c);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return c != EOF || !line.empty();
}

}  // namespace

int cmd_probe(int argc, char** argv) {
  if (argc != 2) {
    std::printf("usage: kelo-tb probe DIR FEN|-\n");
    return 2;
  }
  init_tables();
  TbError error;
  tb_init_reader(argv[0], error);
  if (error.failed()) {
    std::printf("%s\n", error.message.c_str());
    return 1;
  }
  std::unique_ptr<uint8_t[]> cache(new uint8_t[TB_CACHE_BYTES]);
  set_block_cache(cache.get(), TB_CACHE_BYTES);
  if (std::strcmp(argv[1], "-") != 0) {
    probe_one(argv[1]);
    return 0;
  }
  std::string line;
  while (read_line(stdin, line)) {
    if (line.empty()) {
      std::printf("-1\n");
    } else {
      probe_one(line.c_str());
    }
  }
  return 0;
}
