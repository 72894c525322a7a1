#include "position/perft.h"

#include <cstdio>

#include "position/clock.h"
#include "position/make_unmake.h"
#include "position/movegen.h"

namespace {

// perft for side Us to move, depth 1 or more. The last ply makes and unmakes
// each move in a loop of its own, as the recursion would with depth 0 below.
template <Colour Us>
int64_t perft_as(Position& pos, int32_t depth) {
  constexpr Colour Them = opposite(Us);
  generate_all_as<Us>(pos);
  MoveStack& ms = pos.move_stack;
  int64_t sum = 0;
  if (depth == 1) {
    // Nothing below generates, so the list stays where it is and as long.
    const Move* const list = &ms.at(0);
    const int n = ms.count();
    for (const Move* m = list; m != list + n; ++m) {
      make_move_as<Us, false>(pos, *m);
      unmake_move_as<Us>(pos);
    }
    pos.node_count += uint64_t(n);
    sum = n;
  } else {
    for (int i = 0; i < ms.count(); ++i) {
      make_move_as<Us>(pos, ms.at(i));
      sum += perft_as<Them>(pos, depth - 1);
      unmake_move_as<Us>(pos);
    }
  }
  ms.close_level();
  return sum;
}

}  // namespace

int64_t perft(Position& pos, int32_t depth) {
  if (depth <= 0) return 1;  // a negative depth counts as 0
  return pos.side_to_move == 1 ? perft_as<White>(pos, depth) : perft_as<Black>(pos, depth);
}

void perft_command(Position& pos, int32_t depth) {
  int64_t t0 = now_ms();
  int64_t n = perft(pos, depth);
  int64_t elapsed = now_ms() - t0;
  std::printf("PERFT:%lli\n", static_cast<long long>(n));
  if (elapsed != 0) {
    std::printf("TIME:%lli.%lli\n", static_cast<long long>(elapsed / 1000),
                static_cast<long long>(elapsed % 1000));
  }
  std::fflush(stdout);
}
