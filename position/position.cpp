#include "position/position.h"

#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

// splitmix64, run at compile time, so the key values are fixed data of the
// program: books written with them stay readable by every later build.
constexpr uint64_t splitmix64(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

struct KeyTables {
  std::array<std::array<uint64_t, 64>, 17> pieces{};
  std::array<uint64_t, 4> castle{};
  std::array<std::array<uint64_t, 8>, 4> castle_file{};
};

constexpr KeyTables make_keys() {
  KeyTables t{};
  uint64_t state = 0x4B454C4F30353621ull;
  for (int code = 1; code <= 16; ++code)
    for (int sq = 0; sq < 64; ++sq) {
      uint64_t v = splitmix64(state);
      bool never_on_board = code == 7 || code == 8 || code == 15;
      bool no_ep_target = code == 16 && sq == 0;
      t.pieces[code][sq] = never_on_board || no_ep_target ? 0 : v;
    }
  for (int r = 0; r < 4; ++r) t.castle[r] = splitmix64(state);
  // Drawn after the older keys, which stay as they were.
  for (int r = 0; r < 4; ++r)
    for (int file = 0; file < 8; ++file) {
      const uint64_t v = splitmix64(state);
      const bool corner = file == (r % 2 == 0 ? 7 : 0);
      t.castle_file[r][file] = corner ? 0 : v;
    }
  return t;
}

constexpr KeyTables KEYS = make_keys();

// White rows drawn with rank 8 first; black rows are their mirror images.
constexpr int32_t PAWN_ROW[64] = {
    0,   0,   0,   0,   0,   0,   0,   0,    //
    112, 116, 124, 132, 132, 124, 116, 112,  //
    112, 116, 124, 132, 132, 124, 116, 112,  //
    108, 112, 116, 124, 124, 116, 112, 108,  //
    106, 108, 112, 116, 116, 112, 108, 106,  //
    102, 108, 108, 110, 110, 108, 108, 102,  //
    104, 104, 104, 104, 104, 104, 104, 104,  //
    0,   0,   0,   0,   0,   0,   0,   0};
constexpr int32_t KNIGHT_ROW[64] = {
    330, 334, 338, 340, 340, 338, 334, 330,  //
    334, 338, 346, 350, 350, 346, 338, 334,  //
    338, 346, 354, 358, 358, 354, 346, 338,  //
    340, 350, 358, 362, 362, 358, 350, 340,  //
    340, 350, 358, 362, 362, 358, 350, 340,  //
    338, 346, 354, 358, 358, 354, 346, 338,  //
    334, 338, 346, 350, 350, 346, 338, 334,  //
    330, 334, 338, 340, 340, 338, 334, 330};
constexpr int32_t BISHOP_ROW[64] = {
    344, 344, 344, 344, 344, 344, 344, 344,  //
    344, 352, 348, 348, 348, 348, 352, 344,  //
    344, 348, 352, 352, 352, 352, 348, 344,  //
    344, 348, 352, 352, 352, 352, 348, 344,  //
    344, 348, 352, 352, 352, 352, 348, 344,  //
    344, 348, 352, 352, 352, 352, 348, 344,  //
    344, 352, 348, 348, 348, 348, 352, 344,  //
    344, 344, 344, 344, 344, 344, 344, 344};

constexpr std::array<std::array<int32_t, 64>, 16> make_pst() {
  std::array<std::array<int32_t, 64>, 16> t{};
  for (int sq = 0; sq < 64; ++sq) {
    t[W_PAWN][sq] = PAWN_ROW[sq];
    t[W_KNIGHT][sq] = KNIGHT_ROW[sq];
    t[W_BISHOP][sq] = BISHOP_ROW[sq];
    t[W_ROOK][sq] = 520;
    t[W_QUEEN][sq] = 1100;
    t[W_KING][sq] = 300;
  }
  for (unsigned kind = PAWN; kind <= KING; ++kind)
    for (int sq = 0; sq < 64; ++sq) t[kind][sq] = t[kind + 8][sq ^ 56];
  return t;
}

}  // namespace

const std::array<std::array<uint64_t, 64>, 17> piece_key = KEYS.pieces;
const std::array<uint64_t, 4> castle_key = KEYS.castle;
const std::array<std::array<uint64_t, 8>, 4> castle_file_key = KEYS.castle_file;

namespace {

// The squares of one rank from one square to another, both included.
Bitboard rank_span(Square a, Square b) {
  const int low = a < b ? a : b, high = a < b ? b : a;
  Bitboard span = 0;
  for (int sq = low; sq <= high; ++sq) span |= square_bb(sq);
  return span;
}

}  // namespace

