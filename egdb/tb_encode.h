// Writer of block-compressed tablebase files, the counterpart of tb_decompress.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "egdb/tb_decompress.h"

constexpr int TB_BLOCK_BITS = 13;
constexpr uint32_t TB_BLOCK_SIZE = 1u << TB_BLOCK_BITS;

struct TbEncodedBlock {
  std::vector<uint8_t> bytes;  // coded stream, or the block itself when stored
  uint32_t decoded_crc = 0;
};

// What the encoder chose, for reports and tests.
struct TbEncodeStats {
  uint32_t distance[TB_DISTANCES] = {};
  uint8_t lengths[TB_SYMBOLS] = {};
  uint64_t symbol_count[TB_SYMBOLS] = {};
  uint32_t stored_blocks = 0;
};

// MSB-first bit writer.
struct TbBitWriter {
  std::vector<uint8_t> bytes;
  uint32_t pending = 0;  // bits in the last byte
};
void tb_put_bits(TbBitWriter& w, uint32_t value, int count);

// Canonical code lengths for the counts, none above max_length; a single used
// symbol gets length 1.
void tb_huffman_lengths(const uint64_t* counts, int n, int max_length, uint8_t* lengths);
// Canonical codes of the lengths, the same assignment as the reader's.
void tb_canonical_codes(const uint8_t* lengths, int n, uint32_t* codes);
// Code lengths in the simple form (n <= 128) or the pre-coded form.
void tb_write_code_lengths(TbBitWriter& w, const uint8_t* lengths, int n);

// Lays out a whole file from coded blocks: block i is stored when its byte
// count equals its decoded size. Sizes must be below 2^13 except full blocks.
void tb_assemble_file(const uint32_t* distance, const uint8_t* lengths,
                      const std::vector<TbEncodedBlock>& blocks, uint32_t last_block_size,
                      std::vector<uint8_t>& out);

// Picks the distances that cover most of a sample of the data with matches.
void tb_choose_distances(const uint8_t* data, size_t size, uint32_t* distance);

// Compresses a table; returns 0, or TB_ERR_CALL for an empty table.
int tb_encode(const uint8_t* data, size_t size, std::vector<uint8_t>& out,
              TbEncodeStats* stats = nullptr);
