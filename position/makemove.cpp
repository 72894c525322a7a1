#include "position/makemove.h"

#include "position/make_unmake.h"

void make_move(Position& pos, Move m) {
  if (pos.side_to_move == 1)
    make_move_as<White>(pos, m);
  else
    make_move_as<Black>(pos, m);
}

void make_listed(Position& pos, int i) { make_move(pos, pos.move_stack.at(i)); }

void unmake_move(Position& pos) {
  if (pos.side_to_move == 1)
    unmake_move_as<Black>(pos);
  else
    unmake_move_as<White>(pos);
}

int32_t repetition_count(const Position& pos) {
  int i = pos.history.count - 2;
  if (i <= 1) return 1;
  int32_t n = 1;
  for (;;) {
    if (pos.history[i].hash_key == pos.hash_key) ++n;
    if (pos.history[i].fifty_count == 0) return n;
    if (n == 3) return 3;
    i -= 2;
    if (i <= 1) return n;
  }
}
