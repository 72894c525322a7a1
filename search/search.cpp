#include "search/search.h"

#include <algorithm>

#include "eval/evaluate.h"
#include "position/attacks.h"
#include "position/clock.h"
#include "position/make_unmake.h"
#include "position/makemove.h"
#include "position/movegen.h"
#include "search/ordering.h"
#include "search/tt.h"
#include "search/validation.h"

namespace {

// make_move and unmake_move, expanded here: the search spends a good part of
// its time in them.
[[gnu::always_inline]] inline void make_here(Position& pos, Move m) {
  if (pos.side_to_move == 1)
    make_move_as<White>(pos, m);
  else
    make_move_as<Black>(pos, m);
}
[[gnu::always_inline]] inline void unmake_here(Position& pos) {
  if (pos.side_to_move == 1)
    unmake_move_as<Black>(pos);
  else
    unmake_move_as<White>(pos);
}

// Every child of a node probes the table first: its slot is fetched while
// the child still tests for legal moves and draws.
[[gnu::always_inline]] inline void make_searched(Position& pos, Move m) {
  make_here(pos, m);
  tt_prefetch(pos);
}

}  // namespace

bool side_in_check(const Position& pos) {
  if (pos.side_to_move == 1) {
    Bitboard king = pos.piece_bb[10];
    return king && attacked_by_black(pos, lowest_bit(king));
  }
  Bitboard king = pos.piece_bb[11];
  return king && attacked_by_white(pos, lowest_bit(king));
}

int32_t quiescence(Position& pos, int32_t alpha, int32_t beta, int32_t ply) {
  const int32_t stand_pat = evaluate(pos);
  int32_t best = stand_pat;
  if (stand_pat > alpha) {
    if (stand_pat >= beta) return stand_pat;
    alpha = stand_pat;
  }
  MoveStack& ms = pos.move_stack;
  ms.open_level();
  const KingGuard guard = king_guard(pos);
  gen_captures(pos, guard);
  const int n = ms.count();
  const int k = select_qsearch_captures(pos, 0, n, stand_pat, alpha);
  for (int i = 0; i < k; ++i) {
    make_here(pos, ms.at(i));
    int32_t score = -quiescence(pos, -beta, -alpha, ply + 1);
    unmake_here(pos);
    if (search_stopped()) {
      ms.close_level();
      return 0;
    }
    if (score > best) {
      best = score;
      if (score > alpha) {
        if (score >= beta) {
          ms.close_level();
          return score;
        }
        alpha = score;
      }
    }
  }
  ms.close_level();
  // Mate and stalemate are looked for only when there was no capture at all.
  // A mate found here counts from the mate bound, not from SCORE_INFINITE:
  // it stays inside the bound, a heavy loss that the table and the killers
  // do not take for a mate.
  if (n > 0 || has_legal_move(pos, guard)) return best;
  return guard.in_check ? ply - MATE_BOUND : 0;
}

namespace {


// The stage a move was tried in decides how a fail-high updates the killers.
enum Stage { HASH = 1, MATE_KILLER, GOOD_CAPTURES, KILLER1, KILLER2, QUIETS, LOSING_CAPTURES,
             LOSING_QUIETS, UNDERPROMOTIONS };

struct Node {
  Position& pos;
  int32_t alpha, beta, depth, ply;
  uint64_t key;
  int32_t best = -SCORE_INFINITE;
  Move best_move = 0;
  uint32_t bound = 2;
  int moves_searched = 0;
  bool in_check = false;

  int32_t child(int32_t a, int32_t b, int32_t d) { return -search(pos, a, b, d, ply + 1, false); }

  // Null window first; a score inside the window is searched again in full.
  bool pv_rule(int32_t& score) {
    score = child(-alpha - 1, -alpha, depth - ONE_PLY);
    if (search_stopped()) return false;
    if (alpha < score && score < beta) {
      score = child(-beta, -alpha, depth - ONE_PLY);
      if (search_stopped()) return false;
    }
    return true;
  }

  [[gnu::always_inline]] bool late_move_rule(int32_t& score, int32_t reduction) {
    if (moves_searched > 16 && ply >= 1 && !in_check) {
      score = child(-alpha - 1, -alpha, depth - reduction - ONE_PLY);
      if (search_stopped()) return false;
      if (alpha < score && score < beta) {
        score = child(-beta, -alpha, depth - ONE_PLY);
        if (search_stopped()) return false;
      }
      return true;
    }
    return pv_rule(score);
  }

  bool underpromotion_rule(int32_t& score, int32_t reduction) {
    if (moves_searched > 16 && ply >= 1 && !in_check) {
      score = child(-alpha - 1, -alpha, depth - reduction - ONE_PLY);
      if (search_stopped()) return false;
      if (score > alpha) {
        score = child(-beta, -alpha, depth - ONE_PLY);
        if (search_stopped()) return false;
      }
      return true;
    }
    score = child(-beta, -alpha, depth - ONE_PLY);
    return !search_stopped();
  }

