// KELO: a chess engine for xboard-protocol interfaces.
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <thread>

#include "egdb/kpk.h"
#include "frontend/command_queue.h"
#include "frontend/config.h"
#include "position/attacks.h"
#include "position/fen.h"
#include "position/position.h"
#include "search/tt.h"

int main() {
  std::printf("KELO 0.56Z, Brenu\n");
  std::fflush(stdout);

  init_geometry();
  load_kpk_bitbase();
  init_sliding_attacks();
  read_config();

  Position engine(START_FEN);
  tt_allocate(engine.tt, config.hash_buckets);

  std::setvbuf(stdout, nullptr, _IONBF, 0);
  try {
    std::thread(input_thread).detach();
  } catch (const std::system_error&) {
    std::fprintf(stderr, "KELO: cannot start the input thread\n");
    return 1;
  }
  command_loop(engine);
}
