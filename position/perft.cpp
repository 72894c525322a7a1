#include "position/perft.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "position/make_unmake.h"
#include "position/makemove.h"
#include "position/movegen.h"

namespace {

// perft for side Us to move, depth 1 or more.
template <Colour Us>
int64_t perft_as(Position& pos, int32_t depth) {
  constexpr Colour Them = opposite(Us);
  if (depth == 1) {
    // Every move the generator would list is legal: each is one leaf.
    const unsigned n = count_moves_as<Us>(pos);
    pos.node_count += n;
    return n;
  }
  generate_all_as<Us>(pos);
  MoveStack& ms = pos.move_stack;
  const int n = ms.count();
  int64_t sum = 0;
  for (int i = 0; i < n; ++i) {
    make_move_as<Us>(pos, ms.at(i));
    sum += perft_as<Them>(pos, depth - 1);
    unmake_move_as<Us>(pos);
  }
  ms.close_level();
  return sum;
}

// The moves of the position, in generation order.
std::vector<Move> legal_moves(Position& pos) {
  generate_all(pos);
  std::vector<Move> moves(size_t(pos.move_stack.count()));
  for (size_t i = 0; i < moves.size(); ++i) moves[i] = pos.move_stack.at(int(i));
  pos.move_stack.close_level();
  return moves;
}

// One piece of shared work: a root move and one reply to it.
struct Subtree {
  int32_t root;  // index of the root move
  Move reply;
  int64_t leaves = 0;
  uint64_t nodes = 0;  // below the reply
};

// Walks subtrees from the shared index until none is left, on a copy of the
// position of its own (the make and unmake of one walk change the copy).
void walk_subtrees(const Position& root, const std::vector<Move>& root_moves,
                   std::vector<Subtree>& work, std::atomic<size_t>& next, int32_t depth) {
  auto pos = std::make_unique<Position>();
  *pos = root;
  for (;;) {
    const size_t i = next.fetch_add(1, std::memory_order_relaxed);
    if (i >= work.size()) return;
    Subtree& t = work[i];
    make_move(*pos, root_moves[size_t(t.root)]);
    make_move(*pos, t.reply);
    const uint64_t before = pos->node_count;
    t.leaves = perft(*pos, depth - 2);
    t.nodes = pos->node_count - before;
    unmake_move(*pos);
    unmake_move(*pos);
  }
}

}  // namespace

int64_t perft(Position& pos, int32_t depth) {
  if (depth <= 0) return 1;  // a negative depth counts as 0
  return pos.side_to_move == 1 ? perft_as<White>(pos, depth) : perft_as<Black>(pos, depth);
}

std::vector<RootCount> perft_divide(Position& pos, int32_t depth, int32_t threads) {
  if (depth <= 0) return {};
  // Nodes are counted here by ply, as perft counts them; the makes and
  // unmakes that prepare the work count none.
  const uint64_t nodes = pos.node_count;
  const std::vector<Move> root_moves = legal_moves(pos);
  std::vector<RootCount> counts;
  for (Move m : root_moves) counts.push_back({m, 1});
  uint64_t counted = root_moves.size();
  if (depth == 1) {
    pos.node_count = nodes + counted;
    return counts;
  }

  // The work is shared by subtree of a root move and a reply: the root moves
  // alone are few and of very different sizes, and a thread would often be
  // left alone with the last large one.
  std::vector<Subtree> work;
  for (size_t r = 0; r < root_moves.size(); ++r) {
    make_move(pos, root_moves[r]);
    const std::vector<Move> replies = legal_moves(pos);
    unmake_move(pos);
    counts[r].leaves = int64_t(replies.size());
    counted += replies.size();
    for (Move reply : replies) work.push_back({int32_t(r), reply});
  }
  if (depth > 2) {
    std::atomic<size_t> next{0};
    const size_t helpers = std::min(size_t(std::max(threads, 1)) - 1, work.size());
    std::vector<std::thread> pool;
    for (size_t i = 0; i < helpers; ++i)
      pool.emplace_back(walk_subtrees, std::cref(pos), std::cref(root_moves), std::ref(work),
                        std::ref(next), depth);
    walk_subtrees(pos, root_moves, work, next, depth);
    for (std::thread& t : pool) t.join();

    for (RootCount& c : counts) c.leaves = 0;
    for (const Subtree& t : work) {
      counts[size_t(t.root)].leaves += t.leaves;
      counted += t.nodes;
    }
  }
  pos.node_count = nodes + counted;
  return counts;
}

int64_t perft(Position& pos, int32_t depth, int32_t threads) {
  if (threads <= 1 || depth < 3) return perft(pos, depth);
  int64_t sum = 0;
  for (const RootCount& c : perft_divide(pos, depth, threads)) sum += c.leaves;
  return sum;
}
