// The exchange evaluation and the quiescence selection against plain
// reference versions written straight from the swap algorithm: every move of
// many positions (the perft suite and random games from it) must score the
// same, and the selection must keep the same moves in the same order. The
// fast version skips work (exchanges nobody answers, lookups of absent
// sliders, captures that cannot reach alpha); the results may not move. The
// same walk checks the king guard a node shares between its stages.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "position/attacks.h"
#include "position/makemove.h"
#include "position/movegen.h"
#include "search/ordering.h"
#include "search/search.h"

namespace {

constexpr int32_t VALUE[8] = {0, 100, 300, 300, 520, 980, 16000, 0};

// Attackers by walking every piece of the board.
Bitboard reference_attackers(const Position& pos, Square sq, Bitboard occ) {
  Bitboard result = 0;
  for (Square s = 0; s < 64; ++s) {
    const unsigned code = pos.mailbox[s];
    if (!code || !(occ & square_bb(s))) continue;
    Bitboard reach = 0;
    switch (kind_of(code)) {
      case PAWN: reach = is_white_code(code) ? pawn_attacks_white[s] : pawn_attacks_black[s]; break;
      case KNIGHT: reach = knight_attacks[s]; break;
      case BISHOP: reach = bishop_attacks(s, occ); break;
      case ROOK: reach = rook_attacks(s, occ); break;
      case QUEEN: reach = queen_attacks(s, occ); break;
      case KING: reach = king_attacks[s]; break;
    }
    if (reach & square_bb(sq)) result |= square_bb(s);
  }
  return result;
}

// The swap algorithm step by step, with the gain list of every capture.
int32_t reference_exchange(const Position& pos, Move m) {
  const Square from = move_from(m), to = move_to(m);
  std::vector<int32_t> gain{VALUE[kind_of(pos.mailbox[to])]};
  unsigned occupant = kind_of(pos.mailbox[from]);
  if (move_promotion(m)) {
    gain[0] += 850;
    occupant = QUEEN;
  }
  Bitboard attackers = reference_attackers(pos, to, pos.occ_all & ~square_bb(from));
  bool white = pos.mailbox[from] ? is_white_code(pos.mailbox[from]) : pos.side_to_move == 1;
  for (;;) {
    white = !white;  // the other side captures next
    Square best = -1;
    for (unsigned kind = PAWN; kind <= KING && best < 0; ++kind)
      for (Square s = 0; s < 64 && best < 0; ++s)
        if ((attackers & square_bb(s)) && pos.mailbox[s] == make_piece(white ? White : Black, kind))
          best = s;
    if (best < 0) break;
    attackers &= ~square_bb(best);
    gain.push_back(VALUE[occupant] - gain.back());
    occupant = kind_of(pos.mailbox[best]);
    const bool promotes = occupant == PAWN && (white ? row_of(best) == 1 : row_of(best) == 6);
    if (promotes) {
      gain.back() += 850;
      occupant = QUEEN;
    }
    if (!attackers) break;
  }
  for (size_t i = gain.size() - 1; i >= 1; --i) gain[i - 1] = std::min(gain[i - 1], -gain[i]);
  return gain[0];
}

// The shell sort as the ordering describes it, by swaps: highest key first,
// gaps n, then 5 * gap / 11, with 1 after 2 to 4.
template <typename Key>
void reference_sort(std::vector<Move>& moves, std::vector<Key>& keys, int n) {
  for (int gap = n; gap > 0; gap = (gap >= 2 && gap <= 4) ? 1 : 5 * gap / 11)
    for (int i = gap; i < n; ++i)
      for (int j = i; j >= gap && keys[size_t(j)] > keys[size_t(j - gap)]; j -= gap) {
        std::swap(keys[size_t(j)], keys[size_t(j - gap)]);
        std::swap(moves[size_t(j)], moves[size_t(j - gap)]);
      }
}

// Partition by the exchange score, then the shell sort, as the ordering
// describes them, with every capture's exchange played out.
std::vector<Move> reference_selection(const Position& pos, std::vector<Move> moves,
                                      int32_t stand_pat, int32_t alpha) {
  std::vector<int32_t> keys(moves.size());
  int n = int(moves.size());
  for (int i = 0; i < n;) {
    const int32_t k = reference_exchange(pos, moves[size_t(i)]);
    if (k < 0 || int64_t(k) < int64_t(alpha) - stand_pat) {
      std::swap(moves[size_t(i)], moves[size_t(n - 1)]);
      --n;
    } else {
      keys[size_t(i++)] = k;
    }
  }
  reference_sort(moves, keys, n);
  moves.resize(size_t(n));
  return moves;
}

// The quiet ordering as described: moves losing more than half a pawn by the
// exchange go last, the rest are sorted by their history counters.
std::vector<Move> reference_quiet_order(const Position& pos, std::vector<Move> moves, int side) {
  std::vector<uint64_t> keys(moves.size());
  int n = int(moves.size());
  for (int i = 0; i < n;) {
    if (reference_exchange(pos, moves[size_t(i)]) < -50) {
      std::swap(moves[size_t(i)], moves[size_t(n - 1)]);
      --n;
    } else {
      ++i;
    }
  }
  for (int i = 0; i < n; ++i)
    keys[size_t(i)] = pos.move_stack.history_score[side == 1 ? 0 : 1][moves[size_t(i)] & 0xFFF];
  reference_sort(moves, keys, n);
  moves.resize(size_t(n));
  return moves;
}

std::vector<std::string> suite_fens() {
  std::ifstream in(std::string(KELO_SOURCE_DIR) + "/tests/data/perft.epd");
  std::vector<std::string> fens;
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != '#') fens.push_back(line.substr(0, line.find(';')));
  return fens;
}

