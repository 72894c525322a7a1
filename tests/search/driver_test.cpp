#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "position/fen.h"
#include "position/movetext.h"
#include "position/clock.h"
#include "position/makemove.h"
#include "position/movegen.h"
#include "search/busy.h"
#include "search/driver.h"
#include "search/search_setup.h"
#include "search/tt.h"

namespace {

const char* KIWIPETE = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";

struct Recorded {
  std::vector<int> depths;
  std::vector<std::vector<Move>> variations;
  std::vector<int> scores;
  std::vector<int> ranks;
};

void record(void* context, const ThinkingLine& line) {
  auto* r = static_cast<Recorded*>(context);
  r->depths.push_back(line.depth);
  r->variations.push_back(line.variation);
  r->scores.push_back(line.score);
  r->ranks.push_back(line.pv_index);
}

SearchLimits iterations(int n) {
  SearchLimits limits;
  limits.iteration_limit = n + 1;
  return limits;
}

// Whether the side to move has the move named by text.
bool has_move(Position& pos, const std::string& text) {
  generate_all(pos);
  bool found = false;
  for (int i = 0; i < pos.move_stack.count(); ++i)
    if (move_text(pos.move_stack.at(i)) == text) found = true;
  pos.move_stack.close_level();
  return found;
}

// A search to the iteration limit reports its lines and plays nothing: the
// board, the game and the move stack are as before, the flag is down, and
// the expected reply is the second move of the best move's last variation.
TEST(SearchRoot, RunsToTheLimitAndLeavesThePosition) {
  auto p = setup_position(KIWIPETE);
  const uint64_t key = p->hash_key;
  Recorded r;
  const SearchResult result = search_root(*p, iterations(4), SearchReport{record, &r});
  ASSERT_FALSE(r.depths.empty());
  EXPECT_EQ(r.depths.front(), 2);
  EXPECT_EQ(r.depths.back(), 5);
  EXPECT_TRUE(result.completed);
  EXPECT_GT(result.nodes, 0u);
  EXPECT_EQ(result.best, r.variations.back()[0]);
  ASSERT_GE(r.variations.back().size(), 2u);
  EXPECT_EQ(result.ponder, r.variations.back()[1]);
  EXPECT_EQ(p->hash_key, key);
  EXPECT_EQ(p->history.count, 0);
  EXPECT_EQ(p->move_stack.level, 1);
  EXPECT_EQ(p->node_count, 0u);
  EXPECT_EQ(stop_search.load(), 0);
}

// Several best lines: every iteration reports the K best root moves, ranked
// 1 to K, best first, with different first moves, K capped by the root
// moves; the move played is the deepest best line's. The progress record
// shows the last iteration's depth and root.
TEST(SearchRoot, SeveralBestLinesEachIteration) {
  for (const int wanted : {3, 8}) {
    auto p = setup_position(KIWIPETE);
    SearchLimits limits = iterations(4);
    limits.multi_pv = wanted;
    // With eight wanted of five allowed, five lines.
    if (wanted == 8)
      for (const char* m : {"e2a6", "d5e6", "e1g1", "a2a3", "f3f6"})
        limits.root_moves.push_back(legal_move_named(*p, m));
    const size_t k = wanted == 8 ? 5 : 3;
    SearchProgress progress;
    limits.progress = &progress;
    Recorded r;
    const SearchResult result = search_root(*p, limits, SearchReport{record, &r});
    ASSERT_EQ(r.depths.size(), 4 * k);
    for (size_t i = 0; i < r.depths.size(); i += k) {
      for (size_t j = 0; j < k; ++j) {
        EXPECT_EQ(r.depths[i + j], r.depths[i]);
        EXPECT_EQ(r.ranks[i + j], int(j + 1));
        if (j > 0) {
          EXPECT_GE(r.scores[i + j - 1], r.scores[i + j]);
        }
        for (size_t l = 0; l < j; ++l) EXPECT_NE(r.variations[i + l][0], r.variations[i + j][0]);
      }
    }
    EXPECT_EQ(result.best, r.variations[r.depths.size() - k][0]);
    EXPECT_EQ(result.score, r.scores[r.depths.size() - k]);
    EXPECT_EQ(progress.depth.load(), 5);
    EXPECT_EQ(progress.total.load(), int(wanted == 8 ? 5 : 48));
    EXPECT_EQ(progress.searched.load(), progress.total.load() - 1);
  }
  // Two lines tied on the best score: the move played is still the first
  // line's, and the second line's is handed back beside it.
  auto start = setup_position(START_FEN);
  SearchLimits tied = iterations(1);
  tied.multi_pv = 2;
  Recorded r;
  const SearchResult result = search_root(*start, tied, SearchReport{record, &r});
  ASSERT_EQ(r.scores.size(), 2u);
  EXPECT_EQ(r.scores[0], r.scores[1]);
  EXPECT_EQ(result.best, r.variations[0][0]);
  EXPECT_EQ(result.second, r.variations[1][0]);
}

// A stop raised before the search starts (the caller did not clear it) ends
// it at once with the first generated move, reported as stopped.
TEST(SearchRoot, StopBeforeTheStartEndsItAtOnce) {
  auto p = setup_position(START_FEN);
  raise_stop();
  Recorded r;
  const SearchResult result = search_root(*p, iterations(6), SearchReport{record, &r});
  EXPECT_FALSE(result.completed);
  EXPECT_TRUE(r.depths.empty());
  generate_all(*p);
  EXPECT_EQ(result.best, p->move_stack.at(0));
  p->move_stack.close_level();
  EXPECT_EQ(stop_search.load(), 0);
}

// Mate, stalemate and a side to move without king or men leave nothing to
// search. A single legal move is played at once, or searched when asked.
TEST(SearchRoot, PositionsWithoutASearch) {
  for (const char* fen : {"rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3",
                          "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", "4k3/8/8/8/8/8/8/8 w - - 0 1"}) {
    auto p = setup_position(fen);
    Recorded r;
    const SearchResult result = search_root(*p, iterations(3), SearchReport{record, &r});
    EXPECT_EQ(result.best, 0u) << fen;
    EXPECT_TRUE(r.depths.empty()) << fen;
    EXPECT_EQ(p->move_stack.level, 1);
  }
  auto p = setup_position("7k/8/8/8/8/8/6q1/7K w - - 0 1");  // Kxg2 only
  Recorded r;
  SearchResult result = search_root(*p, iterations(3), SearchReport{record, &r});
  EXPECT_EQ(move_text(result.best), "h1g2");
  EXPECT_TRUE(r.depths.empty());
  SearchLimits analysis = iterations(3);
  analysis.search_single_move = true;
  result = search_root(*p, analysis, SearchReport{record, &r});
  EXPECT_EQ(move_text(result.best), "h1g2");
  ASSERT_FALSE(r.depths.empty());
  EXPECT_EQ(r.depths.back(), 4);
}

// A node limit stops the search soon after it is reached; the same search
// without it goes on.
TEST(SearchRoot, NodeLimitStopsSoonAfterIt) {
  auto p = setup_position(KIWIPETE);
  SearchLimits limits = iterations(20);
  limits.node_limit = 20000;
  const SearchResult result = search_root(*p, limits, {});
  EXPECT_FALSE(result.completed);
  EXPECT_GE(result.nodes, 20000u);
  EXPECT_LT(result.nodes, 20000u + 5000u);
  EXPECT_EQ(stop_search.load(), 0);
  EXPECT_EQ(p->node_limit, UINT64_MAX);
}

// The variation begins with the root move given, follows the table from the
// position after it, and leaves the position and the node count untouched.
TEST(Variation, RootMoveFirstThenTheTableWithoutCountingNodes) {
  auto p = setup_position(KIWIPETE);
  search_root(*p, iterations(4), {});  // fills the table
  generate_all(*p);
  ASSERT_GT(p->move_stack.count(), 1);
  const Move root = p->move_stack.at(1);
  p->move_stack.close_level();

  const uint64_t key = p->hash_key;
  p->node_count = 4321;
  const std::vector<Move> moves = collect_variation(*p, root, 6);
  EXPECT_EQ(p->node_count, 4321u);
  EXPECT_EQ(p->hash_key, key);
  EXPECT_EQ(p->history.count, 0);
  EXPECT_EQ(p->move_stack.level, 1);
  ASSERT_GT(moves.size(), 1u);
  EXPECT_EQ(moves[0], root);
  EXPECT_LE(moves.size(), 6u);
  for (Move m : moves) {
    ASSERT_TRUE(has_move(*p, move_text(m)));
    make_move(*p, m);
  }

  // An empty table: the root move alone.
  auto fresh = setup_position(KIWIPETE);
  generate_all(*fresh);
  const Move first = fresh->move_stack.at(0);
  fresh->move_stack.close_level();
  EXPECT_EQ(collect_variation(*fresh, first, 6), std::vector<Move>{first});
  EXPECT_EQ(fresh->node_count, 0u);
}

}  // namespace