void set_castling(CastlingGeometry& g, bool chess960, const Square king_home[2],
                  const Square rook_home[4]) {
  g = CastlingGeometry{};
  g.chess960 = chess960;
  for (int r = 0; r < 4; ++r) {
    const Square king = king_home[r < 2 ? 0 : 1], rook = rook_home[r];
    g.king_home[r] = king;
    g.rook_home[r] = rook;
    const Square king_to = castle_king_target(r), rook_to = castle_rook_target(r);
    g.king_path[r] = rank_span(king, king_to);
    g.must_be_empty[r] =
        (rank_span(king, king_to) | rank_span(rook, rook_to)) & ~(square_bb(king) | square_bb(rook));
  }
  // A king captured in a set-up that allowed it takes no right away: only
  // the rook and king moves and the rook taken on its square do.
  for (int sq = 0; sq < 64; ++sq) {
    g.right_loss[W_KING][sq] = CASTLE_WK | CASTLE_WQ;
    g.right_loss[B_KING][sq] = CASTLE_BK | CASTLE_BQ;
  }
  for (int r = 0; r < 4; ++r) {
    const unsigned rook = r < 2 ? W_ROOK : B_ROOK;
    g.right_loss[rook][rook_home[r]] |= uint8_t(1u << r);
    g.capture_loss[rook][rook_home[r]] |= uint8_t(1u << r);
  }
  for (unsigned set = 0; set < 16; ++set) {
    g.keys_of[set] = 0;
    for (int r = 0; r < 4; ++r)
      if (set & (1u << r)) g.keys_of[set] ^= castle_key[r] ^ castle_file_key[r][file_of(rook_home[r])];
  }
}

CastlingGeometry normal_castling() {
  static const Square KINGS[2] = {SQ_E1, SQ_E8};
  static const Square ROOKS[4] = {SQ_H1, SQ_A1, SQ_H8, SQ_A8};
  CastlingGeometry g;
  set_castling(g, false, KINGS, ROOKS);
  return g;
}
const std::array<std::array<int32_t, 64>, 16> piece_square_table = make_pst();

MoveStack::MoveStack()
    : list_begin(32, 0),
      list_end(32, 0),
      mate_killer(32, 0),
      killer1(32, 0),
      killer2(32, 0),
      pool(1024, 0) {}

// The killer arrays may already be longer than the new capacity: an
// assignment of a fresh position ("new", "setboard") resets the capacity but
// keeps the engine's killers. Resizing then keeps the killers of the deeper
// levels, as it keeps those of the first 32: killers are never cleared
// between games, and whether a deep level's killers survived should not hang
// on when the arrays happen to grow.
void MoveStack::grow_levels() {
  level_capacity *= 2;
  list_begin.resize(level_capacity, 0);
  list_end.resize(level_capacity, 0);
  killer1.resize(level_capacity, 0);
  killer2.resize(level_capacity, 0);
  mate_killer.resize(level_capacity, 0);
}

void MoveStack::grow_pool() {
  pool_capacity *= 2;
  pool.resize(pool_capacity, 0);
}

void MoveStack::record_cutoff(Move m, int depth, int side) {
  int32_t d = depth;
  history_score[side == 1 ? 0 : 1][m & 0xFFF] += uint64_t(int64_t(d) * d);
  if (m != killer1[level]) {
    killer2[level] = killer1[level];
    killer1[level] = m;
  }
}

void Position::rebuild_bb_of_code() {
  for (int c = 0; c < 16; ++c) bb_of_code[c] = nullptr;
  for (unsigned kind = PAWN; kind <= KING; ++kind) {
    bb_of_code[make_piece(White, kind)] = &piece_bb[piece_bb_index(make_piece(White, kind))];
    bb_of_code[make_piece(Black, kind)] = &piece_bb[piece_bb_index(make_piece(Black, kind))];
  }
}

Position::Position() { rebuild_bb_of_code(); }

// Every probe of the table lands on a page of its own, far from the last:
// with pages of 4 KB a large table costs a page-table walk at almost every
// probe, and a page fault at the first touch of each page. Where the system
// offers large pages (Linux, 2 MB) the table asks for them; the anonymous
// mapping comes zero-filled.
void* table_memory(size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) return nullptr;
  madvise(block, bytes, MADV_HUGEPAGE);
  return block;
#else
  return std::calloc(bytes, 1);
#endif
}