  // True when the move failed high and the node must return best.
  bool result(Move m, int32_t s, Stage stage) {
    if (s <= best) return false;
    if (s >= beta) {
      MoveStack& ms = pos.move_stack;
      if (stage == QUIETS || stage == LOSING_QUIETS) {
        if (s < MATE_BOUND)
          ms.record_cutoff(m, depth / ONE_PLY, pos.side_to_move);
        else
          ms.set_mate_killer(m);
      } else if ((stage == KILLER1 || stage == KILLER2) && s >= MATE_BOUND) {
        ms.set_mate_killer(m);
      }
      tt_store(pos, key, s, m, 1, depth, ply);
      best = s;
      return true;
    }
    if (s > alpha) {
      alpha = s;
      bound = 3;
    }
    best = s;
    best_move = m;
    return false;
  }
};

bool has_piece_to_move(const Position& pos) {
  const Bitboard* p = pos.piece_bb;
  const int own = pos.side_to_move == 1 ? 0 : 1;
  return (p[2 + own] | p[4 + own] | p[6 + own] | p[8 + own]) != 0;
}

}  // namespace

bool null_move_allowed(const Position& pos, int32_t ply, bool after_null, bool in_check,
                       bool pv_node, int32_t static_material, int32_t alpha) {
  return ply >= 1 && has_piece_to_move(pos) && !after_null && !in_check && !pv_node &&
         static_material > alpha;
}

int32_t internal_search_depth(Move hash_move, int32_t depth) {
  if (hash_move || depth <= 80) return -1;
  return std::min(depth / 2, depth - 32);
}

