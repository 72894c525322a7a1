#include "search/modern_search.h"

#include <algorithm>
#include <cmath>

#include "eval/modern_eval.h"
#include "position/attacks.h"
#include "position/clock.h"
#include "position/make_unmake.h"
#include "position/movegen.h"
#include "search/modern_internal.h"
#include "search/modern_params.h"
#include "search/modern_picker.h"
#include "search/ordering.h"
#include "search/search.h"

using namespace modern;

namespace {

// Late-move reductions by depth and move number: 0.75 + ln(d) ln(n) / 2.25.
struct ReductionTable {
  int8_t r[64][64];
  ReductionTable() {
    for (int d = 0; d < 64; ++d)
      for (int n = 0; n < 64; ++n)
        r[d][n] = int8_t(d && n ? 0.75 + std::log(d) * std::log(n) / 2.25 : 0);
  }
};
const ReductionTable REDUCTIONS;

int32_t reduction(int32_t depth, int moves) {
  return REDUCTIONS.r[std::min(depth, 63)][std::min(moves, 63)];
}

// Quiet moves searched before the rest are pruned, by depth.
int late_move_count(int32_t depth, bool improving) { return (3 + depth * depth) / (2 - improving); }

bool has_piece_besides_pawns(const Position& pos) {
  const Bitboard* p = pos.piece_bb;
  const int own = pos.side_to_move == 1 ? 0 : 1;
  return (p[2 + own] | p[4 + own] | p[6 + own] | p[8 + own]) != 0;
}

bool mating_material_gone(const Position& pos) {
  const Bitboard* p = pos.piece_bb;
  if (p[0] | p[1] | p[6] | p[7] | p[8] | p[9]) return false;
  return !more_than_one(p[2] | p[3] | p[4] | p[5]);
}

bool table_cuts(const ModernEntry& e, int32_t beta) {
  return e.bound == TT_EXACT || (e.bound == TT_LOWER && e.score >= beta) ||
         (e.bound == TT_UPPER && e.score < beta);
}

// A table score that bounds the static one from the right side replaces it.
int32_t refined_eval(const ModernEntry& e, bool hit, int32_t raw) {
  if (hit && e.score > -MATE_BOUND && e.score < MATE_BOUND &&
      (e.bound & (e.score > raw ? TT_LOWER : TT_UPPER)))
    return e.score;
  return raw;
}

inline bool oracle_knows(Position& pos, int32_t ply, int32_t& score) {
  return pos.oracle && popcount(pos.occ_all) <= ORACLE_PIECES &&
         pos.oracle->probe(pos.oracle->context, pos, ply, score);
}

inline void make_here(Position& pos, Move m) {
  if (pos.side_to_move == 1)
    make_move_as<White>(pos, m);
  else
    make_move_as<Black>(pos, m);
}
inline void unmake_here(Position& pos) {
  if (pos.side_to_move == 1)
    unmake_move_as<Black>(pos);
  else
    unmake_move_as<White>(pos);
}

// The opponent moves twice: the side and the en-passant target change, and
// a game entry keeps the position's length of history even. The fifty-move
// count starts again, so that no repetition is looked for across it.
void make_null(Position& pos) {
  ++pos.node_count;
  HistoryEntry* e = pos.history.push_entry(NO_MOVE, pos.castle_flags, pos.ep_square);
  e->pst_white = pos.pst_white;
  e->pst_black = pos.pst_black;
  pos.hash_key ^= ep_key(pos.ep_square);
  pos.ep_square = 0;
  pos.fifty_count = 0;
  pos.side_to_move ^= 1;
  e[1].hash_key = pos.hash_key;
  e[1].fifty_count = 0;
}
void unmake_null(Position& pos) {
  pos.history.pop();
  const HistoryEntry& e = pos.history[pos.history.count];
  pos.side_to_move ^= 1;
  pos.ep_square = e.ep_square;
  pos.fifty_count = e.fifty_count;
  pos.hash_key = e.hash_key;
}

}  // namespace

