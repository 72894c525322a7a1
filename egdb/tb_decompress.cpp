#include "egdb/tb_decompress.h"

#include <array>
#include <cstring>
#include <new>

namespace {


// The check polynomial is applied when the low bit is clear, and there is no
// final inversion: the format's own variant, not the usual CRC-32.
constexpr std::array<uint32_t, 256> make_crc_table() {
  std::array<uint32_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t v = i;
    for (int k = 0; k < 8; ++k) v = (v & 1) ? v >> 1 : (v >> 1) ^ 0xEDB88320u;
    t[i] = v;
  }
  return t;
}
constexpr std::array<uint32_t, 256> CRC_TABLE = make_crc_table();

// Places named in the high bits of error codes.
enum Place : int {
  P_SHORT_FIXED = 1, P_BANNER, P_HEADER_LENGTH, P_BLOCK_BITS, P_DISTANCE_COUNT, P_FORMAT,
  P_ALLOC_HEADER, P_SHORT_HEADER, P_HEADER_CRC, P_ALLOC_FILE, P_BLOCK_COUNT, P_SIZES,
  P_LENGTHS, P_CODE, P_OFFSETS, P_FILE_SIZE, P_LENGTH_RANGE, P_SINGLE, P_INCOMPLETE,
  P_NODES, P_SIMPLE_OVERRUN, P_REPEAT_OVERRUN, P_CODE_A, P_CODE_B, P_CALL_READ,
  P_SEEK, P_READ, P_INPUT_SIZE, P_OUTPUT_SIZE, P_CALL_DECODE, P_DISTANCE, P_STREAM,
};

uint32_t be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

uint64_t be64(const uint8_t* p) { return (uint64_t(be32(p)) << 32) | be32(p + 4); }

int decode_symbol(TbBitReader& bits, const TbCodeTable& t) {
  uint64_t save = bits.pos;
  uint32_t e = t.lookup[tb_read_bits(bits, t.width)];
  if (!(e & TB_NODE)) {
    bits.pos = save + ((e >> 10) & 15);
    bits.overrun = bits.pos > bits.size_bits;
    return e & 1023;
  }
  while (e & TB_NODE) e = t.tree[e & 1023][tb_read_bits(bits, 1)];
  return e & 1023;
}

}  // namespace

// The identification text, CR, LF and four zero bytes (the last one the
// literal's terminator).
const unsigned char tb_banner[TB_BANNER_BYTES] =
    "KELO compressed endgame tablebase, Huffman-coded blocks, 1\r\n\0\0\0";

uint32_t tb_read_bits(TbBitReader& bits, int count) {
  uint32_t v = 0;
  for (int i = 0; i < count; ++i) {
    uint32_t bit = 0;
    if (bits.pos < bits.size_bits) bit = (bits.data[bits.pos >> 3] >> (7 - (bits.pos & 7))) & 1;
    else bits.overrun = true;
    ++bits.pos;
    v = (v << 1) | bit;
  }
  return v;
}

uint32_t tb_crc(const uint8_t* data, size_t size, uint32_t value) {
  for (size_t i = 0; i < size; ++i) value = (value >> 8) ^ CRC_TABLE[(value ^ data[i]) & 255];
  return value;
}

int tb_build_code_table(const uint8_t* lengths, int count, int width, TbCodeTable& t) {
  t.width = width;
  t.node_count = 0;
  int per_length[TB_MAX_CODE_LENGTH + 1] = {};
  int used = 0, only = 0;
  for (int s = 0; s < count; ++s) {
    if (lengths[s] > TB_MAX_CODE_LENGTH) return tb_error(P_LENGTH_RANGE, TB_ERR_BROKEN);
    if (lengths[s]) ++used, only = s;
    ++per_length[lengths[s]];
  }
  const int entries = 1 << width;
  if (used <= 1) {
    // No symbol, or a single one: decoded from every pattern without bits.
    if (used == 1 && lengths[only] != 1) return tb_error(P_SINGLE, TB_ERR_BROKEN);
    for (int i = 0; i < entries; ++i) t.lookup[i] = uint16_t(only);
    return 0;
  }
  uint64_t kraft = 0;
  for (int len = TB_MAX_CODE_LENGTH; len >= 1; --len)
    kraft += uint64_t(per_length[len]) << (TB_MAX_CODE_LENGTH - len);
  if (kraft != uint64_t(1) << TB_MAX_CODE_LENGTH) return tb_error(P_INCOMPLETE, TB_ERR_BROKEN);

  uint32_t next[TB_MAX_CODE_LENGTH + 2] = {};
  uint32_t code = 0;
  per_length[0] = 0;
  for (int len = 1; len <= TB_MAX_CODE_LENGTH; ++len) {
    code = (code + per_length[len - 1]) << 1;
    next[len] = code;
  }
  for (int i = 0; i < entries; ++i) t.lookup[i] = 0;
  for (int s = 0; s < count; ++s) {
    int len = lengths[s];
    if (!len) continue;
    uint32_t c = next[len]++;
    if (len <= width) {
      uint32_t first = c << (width - len);
      for (uint32_t i = 0; i < (1u << (width - len)); ++i)
        t.lookup[first + i] = uint16_t((len << 10) | s);
      continue;
    }
    uint16_t* slot = &t.lookup[c >> (len - width)];
    for (int bit = len - width - 1; bit >= 0; --bit) {
      if (!(*slot & TB_NODE)) {
        if (t.node_count >= TB_SYMBOLS) return tb_error(P_NODES, TB_ERR_BROKEN);
        t.tree[t.node_count][0] = t.tree[t.node_count][1] = 0;
        *slot = uint16_t(TB_NODE | t.node_count++);
      }
      slot = &t.tree[*slot & 1023][(c >> bit) & 1];
    }
    *slot = uint16_t(s);
  }
  return 0;
}

