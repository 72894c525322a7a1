#include "egdb/tb_probe.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "position/position.h"

TbClass tb_classes[TB_CLASS_COUNT];
TbCacheStats tb_cache_stats;
int tb_max_pieces = 0;

namespace {

// Class trie over the ten piece counts. A node is its largest allowed count m
// followed by m + 1 child offsets; the nodes below the tenth count are single
// cells holding a signed class number.
std::vector<int32_t> trie;
constexpr int TRIE_LEVELS = 10;
constexpr int MAX_PIECES = 3;  // besides the kings

int32_t build_trie(int level, int left) {
  int32_t at = int32_t(trie.size());
  if (level == TRIE_LEVELS) {
    trie.push_back(0);
    return at;
  }
  trie.push_back(left);
  trie.resize(trie.size() + size_t(left) + 1);
  for (int c = 0; c <= left; ++c) {
    int32_t child = build_trie(level + 1, left - c);
    trie[size_t(at) + 1 + size_t(c)] = child;
  }
  return at;
}

// The leaf cell of a material, or -1 when it has no class.
int32_t trie_leaf(const int counts[TRIE_LEVELS]) {
  if (trie.empty()) return -1;
  int32_t node = 0;
  for (int level = 0; level < TRIE_LEVELS; ++level) {
    int c = counts[level];
    if (c < 0 || c > trie[size_t(node)]) return -1;
    node = trie[size_t(node) + 1 + size_t(c)];
  }
  return node;
}

// Enters class `cls` under its own material and, negated, under the material
// with the colours exchanged; for classes with the same material on both
// sides the negative entry wins.
bool enter_class(int cls) {
  int counts[TRIE_LEVELS] = {};
  int exchanged[TRIE_LEVELS] = {};
  for (int side = 0; side < 2; ++side) {
    TbSideMaterial m = tb_class_material(cls, side);
    for (int i = 0; i < m.count; ++i) {
      ++counts[5 * side + m.type[i] - 1];
      ++exchanged[5 * (side ^ 1) + m.type[i] - 1];
    }
  }
  int32_t own = trie_leaf(counts), other = trie_leaf(exchanged);
  if (own < 0 || other < 0) return false;
  trie[size_t(own)] = cls;
  trie[size_t(other)] = -cls;
  return true;
}

// The block cache: entries first, then their buffers, in one caller's area.
TbCacheEntry* entries = nullptr;
uint8_t* buffers = nullptr;
int32_t block_count = 0;
int32_t free_head = TB_NO_ENTRY;
int32_t least_recent = TB_NO_ENTRY;
int32_t most_recent = TB_NO_ENTRY;

TbDecodeBlock* work_block = nullptr;
bool any_compressed = false;
bool reader_ready = false;
std::unique_ptr<uint8_t[]> own_cache;  // the area of init_tablebases

uint8_t* buffer_of(int32_t e) { return buffers + size_t(e) * TB_CACHE_BUFFER; }

void unlink_recency(int32_t e) {
  TbCacheEntry& x = entries[e];
  if (x.older != TB_NO_ENTRY) entries[x.older].newer = x.newer;
  else least_recent = x.newer;
  if (x.newer != TB_NO_ENTRY) entries[x.newer].older = x.older;
  else most_recent = x.older;
  x.older = x.newer = TB_NO_ENTRY;
}

void link_most_recent(int32_t e) {
  TbCacheEntry& x = entries[e];
  x.older = most_recent;
  x.newer = TB_NO_ENTRY;
  if (most_recent != TB_NO_ENTRY) entries[most_recent].newer = e;
  else least_recent = e;
  most_recent = e;
}

int32_t* bucket_head(const TbCacheEntry& x) {
  int32_t* heads = tb_classes[x.cls].buckets[x.side];
  return heads ? &heads[(x.first / TB_CACHE_BLOCK) % TB_BUCKETS] : nullptr;
}

void unlink_bucket(int32_t e) {
  TbCacheEntry& x = entries[e];
  if (x.prev != TB_NO_ENTRY) entries[x.prev].next = x.next;
  else if (int32_t* head = bucket_head(x)) *head = x.next;
  if (x.next != TB_NO_ENTRY) entries[x.next].prev = x.prev;
  x.next = x.prev = TB_NO_ENTRY;
}

void link_bucket_head(int32_t e) {
  TbCacheEntry& x = entries[e];
  int32_t* head = bucket_head(x);
  x.prev = TB_NO_ENTRY;
  x.next = *head;
  if (*head != TB_NO_ENTRY) entries[*head].prev = e;
  *head = e;
}

void release_to_free_list(int32_t e) {
  entries[e].older = free_head;
  entries[e].newer = entries[e].next = entries[e].prev = TB_NO_ENTRY;
  free_head = e;
}

std::string no_memory(size_t bytes) {
  return "*** Cannot allocate " + std::to_string((unsigned long)bytes) + " bytes of memory";
}

// A block of the reader's own, or nullptr with `error` set.
void* allocate(size_t bytes, TbError& error) {
  void* p = std::malloc(bytes ? bytes : 1);
  if (!p) error.message = no_memory(bytes);
  return p;
}

char* copy_text(const std::string& s, TbError& error) {
  char* p = static_cast<char*>(allocate(s.size() + 1, error));
  if (p) std::memcpy(p, s.c_str(), s.size() + 1);
  return p;
}

// The reason a compressed file's header could not be read.
const char* header_problem(int err) {
  switch (tb_error_kind(err)) {
    case TB_ERR_READ: return "read error";
    case TB_ERR_MEMORY: return "out of memory";
    case TB_ERR_BROKEN: return "file broken";
    default: return nullptr;
  }
}

void release_table(TbClass& c, int side) {
  std::free(c.file_name[side]);
  c.file_name[side] = nullptr;
  delete c.compressed[side];
  c.compressed[side] = nullptr;
  std::free(c.buckets[side]);
  c.buckets[side] = nullptr;
}

// The table stops answering after a failed read; its cached blocks stay
// reachable only through its buckets, which no probe consults any more.
void unregister(TbClass& c, int side) {
  std::free(c.file_name[side]);
  c.file_name[side] = nullptr;
  if (c.handle[side]) std::fclose(c.handle[side]);
  c.handle[side] = nullptr;
}

// Fetches block `first` of the table into entry e's buffer; false on failure.
bool fetch_block(TbClass& c, int side, int32_t e, uint32_t first) {
  if (!c.handle[side]) {
    c.handle[side] = std::fopen(c.file_name[side], "rb");
    if (!c.handle[side]) {
      // Perhaps too many files are open: close them all and try once more.
      close_tablebase_files();
      c.handle[side] = std::fopen(c.file_name[side], "rb");
      if (!c.handle[side]) return false;
    }
  }
  std::FILE* f = c.handle[side];
  uint32_t expected = std::min(TB_CACHE_BLOCK, c.size[side] - first);
  uint8_t* buffer = buffer_of(e);
  ++tb_cache_stats.reads;
  if (!c.compressed[side]) {
    if (std::fseek(f, long(first), SEEK_SET) != 0) return false;
    size_t got = std::fread(buffer, 1, TB_CACHE_BLOCK, f);
    // Only the table's last block may come up short, and only at its end.
    return !std::ferror(f) && got >= expected;
  }
  if (!work_block) return false;
  work_block->output = buffer;
  work_block->output_capacity = TB_CACHE_BUFFER;
  const TbCompressedFile& tb = *c.compressed[side];
  if (tb_read_block(f, tb, first / TB_CACHE_BLOCK, *work_block) != 0) return false;
  if (tb_decode_block(tb, *work_block) != 0) return false;
  return work_block->expected == expected;
}

}  // namespace

