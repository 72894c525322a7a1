#include "search/modern_tt.h"

namespace {

// Mate scores are stored from the entry's own position and read back from
// the root's point of view at the probing ply.
int32_t to_table(int32_t score, int32_t ply) {
  return score > MATE_BOUND ? score + ply : score < -MATE_BOUND ? score - ply : score;
}
int32_t from_table(int32_t score, int32_t ply) {
  return score > MATE_BOUND ? score - ply : score < -MATE_BOUND ? score + ply : score;
}

constexpr uint32_t depth_field(uint64_t data) { return uint32_t(data >> 48) & 0xFF; }
constexpr uint32_t generation_field(uint64_t data) { return uint32_t(data >> 59); }

}  // namespace

Move unpack_move(const Position& pos, uint32_t packed) {
  const Square from = Square(packed & 63), to = Square(packed >> 6 & 63);
  const unsigned piece = pos.mailbox[from];
  if (!piece || from == to) return 0;
  const unsigned captured = pos.mailbox[to];
  const unsigned promo_kind = packed >> 12 & 7;
  const Colour us = Colour(pos.side_to_move);
  Move flags = 0;
  const int file_step = file_of(to) - file_of(from);
  if (kind_of(piece) == PAWN) {
    if (row_of(to) - row_of(from) == 2 || row_of(from) - row_of(to) == 2) flags = MOVE_DOUBLE_STEP;
    else if (file_step != 0 && !captured && unsigned(to) == pos.ep_square) flags = MOVE_EN_PASSANT;
  } else if (pos.castling.chess960) {
    // A Chess960 castling is the king's move onto its own rook.
    if (kind_of(piece) == KING && captured == make_piece(us, ROOK))
      return make_move_word(from, to, 0, 0, MOVE_CASTLE);
  } else if (kind_of(piece) == KING && (file_step == 2 || file_step == -2)) {
    flags = MOVE_CASTLE;
  }
  return make_move_word(from, to, captured, promo_kind ? make_piece(us, promo_kind) : 0, flags);
}

bool modern_tt_probe(const Position& pos, uint64_t key, int32_t ply, ModernEntry& entry) {
  if (!pos.tt.bucket_count) return false;
  ModernBucket* b = modern_bucket(pos.tt, key);
  for (ModernSlot& s : b->slot) {
    const uint64_t data = s.data.load(std::memory_order_relaxed);
    const uint64_t check = s.check.load(std::memory_order_relaxed);
    if ((check ^ data) != key || depth_field(data) == 0) continue;
    entry.move = unpack_move(pos, uint32_t(data & 0xFFFF));
    entry.score = from_table(int16_t(data >> 16), ply);
    entry.eval = int16_t(data >> 32);
    entry.depth = int32_t(depth_field(data)) - 8;
    entry.bound = uint32_t(data >> 56) & 3;
    entry.pv = (data >> 58) & 1;
    return true;
  }
  return false;
}

void modern_tt_store(const Position& pos, uint64_t key, int32_t ply, uint32_t generation,
                     const ModernEntry& e) {
  if (!pos.tt.bucket_count) return;
  ModernBucket* b = modern_bucket(pos.tt, key);
  ModernSlot* target = nullptr;
  int32_t worst = INT32_MAX;
  uint64_t old = 0;
  for (ModernSlot& s : b->slot) {
    const uint64_t data = s.data.load(std::memory_order_relaxed);
    const uint64_t check = s.check.load(std::memory_order_relaxed);
    if ((check ^ data) == key || depth_field(data) == 0) {
      target = &s;
      old = (check ^ data) == key ? data : 0;
      break;
    }
    // The shallowest entry goes first, and an older search's before it.
    const uint32_t age = (generation - generation_field(data)) % MODERN_GENERATIONS;
    const int32_t worth = int32_t(depth_field(data)) - 8 * int32_t(age);
    if (worth < worst) {
      worst = worth;
      target = &s;
    }
  }
  uint32_t packed = pack_move(e.move);
  if (old) {
    // The same position: a deeper result of this search stays unless this
    // one is exact; the move stays when this one has none.
    if (!e.move) packed = uint32_t(old & 0xFFFF);
    if (e.bound != TT_EXACT && generation_field(old) == generation % MODERN_GENERATIONS &&
        e.depth + 8 + 3 < int32_t(depth_field(old)))
      return;
  }
  const int32_t depth = e.depth < -7 ? -7 : e.depth > 247 ? 247 : e.depth;
  const uint64_t data = uint64_t(packed) | uint64_t(uint16_t(to_table(e.score, ply))) << 16 |
                        uint64_t(uint16_t(e.eval)) << 32 | uint64_t(depth + 8) << 48 |
                        uint64_t(e.bound & 3) << 56 | uint64_t(e.pv ? 1 : 0) << 58 |
                        uint64_t(generation % MODERN_GENERATIONS) << 59;
  target->check.store(key ^ data, std::memory_order_relaxed);
  target->data.store(data, std::memory_order_relaxed);
}

int modern_tt_hashfull(const TranspositionTable& tt, uint32_t generation) {
  if (!tt.bucket_count) return 0;
  const ModernBucket* buckets = reinterpret_cast<const ModernBucket*>(tt.buckets);
  int used = 0, seen = 0;
  for (uint32_t i = 0; i < tt.bucket_count && seen < 999; ++i)
    for (const ModernSlot& s : buckets[i].slot) {
      const uint64_t data = s.data.load(std::memory_order_relaxed);
      used += depth_field(data) != 0 && generation_field(data) == generation % MODERN_GENERATIONS;
      ++seen;
    }
  return seen ? used * 1000 / seen : 0;
}