namespace {

// Marks every move of the position, and every reply to each, as another
// thread's: all but the first move of each such node wait for the end.
void mark_all_busy(Position& pos, BusyMoves& busy) {
  generate_all(pos);
  for (int i = 0; i < pos.move_stack.count(); ++i) {
    const Move m = pos.move_stack.at(i);
    busy_start(busy, busy_tag(pos.hash_key, m));
    make_move(pos, m);
    generate_all(pos);
    for (int j = 0; j < pos.move_stack.count(); ++j)
      busy_start(busy, busy_tag(pos.hash_key, pos.move_stack.at(j)));
    pos.move_stack.close_level();
    unmake_move(pos);
  }
  pos.move_stack.close_level();
}

}  // namespace

// With every move marked as another thread's, the search still finds the
// mate at its distance, and it takes back its own marks only: the other
// thread's stay.
TEST(SharedSearch, MovesBusyElsewhereKeepTheirMarks) {
  // A quiet mate in two (Kf7 Kh7 Rh1#), out of sight of the first two
  // iterations: they leave it anywhere in the list.
  const char* fen = "7k/8/5K2/8/8/8/8/6R1 w - - 0 1";
  auto alone = setup_position(fen);
  const SearchResult expected = search_root(*alone, iterations(5), SearchReport{});
  ASSERT_GT(expected.score, MATE_BOUND);

  auto shared = setup_position(fen);
  auto share = std::make_unique<SearchShare>();
  BusyMoves* busy = &share->moves;
  mark_all_busy(*shared, *busy);
  auto marked = std::make_unique<BusyMoves>();
  for (size_t i = 0; i < busy->slots.size(); ++i) marked->slots[i].store(busy->slots[i].load());
  shared->share = share.get();
  const SearchResult result = search_root(*shared, iterations(5), SearchReport{});
  EXPECT_EQ(result.score, expected.score);
  for (size_t i = 0; i < busy->slots.size(); ++i)
    EXPECT_EQ(busy->slots[i].load(), marked->slots[i].load()) << i;
}