void close_tablebase_files() {
  for (TbClass& c : tb_classes)
    for (std::FILE*& h : c.handle)
      if (h) {
        std::fclose(h);
        h = nullptr;
      }
}

void reset_block_cache() {
  close_tablebase_files();
  free_head = least_recent = most_recent = TB_NO_ENTRY;
  for (int32_t e = block_count - 1; e >= 0; --e) {
    entries[e] = TbCacheEntry{0, 0, 0, 0, TB_NO_ENTRY, TB_NO_ENTRY, TB_NO_ENTRY, TB_NO_ENTRY};
    release_to_free_list(e);
  }
  for (TbClass& c : tb_classes)
    for (int32_t* heads : c.buckets)
      if (heads)
        for (int b = 0; b < TB_BUCKETS; ++b) heads[b] = TB_NO_ENTRY;
}

void set_block_cache(void* area, size_t bytes) {
  close_tablebase_files();
  if (!area || bytes < sizeof(TbCacheEntry)) {
    block_count = 0;
    entries = nullptr;
    buffers = nullptr;
    free_head = least_recent = most_recent = TB_NO_ENTRY;
    return;
  }
  block_count = int32_t(bytes / TB_CACHE_ENTRY_BYTES);
  entries = static_cast<TbCacheEntry*>(area);
  buffers = static_cast<uint8_t*>(area) + size_t(block_count) * sizeof(TbCacheEntry);
  reset_block_cache();
}

