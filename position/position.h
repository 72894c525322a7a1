// The engine's board record with its move stack and game history.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "position/types.h"

// Stack of move lists in one shared pool, with the search's per-level
// killer slots, the history-heuristic counters and the rest of the state one
// search carries from node to node.
struct MoveStack {
  int32_t level_capacity = 32;
  int32_t pool_capacity = 1024;
  std::vector<int32_t> list_begin;
  std::vector<int32_t> list_end;
  int32_t top = 0;
  int32_t level = 1;  // the list in use is that of index level - 1; index 0 stays empty
  std::vector<Move> mate_killer;
  std::vector<Move> killer1;
  std::vector<Move> killer2;
  std::array<std::array<uint64_t, 4096>, 2> history_score{};  // [0] White, [1] Black
  std::vector<Move> pool;
  // Reductions of the late moves by stage: quiet moves that keep material,
  // losing captures, losing quiet moves, under-promotions. They grow once
  // the first node searched here has a winning capture, and stay grown.
  std::array<int32_t, 4> lmr_reduction{16, 16, 16, 16};
  // The ordering's keys of the range being sorted; grown when a range needs
  // more, never shrunk.
  std::vector<int32_t> score_keys;
  std::vector<uint64_t> history_keys;

  MoveStack();

  void open_level() {
    list_end[level] = top;
    list_begin[level] = top;
    if (++level == level_capacity) grow_levels();
  }
  void push(Move m) {
    pool[top++] = m;
    list_end[level - 1] = top;
    if (top == pool_capacity) grow_pool();
  }
  void close_level() {
    if (level > 1) --level;
    top = list_end[level - 1];
  }
  int count() const { return list_end[level - 1] - list_begin[level - 1]; }
  Move& at(int i) { return pool[list_begin[level - 1] + i]; }

  // The killer slots belong to the level that the next open_level creates.
  void set_mate_killer(Move m) { mate_killer[level] = m; }
  Move get_mate_killer() const { return mate_killer[level]; }
  Move get_killer1() const { return killer1[level]; }
  Move get_killer2() const { return killer2[level]; }

  void record_cutoff(Move m, int depth, int side);

  void grow_levels();
  void grow_pool();
};

//   HistoryEntry i describes the position after i plies from the set-up one.
//   The square sums are kept so that unmaking a move restores them instead of
//   working them out again.
struct HistoryEntry {
  uint32_t move;          // played from position i
  uint32_t castle_flags;  // of position i
  uint32_t ep_square;     // of position i
  uint32_t fifty_count;   // of position i
  uint64_t hash_key;      // of position i
  int32_t pst_white;      // of position i, written when its move is made
  int32_t pst_black;
};

struct GameHistory {
  int32_t capacity = 1024;
  int32_t count = 0;
  std::vector<HistoryEntry> entries;

  GameHistory() : entries(1024, HistoryEntry{}) {}

  void push(Move m, uint32_t castle_flags, uint32_t ep_square) {
    push_entry(m, castle_flags, ep_square);
  }
  // push, answering where the entry written now lies; the one after it is the
  // current entry, which set_current fills.
  HistoryEntry* push_entry(Move m, uint32_t castle_flags, uint32_t ep_square) {
    HistoryEntry* e = entries.data() + count;
    e->move = m;
    e->castle_flags = castle_flags;
    e->ep_square = ep_square;
    if (++count == capacity) {
      capacity *= 2;
      entries.resize(capacity);
      e = entries.data() + count - 1;
    }
    return e;
  }
  void set_current(uint64_t key, uint32_t fifty) {
    entries[count].hash_key = key;
    entries[count].fifty_count = fifty;
  }
  void pop() { --count; }
  const HistoryEntry& operator[](int i) const { return entries[i]; }
  HistoryEntry& operator[](int i) { return entries[i]; }
};

struct TtBucket;
struct SearchShare;

// Handle of the transposition table; the table itself lives in search/. A
// position searches through a copy of the handle: the memory belongs to
// whoever allocated it (tt_allocate, tt_release), never to the position.
struct TranspositionTable {
  uint32_t bucket_count = 0;
  TtBucket* buckets = nullptr;  // from table_memory, released with release_table_memory
  size_t bytes = 0;             // of the block behind buckets
  unsigned __int128 reciprocal = 0;  // of bucket_count, for the key's remainder (search/tt.h)
};

// A zero-filled block for the table, in large pages where the system offers
// them; null when there is no memory.
void* table_memory(size_t bytes);
void release_table_memory(void* block, size_t bytes);

// A counter that one thread writes and others may read while it runs (the
// nodes of a helper search): relaxed atomic accesses, as cheap as plain ones.
struct RelaxedCount {
  std::atomic<uint64_t> value{0};

  RelaxedCount() = default;
  RelaxedCount(const RelaxedCount& other) : value(other.get()) {}
  RelaxedCount& operator=(const RelaxedCount& other) { return *this = other.get(); }
  RelaxedCount& operator=(uint64_t v) {
    value.store(v, std::memory_order_relaxed);
    return *this;
  }
  uint64_t get() const { return value.load(std::memory_order_relaxed); }
  operator uint64_t() const { return get(); }
  RelaxedCount& operator+=(uint64_t n) { return *this = get() + n; }
  uint64_t operator++() { return (*this = get() + 1).get(); }
};

struct Position;

