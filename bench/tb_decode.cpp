// Decoding throughput of compressed tables, in decoded bytes per second.
// With KELO_TB_DIR set, the plain 4-piece tables (names of five letters such
// as kqkr.nbw) found there are compressed and decoded; otherwise synthetic
// tables of the same shape.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "egdb/tb_decompress.h"
#include "egdb/tb_encode.h"
#include "tests/support/tb_synthetic.h"

namespace {

struct Loaded {
  std::FILE* file;
  std::unique_ptr<TbCompressedFile> tb;
};

std::vector<Loaded>& tables() {
  static std::vector<Loaded> loaded;
  if (!loaded.empty()) return loaded;
  std::vector<std::vector<uint8_t>> plain;
  if (const char* dir = std::getenv("KELO_TB_DIR")) {
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
      const auto ext = e.path().extension();
      if ((ext == ".nbw" || ext == ".nbb") && e.path().stem().string().size() == 4) {
        std::ifstream in(e.path(), std::ios::binary);
        plain.emplace_back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      }
    }
  }
  if (plain.empty())
    for (uint32_t s = 1; s <= 4; ++s) plain.push_back(synthetic_table(1600000, s));
  for (const auto& p : plain) {
    std::vector<uint8_t> packed;
    if (p.empty() || tb_encode(p.data(), p.size(), packed)) continue;
    Loaded l{std::tmpfile(), nullptr};
    std::fwrite(packed.data(), 1, packed.size(), l.file);
    std::rewind(l.file);
    if (tb_read_header(l.file, l.tb) == 0) loaded.push_back(std::move(l));
  }
  return loaded;
}

void BM_DecodeAllBlocks(benchmark::State& state) {
  auto& all = tables();
  auto work = std::make_unique<TbDecodeBlock>();
  std::vector<uint8_t> out(TB_BLOCK_SIZE + 36);
  work->output = out.data();
  work->output_capacity = uint32_t(out.size());
  int64_t bytes = 0;
  for (auto _ : state) {
    for (auto& t : all)
      for (uint32_t b = 0; b < t.tb->block_count; ++b) {
        if (tb_read_block(t.file, *t.tb, b, *work) || tb_decode_block(*t.tb, *work)) {
          state.SkipWithError("decode failed");
          return;
        }
        bytes += work->expected;
      }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_DecodeAllBlocks)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