int tb_cache_block_count() { return block_count; }

int register_tablebase(const char* dir, int cls, int side, TbError& error) {
  TbClass& c = tb_classes[cls];
  if (c.file_name[side]) return 1;
  std::string path = dir;
  if (!path.empty()) path += '/';
  path += c.name;
  path += side == TB_WHITE_TO_MOVE ? ".nbw" : ".nbb";

  bool compressed = false;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    path += ".emd";
    compressed = true;
    f = std::fopen(path.c_str(), "rb");
  }
  if (!f) {
    path.erase(path.size() - 8, 1);  // name.nbw.emd becomes namenbw.emd
    f = std::fopen(path.c_str(), "rb");
  }
  if (!f) return 0;

  auto fail = [&](const std::string& message) {
    if (f) std::fclose(f);
    error.message = message;
    return 0;
  };
  uint64_t table_size;
  std::unique_ptr<TbCompressedFile> descriptor;
  if (!compressed) {
    if (std::fseek(f, 0, SEEK_END) != 0) return fail("*** Seek in " + path + " failed");
    long end = std::ftell(f);
    if (end < 0) return fail("*** Seek in " + path + " failed");
    table_size = uint64_t(end);
  } else {
    int err = tb_read_header(f, descriptor);
    if (err != 0) {
      const char* problem = header_problem(err);
      return fail("*** Unable to read " + path + " - " +
                  (problem ? problem : "error " + std::to_string(err)));
    }
    if (descriptor->block_size != TB_CACHE_BLOCK)
      return fail("*** " + path + ": Unsupported block size " +
                  std::to_string(long(descriptor->block_size)));
    table_size = uint64_t(descriptor->block_count - 1) * TB_CACHE_BLOCK + descriptor->last_block_size;
  }
  if (c.size[side] != 0 && c.size[side] != table_size) return fail("*** " + path + " corrupted");
  c.size[side] = uint32_t(table_size);
  std::fclose(f);
  f = nullptr;
  if (!enter_class(cls)) return fail("*** Unable to register " + path);

  char* name = copy_text(path, error);
  if (!name) return 0;
  auto* heads = static_cast<int32_t*>(allocate(TB_BUCKETS * sizeof(int32_t), error));
  if (!heads) {
    std::free(name);
    return 0;
  }
  c.file_name[side] = name;
  c.buckets[side] = heads;
  for (int b = 0; b < TB_BUCKETS; ++b) c.buckets[side][b] = TB_NO_ENTRY;
  c.compressed[side] = descriptor.release();
  if (c.compressed[side]) any_compressed = true;
  return 1;
}

