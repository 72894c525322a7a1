// Searches on several threads: what they report and where they end.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "engine/bench.h"
#include "engine/engine.h"
#include "position/clock.h"
#include "position/movegen.h"
#include "position/position.h"

namespace {

struct Recorded {
  std::vector<ThinkingLine> lines;
  std::vector<std::vector<Move>> variations;
};

void record(void* context, const ThinkingLine& line) {
  auto& r = *static_cast<Recorded*>(context);
  r.lines.push_back(line);
  r.variations.push_back(line.variation);
}

bool is_legal(const char* fen, Move m) {
  Position pos(fen);
  generate_all(pos);
  bool found = false;
  for (int i = 0; i < pos.move_stack.count(); ++i) found |= pos.move_stack.at(i) == m;
  pos.move_stack.close_level();
  return found;
}

TEST(Threads, TwoThreadsEndAtTheDepthAndCountEveryNode) {
  for (const char* fen : BENCH_FENS) {
    Recorded r;
    const Position pos(fen);
    const BenchSearch run = bench_search(pos, 6, SearchReport{record, &r}, 2);
    ASSERT_FALSE(r.lines.empty()) << fen;
    EXPECT_TRUE(run.result.completed);
    EXPECT_EQ(r.lines.back().depth, 7) << fen;  // iterations 1 to 6
    EXPECT_TRUE(is_legal(fen, run.result.best)) << fen;
    EXPECT_EQ(run.result.best, r.variations.back()[0]);
    for (size_t i = 1; i < r.lines.size(); ++i) EXPECT_GE(r.lines[i].nodes, r.lines[i - 1].nodes);
    EXPECT_GE(run.result.nodes, r.lines.back().nodes);
  }
}

TEST(Threads, StopEndsEveryThread) {
  const Position pos(BENCH_FENS[5]);
  auto engine = std::make_unique<Engine>();
  engine_set_table(*engine, 1 << 16);
  engine->threads = 2;
  SearchLimits limits;  // no limit but the stop
  for (int round = 0; round < 3; ++round) {
    stop_search.store(0);
    SearchResult result;
    engine_start(
        *engine, pos, limits, {}, false,
        [](void* context, const SearchResult& r) { *static_cast<SearchResult*>(context) = r; },
        &result);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    engine_stop(*engine);
    engine_wait(*engine);
    EXPECT_TRUE(is_legal(BENCH_FENS[5], result.best));
    EXPECT_FALSE(result.completed);
    EXPECT_EQ(stop_search.load(), 0);  // the next search starts unstopped
  }
}

}  // namespace