namespace {

int read_simple_lengths(TbBitReader& bits, int count, uint8_t* lengths) {
  int w = int(tb_read_bits(bits, 5));
  int n = 0;
  while (n < count) {
    uint32_t v = tb_read_bits(bits, w);
    if (bits.overrun) return tb_error(P_SIMPLE_OVERRUN, TB_ERR_BROKEN);
    if (v > TB_MAX_CODE_LENGTH) return tb_error(P_LENGTH_RANGE, TB_ERR_BROKEN);
    lengths[n++] = uint8_t(v);
    if (v == 0) {
      uint32_t r = tb_read_bits(bits, 4);
      if (r > uint32_t(count - n)) return tb_error(P_SIMPLE_OVERRUN, TB_ERR_BROKEN);
      for (uint32_t i = 0; i < r; ++i) lengths[n++] = 0;
    }
  }
  return 0;
}

}  // namespace

int tb_read_code_lengths(TbBitReader& bits, int count, uint8_t* lengths) {
  if (tb_read_bits(bits, 1)) {
    std::memset(lengths, 0, size_t(count));
    return bits.overrun ? tb_error(P_SIMPLE_OVERRUN, TB_ERR_BROKEN) : 0;
  }
  if (count <= 128) return read_simple_lengths(bits, count, lengths);

  uint8_t pre[128];
  int err = tb_read_code_lengths(bits, 128, pre);
  if (err) return err;
  auto codes = std::unique_ptr<TbCodeTable[]>(new (std::nothrow) TbCodeTable[2]);
  if (!codes) return tb_error(P_CODE_A, TB_ERR_MEMORY);
  if ((err = tb_build_code_table(pre, 64, 8, codes[0]))) return err;
  if ((err = tb_build_code_table(pre + 64, 64, 8, codes[1]))) return err;
  int n = 0;
  while (n < count) {
    int s = decode_symbol(bits, codes[0]);
    if (bits.overrun) return tb_error(P_CODE_A, TB_ERR_BROKEN);
    if (s < 32) {
      lengths[n++] = uint8_t(s);
      continue;
    }
    int t = decode_symbol(bits, codes[1]);
    uint64_t repeat = t < 32 ? uint64_t(t) + 2 : 0;
    if (t >= 32) {
      int k = t - 32;
      repeat = (uint64_t(1) << k) + tb_read_bits(bits, k) + 33;
    }
    if (bits.overrun) return tb_error(P_CODE_B, TB_ERR_BROKEN);
    if (repeat > uint64_t(count - n)) return tb_error(P_REPEAT_OVERRUN, TB_ERR_BROKEN);
    std::memset(lengths + n, s - 32, size_t(repeat));
    n += int(repeat);
  }
  return 0;
}

