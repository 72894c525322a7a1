// Solving every class of three and four pieces, single-threaded, with the
// process's peak memory; and the speed of one index function.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <memory>
#include <string>

#include "egdb/tb_generate.h"
#include "egdb/tb_index.h"

namespace {

double peak_rss_mb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

void BM_GenerateAllThreeAndFourPieces(benchmark::State& state) {
  for (auto _ : state) {
    auto solved = std::make_unique<TbSolved>();
    std::string error;
    for (int c = 1; c <= TB_GENERATE_MAX_CLASS; ++c)
      if (!tb_generate_class(*solved, c, error)) state.SkipWithError(error.c_str());
    uint64_t bytes = 0;
    for (int c = 1; c <= TB_GENERATE_MAX_CLASS; ++c) bytes += solved->table[c][0].size() + solved->table[c][1].size();
    state.counters["table_bytes"] = double(bytes);
    // The kpk figure the README quotes.
    long wins = 0;
    for (int8_t b : solved->table[1][0]) wins += b > 0 || b == -128;
    state.counters["kpk_white_wins"] = double(wins);
  }
  state.counters["peak_rss_MB"] = peak_rss_mb();
}
BENCHMARK(BM_GenerateAllThreeAndFourPieces)->Iterations(1)->Unit(benchmark::kSecond);

void BM_IndexKqrkq(benchmark::State& state) {
  init_tb_index_tables();
  TbIndexFunction f = tb_index_functions[105][0];
  TbPieceList white{{6, 5, 4, 0}, {54, 51, 32, 0}}, black{{6, 5, 0, 0}, {10, 23, 0, 0}};
  uint32_t sum = 0;
  for (auto _ : state) {
    white.square[0] = (white.square[0] + 1) & 63;
    sum += f(white, black, TB_NO_EP, 0);
  }
  benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_IndexKqrkq);

}  // namespace

BENCHMARK_MAIN();
