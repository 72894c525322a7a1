#include "position/perft.h"

#include <cstdio>

#include "position/clock.h"
#include "position/makemove.h"
#include "position/movegen.h"

int64_t perft(Position& pos, int32_t depth) {
  if (depth <= 0) return 1;  // a negative depth counts as 0
  generate_all(pos);
  int64_t sum = 0;
  for (int i = 0; i < pos.move_stack.count(); ++i) {
    make_listed(pos, i);
    sum += perft(pos, depth - 1);
    unmake_move(pos);
  }
  pos.move_stack.close_level();
  return sum;
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