int tb_read_header(std::FILE* file, std::unique_ptr<TbCompressedFile>& out) {
  out.reset();
  uint8_t fixed[TB_FIXED_HEADER];
  if (std::fread(fixed, 1, TB_FIXED_HEADER, file) != TB_FIXED_HEADER)
    return tb_error(P_SHORT_FIXED, TB_ERR_READ);
  if (std::memcmp(fixed, tb_banner, TB_BANNER_BYTES) != 0)
    return tb_error(P_BANNER, TB_ERR_READ);
  const uint32_t h = be32(fixed + 64);
  const int b = fixed[70];
  const uint32_t n = be32(fixed + 72);
  if (h < 84) return tb_error(P_HEADER_LENGTH, TB_ERR_BROKEN);
  if (b > 16) return tb_error(P_BLOCK_BITS, TB_ERR_BROKEN);
  if (fixed[71] != TB_DISTANCES) return tb_error(P_DISTANCE_COUNT, TB_ERR_BROKEN);
  if (be32(fixed + 76) != TB_FORMAT) return tb_error(P_FORMAT, TB_ERR_BROKEN);

  // The file's length bounds every later allocation and offset. A header
  // length past the end of the file is therefore a read error, found before
  // anything is allocated, rather than an out-of-memory failure after trying
  // to allocate it: a broken length field of up to 4 GB must neither take
  // that much memory nor be blamed on the machine.
  if (std::fseek(file, 0, SEEK_END) != 0) return tb_error(P_FILE_SIZE, TB_ERR_READ);
  const long file_size = std::ftell(file);
  if (file_size < 0 || std::fseek(file, TB_FIXED_HEADER, SEEK_SET) != 0)
    return tb_error(P_FILE_SIZE, TB_ERR_READ);
  if (uint64_t(h) > uint64_t(file_size)) return tb_error(P_SHORT_HEADER, TB_ERR_READ);

  std::unique_ptr<uint8_t[]> header(new (std::nothrow) uint8_t[h]);
  if (!header) return tb_error(P_ALLOC_HEADER, TB_ERR_MEMORY);
  std::memcpy(header.get(), fixed, TB_FIXED_HEADER);
  if (std::fread(header.get() + TB_FIXED_HEADER, 1, h - TB_FIXED_HEADER, file) != h - TB_FIXED_HEADER)
    return tb_error(P_SHORT_HEADER, TB_ERR_READ);
  if (tb_crc(header.get(), h - 4) != be32(header.get() + h - 4))
    return tb_error(P_HEADER_CRC, TB_ERR_BROKEN);

  // A file without blocks has no last block to size.
  const uint64_t sizes_at = TB_FIXED_HEADER + uint64_t(8) * n;
  const uint64_t sizes_bytes = ((uint64_t(n) + 25) * uint64_t(b) + 7) / 8;
  if (n == 0 || sizes_at + sizes_bytes > h - 4) return tb_error(P_BLOCK_COUNT, TB_ERR_BROKEN);

  std::unique_ptr<TbCompressedFile> tb(new (std::nothrow) TbCompressedFile);
  if (!tb) return tb_error(P_ALLOC_FILE, TB_ERR_MEMORY);
  tb->offset.reset(new (std::nothrow) uint64_t[uint64_t(n) + 1]);
  if (!tb->offset) return tb_error(P_ALLOC_FILE, TB_ERR_MEMORY);
  tb->block_bits = b;
  tb->block_size = 1u << b;
  tb->block_count = n;

  TbBitReader bits{header.get(), uint64_t(h - 4) * 8, sizes_at * 8, false};
  uint32_t largest = 0;
  auto value = [&]() {
    uint32_t v = tb_read_bits(bits, b);
    return v ? v : tb->block_size;
  };
  uint64_t at = h;
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t c = value();
    if (c > largest) largest = c;
    tb->offset[i] = at;
    at += c;
  }
  tb->offset[n] = at;
  tb->last_block_size = value();
  if (tb->last_block_size > largest) largest = tb->last_block_size;
  for (uint32_t& d : tb->distance) d = value();
  if (at > uint64_t(file_size)) return tb_error(P_OFFSETS, TB_ERR_BROKEN);
  tb->input_bytes = largest + 32;

  bits.pos = (sizes_at + sizes_bytes) * 8;
  uint8_t lengths[TB_SYMBOLS];
  if (int err = tb_read_code_lengths(bits, TB_SYMBOLS, lengths))
    return tb_error_kind(err) == TB_ERR_MEMORY ? err : tb_error(P_LENGTHS, TB_ERR_BROKEN);
  if (tb_build_code_table(lengths, TB_SYMBOLS, TB_LOOKUP_BITS, tb->code))
    return tb_error(P_CODE, TB_ERR_BROKEN);
  tb->marker = TB_DECODE_MARKER;
  out = std::move(tb);
  return 0;
}

