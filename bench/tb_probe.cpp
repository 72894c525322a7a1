// The tablebase reader: "genkpk" from compressed and plain tables (cold
// cache each time), and random probes per second through the block cache
// over kqkr. The tables are solved here first (kpk, kqk, krk, kqkr).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "egdb/kpk.h"
#include "egdb/tb_encode.h"
#include "egdb/tb_generate.h"
#include "egdb/tb_probe.h"
#include "position/init.h"
#include "position/position.h"

namespace fs = std::filesystem;

namespace {

fs::path root;

void write_file(const fs::path& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary);
  out.write(static_cast<const char*>(data), std::streamsize(size));
}

// plain/TB holds NAME.nbw files, packed/TB NAME.nbw.emd files.
bool make_tables() {
  root = fs::temp_directory_path() / ("kelo_bench_tb_" + std::to_string(::getpid()));
  fs::create_directories(root / "plain" / "TB");
  fs::create_directories(root / "packed" / "TB");
  static TbSolved solved;
  for (const char* name : {"kpk", "kqk", "krk", "kqkr"}) {
    int cls = tb_class_by_name(name);
    std::string error;
    if (!tb_generate_class(solved, cls, error)) return false;
    for (int side = 0; side < 2; ++side) {
      std::string file = std::string(name) + (side ? ".nbb" : ".nbw");
      const std::vector<int8_t>& t = solved.table[cls][side];
      write_file(root / "plain" / "TB" / file, t.data(), t.size());
      std::vector<uint8_t> packed;
      if (tb_encode(reinterpret_cast<const uint8_t*>(t.data()), t.size(), packed)) return false;
      write_file(root / "packed" / "TB" / (file + ".emd"), packed.data(), packed.size());
    }
  }
  return true;
}

// Runs f with standard output sent to /dev/null.
template <typename F>
void quietly(F f) {
  std::fflush(stdout);
  int saved = dup(1);
  int null = open("/dev/null", O_WRONLY);
  dup2(null, 1);
  f();
  std::fflush(stdout);
  dup2(saved, 1);
  close(null);
  close(saved);
}

void BM_Genkpk(benchmark::State& state, const char* form) {
  fs::path old = fs::current_path();
  fs::current_path(root / form);
  for (auto _ : state) {
    tb_max_pieces = 0;  // registers the tables and empties the cache again
    quietly(generate_kpk_bitbase);
  }
  fs::current_path(old);
  state.counters["probes_per_s"] =
      benchmark::Counter(749'952.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}

// Random legal kqkr placements (engine squares), either side to move.
struct Placement {
  int wk, wq, bk, br, stm;
};
std::vector<Placement> placements() {
  std::vector<Placement> out;
  std::mt19937 rng(5);
  Position pos;
  while (out.size() < 200'000) {
    Placement p{int(rng() % 64), int(rng() % 64), int(rng() % 64), int(rng() % 64), int(rng() % 2)};
    if (p.wk == p.wq || p.wk == p.bk || p.wk == p.br || p.wq == p.bk || p.wq == p.br || p.bk == p.br)
      continue;
    out.push_back(p);
  }
  return out;
}

void BM_RandomProbes(benchmark::State& state, const char* form) {
  static const std::vector<Placement> list = placements();
  TbError error;
  tb_init_reader((root / form / "TB").string().c_str(), error);
  if (error.failed()) {
    state.SkipWithError(error.message.c_str());
    return;
  }
  static std::vector<uint8_t> area(TB_CACHE_BYTES);
  set_block_cache(area.data(), area.size());
  Position pos;
  size_t i = 0;
  long answered = 0;
  for (auto _ : state) {
    const Placement& p = list[i++ % list.size()];
    for (Bitboard& b : pos.piece_bb) b = 0;
    for (uint32_t& m : pos.mailbox) m = EMPTY;
    pos.bb(W_KING) = square_bb(p.wk);
    pos.bb(W_QUEEN) = square_bb(p.wq);
    pos.bb(B_KING) = square_bb(p.bk);
    pos.bb(B_ROOK) = square_bb(p.br);
    pos.mailbox[p.wk] = W_KING;
    pos.mailbox[p.wq] = W_QUEEN;
    pos.mailbox[p.bk] = B_KING;
    pos.mailbox[p.br] = B_ROOK;
    pos.occ_white = square_bb(p.wk) | square_bb(p.wq);
    pos.occ_black = square_bb(p.bk) | square_bb(p.br);
    pos.occ_all = pos.occ_white | pos.occ_black;
    pos.side_to_move = p.stm ? White : Black;
    pos.ep_square = 0;
    int score = probe_tablebase(pos, 0);
    answered += score != -1;
    benchmark::DoNotOptimize(score);
  }
  state.SetItemsProcessed(int64_t(state.iterations()));
  state.counters["answered"] = double(answered) / double(state.iterations());
}

}  // namespace

int main(int argc, char** argv) {
  init_tables();
  if (!make_tables()) {
    std::fprintf(stderr, "cannot solve the tables\n");
    return 1;
  }
  for (const char* form : {"packed", "plain"}) {
    benchmark::RegisterBenchmark((std::string("genkpk/") + form).c_str(), BM_Genkpk, form)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true);
    benchmark::RegisterBenchmark((std::string("probe_kqkr/") + form).c_str(), BM_RandomProbes, form)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(root);
}
