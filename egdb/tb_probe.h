// Reader of the endgame tablebase files: registration of the files found in
// the tablebase directory, the class of a material, a block cache over the
// files, and the probe that turns a table byte into a search score.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "egdb/tb_classes.h"
#include "egdb/tb_decompress.h"
#include "egdb/tb_index.h"

struct Position;

constexpr int TB_BUCKETS = 32;
constexpr uint32_t TB_CACHE_BLOCK = 8192;
constexpr uint32_t TB_CACHE_BUFFER = 8228;  // a block plus the decoder's overrun
constexpr size_t TB_CACHE_BYTES = 16 * 1024 * 1024;
constexpr int32_t TB_NO_ENTRY = -1;

// One material class with its two tables (white to move [0], black [1]).
struct TbClass {
  int32_t number;
  TbIndexFunction index[2];
  char name[8];
  uint32_t size[2];
  char* file_name[2];                 // null: not registered
  std::FILE* handle[2];               // opened on first read, kept open
  TbCompressedFile* compressed[2];    // null for a plain file
  int32_t* buckets[2];                // TB_BUCKETS chain heads (cache entry numbers)
};
extern TbClass tb_classes[TB_CLASS_COUNT];

// A cached block. Entries are linked by number; entry i owns buffer i.
//   class, side, first index, bytes held, then the two pairs of links
struct TbCacheEntry {
  int32_t cls;
  int32_t side;
  uint32_t first;     // first index of the block, a multiple of TB_CACHE_BLOCK
  uint32_t length;    // bytes of the block that the table holds
  int32_t older, newer;  // recency list; the free list runs through older
  int32_t next, prev;    // bucket chain
};
static_assert(sizeof(TbCacheEntry) == 32);
constexpr size_t TB_CACHE_ENTRY_BYTES = sizeof(TbCacheEntry) + TB_CACHE_BUFFER;

// Counters for reports and tests.
struct TbCacheStats {
  uint64_t hits = 0;
  uint64_t reads = 0;  // blocks fetched from a file
};
extern TbCacheStats tb_cache_stats;

// 0 until tablebases are registered, then 3, 4 or 5: the most pieces of a
// registered class.
extern int tb_max_pieces;

// Why the reader cannot go on: a file that is broken or does not fit its
// class, or memory it could not get. The message is the line for the user,
// "*** " and the reason, without its line end; empty when all went well.
struct TbError {
  std::string message;
  bool failed() const { return !message.empty(); }
};

// Registers the files of the directories (by default "TB"; see
// tb_init_reader) and sets up the block cache; tb_max_pieces stays 0 after
// an error.
TbError init_tablebases(const char* dirs = "TB", std::vector<std::string>* skipped = nullptr);
// Registers the files of the directories in `dirs` (separated by ',' or ';'),
// dropping earlier registrations; returns 0, 3, 4 or 5 as tb_max_pieces, or 0
// with `error` set when a file is broken or memory runs out. With `skipped`,
// a broken file is left out instead, its message added there.
int tb_init_reader(const char* dirs, TbError& error,
                   std::vector<std::string>* skipped = nullptr);
// 1 when the table is (or already was) registered, else 0; 0 with `error`
// set when the file is broken or inconsistent.
int register_tablebase(const char* dir, int cls, int side, TbError& error);
void close_tablebase_files();
// Hands the cache an area of `bytes` bytes (the caller keeps it alive).
void set_block_cache(void* area, size_t bytes);
void reset_block_cache();
int tb_cache_block_count();

// Signed class number of a material, negative when the colours are exchanged
// in the files; 0 when no class has it. Counts: white P N B R Q, black P N B R Q.
int material_class(const int counts[10]);
// The table byte as a signed value, or 127 when it cannot be read.
int read_tablebase_byte(int cls, int side, uint32_t index);
// The byte mapped to 16 bits: 0 draw, above 32640 wins, below -32640 losses,
// 32767 no information.
int tablebase_value(int cls, int side, uint32_t index);
// Score for the side to move: positive a win, negative a loss, 0 a draw, -1
// when the tablebases have no answer.
int probe_tablebase(const Position& pos, int ply);