int tb_init_reader(const char* dirs, TbError& error, std::vector<std::string>* skipped) {
  error = TbError{};
  close_tablebase_files();
  if (!reader_ready) {
    init_tb_index_tables();
    build_trie(0, MAX_PIECES);
    for (int i = 0; i < TB_CLASS_COUNT; ++i) {
      TbClass& c = tb_classes[i];
      c = TbClass{};
      c.number = i;
      c.index[0] = tb_index_functions[i][0];
      c.index[1] = tb_index_functions[i][1];
      std::memcpy(c.name, tb_class_info[i].name, sizeof c.name);
      c.size[0] = tb_class_info[i].size[0];
      c.size[1] = tb_class_info[i].size[1];
    }
    reader_ready = true;
  }
  for (TbClass& c : tb_classes)
    for (int side = 0; side < 2; ++side) release_table(c, side);
  std::free(work_block);
  work_block = nullptr;
  // Cached blocks belong to the registrations just dropped.
  if (block_count > 0) reset_block_cache();

  int highest = 0;
  std::string list = dirs ? dirs : "";
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find_first_of(",;", start);
    if (end == std::string::npos) end = list.size();
    std::string dir = list.substr(start, end - start);
    for (int cls = 1; cls < TB_CLASS_COUNT; ++cls)
      for (int side = 0; side < 2; ++side) {
        if (register_tablebase(dir.c_str(), cls, side, error) && cls > highest) highest = cls;
        if (error.failed() && skipped) {
          // The broken file stays unregistered; the others serve.
          skipped->push_back(error.message);
          error = TbError{};
        }
        if (error.failed()) return 0;
      }
    start = end + 1;
  }

  if (any_compressed) {
    work_block = static_cast<TbDecodeBlock*>(std::malloc(sizeof(TbDecodeBlock)));
    if (!work_block) {
      error.message = "*** Cannot allocate decode block: error code " + std::to_string(TB_ERR_MEMORY);
      return 0;
    }
    new (work_block) TbDecodeBlock{};
  }
  return highest >= 36 ? 5 : highest >= 6 ? 4 : highest >= 1 ? 3 : 0;
}

TbError init_tablebases(const char* dirs, std::vector<std::string>* skipped) {
  TbError error;
  tb_max_pieces = tb_init_reader(dirs, error, skipped);
  if (tb_max_pieces == 0) return error;
  if (!own_cache) {
    own_cache.reset(new (std::nothrow) uint8_t[TB_CACHE_BYTES]);
    if (!own_cache) {
      tb_max_pieces = 0;
      error.message = no_memory(TB_CACHE_BYTES);
      return error;
    }
  }
  set_block_cache(own_cache.get(), TB_CACHE_BYTES);
  return error;
}

int material_class(const int counts[10]) {
  int32_t leaf = trie_leaf(counts);
  return leaf < 0 ? 0 : trie[size_t(leaf)];
}

int read_tablebase_byte(int cls, int side, uint32_t index) {
  if (cls <= 0 || cls >= TB_CLASS_COUNT || side < 0 || side > 1) return 127;
  TbClass& c = tb_classes[cls];
  if (block_count == 0 || !c.buckets[side] || !c.file_name[side]) return 127;
  // Indices of illegal placements may run past the table: they hold nothing.
  if (index >= c.size[side]) return 127;

  const uint32_t first = index / TB_CACHE_BLOCK * TB_CACHE_BLOCK;
  int32_t* head = &c.buckets[side][(index / TB_CACHE_BLOCK) % TB_BUCKETS];
  for (int32_t e = *head; e != TB_NO_ENTRY; e = entries[e].next) {
    TbCacheEntry& x = entries[e];
    if (x.cls != cls || x.side != side || x.first != first) continue;
    ++tb_cache_stats.hits;
    unlink_recency(e);
    link_most_recent(e);
    if (*head != e) {
      unlink_bucket(e);
      link_bucket_head(e);
    }
    return int8_t(buffer_of(e)[index - first]);
  }

  int32_t e = free_head;
  if (e != TB_NO_ENTRY) {
    free_head = entries[e].older;
  } else {
    e = least_recent;
    unlink_recency(e);
    unlink_bucket(e);
  }
  TbCacheEntry& x = entries[e];
  x.cls = cls;
  x.side = side;
  x.first = first;
  x.length = std::min(TB_CACHE_BLOCK, c.size[side] - first);
  x.older = x.newer = x.next = x.prev = TB_NO_ENTRY;
  if (!fetch_block(c, side, e, first)) {
    unregister(c, side);
    release_to_free_list(e);
    return 127;
  }
  link_most_recent(e);
  link_bucket_head(e);
  return int8_t(buffer_of(e)[index - first]);
}

