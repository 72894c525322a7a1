// Feeds arbitrary text to the FEN constructor, then walks the legal move tree
// two plies deep checking that every make and unmake keeps the incremental
// fields equal to a recomputation and restores the position exactly, that
// has_legal_move and count_moves agree with the generator and perft with the
// walk, and finally runs a two-ply search under a short watchdog.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "fuzz/watchdog.h"
#include "position/clock.h"
#include "position/fen.h"
#include "position/game_end.h"
#include "position/init.h"
#include "position/makemove.h"
#include "position/movegen.h"
#include "position/perft.h"
#include "search/search.h"
#include "search/tt.h"

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "fen_movegen: %s\n", what);
    __builtin_trap();
  }
}

struct Snapshot {
  uint32_t mailbox[64];
  Bitboard piece_bb[12];
  uint32_t castle_flags, ep_square, fifty_count;
  int32_t side_to_move, pst_white, pst_black;
  uint64_t hash_key;
  int32_t history_count, stack_level, stack_top;

  explicit Snapshot(const Position& p)
      : castle_flags(p.castle_flags),
        ep_square(p.ep_square),
        fifty_count(p.fifty_count),
        side_to_move(p.side_to_move),
        pst_white(p.pst_white),
        pst_black(p.pst_black),
        hash_key(p.hash_key),
        history_count(p.history.count),
        stack_level(p.move_stack.level),
        stack_top(p.move_stack.top) {
    std::memcpy(mailbox, p.mailbox, sizeof mailbox);
    std::memcpy(piece_bb, p.piece_bb, sizeof piece_bb);
  }
  bool same(const Position& p) const {
    Snapshot now(p);
    return std::memcmp(mailbox, now.mailbox, sizeof mailbox) == 0 &&
           std::memcmp(piece_bb, now.piece_bb, sizeof piece_bb) == 0 &&
           castle_flags == now.castle_flags && ep_square == now.ep_square &&
           fifty_count == now.fifty_count && side_to_move == now.side_to_move &&
           pst_white == now.pst_white && pst_black == now.pst_black &&
           hash_key == now.hash_key && history_count == now.history_count &&
           stack_level == now.stack_level && stack_top == now.stack_top;
  }
};

// Leaves below pos, each move made, checked and taken back. The full
// recomputation runs for the moves of the first ply; deeper moves are held to
// an exact restore, which keeps the executions fast.
int64_t walk(Position& pos, int depth, bool full) {
  if (depth == 0) return 1;
  const Snapshot before(pos);
  const unsigned any = has_legal_move(pos);
  generate_all(pos);
  const int n = pos.move_stack.count();
  check((n > 0) == (any != 0), "has_legal_move disagrees with generate_all");
  check(count_moves(pos) == unsigned(n), "count_moves disagrees with generate_all");
  int64_t leaves = 0;
  for (int i = 0; i < n; ++i) {
    make_listed(pos, i);
    if (full) check(position_consistent(pos), "inconsistent after make");
    leaves += walk(pos, depth - 1, false);
    unmake_move(pos);
    if (full) check(position_consistent(pos), "inconsistent after unmake");
  }
  pos.move_stack.close_level();
  check(before.same(pos), "make and unmake did not restore the position");
  return leaves;
}


}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  init_tables();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The interpreter hands the constructor at most a line of 255 characters.
  if (size > 255) return 0;
  const std::string fen(reinterpret_cast<const char*>(data), size);
  Position pos(fen.c_str());
  check(position_consistent(pos), "inconsistent after set-up");

  const int64_t leaves = walk(pos, 2, true);
  check(perft(pos, 2) == leaves, "perft differs from the checked walk");

  // Of the nine checks each gives at most one message; a diagram has 18 lines.
  check(setup_problems(pos).size() <= 9, "more set-up problems than checks");
  const std::string diagram = board_diagram(pos);
  check(std::count(diagram.begin(), diagram.end(), '\n') == 18, "the diagram is not 18 lines");
  game_result(pos);
  tt_allocate(pos.tt, 1 << 12);
  const Snapshot before(pos);
  stop_search.store(0);
  {
    Watchdog watchdog(50);
    search(pos, -SCORE_INFINITE, SCORE_INFINITE, 2 * ONE_PLY, 1, false);
  }
  stop_search.store(0);
  check(before.same(pos), "search did not restore the position");
  check(position_consistent(pos), "inconsistent after search");
  tt_release(pos.tt);
  return 0;
}
