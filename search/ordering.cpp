#include "search/ordering.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "position/attacks.h"

namespace {

// Exchange values by piece kind; the king's outweighs any exchange.
constexpr int32_t EXCHANGE_VALUE[8] = {0, 100, 300, 300, 520, 980, 16000, 0};
constexpr int32_t PROMOTION_GAIN = 850;
constexpr int32_t LOSING_MARGIN = -50;
constexpr int32_t RECAPTURE_BONUS = 50;

template <typename Key>
Key* scratch(std::vector<Key>& keys, int n) {
  if (size_t(n) > keys.size()) keys.resize(size_t(n));
  return keys.data();
}

// Scores the moves, sending those whose key fails to the end; returns the
// number kept. A move swapped in from the end is examined in its turn.
template <typename KeyOf, typename Fails>
int partition(Move* moves, int32_t* keys, int n, KeyOf key_of, Fails fails) {
  int i = 0;
  while (i < n) {
    const int32_t k = key_of(moves[i]);
    if (fails(k)) {
      std::swap(moves[i], moves[n - 1]);
      --n;
    } else {
      keys[i++] = k;
    }
  }
  return n;
}

inline uint64_t history_of(const Position& pos, int side, Move m) {
  return pos.move_stack.history_score[side == 1 ? 0 : 1][m & 0xFFF];
}

// static_exchange_eval, expanded into each ordering loop.
[[gnu::always_inline]] inline int32_t exchange(const Position& pos, Move m) {
  // Castling moves only onto squares no enemy attacks; a Chess960 word's
  // target is the own rook's square, which is no capture.
  if (m & MOVE_CASTLE) return 0;
  const Square from = move_from(m), to = move_to(m);
  const Bitboard* p = pos.piece_bb;
  const unsigned mover = pos.mailbox[from];
  int32_t gain[34];  // at most 32 pieces take part, and the first entry
  gain[0] = EXCHANGE_VALUE[kind_of(pos.mailbox[to])];
  unsigned occupant = kind_of(mover);
  if (move_promotion(m)) {
    gain[0] += PROMOTION_GAIN;
    occupant = QUEEN;
  }
  // Sliders behind the moving piece join in; pieces uncovered later do not.
  Bitboard attackers = attackers_of(pos, to, pos.occ_all & ~square_bb(from));
  // The opponent answers first: without an answer the exchange is the
  // first capture alone.
  const bool mover_white = mover ? is_white_code(mover) : pos.side_to_move == 1;
  if (!(attackers & (mover_white ? pos.occ_black : pos.occ_white))) return gain[0];

  int side = mover_white ? 1 : 0;  // piece_bb offset of the side to capture next
  int d = 0;
  for (;;) {
    // The least valuable attacker of the side to capture, lowest square first.
    unsigned kind = PAWN;
    Bitboard b = attackers & p[side];
    while (!b && kind < KING) {
      ++kind;
      b = attackers & p[2 * (kind - 1) + side];
    }
    if (!b) break;
    const Square sq = lowest_bit(b);
    attackers &= ~square_bb(sq);
    gain[d + 1] = EXCHANGE_VALUE[occupant] - gain[d];
    occupant = kind;
    // A pawn recapturing onto the last rank promotes.
    if (kind == PAWN && (side == 0 ? (sq >= 8 && sq <= 15) : (sq >= 48 && sq <= 55))) {
      gain[d + 1] += PROMOTION_GAIN;
      occupant = QUEEN;
    }
    ++d;
    if (!attackers) break;
    side ^= 1;
  }
  for (int i = d; i >= 1; --i) gain[i - 1] = std::min(gain[i - 1], -gain[i]);
  return gain[0];
}

constexpr Bitboard FILE_A = 0x0101010101010101ull;
constexpr Bitboard FILE_H = FILE_A << 7;

// The squares the side not to move attacks as the board stands, and those its
// sliders attack.
struct EnemyReach {
  Bitboard all;
  Bitboard sliders;
};

EnemyReach enemy_reach(const Position& pos) {
  const Bitboard* p = pos.piece_bb;
  const Bitboard occ = pos.occ_all;
  const int e = pos.side_to_move == 1 ? 1 : 0;  // piece_bb offset of the enemy
  const Bitboard pawns = p[e];
  // A white pawn takes towards row 0, a black one towards row 7.
  Bitboard all = e == 0 ? ((pawns & ~FILE_A) >> 9) | ((pawns & ~FILE_H) >> 7)
                        : ((pawns & ~FILE_A) << 7) | ((pawns & ~FILE_H) << 9);
  for (Bitboard b = p[2 + e]; b;) all |= knight_attacks[pop_lowest(b)];
  for (Bitboard b = p[10 + e]; b;) all |= king_attacks[pop_lowest(b)];
  Bitboard sliders = 0;
  for (Bitboard b = p[4 + e] | p[8 + e]; b;) sliders |= bishop_attacks(pop_lowest(b), occ);
  for (Bitboard b = p[6 + e] | p[8 + e]; b;) sliders |= rook_attacks(pop_lowest(b), occ);
  return {all | sliders, sliders};
}

}  // namespace

