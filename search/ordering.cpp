#include "search/ordering.h"

#include <algorithm>
#include <vector>

#include "position/attacks.h"

namespace {

constexpr int32_t SEE_VALUE[8] = {0, 100, 300, 300, 520, 980, 16000, 0};
constexpr int32_t PROMOTION_GAIN = 850;

// Keys of the range being ordered, shared by every call.
std::vector<int32_t> keys32;
std::vector<uint64_t> keys64;

template <typename Key>
Key* scratch(std::vector<Key>& v, int n) {
  if (v.size() < size_t(n)) v.resize(size_t(n));
  return v.data();
}

// Shell sort, keys descending; the gap shrinks by 5/11, and 2 to 4 go to 1.
template <typename Key>
void shell_sort(Move* moves, Key* key, int n) {
  for (int gap = n; gap > 0; gap = (gap >= 2 && gap <= 4) ? 1 : 5 * gap / 11) {
    for (int i = gap; i < n; ++i) {
      const Key k = key[i];
      const Move m = moves[i];
      int j = i;
      for (; j >= gap && k > key[j - gap]; j -= gap) {
        key[j] = key[j - gap];
        moves[j] = moves[j - gap];
      }
      key[j] = k;
      moves[j] = m;
    }
  }
}

// Drops the moves whose key fails to the end of the range (swapping in the
// last open move and looking at the same place again); returns the open end.
template <typename Key, typename Fails>
int partition(Move* moves, Key* key, int n, Fails fails) {
  int end = n;
  for (int i = 0; i < end;) {
    if (fails(key[i])) {
      --end;
      std::swap(moves[i], moves[end]);
      std::swap(key[i], key[end]);
    } else {
      ++i;
    }
  }
  return end;
}

Move* range(Position& pos, int begin) { return &pos.move_stack.at(begin); }

uint64_t history_of(const Position& pos, int side, Move m) {
  return pos.move_stack.history_score[side == 1 ? 0 : 1][m & 0xFFF];
}

}  // namespace

int32_t static_exchange_eval(const Position& pos, Move m) {
  const Square from = move_from(m), to = move_to(m);
  const unsigned mover = pos.mailbox[from];
  const bool white_moves = is_white_code(mover);
  int32_t gain[34];
  gain[0] = SEE_VALUE[kind_of(pos.mailbox[to])];
  unsigned occupant = kind_of(mover);
  if (move_promotion(m)) {
    gain[0] += PROMOTION_GAIN;
    occupant = QUEEN;
  }
  // Attackers are found once, through the vacated from-square only.
  Bitboard removed = square_bb(from);
  Bitboard attackers = attackers_of(pos, to, pos.occ_all & ~removed);
  if (!attackers) return gain[0];
  int d = 0;
  bool white = !white_moves;
  while (d < 32) {
    const int own = white ? 0 : 1;
    Square sq = -1;
    unsigned kind = 0;
    for (unsigned k = PAWN; k <= KING; ++k) {
      Bitboard b = attackers & pos.piece_bb[2 * (k - 1) + own];
      if (b) {
        sq = lowest_bit(b);
        kind = k;
        break;
      }
    }
    if (sq < 0) break;
    removed |= square_bb(sq);
    attackers &= ~removed;
    gain[d + 1] = SEE_VALUE[occupant] - gain[d];
    occupant = kind;
    // A pawn recapturing onto the last rank promotes.
    if (kind == PAWN && ((white && sq >= 8 && sq <= 15) || (!white && sq >= 48 && sq <= 55))) {
      gain[d + 1] += PROMOTION_GAIN;
      occupant = QUEEN;
    }
    ++d;
    white = !white;
    if (!attackers) break;
  }
  for (int i = d; i >= 1; --i) gain[i - 1] = std::min(gain[i - 1], -gain[i]);
  return gain[0];
}

int order_good_captures(Position& pos, int begin, int end, Square last_to) {
  const int n = end - begin;
  if (n <= 0) return begin;
  Move* moves = range(pos, begin);
  int32_t* key = scratch(keys32, n);
  // A side ahead in material keeps more exchanges among its good captures.
  const int32_t ahead = pos.material_balance() / 3;
  for (int i = 0; i < n; ++i) {
    key[i] = static_exchange_eval(pos, moves[i]);
    if (move_to(moves[i]) == last_to) key[i] += 50;  // a recapture
    if (ahead > 0) key[i] += ahead;
  }
  int kept = partition(moves, key, n, [](int32_t k) { return k < -50; });
  shell_sort(moves, key, kept);
  return begin + kept;
}

int order_quiet_moves(Position& pos, int begin, int end, int side) {
  const int n = end - begin;
  if (n <= 0) return begin;
  Move* moves = range(pos, begin);
  int32_t* key = scratch(keys32, n);
  for (int i = 0; i < n; ++i) key[i] = static_exchange_eval(pos, moves[i]);
  int kept = partition(moves, key, n, [](int32_t k) { return k < -50; });
  uint64_t* hist = scratch(keys64, kept);
  for (int i = 0; i < kept; ++i) hist[i] = history_of(pos, side, moves[i]);
  shell_sort(moves, hist, kept);
  return begin + kept;
}

int order_losing_captures(Position& pos, int begin, int end) {
  const int n = end - begin;
  if (n <= 0) return end;
  Move* moves = range(pos, begin);
  int32_t* key = scratch(keys32, n);
  for (int i = 0; i < n; ++i) key[i] = static_exchange_eval(pos, moves[i]);
  shell_sort(moves, key, n);
  return end;
}

int order_losing_quiets(Position& pos, int begin, int end) {
  const int n = end - begin;
  if (n <= 0) return end;
  Move* moves = range(pos, begin);
  uint64_t* hist = scratch(keys64, n);
  for (int i = 0; i < n; ++i) hist[i] = history_of(pos, pos.side_to_move, moves[i]);
  shell_sort(moves, hist, n);
  return end;
}

int select_qsearch_captures(Position& pos, int begin, int end, int32_t stand_pat,
                            int32_t alpha) {
  const int n = end - begin;
  if (n <= 0) return begin;
  Move* moves = range(pos, begin);
  int32_t* key = scratch(keys32, n);
  for (int i = 0; i < n; ++i) key[i] = static_exchange_eval(pos, moves[i]);
  const int32_t needed = alpha - stand_pat;
  int kept = partition(moves, key, n, [needed](int32_t k) { return k < 0 || k < needed; });
  shell_sort(moves, key, kept);
  return begin + kept;
}