std::unique_ptr<Position> setup(const std::string& fen) {
  testing::internal::CaptureStdout();
  auto pos = std::make_unique<Position>(fen.c_str());
  testing::internal::GetCapturedStdout();
  return pos;
}

struct Tally {
  long moves = 0, answered = 0, selections = 0, checks = 0, losing_quiets = 0;
};

// Every legal move of the position, and the quiescence selection of its
// captures at several windows.
void compare_position(Position& pos, Tally& tally) {
  generate_all(pos);
  MoveStack& ms = pos.move_stack;
  std::vector<Move> all;
  for (int i = 0; i < ms.count(); ++i) all.push_back(ms.at(i));
  ms.close_level();
  // The node's shared king guard and legal-move test agree with the
  // generator and with the attack query.
  ASSERT_EQ(has_legal_move(pos) != 0, !all.empty());
  const KingGuard guard = king_guard(pos);
  ASSERT_EQ(guard.in_check, side_in_check(pos));
  ASSERT_EQ(has_legal_move(pos, guard), has_legal_move(pos));
  if (guard.in_check) ++tally.checks;
  for (Move m : all) {
    const int32_t want = reference_exchange(pos, m);
    ASSERT_EQ(static_exchange_eval(pos, m), want) << "move " << std::hex << m;
    ++tally.moves;
    if (want != VALUE[kind_of(pos.mailbox[move_to(m)])] + (move_promotion(m) ? 850 : 0))
      ++tally.answered;
  }

  ms.open_level();
  gen_captures(pos);
  std::vector<Move> captures;
  for (int i = 0; i < ms.count(); ++i) captures.push_back(ms.at(i));
  for (int32_t alpha : {-2000, -100, 0, 90, 150, 310, 600, 1000}) {
    for (int i = 0; i < int(captures.size()); ++i) ms.at(i) = captures[size_t(i)];
    const int kept = select_qsearch_captures(pos, 0, ms.count(), 0, alpha);
    std::vector<Move> got(&ms.at(0), &ms.at(0) + kept);
    ASSERT_EQ(got, reference_selection(pos, captures, 0, alpha)) << "alpha " << alpha;
    ++tally.selections;
  }
  ms.close_level();

  // The quiet ordering skips the exchanges of moves nobody can answer.
  ms.open_level();
  gen_quiets(pos);
  std::vector<Move> quiets;
  for (int i = 0; i < ms.count(); ++i) quiets.push_back(ms.at(i));
  const int side = pos.side_to_move;
  const int kept = order_quiet_moves(pos, 0, ms.count(), side);
  std::vector<Move> got(&ms.at(0), &ms.at(0) + kept);
  const std::vector<Move> want = reference_quiet_order(pos, quiets, side);
  ASSERT_EQ(got, want) << "quiet ordering";
  tally.losing_quiets += long(quiets.size() - want.size());
  ms.close_level();
}

TEST(ExchangeReference, SuitePositionsAndRandomGamesFromThem) {
  Tally tally;
  uint64_t seed = 0x9E3779B97F4A7C15ull;
  for (const std::string& fen : suite_fens()) {
    SCOPED_TRACE(fen);
    auto pos = setup(fen);
    // History counters in no particular order, so that the sort has work.
    for (auto& row : pos->move_stack.history_score)
      for (uint64_t& h : row) h = (seed = seed * 6364136223846793005ull + 1) >> 40;
    // A game of up to 80 random plies from each position, compared at every ply.
    for (int ply = 0; ply < 80; ++ply) {
      compare_position(*pos, tally);
      if (HasFatalFailure()) return;
      generate_all(*pos);
      const int n = pos->move_stack.count();
      if (n == 0) {
        pos->move_stack.close_level();
        break;
      }
      seed = seed * 6364136223846793005ull + 1442695040888963407ull;
      const Move m = pos->move_stack.at(int((seed >> 33) % uint64_t(n)));
      pos->move_stack.close_level();
      make_move(*pos, m);
    }
  }
  // The walk must reach enough exchanges that someone answers.
  EXPECT_GT(tally.moves, 20000);
  EXPECT_GT(tally.answered, 2000);
  EXPECT_GT(tally.selections, 5000);
  EXPECT_GT(tally.checks, 20);
  EXPECT_GT(tally.losing_quiets, 1000);
}

TEST(ExchangeReference, AttackersOfMatchesAWalkOverTheBoard) {
  for (const std::string& fen : suite_fens()) {
    auto pos = setup(fen);
    for (Square sq = 0; sq < 64; ++sq) {
      EXPECT_EQ(attackers_of(*pos, sq, pos->occ_all), reference_attackers(*pos, sq, pos->occ_all))
          << fen << " square " << sq;
      // With a piece lifted, sliders behind it come through.
      const Bitboard lifted = pos->occ_all & ~square_bb(lowest_bit(pos->occ_all));
      EXPECT_EQ(attackers_of(*pos, sq, lifted), reference_attackers(*pos, sq, lifted));
    }
  }
}

}  // namespace
