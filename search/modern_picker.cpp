#include "search/modern_picker.h"

#include "search/ordering.h"
#include "search/validation.h"

ModernPicker::ModernPicker(Position& p, const KingGuard& g, const MoveHistories& h,
                           const ContinuationTable* c1, const ContinuationTable* c2,
                           const ContinuationTable* c4, Move tt, Move k1, Move k2, Move cm,
                           bool qsearch)
    : pos(p), guard(g), hist(h), cont{c1, c2, c4}, table_move(0), killer1(0), killer2(0),
      counter(0), captures_only(qsearch && !g.in_check) {
  // Moves from the table and the killer slots are proved legal here first.
  if (tt && (!captures_only || !is_quiet(tt)) && is_valid_move(pos, tt)) table_move = tt;
  if (!captures_only) {
    killer1 = k1;
    killer2 = k2 != k1 ? k2 : 0;
    counter = cm != k1 && cm != k2 ? cm : 0;
  }
}

bool ModernPicker::already_tried(Move m) const {
  for (int i = 0; i < tried_count; ++i)
    if (tried[i] == m) return true;
  return false;
}

bool ModernPicker::usable_quiet(Move m) const {
  return m && is_quiet(m) && m != table_move && !already_tried(m) && is_valid_move(pos, m);
}

void ModernPicker::score_captures(int from, int to) {
  MoveStack& ms = pos.move_stack;
  for (int i = from; i < to; ++i) {
    const Move m = ms.at(i);
    const unsigned piece = pos.mailbox[move_from(m)];
    const unsigned victim = victim_kind(m);
    int32_t s = 8 * PIECE_VALUE[victim] + hist.captures[size_t(piece_to(piece, move_to(m)))][victim] / 4;
    if (move_promotion(m)) s += 8 * (PIECE_VALUE[QUEEN] - PIECE_VALUE[PAWN]);
    scores[i] = s;
  }
}

void ModernPicker::score_quiets(int from, int to) {
  MoveStack& ms = pos.move_stack;
  const auto& butterfly = hist.butterfly[pos.side_to_move == 1 ? 0 : 1];
  for (int i = from; i < to; ++i) {
    const Move m = ms.at(i);
    const size_t pt = size_t(piece_to(pos.mailbox[move_from(m)], move_to(m)));
    scores[i] = butterfly[m & 0xFFF] + (*cont[0])[pt] + (*cont[1])[pt] + (*cont[2])[pt];
  }
  // Insertion sort, best first: the lists are short.
  for (int i = from + 1; i < to; ++i) {
    const Move m = ms.at(i);
    const int32_t s = scores[i];
    int j = i;
    for (; j > from && scores[j - 1] < s; --j) {
      ms.at(j) = ms.at(j - 1);
      scores[j] = scores[j - 1];
    }
    ms.at(j) = m;
    scores[j] = s;
  }
}

// The best scored move of [cur, end) to the front of it, handed out.
Move ModernPicker::pick_best() {
  MoveStack& ms = pos.move_stack;
  int best = cur;
  for (int i = cur + 1; i < end; ++i)
    if (scores[i] > scores[best]) best = i;
  const Move m = ms.at(best);
  ms.at(best) = ms.at(cur);
  scores[best] = scores[cur];
  ++cur;
  return m;
}

Move ModernPicker::next() {
  MoveStack& ms = pos.move_stack;
  for (;;) {
    switch (stage) {
      case TABLE_MOVE:
        stage = GENERATE_CAPTURES;
        if (table_move) return table_move;
        break;
      case GENERATE_CAPTURES:
        gen_captures(pos, guard);
        capture_end = ms.count();
        score_captures(0, capture_end);
        cur = bad_end = 0;
        end = capture_end;
        stage = GOOD_CAPTURES;
        break;
      case GOOD_CAPTURES:
        while (cur < end) {
          const Move m = pick_best();
          if (m == table_move) continue;
          // Losing captures wait for the quiet moves (all of them are kept
          // in the quiescence search, which filters them itself).
          if (!captures_only && static_exchange_eval(pos, m) < 0) {
            ms.at(bad_end++) = m;
            continue;
          }
          return m;
        }
        if (captures_only) {
          stage = DONE;
          break;
        }
        stage = KILLER1;
        break;
      case KILLER1:
        stage = KILLER2;
        if (!skip_quiets && usable_quiet(killer1)) return tried[tried_count++] = killer1;
        break;
      case KILLER2:
        stage = COUNTER;
        if (!skip_quiets && usable_quiet(killer2)) return tried[tried_count++] = killer2;
        break;
      case COUNTER:
        stage = GENERATE_QUIETS;
        if (!skip_quiets && usable_quiet(counter)) return tried[tried_count++] = counter;
        break;
      case GENERATE_QUIETS:
        cur = end = quiet_end = capture_end;
        if (!skip_quiets) {
          gen_quiets(pos, guard);
          quiet_end = end = ms.count();
          score_quiets(cur, end);
        }
        stage = QUIETS;
        break;
      case QUIETS:
        while (cur < end && !skip_quiets) {
          const Move m = ms.at(cur++);
          if (m == table_move || already_tried(m)) continue;
          return m;
        }
        cur = 0;
        end = bad_end;
        stage = BAD_CAPTURES;
        break;
      case BAD_CAPTURES:
        while (cur < end) {
          const Move m = ms.at(cur++);
          if (m != table_move) return m;
        }
        stage = GENERATE_UNDERPROMOTIONS;
        break;
      case GENERATE_UNDERPROMOTIONS: {
        // After the quiet moves, wherever the level's top now is.
        const int first = ms.count();
        gen_underpromotions(pos, guard);
        cur = first;
        end = ms.count();
        stage = UNDERPROMOTIONS;
        break;
      }
      case UNDERPROMOTIONS:
        while (cur < end) {
          const Move m = ms.at(cur++);
          if (m != table_move) return m;
        }
        stage = DONE;
        break;
      case DONE:
        return 0;
    }
  }
}