// Whether m, not yet made, checks the opponent's king: directly from its
// target (as the piece it promotes to), by a slider it uncovers, or by the
// castling rook.
bool gives_check(const Position& pos, Move m) {
  const bool white = pos.side_to_move == 1;
  const Bitboard* p = pos.piece_bb;
  const int own = white ? 0 : 1;
  const Bitboard king = p[white ? 11 : 10];
  if (!king) return false;
  const Square ksq = lowest_bit(king);
  const Square from = move_from(m), to = move_to(m);
  Bitboard occ = (pos.occ_all & ~square_bb(from)) | square_bb(to);
  // Every square but those the moving pieces leave.
  Bitboard gone = ~square_bb(from);
  if ((m & MOVE_CASTLE) && pos.castling.chess960) {
    // The word is the king's move onto its own rook; both land elsewhere.
    const int r = (white ? 0 : 2) + (to > from ? 0 : 1);
    const Square rook_to = castle_rook_target(r);
    gone &= ~square_bb(to);
    occ = (pos.occ_all & gone) | square_bb(castle_king_target(r)) | square_bb(rook_to);
    if (rook_attacks(rook_to, occ) & king) return true;
  } else {
    if (m & MOVE_EN_PASSANT) occ &= ~square_bb(white ? to + 8 : to - 8);
    const unsigned kind =
        move_promotion(m) ? kind_of(move_promotion(m)) : kind_of(pos.mailbox[from]);
    switch (kind) {
      case PAWN:
        if ((white ? pawn_attacks_white : pawn_attacks_black)[to] & king) return true;
        break;
      case KNIGHT:
        if (knight_attacks[to] & king) return true;
        break;
      case BISHOP:
        if (bishop_attacks(to, occ) & king) return true;
        break;
      case ROOK:
        if (rook_attacks(to, occ) & king) return true;
        break;
      case QUEEN:
        if (queen_attacks(to, occ) & king) return true;
        break;
      case KING:
        if (m & MOVE_CASTLE) {
          const Square rook_to = to > from ? to - 1 : to + 1;
          if (rook_attacks(rook_to, occ) & king) return true;
        }
        break;
    }
  }
  // A slider of ours behind a piece that leaves.
  const Bitboard diagonal = (p[4 + own] | p[8 + own]) & gone;
  const Bitboard straight = (p[6 + own] | p[8 + own]) & gone;
  return ((bishop_lines[ksq] & diagonal) && (bishop_attacks(ksq, occ) & diagonal)) ||
         ((rook_lines[ksq] & straight) && (rook_attacks(ksq, occ) & straight));
}

namespace {

bool halted(Position& pos, const ModernThread& t) {
  const uint64_t nodes = pos.node_count;
  if (nodes >= pos.node_limit ||
      ((nodes & 1023) == 0 && t.deadline && now_ms() >= t.deadline->load(std::memory_order_relaxed)))
    raise_stop();
  return search_stopped();
}

}  // namespace

int32_t modern_reduction(int32_t depth, int moves) { return reduction(depth, moves); }

bool modern_null_move_allowed(const Position& pos, bool in_check) {
  return !in_check && has_piece_besides_pawns(pos);
}

bool modern_draw(const Position& pos, int root_history) {
  if (pos.fifty_count >= 100 || mating_material_gone(pos)) return true;
  const int count = pos.history.count;
  const int limit = std::min<int>(int(pos.fifty_count), count);
  bool earlier = false;
  for (int i = 4; i <= limit; i += 2) {
    if (pos.history[count - i].hash_key != pos.hash_key) continue;
    if (count - i >= root_history || earlier) return true;
    earlier = true;
  }
  return false;
}

void enter_move(ModernThread& t, Position& pos, int ply, Move m) {
  ModernFrame& f = t.frame(ply);
  f.move = m;
  f.null_move = false;
  f.piece_to = piece_to(pos.mailbox[move_from(m)], move_to(m));
  f.cont = &t.hist.continuation[size_t(f.piece_to)];
  make_here(pos, m);
  modern_tt_prefetch(pos.tt, modern_key(pos));
}

void leave_move(Position& pos) { unmake_here(pos); }

