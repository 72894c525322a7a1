#include "engine/endgame.h"

#include <mutex>

#include "egdb/kpk.h"
#include "egdb/tb_probe.h"
#include "position/attacks.h"
#include "position/makemove.h"
#include "position/movegen.h"

namespace {

// A won KPK position, before the pawn's advance is added.
constexpr int32_t KPK_WIN = 9000;

// The tables' score in the search's units: a win in n moves reads
// 15000 - 2n - ply there, one below the search's mate at ply + 2n - 1.
bool table_score(Position& pos, int ply, int32_t& score) {
  int s;
  {
    // The reader's block cache is one for the process: searches on several
    // threads take turns.
    static std::mutex reader;
    std::lock_guard<std::mutex> guard(reader);
    s = probe_tablebase(pos, ply);
  }
  if (s == -1) return false;
  score = s > 0 ? s + 1 : s;
  return true;
}

}  // namespace

bool kpk_score(const Position& pos, int32_t& score) {
  const Bitboard white_pawn = pos.piece_bb[piece_bb_index(W_PAWN)];
  const Bitboard black_pawn = pos.piece_bb[piece_bb_index(B_PAWN)];
  const Bitboard pawn = white_pawn | black_pawn;
  if (popcount(pos.occ_all) != 3 || popcount(pawn) != 1) return false;
  const Square p = lowest_bit(pawn);
  const Square wk = lowest_bit(pos.piece_bb[piece_bb_index(W_KING)]);
  const Square bk = lowest_bit(pos.piece_bb[piece_bb_index(B_KING)]);
  const bool white_strong = white_pawn != 0;
  const KpkEntry* table = white_strong ? kpk_table : kkp_table;
  const int strong = white_strong ? 1 : 0;
  const Square sk = white_strong ? wk : bk;
  const Square weak = white_strong ? bk : wk;
  // kpk.bin marks the positions the side to move wins, so only those with
  // the stronger side to move.
  auto won_with_strong_to_move = [&](Square weak_king) {
    const KpkEntry& e = table[white_strong ? wk * 64 + weak_king : weak_king * 64 + bk];
    return ((white_strong ? e.white_to_move : e.black_to_move) >> p & 1) != 0;
  };
  bool won;
  if (pos.side_to_move == strong) {
    won = won_with_strong_to_move(weak);
  } else {
    // The weaker side loses when each of its king's moves leaves a won
    // position; taking the pawn draws; with no move the search decides.
    const Bitboard pawn_guard = white_strong ? pawn_attacks_white[p] : pawn_attacks_black[p];
    Bitboard moves = king_attacks[weak] & ~king_attacks[sk] & ~pawn_guard & ~square_bb(sk);
    if (!moves) return false;
    won = true;
    for (; moves && won; moves &= moves - 1) {
      const Square to = lowest_bit(moves);
      won = to != p && won_with_strong_to_move(to);
    }
  }
  if (!won) {
    score = 0;
    return true;
  }
  const int advance = white_strong ? rank_of(p) - 2 : 7 - rank_of(p);
  score = KPK_WIN + 10 * advance;
  if (pos.side_to_move != strong) score = -score;
  return true;
}

bool endgame_probe(void* context, Position& pos, int ply, int32_t& score) {
  const EndgameKnowledge& k = *static_cast<const EndgameKnowledge*>(context);
  if (k.kpk && kpk_loaded && kpk_score(pos, score)) return true;
  if (!(k.tablebases && tb_max_pieces > 0 && pos.fifty_count == 0 && table_score(pos, ply, score)))
    return false;
  ++pos.tb_hits;
  return true;
}

bool tablebase_root(Position& pos, TablebaseRoot& root) {
  root = TablebaseRoot{};
  if (tb_max_pieces == 0 || popcount(pos.occ_all) > ORACLE_PIECES) return false;
  const uint64_t nodes = pos.node_count;
  MoveStack& ms = pos.move_stack;
  generate_all(pos);
  bool known = ms.count() > 0;
  int32_t best = -SCORE_INFINITE;
  std::vector<int32_t> scores;
  for (int i = 0; i < ms.count() && known; ++i) {
    make_move(pos, ms.at(i));
    int32_t s = 0;
    known = table_score(pos, 1, s);
    unmake_move(pos);
    scores.push_back(-s);
    if (-s > best) best = -s;
  }
  if (known) {
    root.score = best;
    for (int i = 0; i < ms.count(); ++i)
      if (scores[size_t(i)] == best) root.moves.push_back(ms.at(i));
  }
  ms.close_level();
  pos.node_count = nodes;
  return known;
}