// An iteration another thread has finished stands for the main search's
// own: the search goes on after it, and plays its move and expected reply
// when it was the last, even a move the search alone would not choose (the
// last generated one here).
TEST(SharedSearch, AnIterationFinishedElsewhereIsTakenOver) {
  auto alone = setup_position(KIWIPETE);
  const SearchResult own = search_root(*alone, iterations(3), SearchReport{});

  auto p = setup_position(KIWIPETE);
  generate_all(*p);
  std::vector<Move> line;
  for (int i = p->move_stack.count() - 1; i >= 0 && line.empty(); --i)
    if (p->move_stack.at(i) != own.best) line.push_back(p->move_stack.at(i));
  p->move_stack.close_level();
  make_move(*p, line[0]);
  generate_all(*p);
  line.push_back(p->move_stack.at(0));
  p->move_stack.close_level();
  unmake_move(*p);

  auto share = std::make_unique<SearchShare>();
  share->finished.store(3);
  share->score = 123;
  share->variation = line;
  p->share = share.get();
  Recorded r;
  const SearchResult result = search_root(*p, iterations(3), SearchReport{record, &r});
  EXPECT_TRUE(result.completed);
  EXPECT_EQ(result.best, line[0]);
  EXPECT_EQ(result.ponder, line[1]);
  EXPECT_EQ(result.score, 123);
  ASSERT_FALSE(r.depths.empty());
  EXPECT_EQ(r.depths.back(), 4);
  EXPECT_EQ(r.variations.back(), line);
}