int tablebase_value(int cls, int side, uint32_t index) {
  // Seven kppkp positions with black to move whose stored byte is wrong.
  static constexpr uint32_t kppkp_losses[7] = {56'802'428, 56'811'076, 56'849'992, 56'858'640,
                                               59'592'489, 67'775'659, 71'071'628};
  if (cls == 36 && side == TB_BLACK_TO_MOVE)
    for (uint32_t i : kppkp_losses)
      if (index == i) return -32639;
  int b = read_tablebase_byte(cls, side, index);
  if (b == 0) return 0;
  if (b == 127) return 32767;
  if (b == -127) return -32640;
  if (b == -128) return 32640;
  return b > 0 ? 32640 + b : b - 32640;
}

namespace {

// One side's pieces in the index functions' form, with its counts of pawns
// to queens; false when the side has not exactly one king.
bool side_list(const Position& pos, Colour c, TbPieceList& list, int* counts) {
  const unsigned king_code = make_piece(c, KING);
  Bitboard king = pos.piece_bb[piece_bb_index(king_code)];
  if (king == 0 || more_than_one(king)) return false;
  list = TbPieceList{};
  list.type[0] = KING;
  list.square[0] = lowest_bit(king) ^ 56;
  Bitboard rest = (c == White ? pos.occ_white : pos.occ_black) & ~king;
  int n = 1;
  while (rest) {
    int sq = pop_lowest(rest);
    unsigned code = pos.mailbox[sq];
    unsigned kind = c == White ? code - 8 : code;
    if (kind < PAWN || kind > QUEEN) return false;
    ++counts[kind - 1];
    if (n < 4) {
      list.type[n] = int32_t(kind);
      list.square[n] = sq ^ 56;
    }
    ++n;
  }
  return true;
}

}  // namespace

int probe_tablebase(const Position& pos, int ply) {
  TbPieceList white{}, black{};
  int counts[10] = {};
  if (!side_list(pos, White, white, counts) || !side_list(pos, Black, black, counts + 5)) return -1;
  int white_pieces = 0, black_pieces = 0;
  for (int i = 0; i < 5; ++i) white_pieces += counts[i], black_pieces += counts[5 + i];
  if (white_pieces > 3 || black_pieces > 3) return -1;
  // The index functions number no placement with the kings touching.
  int wk = white.square[0], bk = black.square[0];
  int df = (wk & 7) - (bk & 7), dr = (wk >> 3) - (bk >> 3);
  if (df >= -1 && df <= 1 && dr >= -1 && dr <= 1) return -1;

  int c = material_class(counts);
  if (c == 0) return -1;
  const bool white_to_move = pos.side_to_move == White;
  const TbPieceList* first = &white;
  const TbPieceList* second = &black;
  int mirror = 0;
  int side = white_to_move ? TB_WHITE_TO_MOVE : TB_BLACK_TO_MOVE;
  if (c < 0) {
    c = -c;
    first = &black;
    second = &white;
    mirror = 1;
    side = white_to_move ? TB_BLACK_TO_MOVE : TB_WHITE_TO_MOVE;
  }
  const TbClass& cls = tb_classes[c];
  if (!cls.file_name[side]) return -1;
  // The en-passant target: the square the capturing pawn moves to.
  int ep = pos.ep_square == 0 ? TB_NO_EP : int(pos.ep_square) ^ 56;
  uint32_t index = cls.index[side](*first, *second, ep, mirror);
  int v = tablebase_value(c, side, index);
  if (v == 32767) return -1;
  if (v > 0) return 2 * v - 50534 - ply;
  if (v < 0) return 2 * v + 50532 + ply;
  return 0;
}