void release_table_memory(void* block, size_t bytes) {
  if (!block) return;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  munmap(block, bytes);
#else
  (void)bytes;
  std::free(block);
#endif
}

Position& Position::operator=(const Position& source) {
  if (this == &source) return *this;
  rebuild_bb_of_code();

  for (int sq = 0; sq < 64; ++sq) mailbox[sq] = source.mailbox[sq];
  side_to_move = source.side_to_move;
  castle_flags = source.castle_flags;
  castling = source.castling;
  ep_square = source.ep_square;
  for (int i = 0; i < 12; ++i) piece_bb[i] = source.piece_bb[i];
  occ_white = source.occ_white;
  occ_black = source.occ_black;
  occ_all = source.occ_all;
  pst_white = source.pst_white;
  pst_black = source.pst_black;
  hash_key = source.hash_key;
  fifty_count = source.fifty_count;

  history.capacity = source.history.capacity;
  history.count = source.history.count;
  history.entries = source.history.entries;

  // Killers, history counters and the late-move reductions stay ours: they
  // carry over between games, and so do the ordering's key buffers.
  MoveStack& ms = move_stack;
  const MoveStack& src = source.move_stack;
  ms.level_capacity = src.level_capacity;
  ms.pool_capacity = src.pool_capacity;
  ms.top = src.top;
  ms.level = src.level;
  ms.list_begin = src.list_begin;
  ms.list_end = src.list_end;
  ms.pool = src.pool;
  if (ms.killer1.size() < size_t(ms.level_capacity)) {
    ms.killer1.resize(ms.level_capacity, 0);
    ms.killer2.resize(ms.level_capacity, 0);
    ms.mate_killer.resize(ms.level_capacity, 0);
  }
  return *this;
}

uint64_t compute_hash_key(const Position& pos) {
  uint64_t key = 0;
  for (int sq = 0; sq < 64; ++sq)
    if (pos.mailbox[sq]) key ^= piece_key[pos.mailbox[sq]][sq];
  for (int r = 0; r < 4; ++r)
    key ^= pos.castle_flags & (1u << r) ? castle_file_key[r][file_of(pos.castling.rook_home[r])]
                                        : castle_key[r];
  key ^= ep_key(pos.ep_square);
  return key;
}

void refresh_from_mailbox(Position& pos) {
  for (Bitboard& b : pos.piece_bb) b = 0;
  pos.occ_white = pos.occ_black = 0;
  pos.pst_white = pos.pst_black = 0;
  for (int sq = 0; sq < 64; ++sq) {
    unsigned code = pos.mailbox[sq];
    if (!code) continue;
    pos.bb(code) |= square_bb(sq);
    if (is_white_code(code)) {
      pos.occ_white |= square_bb(sq);
      pos.pst_white += piece_square_table[code][sq];
    } else {
      pos.occ_black |= square_bb(sq);
      pos.pst_black += piece_square_table[code][sq];
    }
  }
  pos.occ_all = pos.occ_white | pos.occ_black;
  pos.hash_key = compute_hash_key(pos);
}

bool position_consistent(const Position& pos) {
  Bitboard white = 0, black = 0;
  int32_t sum_white = 0, sum_black = 0;
  for (int sq = 0; sq < 64; ++sq) {
    unsigned code = pos.mailbox[sq];
    for (int i = 0; i < 12; ++i) {
      bool here = (pos.piece_bb[i] >> sq) & 1;
      bool expected = code != 0 && piece_bb_index(code) == i;
      if (here != expected) return false;
    }
    if (!code) continue;
    if (kind_of(code) < PAWN || kind_of(code) > KING) return false;
    if (is_white_code(code)) {
      white |= square_bb(sq);
      sum_white += piece_square_table[code][sq];
    } else {
      black |= square_bb(sq);
      sum_black += piece_square_table[code][sq];
    }
  }
  for (int c = 0; c < 16; ++c) {
    unsigned kind = kind_of(c);
    bool has_board = kind >= PAWN && kind <= KING && c != 0;
    if (has_board != (pos.bb_of_code[c] != nullptr)) return false;
    if (has_board && pos.bb_of_code[c] != &pos.piece_bb[piece_bb_index(c)]) return false;
  }
  return white == pos.occ_white && black == pos.occ_black && (white | black) == pos.occ_all &&
         sum_white == pos.pst_white && sum_black == pos.pst_black &&
         compute_hash_key(pos) == pos.hash_key &&
         pos.history[pos.history.count].hash_key == pos.hash_key &&
         pos.history[pos.history.count].fifty_count == pos.fifty_count;
}