int32_t search(Position& pos, int32_t alpha, int32_t beta, int32_t depth, int32_t ply,
               bool after_null) {
  // 1-4. Stop, mate and stalemate, fifty moves and repetition, mate distance.
  if (search_stopped()) return 0;
  // The king's guard serves every generation stage of the node: the position
  // is the same whenever they run.
  const KingGuard guard = king_guard(pos);
  if (!has_legal_move(pos, guard)) return guard.in_check ? ply - SCORE_INFINITE : 0;
  if (pos.fifty_count > 3 && (pos.fifty_count > 99 || repetition_count(pos) > 2)) return 0;
  if (alpha + ply >= SCORE_INFINITE) return alpha;

  // 5-6. The table may end the node or narrow its window, never at a pv node.
  Node node{pos, alpha, beta, depth, ply, pos.hash_key};
  const bool pv_node = beta != alpha + 1;
  Move hash_move = 0;
  int32_t table_score = 0;
  const uint32_t table_bound = tt_probe(pos, node.key, depth, ply, table_score, hash_move);
  if (!pv_node && table_bound) {
    if (table_bound == 1) {
      if (table_score >= node.beta) return ++pos.tt_hits, table_score;
      if (table_score > node.alpha) node.alpha = table_score;
    } else if (table_bound == 2) {
      if (table_score <= node.alpha) return ++pos.tt_hits, table_score;
      if (table_score < node.beta) node.beta = table_score;
    } else if (table_bound == 3) {
      return ++pos.tt_hits, table_score;
    }
  }

  // 7-8. Check extension at pv nodes; below one ply the captures decide.
  node.in_check = guard.in_check;
  if (node.in_check && pv_node) node.depth += ONE_PLY;
  if (node.depth < ONE_PLY) return quiescence(pos, node.alpha, node.beta, ply);

  const int32_t static_material = pos.material_balance();
  const int count = pos.history.count;
  const Square last_to = count > 0 ? move_to(pos.history[count - 1].move) : -1;

  // 10. Null move: let the opponent move twice; if that still fails high,
  // this position is good enough.
  if (null_move_allowed(pos, ply, after_null, node.in_check, pv_node, static_material,
                        node.alpha)) {
    pos.side_to_move ^= 1;
    int32_t score = -search(pos, -node.beta, -node.beta + 1, std::max(node.depth - 64, 0),
                            ply + 1, true);
    pos.side_to_move ^= 1;
    if (search_stopped()) return 0;
    if (score >= node.beta) return std::min(score, MATE_BOUND);
  }

  MoveStack& ms = pos.move_stack;
  ms.open_level();
  auto finish = [&]() {
    ms.close_level();
    return node.best;
  };
  auto stopped = [&]() {
    ms.close_level();
    return 0;
  };

  // 12. Internal search for a first move when the table has none.
  if (const int32_t iid_depth = internal_search_depth(hash_move, node.depth); iid_depth >= 0) {
    search(pos, -node.beta, -node.alpha, iid_depth, ply + 1, false);
    if (search_stopped()) return stopped();
    hash_move = tt_best_move(pos, node.key);
  }

  int32_t score;
  // 13. The hash move.
  if (is_valid_move(pos, hash_move)) {
    make_searched(pos, hash_move);
    node.moves_searched = 1;
    score = node.child(-node.beta, -node.alpha, node.depth - ONE_PLY);
    unmake_here(pos);
    if (search_stopped()) return stopped();
    if (node.result(hash_move, score, HASH)) return finish();
  }

  // 14. The mate killer.
  const Move mate_killer = ms.get_mate_killer();
  if (mate_killer != hash_move && is_valid_move(pos, mate_killer)) {
    make_searched(pos, mate_killer);
    ++node.moves_searched;
    score = node.child(-node.beta, -node.alpha, node.depth - ONE_PLY);
    unmake_here(pos);
    if (search_stopped()) return stopped();
    if (node.result(mate_killer, score, MATE_KILLER)) return finish();
  }

  // 15. Captures that do not lose material.
  gen_captures(pos, guard);
  const int cap_end = ms.count();
  const int good_end = order_good_captures(pos, 0, cap_end, last_to);
  for (int i = 0; i < good_end; ++i) {
    const Move m = ms.at(i);
    if (m == hash_move || m == mate_killer) continue;
    make_searched(pos, m);
    ++node.moves_searched;
    bool ok = node.pv_rule(score);
    unmake_here(pos);
    if (!ok) return stopped();
    if (node.result(m, score, GOOD_CAPTURES)) return finish();
  }
  if (good_end > 0) ms.lmr_reduction = {16, 32, 32, 32};

  // 17-18. The killers.
  const Move killer1 = ms.get_killer1(), killer2 = ms.get_killer2();
  const Move killers[2] = {killer1, killer2};
  for (int k = 0; k < 2; ++k) {
    const Move m = killers[k];
    if (m == hash_move || m == mate_killer || !is_valid_move(pos, m)) continue;
    make_searched(pos, m);
    ++node.moves_searched;
    bool ok = node.pv_rule(score);
    unmake_here(pos);
    if (!ok) return stopped();
    if (node.result(m, score, k == 0 ? KILLER1 : KILLER2)) return finish();
  }

  auto already_tried = [&](Move m) {
    return m == hash_move || m == killer1 || m == killer2 || m == mate_killer;
  };

  // 19. Quiet moves that do not lose material, best history first.
  gen_quiets(pos, guard);
  const int quiet_end = ms.count();
  const int first_end = order_quiet_moves(pos, cap_end, quiet_end, pos.side_to_move);
  for (int i = cap_end; i < first_end; ++i) {
    const Move m = ms.at(i);
    if (already_tried(m)) continue;
    make_searched(pos, m);
    ++node.moves_searched;
    bool ok = node.late_move_rule(score, ms.lmr_reduction[0]);
    unmake_here(pos);
    if (!ok) return stopped();
    if (node.result(m, score, QUIETS)) return finish();
  }

  // 20. Futility: near the horizon and far behind, the rest cannot help.
  if (node.depth < 32 && !node.in_check && !pv_node && static_material < node.alpha - 200) {
    ms.close_level();
    return static_material;
  }

  // 21. Losing captures.
  order_losing_captures(pos, good_end, cap_end);
  for (int i = good_end; i < cap_end; ++i) {
    const Move m = ms.at(i);
    if (already_tried(m)) continue;
    make_searched(pos, m);
    ++node.moves_searched;
    bool ok = node.late_move_rule(score, ms.lmr_reduction[1]);
    unmake_here(pos);
    if (!ok) return stopped();
    if (node.result(m, score, LOSING_CAPTURES)) return finish();
  }

  // 22. Quiet moves that lose material.
  order_losing_quiets(pos, first_end, quiet_end);
  for (int i = first_end; i < quiet_end; ++i) {
    const Move m = ms.at(i);
    if (already_tried(m)) continue;
    make_searched(pos, m);
    ++node.moves_searched;
    bool ok = node.late_move_rule(score, ms.lmr_reduction[2]);
    unmake_here(pos);
    if (!ok) return stopped();
    if (node.result(m, score, LOSING_QUIETS)) return finish();
  }

  // 23. Under-promotions, only near the root.
  if (ply < 6) {
    gen_underpromotions(pos, guard);
    const int under_end = ms.count();
    for (int i = quiet_end; i < under_end; ++i) {
      const Move m = ms.at(i);
      if (m == hash_move || m == mate_killer) continue;
      make_searched(pos, m);
      ++node.moves_searched;
      bool ok = node.underpromotion_rule(score, ms.lmr_reduction[3]);
      unmake_here(pos);
      if (!ok) return stopped();
      if (node.result(m, score, UNDERPROMOTIONS)) return finish();
    }
  }

  // 24. Store what the node found.
  ms.close_level();
  tt_store(pos, node.key, node.best, node.best_move, node.bound, node.depth, ply);
  return node.best;
}
