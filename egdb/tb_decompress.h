// Reader of block-compressed tablebase files: header, block fetch, decoding.
// Every block is a canonical Huffman stream over 256 literals and 768 match
// symbols (24 distances x 32 length classes), decodable on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

// Error code: the low byte is the kind, the bits above name the failing place.
constexpr int TB_ERR_READ = 2;
constexpr int TB_ERR_MEMORY = 5;
constexpr int TB_ERR_BROKEN = 6;
constexpr int TB_ERR_CALL = 7;
constexpr int tb_error(int place, int kind) { return (place << 8) | kind; }
constexpr int tb_error_kind(int code) { return code & 0xFF; }

constexpr int TB_BANNER_BYTES = 64;
extern const unsigned char tb_banner[TB_BANNER_BYTES];

// File header, all integers big-endian:
//   0  .. 63   banner (58 characters, CR, LF, four zero bytes)
//   64 .. 67   H, header length in bytes
//   68 .. 69   unused
//   70         b, log2 of the block size
//   71         number of distances (24)
//   72 .. 75   n, number of blocks
//   76 .. 79   format constant
//   80 ..      n x (check of decoded block, check of compressed block)
//   then a bit stream: n compressed sizes, the last block's decoded size and
//        the 24 distances, each b bits, 0 meaning 2^b; padded to a byte
//   then a bit stream: the code lengths of the 1,024 symbols
//   H-4 .. H-1 tb_crc of bytes 0 .. H-5
constexpr int TB_FIXED_HEADER = 80;
constexpr uint32_t TB_FORMAT = 0x004001F5;
constexpr int TB_DISTANCES = 24;
constexpr int TB_SYMBOLS = 1024;
constexpr int TB_MAX_CODE_LENGTH = 31;
constexpr int TB_LOOKUP_BITS = 13;
constexpr uint32_t TB_DECODE_MARKER = 0x79A3F29D;
constexpr int TB_INPUT_BYTES = 8192;

// Lookup entry and tree child, 16 bits:
//   bit 15     1 = tree node, 0 = symbol
//   bits 13-10 bits consumed by a lookup hit (0 .. 13); unused in tree children
//   bits 9-0   symbol, or the index of the tree node
struct TbCodeTable {
  int width = 0;
  int node_count = 0;
  uint16_t lookup[1 << TB_LOOKUP_BITS];
  uint16_t tree[TB_SYMBOLS][2];  // child 0 for a 0 bit, child 1 for a 1 bit
};
constexpr uint16_t TB_NODE = 0x8000;

struct TbCompressedFile {
  TbCodeTable code;
  uint32_t distance[TB_DISTANCES];
  std::unique_ptr<uint64_t[]> offset;  // n + 1 block starts; the last is the end
  int block_bits = 0;
  uint32_t block_size = 0;
  uint32_t last_block_size = 0;
  uint32_t block_count = 0;
  uint32_t input_bytes = 0;  // largest compressed block plus 32
  uint32_t marker = 0;       // TB_DECODE_MARKER once complete
};

// The reusable work block: a 64-byte state, then the compressed bytes.
struct TbDecodeBlock {
  uint8_t* output = nullptr;
  uint32_t output_capacity = 0;  // bytes writable at output, spare ones included
  uint32_t output_pos = 0;
  uint32_t expected = 0;
  uint32_t compressed = 0;
  uint32_t block = 0;
  uint32_t pending = 0;  // bytes of the last match cut off at the block's end
  uint64_t bit_buffer = 0;
  uint32_t bit_count = 0;
  uint32_t input_pos = 0;
  uint32_t marker = TB_DECODE_MARKER;
  uint8_t reserved[12];
  uint8_t input[TB_INPUT_BYTES];
};
static_assert(offsetof(TbDecodeBlock, input) == 64);

// Sequential MSB-first reader over a byte range; reading past the end yields
// zero bits and sets overrun.
struct TbBitReader {
  const uint8_t* data = nullptr;
  uint64_t size_bits = 0;
  uint64_t pos = 0;
  bool overrun = false;
};
uint32_t tb_read_bits(TbBitReader& bits, int count);

uint32_t tb_crc(const uint8_t* data, size_t size, uint32_t value = 0);
int tb_read_code_lengths(TbBitReader& bits, int count, uint8_t* lengths);
int tb_build_code_table(const uint8_t* lengths, int count, int width, TbCodeTable& table);
int tb_read_header(std::FILE* file, std::unique_ptr<TbCompressedFile>& out);
int tb_read_block(std::FILE* file, const TbCompressedFile& tb, uint32_t block, TbDecodeBlock& work);
int tb_decode_block(const TbCompressedFile& tb, TbDecodeBlock& work);
