// kelo-tb probe DIR FEN: the score the engine's tablebase reader gives the
// position with ply 0 (positive a win for the side to move, negative a loss,
// 0 a draw), or -1 when the tables in DIR have no answer. With "-" for FEN
// the positions come from standard input, one FEN per line, one score each.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "egdb/tb_probe.h"
#include "position/init.h"
#include "position/position.h"
#include "tools/kelo-tb/commands.h"

namespace {

void probe_one(const char* fen) {
  Position pos(fen);
  std::printf("%d\n", probe_tablebase(pos, 0));
}

}  // namespace

int cmd_probe(int argc, char** argv) {
  if (argc != 2) {
    std::printf("usage: kelo-tb probe DIR FEN|-\n");
    return 2;
  }
  init_tables();
  tb_init_reader(argv[0]);
  std::unique_ptr<uint8_t[]> cache(new uint8_t[TB_CACHE_BYTES]);
  set_block_cache(cache.get(), TB_CACHE_BYTES);
  if (std::strcmp(argv[1], "-") != 0) {
    probe_one(argv[1]);
    return 0;
  }
  char line[512];
  while (std::fgets(line, sizeof line, stdin)) {
    line[std::strcspn(line, "\r\n")] = 0;
    if (line[0]) probe_one(line);
  }
  return 0;
}
