// KELO: a chess engine for xboard and UCI interfaces.
//   kelo               the engine, on standard input and output
//   kelo bench [N [T]] the bench positions to N iterations (8) on T threads
//                      (1), then "NODES nodes NPS nps"
//   kelo bench modern [N [T]]  the same in the modern style (12 iterations)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

#include "egdb/kpk.h"
#include "engine/bench.h"
#include "frontend/command_queue.h"
#include "frontend/config.h"
#include "frontend/session_ops.h"
#include "position/fen.h"
#include "frontend/session.h"
#include "position/attacks.h"
#include "position/init.h"
#include "position/text.h"

namespace {

int bench(int iterations, int threads, Style style) {
  uint64_t total = 0;
  double seconds = 0;
  for (int i = 0; i < BENCH_POSITIONS; ++i) {
    const Position pos(BENCH_FENS[i]);
    // The search's own wall time: the table's allocation is not counted.
    const BenchSearch run = bench_search(pos, iterations, {}, threads, style);
    const double s = run.seconds;
    total += run.nodes;
    seconds += s;
    std::printf("position %d: %llu nodes %.0f ms %s\n", i + 1, (unsigned long long)run.nodes,
                s * 1000, BENCH_FENS[i]);
  }
  std::printf("%llu nodes %.0f nps\n", (unsigned long long)total,
              seconds > 0 ? double(total) / seconds : 0.0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "bench") == 0) {
    init_tables();
    const bool modern = argc >= 3 && std::strcmp(argv[2], "modern") == 0;
    const int at = modern ? 3 : 2;  // where the counts begin
    int iterations = modern ? MODERN_BENCH_ITERATIONS : BENCH_ITERATIONS;
    if (argc >= at + 1) iterations = clamp32(read_decimal(argv[at]), 1, 63);
    const int threads = argc >= at + 2 ? clamp32(read_decimal(argv[at + 1]), 1, MAX_THREADS) : 1;
    return bench(iterations, threads, modern ? Style::MODERN : Style::CLASSIC);
  }

  std::printf("KELO 0.56Z, Brenu\n");
  std::fflush(stdout);

  init_geometry();
  load_kpk_bitbase();
  init_sliding_attacks();
  read_config();

  auto session = std::make_unique<Session>();
  session->iteration_limit = config.max_depth_search;
  session->settings = config.settings;
  for (const std::string& problem : apply_start_settings(*session))
    std::printf("tellusererror %s\n", problem.c_str());
  engine_set_table(session->engine, config.hash_buckets);

  std::setvbuf(stdout, nullptr, _IONBF, 0);
  try {
    std::thread(input_thread, session.get()).detach();
  } catch (const std::system_error&) {
    std::fprintf(stderr, "KELO: cannot start the input thread\n");
    return 1;
  }
  command_loop(*session);
}