// The histories after move m failed high at ply: a bonus for it, a malus
// for the moves of its kind searched before it.
namespace {

void reward_cutoff(ModernThread& t, const Position& pos, int ply, int32_t depth, Move m,
                   const Move* quiets, int quiet_count, const Move* captures, int capture_count) {
  MoveHistories& h = t.hist;
  const int32_t bonus = history_bonus(depth);
  auto continuation_update = [&](Move q, int32_t b) {
    const size_t pt = size_t(piece_to(pos.mailbox[move_from(q)], move_to(q)));
    for (int back : {1, 2, 4}) {
      const ModernFrame& f = t.frame(ply - back);
      if (f.piece_to >= 0) history_update((*f.cont)[pt], b);
    }
  };
  auto capture_entry = [&](Move c) -> int16_t& {
    return h.captures[size_t(piece_to(pos.mailbox[move_from(c)], move_to(c)))][victim_kind(c)];
  };
  const int side = pos.side_to_move == 1 ? 0 : 1;
  if (is_quiet(m)) {
    ModernFrame& f = t.frame(ply);
    if (f.killers[0] != m) {
      f.killers[1] = f.killers[0];
      f.killers[0] = m;
    }
    const ModernFrame& before = t.frame(ply - 1);
    if (before.piece_to >= 0) h.counter[size_t(before.piece_to)] = m;
    history_update(h.butterfly[size_t(side)][m & 0xFFF], bonus);
    continuation_update(m, bonus);
    for (int i = 0; i < quiet_count; ++i) {
      if (quiets[i] == m) continue;
      history_update(h.butterfly[size_t(side)][quiets[i] & 0xFFF], -bonus);
      continuation_update(quiets[i], -bonus);
    }
  } else {
    history_update(capture_entry(m), bonus);
  }
  for (int i = 0; i < capture_count; ++i)
    if (captures[i] != m) history_update(capture_entry(captures[i]), -bonus);
}

}  // namespace

int32_t modern_qsearch(Position& pos, ModernThread& t, int32_t alpha, int32_t beta, int32_t ply) {
  if (halted(pos, t)) return 0;
  const bool pv_node = beta - alpha > 1;
  t.pv_length[size_t(ply)] = ply;
  if (ply > t.seldepth) t.seldepth = ply;
  if (mating_material_gone(pos)) return 0;
  const KingGuard guard = king_guard(pos);
  if (ply >= MODERN_MAX_PLY) return guard.in_check ? 0 : modern_evaluate(pos, t.pawns);

  const uint64_t key = modern_key(pos);
  ModernEntry e;
  const bool hit = modern_tt_probe(pos, key, ply, e);
  if (!pv_node && hit && table_cuts(e, beta)) {
    ++pos.tt_hits;
    return e.score;
  }
  if (int32_t known; oracle_knows(pos, ply, known)) return known;

  int32_t best, raw = NO_EVAL, stand = 0;
  if (guard.in_check) {
    best = -SCORE_INFINITE + ply;
  } else {
    raw = hit && e.eval != NO_EVAL ? e.eval : modern_evaluate(pos, t.pawns);
    stand = refined_eval(e, hit, raw);
    if (stand >= beta) return stand;
    if (stand > alpha) alpha = stand;
    best = stand;
  }
  t.frame(ply).static_eval = raw;

  MoveStack& ms = pos.move_stack;
  ms.open_level();
  ModernPicker picker(pos, guard, t.hist, t.frame(ply - 1).cont, t.frame(ply - 2).cont,
                      t.frame(ply - 4).cont, hit ? e.move : 0, 0, 0, 0, true);
  Move best_move = 0;
  int legal = 0;
  const int32_t old_alpha = alpha;
  for (Move m; (m = picker.next());) {
    ++legal;
    if (!guard.in_check) {
      // Delta pruning: even winning the victim leaves the score short.
      if (!move_promotion(m) && stand + PIECE_VALUE[victim_kind(m)] + DELTA_MARGIN <= alpha)
        continue;
      if (static_exchange_eval(pos, m) < 0) continue;
    }
    enter_move(t, pos, ply, m);
    const int32_t score = -modern_qsearch(pos, t, -beta, -alpha, ply + 1);
    leave_move(pos);
    if (search_stopped()) {
      ms.close_level();
      return 0;
    }
    if (score > best) {
      best = score;
      if (score > alpha) {
        best_move = m;
        if (score >= beta) break;
        alpha = score;
      }
    }
  }
  ms.close_level();
  if (guard.in_check && legal == 0) return -SCORE_INFINITE + ply;
  const uint32_t bound = best >= beta ? TT_LOWER : best > old_alpha ? TT_EXACT : TT_UPPER;
  modern_tt_store(pos, key, ply, t.generation,
                  ModernEntry{best_move, best, raw, 0, bound, pv_node});
  return best;
}