int32_t static_exchange_eval(const Position& pos, Move m) { return exchange(pos, m); }

int order_good_captures(Position& pos, int begin, int end, Square last_to) {
  if (end <= begin) return begin;
  const int n = end - begin;
  Move* moves = &pos.move_stack.at(begin);
  int32_t* keys = scratch(pos.move_stack.score_keys, n);
  const int32_t lead = pos.material_balance() / 3;
  const int32_t material = lead > 0 ? lead : 0;
  const Position& cpos = pos;
  const int kept = partition(
      moves, keys, n,
      [&](Move m) {
        return exchange(cpos, m) + (move_to(m) == last_to ? RECAPTURE_BONUS : 0) +
               material;
      },
      [](int32_t k) { return k < LOSING_MARGIN; });
  shell_sort(moves, keys, kept);
  return begin + kept;
}

int order_quiet_moves(Position& pos, int begin, int end, int side) {
  if (end <= begin) return begin;
  const int n = end - begin;
  Move* moves = &pos.move_stack.at(begin);
  const Position& cpos = pos;
  // A quiet move of the side to move takes nothing, so its exchange is 0
  // unless the opponent can take on its target. Lifting the mover can open
  // only a line through its square: with the target unattacked and the
  // square left seen by no enemy slider, no enemy piece reaches the target.
  const EnemyReach reach = enemy_reach(pos);
  const int kept = partition(
      moves, scratch(pos.move_stack.score_keys, n), n,
      [&](Move m) {
        if (!(reach.all & square_bb(move_to(m))) && !(reach.sliders & square_bb(move_from(m))))
          return 0;
        return exchange(cpos, m);
      },
      [](int32_t k) { return k < LOSING_MARGIN; });
  uint64_t* keys = scratch(pos.move_stack.history_keys, n);
  for (int i = 0; i < kept; ++i) keys[i] = history_of(pos, side, moves[i]);
  shell_sort(moves, keys, kept);
  return begin + kept;
}

int order_losing_captures(Position& pos, int begin, int end) {
  if (end <= begin) return end;
  const int n = end - begin;
  Move* moves = &pos.move_stack.at(begin);
  int32_t* keys = scratch(pos.move_stack.score_keys, n);
  for (int i = 0; i < n; ++i) keys[i] = exchange(pos, moves[i]);
  shell_sort(moves, keys, n);
  return end;
}

int order_losing_quiets(Position& pos, int begin, int end) {
  if (end <= begin) return end;
  const int n = end - begin;
  Move* moves = &pos.move_stack.at(begin);
  uint64_t* keys = scratch(pos.move_stack.history_keys, n);
  for (int i = 0; i < n; ++i) keys[i] = history_of(pos, pos.side_to_move, moves[i]);
  shell_sort(moves, keys, n);
  return end;
}

int select_qsearch_captures(Position& pos, int begin, int end, int32_t stand_pat, int32_t alpha) {
  if (end <= begin) return begin;
  const int n = end - begin;
  Move* moves = &pos.move_stack.at(begin);
  int32_t* keys = scratch(pos.move_stack.score_keys, n);
  // A capture is worth a look only if it wins material and can reach alpha.
  const int64_t needed = int64_t(alpha) - stand_pat;
  const Position& cpos = pos;
  // No exchange ends above its first capture: when that falls short, the
  // capture fails whatever follows, and its exchange need not be played out.
  const int kept = partition(
      moves, keys, n,
      [&](Move m) {
        const int32_t first = EXCHANGE_VALUE[kind_of(cpos.mailbox[move_to(m)])] +
                              (move_promotion(m) ? PROMOTION_GAIN : 0);
        return first < needed ? std::numeric_limits<int32_t>::min()
                              : exchange(cpos, m);
      },
      [needed](int32_t k) { return k < 0 || k < needed; });
  shell_sort(moves, keys, kept);
  return begin + kept;
}