int tb_read_block(std::FILE* file, const TbCompressedFile& tb, uint32_t block, TbDecodeBlock& w) {
  if (w.marker != TB_DECODE_MARKER || tb.marker != TB_DECODE_MARKER || block >= tb.block_count)
    return tb_error(P_CALL_READ, TB_ERR_CALL);
  w.block = block;
  w.expected = block == tb.block_count - 1 ? tb.last_block_size : tb.block_size;
  w.compressed = uint32_t(tb.offset[block + 1] - tb.offset[block]);
  w.output_pos = 0;
  w.pending = 0;
  // Short matches write up to three bytes past their end.
  if (!w.output || uint64_t(w.expected) + 3 > w.output_capacity)
    return tb_error(P_OUTPUT_SIZE, TB_ERR_CALL);
  if (w.compressed > TB_INPUT_BYTES) return tb_error(P_INPUT_SIZE, TB_ERR_BROKEN);
  if (std::fseek(file, long(tb.offset[block]), SEEK_SET) != 0) return tb_error(P_SEEK, TB_ERR_READ);
  if (std::fread(w.input, 1, w.compressed, file) != w.compressed) return tb_error(P_READ, TB_ERR_READ);
  if (w.compressed == w.expected) {
    std::memcpy(w.output, w.input, w.compressed);
    w.output_pos = w.expected;
  }
  return 0;
}

int tb_decode_block(const TbCompressedFile& tb, TbDecodeBlock& w) {
  if (w.marker != TB_DECODE_MARKER || tb.marker != TB_DECODE_MARKER || w.expected < 1
      || w.expected > tb.block_size || uint64_t(w.expected) + 3 > w.output_capacity
      || w.compressed > TB_INPUT_BYTES)
    return tb_error(P_CALL_DECODE, TB_ERR_CALL);
  if (w.compressed == w.expected) return 0;

  // Bit buffer aligned at its top bit; past the input's end it fills with
  // zeros, counted in `phantom` so that an overrun is seen at the end.
  const uint8_t* in = w.input;
  const uint8_t* const in_end = w.input + w.compressed;
  uint64_t acc = 0;
  uint32_t count = 0, phantom = 0;
  uint8_t* const out = w.output;
  const uint32_t end = w.expected;
  uint32_t pos = 0;
  const TbCodeTable& code = tb.code;

  while (pos < end) {
    if (in_end - in >= 8) {
      acc |= be64(in) >> count;
      in += (63 - count) >> 3;
      count |= 56;
    } else {
      while (count <= 56) {
        uint64_t byte = 0;
        if (in < in_end) byte = *in++;
        else ++phantom;
        acc |= byte << (56 - count);
        count += 8;
      }
    }
    uint32_t e = code.lookup[acc >> (64 - TB_LOOKUP_BITS)];
    if (!(e & TB_NODE)) {
      uint32_t len = (e >> 10) & 15;
      acc <<= len;
      count -= len;
    } else {
      acc <<= TB_LOOKUP_BITS;
      count -= TB_LOOKUP_BITS;
      do {
        e = code.tree[e & 1023][acc >> 63];
        acc <<= 1;
        --count;
      } while (e & TB_NODE);
    }
    uint32_t sym = e & 1023;
    if (sym < 256) {
      out[pos++] = uint8_t(sym);
      continue;
    }
    uint32_t m = sym - 256;
    uint32_t dist = tb.distance[m >> 5];
    uint32_t lc = m & 31;
    uint32_t length = lc + 1;
    if (lc >= 15) {
      uint32_t k = lc - 14;
      length = (1u << k) + uint32_t(acc >> (64 - k)) + 14;
      acc <<= k;
      count -= k;
    }
    if (dist > pos) return tb_error(P_DISTANCE, TB_ERR_BROKEN);
    const uint8_t* src = out + pos - dist;
    uint8_t* dst = out + pos;
    if (length <= 4) {
      dst[0] = src[0], dst[1] = src[1], dst[2] = src[2], dst[3] = src[3];
      pos += length;
      if (pos > end) {
        w.pending = pos - end;
        pos = end;
      }
      continue;
    }
    if (length > end - pos) {
      w.pending = length - (end - pos);
      length = end - pos;
    }
    pos += length;
    if (dist == 1) {
      std::memset(dst, src[0], length);
      continue;
    }
    if (dist >= 16)
      for (; length >= 16; length -= 16, src += 16, dst += 16) std::memcpy(dst, src, 16);
    while (length--) *dst++ = *src++;
  }
  w.output_pos = pos;
  w.bit_buffer = acc;
  w.bit_count = count;
  w.input_pos = uint32_t(in - w.input);
  const uint64_t consumed = (uint64_t(in - w.input) + phantom) * 8 - count;
  if (consumed > uint64_t(w.compressed) * 8) return tb_error(P_STREAM, TB_ERR_BROKEN);
  return 0;
}