// A judge of positions with few pieces outside the search (endgame tables),
// which the search asks at such nodes: a plain function and its context.
// True with the position's exact score for the side to move, as the search
// scores it at that ply (a mate at its distance, a draw 0).
struct EndgameOracle {
  bool (*probe)(void* context, Position& pos, int ply, int32_t& score) = nullptr;
  void* context = nullptr;
};

// Pieces, kings included, up to which the search asks an oracle.
constexpr int ORACLE_PIECES = 4;

// Castling rights by index r, the bit 1 << r of castle_flags: 0 K (White,
// towards file h), 1 Q (White, towards file a), 2 k, 3 q.
//
// Where each right's king and rook start, and what its castling needs, worked
// out once at set-up. Normal chess has the kings on e1 and e8 and the rooks in
// the corners; a Chess960 game takes them from its start array. Either way the
// king ends on the g- or c-file and the rook on the f- or d-file.
struct CastlingGeometry {
  // A Chess960 game: castling takes the general path of move generation and
  // make-move, and its move word is the king's move onto its own rook.
  bool chess960 = false;
  Square king_home[4];
  Square rook_home[4];
  Bitboard must_be_empty[4];  // every square king or rook crosses or reaches, but theirs
  Bitboard king_path[4];      // from the king's square to its target: none may be attacked
  // Rights lost by a piece code leaving a square (a rook its own right there,
  // the king both of its side anywhere), and by one taken on a square.
  uint8_t right_loss[16][64];
  uint8_t capture_loss[16][64];
  // The key change of losing each set of rights.
  uint64_t keys_of[16];
};

// The king's and the rook's target squares of castling right r.
constexpr Square castle_king_target(int r) {
  return r == 0 ? SQ_G1 : r == 1 ? SQ_C1 : r == 2 ? SQ_G8 : SQ_C8;
}
constexpr Square castle_rook_target(int r) {
  return r == 0 ? SQ_F1 : r == 1 ? SQ_D1 : r == 2 ? SQ_F8 : SQ_D8;
}
// Fills the geometry from the kings' squares (White, Black) and the rooks'
// squares of the four rights.
void set_castling(CastlingGeometry& g, bool chess960, const Square king_home[2],
                  const Square rook_home[4]);
// Normal chess: kings on e1 and e8, rooks in the corners.
CastlingGeometry normal_castling();


struct Position {
  Bitboard piece_bb[12];
  // Not beside either side's set: the compiler would update such a pair with
  // one wide load and store, and the wide load must wait out the narrower
  // stores of the other side's moves to either half.
  Bitboard occ_all;
  Bitboard* bb_of_code[16];  // names piece_bb entries; rebuilt, never copied
  Bitboard occ_white, occ_black;
  uint32_t mailbox[64];
  uint32_t castle_flags;
  int32_t side_to_move;  // 1 White, 0 Black
  uint32_t ep_square;    // the square a double-stepping pawn passed over; 0 none
  uint32_t fifty_count;
  int32_t pst_white, pst_black;
  uint64_t hash_key;
  CastlingGeometry castling = normal_castling();
  MoveStack move_stack;
  GameHistory history;
  TranspositionTable tt;

  RelaxedCount node_count;
  RelaxedCount tt_hits;
  RelaxedCount tb_hits;  // the endgame tables' answers
  int32_t seldepth = 0;  // the deepest ply the search has reached
  // The search stops once node_count reaches it.
  uint64_t node_limit = UINT64_MAX;
  // Asked by the search where it knows the answer; none by default.
  const EndgameOracle* oracle = nullptr;
  // What the other threads of the same search share with this one
  // (search/busy.h); none when this position searches alone. The search
  // stops once another thread has finished iteration overtaken_at.
  SearchShare* share = nullptr;
  int32_t overtaken_at = 0;

  // Makes the owned containers only; the board fields are the caller's.
  Position();
  // Sets up the position of a FEN text (setup_problems tells what is illegal);
  // a Chess960 game reads the castling field as X-FEN or Shredder-FEN.
  explicit Position(const char* fen, bool chess960 = false);
  Position(const Position&) = delete;
  // Takes board, game state, history and move lists from source; keeps its
  // own table handle, killers, history counters, reductions and counters.
  Position& operator=(const Position& source);

  Bitboard& bb(unsigned code) { return *bb_of_code[code]; }
  int32_t material_balance() const {
    return side_to_move == 1 ? pst_white - pst_black : pst_black - pst_white;
  }
  void rebuild_bb_of_code();
};

// Fixed pseudo-random key tables: rows by piece code, row 16 is the
// en-passant row; rows 7, 8 and 15 and ep entry 0 are zero.
extern const std::array<std::array<uint64_t, 64>, 17> piece_key;
extern const std::array<uint64_t, 4> castle_key;  // K, Q, k, q
// A right held with its rook off its normal-chess corner adds the key of
// its rook's file; the corner's entry is zero.
extern const std::array<std::array<uint64_t, 8>, 4> castle_file_key;
inline uint64_t ep_key(unsigned sq) { return piece_key[16][sq]; }

// Material plus square value by piece code; black rows mirror the white ones.
extern const std::array<std::array<int32_t, 64>, 16> piece_square_table;

// Builds bitboards, occupancies, sums and key from the mailbox and state.
void refresh_from_mailbox(Position& pos);
// The key of the position as composed from scratch.
uint64_t compute_hash_key(const Position& pos);
// Recomputes every incremental field from scratch and compares; true when
// bitboards, mailbox, occupancies, sums and key all agree.
bool position_consistent(const Position& pos);