int32_t modern_search(Position& pos, ModernThread& t, int32_t alpha, int32_t beta,
                      int32_t depth, int32_t ply, bool cut_node) {
  if (depth <= 0) return modern_qsearch(pos, t, alpha, beta, ply);
  if (halted(pos, t)) return 0;
  const bool pv_node = beta - alpha > 1;
  t.pv_length[size_t(ply)] = ply;
  if (ply > t.seldepth) t.seldepth = ply;

  // 1. Draws, the ply limit, mate distance: no line from here can do better
  // than a mate next move or worse than being mated now.
  if (modern_draw(pos, t.root_history)) return 0;
  const KingGuard guard = king_guard(pos);
  const bool in_check = guard.in_check;
  if (ply >= MODERN_MAX_PLY) return in_check ? 0 : modern_evaluate(pos, t.pawns);
  alpha = std::max(alpha, -SCORE_INFINITE + ply);
  beta = std::min(beta, SCORE_INFINITE - ply - 1);
  if (alpha >= beta) return alpha;

  // 2. The table: an entry deep enough ends a node off the principal variation.
  const uint64_t key = modern_key(pos);
  ModernEntry e;
  const bool hit = modern_tt_probe(pos, key, ply, e);
  if (!pv_node && hit && e.depth >= depth && table_cuts(e, beta)) {
    ++pos.tt_hits;
    return e.score;
  }

  // 3. Endgame tables and the bitbase, when in play.
  if (int32_t known; oracle_knows(pos, ply, known)) {
    modern_tt_store(pos, key, ply, t.generation,
                    ModernEntry{0, known, NO_EVAL, MODERN_MAX_PLY, TT_EXACT, pv_node});
    return known;
  }

  // 4. The static score, and whether it improves on ours two plies before.
  ModernFrame& here = t.frame(ply);
  int32_t raw = NO_EVAL, eval = 0;
  bool improving = false;
  if (!in_check) {
    raw = hit && e.eval != NO_EVAL ? e.eval : modern_evaluate(pos, t.pawns);
    eval = refined_eval(e, hit, raw);
    const int32_t before = t.frame(ply - 2).static_eval != NO_EVAL ? t.frame(ply - 2).static_eval
                                                                    : t.frame(ply - 4).static_eval;
    improving = before == NO_EVAL || raw > before;
  }
  here.static_eval = raw;
  t.frame(ply + 2).killers[0] = t.frame(ply + 2).killers[1] = 0;

  if (!pv_node && !in_check) {
    // 5. Reverse futility: far enough above beta, the position stands.
    if (depth <= RFP_DEPTH && eval < MATE_BOUND && eval - RFP_MARGIN * (depth - improving) >= beta)
      return eval;

    // 6. Razoring: far below alpha, ask the captures whether anything helps.
    if (depth <= RAZOR_DEPTH && eval + RAZOR_MARGIN * depth < alpha) {
      const int32_t q = modern_qsearch(pos, t, alpha, alpha + 1, ply);
      if (search_stopped()) return 0;
      if (q <= alpha) return q;
    }

    // 7. Null move: if passing still fails high, the position is good enough.
    // Deep ones are verified by a search without a null move.
    if (depth >= NULL_MOVE_DEPTH && eval >= beta && raw >= beta && !t.frame(ply - 1).null_move &&
        ply >= t.null_min_ply && modern_null_move_allowed(pos, in_check)) {
      const int32_t r = 3 + depth / 4 + std::min<int32_t>((eval - beta) / 200, 3);
      here.move = 0;
      here.piece_to = -1;
      here.cont = &t.no_continuation;
      here.null_move = true;
      make_null(pos);
      int32_t score = -modern_search(pos, t, -beta, -beta + 1, depth - r, ply + 1, !cut_node);
      unmake_null(pos);
      here.null_move = false;
      if (search_stopped()) return 0;
      if (score >= beta) {
        if (score >= MATE_BOUND) score = beta;
        if (depth < 12 || t.null_min_ply) return score;
        t.null_min_ply = ply + 3 * (depth - r) / 4;
        const int32_t v = modern_search(pos, t, beta - 1, beta, depth - r, ply, false);
        t.null_min_ply = 0;
        if (search_stopped()) return 0;
        if (v >= beta) return score;
      }
    }
  }

  // 8. Internal iterative reduction: without a table move the node is
  // searched a ply shallower.
  if (depth >= IIR_DEPTH && !(hit && e.move) && (pv_node || cut_node)) --depth;

  // 9. The moves.
  MoveStack& ms = pos.move_stack;
  ms.open_level();
  const ModernFrame& previous = t.frame(ply - 1);
  const Move counter = previous.piece_to >= 0 ? t.hist.counter[size_t(previous.piece_to)] : 0;
  ModernPicker picker(pos, guard, t.hist, previous.cont, t.frame(ply - 2).cont,
                      t.frame(ply - 4).cont, hit ? e.move : 0, here.killers[0], here.killers[1],
                      counter, false);
  const int side = pos.side_to_move == 1 ? 0 : 1;
  const bool can_prune = has_piece_besides_pawns(pos);
  Move quiets[64], captures[32];
  int quiet_count = 0, capture_count = 0;
  int32_t best = -SCORE_INFINITE, old_alpha = alpha;
  Move best_move = 0;
  int legal = 0, searched = 0;
  for (Move m; (m = picker.next());) {
    ++legal;
    const bool quiet = is_quiet(m);
    const size_t pt = size_t(piece_to(pos.mailbox[move_from(m)], move_to(m)));
    const int32_t history =
        quiet ? t.hist.butterfly[size_t(side)][m & 0xFFF] + (*previous.cont)[pt] +
                    (*t.frame(ply - 2).cont)[pt]
              : 0;

    const bool checks = gives_check(pos, m);

    // 10. Pruning at low depth, once a move has kept us from being mated.
    if (best > -MATE_BOUND && can_prune) {
      if (quiet) {
        const int32_t lmr_depth = std::max(0, depth - 1 - reduction(depth, searched + 1));
        if (depth <= LMP_DEPTH && quiet_count >= late_move_count(depth, improving)) {
          picker.skip_quiets = true;
          continue;
        }
        if (!in_check && lmr_depth <= FUTILITY_DEPTH &&
            eval + FUTILITY_BASE + FUTILITY_PER_PLY * lmr_depth <= alpha) {
          picker.skip_quiets = true;
          continue;
        }
        if (lmr_depth <= SEE_DEPTH && static_exchange_eval(pos, m) < -SEE_QUIET * lmr_depth)
          continue;
      } else if (depth <= SEE_DEPTH && static_exchange_eval(pos, m) < -SEE_CAPTURE * depth) {
        continue;
      }
    }

    // 11. Check extension, within twice the iteration's depth.
    const int32_t extension = checks && ply < 2 * t.root_depth ? 1 : 0;
    enter_move(t, pos, ply, m);
    ++searched;
    if (quiet && quiet_count < 64) quiets[quiet_count++] = m;
    if (!quiet && capture_count < 32) captures[capture_count++] = m;
    const int32_t new_depth = depth - 1 + extension;

    // 12. Late moves are searched shallower first, quiet ones the more the
    // worse their history; a reduced move that beats alpha is searched again.
    int32_t score = 0;
    if (depth >= LMR_DEPTH && searched > 1 + (pv_node ? 1 : 0) && (quiet || !pv_node)) {
      int32_t r = reduction(depth, searched);
      if (quiet) {
        r += !improving;
        r += cut_node;
        r -= pv_node;
        r -= checks;
        r -= m == here.killers[0] || m == here.killers[1] || m == counter;
        r -= history / 8192;
      } else {
        r = r / 2;
      }
      const int32_t d = std::clamp(new_depth - r, 1, new_depth);
      score = -modern_search(pos, t, -alpha - 1, -alpha, d, ply + 1, true);
      if (score > alpha && d < new_depth && !search_stopped())
        score = -modern_search(pos, t, -alpha - 1, -alpha, new_depth, ply + 1, !cut_node);
    } else if (!pv_node || searched > 1) {
      score = -modern_search(pos, t, -alpha - 1, -alpha, new_depth, ply + 1, !cut_node);
    }
    if (pv_node && (searched == 1 || (score > alpha && score < beta)) && !search_stopped())
      score = -modern_search(pos, t, -beta, -alpha, new_depth, ply + 1, false);
    leave_move(pos);
    if (search_stopped()) {
      ms.close_level();
      return 0;
    }

    if (score > best) {
      best = score;
      if (score > alpha) {
        best_move = m;
        if (pv_node) {
          auto& line = t.pv[size_t(ply)];
          const auto& below = t.pv[size_t(ply + 1)];
          line[size_t(ply)] = m;
          const int32_t end = t.pv_length[size_t(ply + 1)];
          for (int32_t i = ply + 1; i < end; ++i) line[size_t(i)] = below[size_t(i)];
          t.pv_length[size_t(ply)] = std::max(end, ply + 1);
        }
        if (score >= beta) {
          reward_cutoff(t, pos, ply, depth, m, quiets, quiet_count, captures, capture_count);
          break;
        }
        alpha = score;
      }
    }
  }
  ms.close_level();

  if (legal == 0) return in_check ? -SCORE_INFINITE + ply : 0;
  const uint32_t bound = best >= beta ? TT_LOWER : best > old_alpha ? TT_EXACT : TT_UPPER;
  modern_tt_store(pos, key, ply, t.generation,
                  ModernEntry{best_move, best, raw, depth, bound, pv_node});
  return best;
}
