#include "search/search.h"

#include <algorithm>
#include <array>

#include "eval/evaluate.h"
#include "position/attacks.h"
#include "position/clock.h"
#include "position/make_unmake.h"
#include "position/makemove.h"
#include "position/movegen.h"
#include "search/busy.h"
#include "search/ordering.h"
#include "search/tt.h"
#include "search/validation.h"

namespace {

// Whether this thread's search must end: the stop flag, or another thread
// of the same search has finished the iteration this one is in.
[[gnu::always_inline]] inline bool halted(const Position& pos) {
  return search_stopped() || overtaken(pos.share, pos.overtaken_at);
}

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

namespace {

// The oracle's exact score of a position of few pieces, when it has one.
inline bool oracle_knows(Position& pos, int32_t ply, int32_t& score) {
  return pos.oracle && popcount(pos.occ_all) <= ORACLE_PIECES &&
         pos.oracle->probe(pos.oracle->context, pos, ply, score);
}

}  // namespace

int32_t quiescence(Position& pos, int32_t alpha, int32_t beta, int32_t ply) {
  if (ply > pos.seldepth) pos.seldepth = ply;
  if (int32_t known; oracle_knows(pos, ply, known)) return known;
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
    if (halted(pos)) {
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

// The stages of a node's moves, in the order they are tried. A move's stage
// decides how it is searched and how its fail-high updates the killers; the
// four late stages follow the order of the lmr_reduction entries.
enum Stage {
  HASH,             // 13. the table's move
  MATE_KILLER,      // 14. this level's last move to fail high with a mate
  GOOD_CAPTURES,    // 15. captures that do not lose material
  KILLER1,          // 17-18. this level's last quiet moves to fail high
  KILLER2,
  QUIETS,           // 19. quiet moves that do not lose material, best history first
  LOSING_CAPTURES,  // 21.
  LOSING_QUIETS,    // 22.
  UNDERPROMOTIONS,  // 23. only near the root
  DONE,
};

// What searching a node's moves came to.
enum class Outcome { ALL_SEARCHED, CUTOFF, STOPPED, FUTILE };

// The moves a node left for last because another thread was searching them,
// with the stage each came from, which decides how it is searched.
struct Deferred {
  static constexpr int CAPACITY = 32;
  int count = 0;
  Move moves[CAPACITY];
  Stage stages[CAPACITY];
};

struct Node {
  Position& pos;
  int32_t alpha, beta, depth, ply;
  uint64_t key;
  bool pv_node;
  int32_t best = -SCORE_INFINITE;
  Move best_move = 0;
  uint32_t bound = 2;
  int moves_searched = 0;
  bool in_check = false;
  int32_t static_material = 0;
  // Shared with other threads: deep enough, and not searching alone.
  BusyMoves* busy = nullptr;
  Deferred* deferred = nullptr;

  int32_t child(int32_t a, int32_t b, int32_t d) { return -search(pos, a, b, d, ply + 1, false); }

  // Null window first; a score inside the window is searched again in full.
  bool pv_rule(int32_t& score) {
    score = child(-alpha - 1, -alpha, depth - ONE_PLY);
    if (halted(pos)) return false;
    if (alpha < score && score < beta) {
      score = child(-beta, -alpha, depth - ONE_PLY);
      if (halted(pos)) return false;
    }
    return true;
  }

  [[gnu::always_inline]] bool late_move_rule(int32_t& score, int32_t reduction) {
    if (moves_searched > 16 && ply >= 1 && !in_check) {
      score = child(-alpha - 1, -alpha, depth - reduction - ONE_PLY);
      if (halted(pos)) return false;
      if (alpha < score && score < beta) {
        score = child(-beta, -alpha, depth - ONE_PLY);
        if (halted(pos)) return false;
      }
      return true;
    }
    return pv_rule(score);
  }

  bool underpromotion_rule(int32_t& score, int32_t reduction) {
    if (moves_searched > 16 && ply >= 1 && !in_check) {
      score = child(-alpha - 1, -alpha, depth - reduction - ONE_PLY);
      if (halted(pos)) return false;
      if (score > alpha) {
        score = child(-beta, -alpha, depth - ONE_PLY);
        if (halted(pos)) return false;
      }
      return true;
    }
    score = child(-beta, -alpha, depth - ONE_PLY);
    return !halted(pos);
  }

  // Searches the move just made as its stage asks; false once stopped.
  template <Stage S>
  [[gnu::always_inline]] bool search_move(int32_t& score) {
    const std::array<int32_t, 4>& reduction = pos.move_stack.lmr_reduction;
    if constexpr (S == HASH || S == MATE_KILLER) {
      score = child(-beta, -alpha, depth - ONE_PLY);
      return !halted(pos);
    } else if constexpr (S == GOOD_CAPTURES || S == KILLER1 || S == KILLER2) {
      return pv_rule(score);
    } else if constexpr (S == UNDERPROMOTIONS) {
      return underpromotion_rule(score, reduction[3]);
    } else {
      return late_move_rule(score, reduction[S - QUIETS]);
    }
  }

  // True when the move failed high and the node must return best. Expanded
  // into each stage's loop, where the stage tests fold away.
  [[gnu::always_inline]] bool result(Move m, int32_t s, Stage stage) {
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

  // Near the horizon and far behind, the moves after the quiet ones that
  // keep material cannot help.
  bool futile() const {
    return depth < 32 && !in_check && !pv_node && static_material < alpha - 200;
  }
};

// Hands out a node's moves stage by stage. A stage's list is generated and
// ordered only when the stages before it are spent: a node that fails high
// on the hash move, a killer or a capture never generates its quiet moves.
struct MovePicker {
  Position& pos;
  const KingGuard& guard;
  Square last_to;
  Move hash_move;
  Move mate_killer = NO_MOVE, killer1 = NO_MOVE, killer2 = NO_MOVE;
  Move slot = NO_MOVE;           // the move of a one-move stage, while untried
  int next_index = 0, end = 0;  // the part of the level a stage has yet to hand out
  int cap_end = 0, good_end = 0, first_end = 0, quiet_end = 0;

  // A killer is tried unless an earlier stage had the same move.
  Move untried_killer(Move k) const {
    return k != hash_move && k != mate_killer && is_valid_move(pos, k) ? k : NO_MOVE;
  }

  // Generates and orders the list of stage s, or finds its one move.
  [[gnu::always_inline]] void start(Stage s) {
    MoveStack& ms = pos.move_stack;
    switch (s) {
      case HASH:
        slot = is_valid_move(pos, hash_move) ? hash_move : NO_MOVE;
        break;
      case MATE_KILLER:
        mate_killer = ms.get_mate_killer();
        slot = mate_killer != hash_move && is_valid_move(pos, mate_killer) ? mate_killer : NO_MOVE;
        break;
      case GOOD_CAPTURES:  // the losing ones go after them, ordered later
        gen_captures(pos, guard);
        cap_end = ms.count();
        good_end = order_good_captures(pos, 0, cap_end, last_to);
        next_index = 0;
        end = good_end;
        break;
      case KILLER1:
        killer1 = ms.get_killer1();
        killer2 = ms.get_killer2();
        slot = untried_killer(killer1);
        break;
      case KILLER2:
        slot = untried_killer(killer2);
        break;
      case QUIETS:  // the losing ones go after them, ordered later
        gen_quiets(pos, guard);
        quiet_end = ms.count();
        first_end = order_quiet_moves(pos, cap_end, quiet_end, pos.side_to_move);
        next_index = cap_end;
        end = first_end;
        break;
      case LOSING_CAPTURES:
        order_losing_captures(pos, good_end, cap_end);
        next_index = good_end;
        end = cap_end;
        break;
      case LOSING_QUIETS:
        order_losing_quiets(pos, first_end, quiet_end);
        next_index = first_end;
        end = quiet_end;
        break;
      case UNDERPROMOTIONS:
        gen_underpromotions(pos, guard);
        next_index = quiet_end;
        end = ms.count();
        break;
      case DONE:
        break;
    }
  }

  // The next move of stage S into m; false once the stage is spent. The
  // moves of the one-move stages are passed over later: the hash move and
  // the mate killer in every list, the killers in the quiet and losing lists.
  template <Stage S>
  [[gnu::always_inline]] bool next(Move& m) {
    if constexpr (S == HASH || S == MATE_KILLER || S == KILLER1 || S == KILLER2) {
      m = slot;
      slot = NO_MOVE;
      return m != NO_MOVE;
    } else {
      constexpr bool after_killers = S == QUIETS || S == LOSING_CAPTURES || S == LOSING_QUIETS;
      MoveStack& ms = pos.move_stack;
      while (next_index < end) {
        m = ms.at(next_index++);
        if (m == hash_move || m == mate_killer) continue;
        if (after_killers && (m == killer1 || m == killer2)) continue;
        return true;
      }
      return false;
    }
  }
};

// Searches move m of stage S by the stage's rule; true when the node ends
// there (stopped, or a fail high), with its outcome.
template <Stage S>
[[gnu::always_inline]] inline bool search_one(Node& node, Move m, Outcome& out) {
  Position& pos = node.pos;
  make_searched(pos, m);
  ++node.moves_searched;
  int32_t score;
  const bool ok = node.search_move<S>(score);
  unmake_here(pos);
  if (!ok) return out = Outcome::STOPPED, true;
  if (node.result(m, score, S)) return out = Outcome::CUTOFF, true;
  return false;
}

// Searches the moves of stage S and then of the stages after it, until one
// fails high. The loop is instantiated per stage, so that each keeps its rule,
// its skip test and its killer update fixed: one loop choosing them move by
// move ran 4% more instructions.
template <Stage S>
[[gnu::always_inline]] inline Outcome search_stages(Node& node, MovePicker& picker) {
  if constexpr (S == DONE) {
    return Outcome::ALL_SEARCHED;
  } else {
    Position& pos = node.pos;
    // 16. Once any node has had a winning capture, late moves are reduced
    // more, for good.
    if (S == KILLER1 && picker.good_end > 0) pos.move_stack.lmr_reduction = {16, 32, 32, 32};
    // 20. Futility: near the horizon and far behind, the rest cannot help.
    if (S == LOSING_CAPTURES && node.futile()) return Outcome::FUTILE;
    if (S == UNDERPROMOTIONS && node.ply >= 6) return Outcome::ALL_SEARCHED;
    picker.start(S);
    for (Move m; picker.next<S>(m);) {
      uint64_t tag = 0;
      if (node.busy) {
        // The first move is never left: it sets the node's bound.
        tag = busy_tag(node.key, m);
        Deferred& d = *node.deferred;
        if (node.moves_searched > 0 && d.count < Deferred::CAPACITY &&
            busy_elsewhere(*node.busy, tag)) {
          d.moves[d.count] = m;
          d.stages[d.count++] = S;
          continue;
        }
        if (!busy_start(*node.busy, tag)) tag = 0;
      }
      Outcome out;
      const bool ended = search_one<S>(node, m, out);
      if (tag) busy_end(*node.busy, tag);
      if (ended) return out;
    }
    return search_stages<Stage(S + 1)>(node, picker);
  }
}

// Searches the moves left for last, each by its stage's rule. Returns the
// outcome of the node's moves, given what the others came to.
Outcome search_left_moves(Node& node, Outcome others) {
  const Deferred& d = *node.deferred;
  Outcome out = others;
  for (int i = 0; i < d.count; ++i) {
    const Move m = d.moves[i];
    bool ended = false;
    switch (d.stages[i]) {
      case HASH: ended = search_one<HASH>(node, m, out); break;
      case MATE_KILLER: ended = search_one<MATE_KILLER>(node, m, out); break;
      case GOOD_CAPTURES: ended = search_one<GOOD_CAPTURES>(node, m, out); break;
      case KILLER1: ended = search_one<KILLER1>(node, m, out); break;
      case KILLER2: ended = search_one<KILLER2>(node, m, out); break;
      case QUIETS: ended = search_one<QUIETS>(node, m, out); break;
      case LOSING_CAPTURES: ended = search_one<LOSING_CAPTURES>(node, m, out); break;
      case LOSING_QUIETS: ended = search_one<LOSING_QUIETS>(node, m, out); break;
      case UNDERPROMOTIONS: ended = search_one<UNDERPROMOTIONS>(node, m, out); break;
      case DONE: break;
    }
    if (ended) return out;
  }
  return others;
}

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
  if (pos.node_count >= pos.node_limit) raise_stop();
  if (ply > pos.seldepth) pos.seldepth = ply;
  if (halted(pos)) return 0;
  // The king's guard serves every generation stage of the node: the position
  // is the same whenever they run.
  const KingGuard guard = king_guard(pos);
  if (!has_legal_move(pos, guard)) return guard.in_check ? ply - SCORE_INFINITE : 0;
  if (pos.fifty_count > 3 && (pos.fifty_count > 99 || repetition_count(pos) > 2)) return 0;
  if (alpha + ply >= SCORE_INFINITE) return alpha;
  if (int32_t known; oracle_knows(pos, ply, known)) return known;

  // 5-6. The table may end the node or narrow its window, never at a pv node.
  Node node{pos, alpha, beta, depth, ply, pos.hash_key, beta != alpha + 1};
  Move hash_move = 0;
  int32_t table_score = 0;
  const uint32_t table_bound = tt_probe(pos, node.key, depth, ply, table_score, hash_move);
  if (!node.pv_node && table_bound) {
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
  if (node.in_check && node.pv_node) node.depth += ONE_PLY;
  if (node.depth < ONE_PLY) return quiescence(pos, node.alpha, node.beta, ply);

  node.static_material = pos.material_balance();
  const int count = pos.history.count;
  const Square last_to = count > 0 ? move_to(pos.history[count - 1].move) : -1;

  // 10. Null move: let the opponent move twice; if that still fails high,
  // this position is good enough.
  if (null_move_allowed(pos, ply, after_null, node.in_check, node.pv_node, node.static_material,
                        node.alpha)) {
    pos.side_to_move ^= 1;
    int32_t score = -search(pos, -node.beta, -node.beta + 1, std::max(node.depth - 64, 0),
                            ply + 1, true);
    pos.side_to_move ^= 1;
    if (halted(pos)) return 0;
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
    if (halted(pos)) return stopped();
    hash_move = tt_best_move(pos, node.key);
  }

  // 13-23. The moves, stage by stage, until one fails high.
  MovePicker picker{pos, guard, last_to, hash_move};
  Deferred deferred;
  if (pos.share && node.depth >= SHARED_DEPTH) {
    node.busy = &pos.share->moves;
    node.deferred = &deferred;
  }
  Outcome outcome = search_stages<HASH>(node, picker);
  // Futility still stands once the moves left for last are searched.
  if (node.deferred && deferred.count > 0 &&
      (outcome == Outcome::ALL_SEARCHED || outcome == Outcome::FUTILE))
    outcome = search_left_moves(node, outcome);
  switch (outcome) {
    case Outcome::CUTOFF:
      return finish();
    case Outcome::STOPPED:
      return stopped();
    case Outcome::FUTILE:
      ms.close_level();
      return node.static_material;
    case Outcome::ALL_SEARCHED:
      break;
  }

  // 24. Store what the node found.
  ms.close_level();
  tt_store(pos, node.key, node.best, node.best_move, node.bound, node.depth, ply);
  return node.best;
}
