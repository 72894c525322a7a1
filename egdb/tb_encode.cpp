#include "egdb/tb_encode.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <queue>

void tb_put_bits(TbBitWriter& w, uint32_t value, int count) {
  for (int i = count - 1; i >= 0; --i) {
    if (w.pending == 0) w.bytes.push_back(0);
    if ((value >> i) & 1) w.bytes.back() |= uint8_t(0x80 >> w.pending);
    w.pending = (w.pending + 1) & 7;
  }
}

namespace {

// Plain Huffman tree depths; no limit.
int huffman_depths(const uint64_t* counts, int n, uint8_t* lengths) {
  struct Node { uint64_t weight; int left, right; };
  std::vector<Node> nodes;
  using Item = std::pair<uint64_t, int>;
  std::priority_queue<Item, std::vector<Item>, std::greater<Item>> heap;
  for (int s = 0; s < n; ++s) {
    lengths[s] = 0;
    if (counts[s]) {
      nodes.push_back({counts[s], -1 - s, 0});
      heap.push({counts[s], int(nodes.size()) - 1});
    }
  }
  if (nodes.size() == 1) {
    lengths[-1 - nodes[0].left] = 1;
    return 1;
  }
  while (heap.size() > 1) {
    Item a = heap.top(); heap.pop();
    Item b = heap.top(); heap.pop();
    nodes.push_back({a.first + b.first, a.second, b.second});
    heap.push({a.first + b.first, int(nodes.size()) - 1});
  }
  int deepest = 0;
  std::vector<std::pair<int, int>> stack;
  if (!heap.empty()) stack.push_back({heap.top().second, 0});
  while (!stack.empty()) {
    auto [i, depth] = stack.back();
    stack.pop_back();
    if (nodes[i].left < 0) {
      lengths[-1 - nodes[i].left] = uint8_t(depth);
      deepest = std::max(deepest, depth);
    } else {
      stack.push_back({nodes[i].left, depth + 1});
      stack.push_back({nodes[i].right, depth + 1});
    }
  }
  return deepest;
}

}  // namespace

void tb_huffman_lengths(const uint64_t* counts, int n, int max_length, uint8_t* lengths) {
  std::vector<uint64_t> c(counts, counts + n);
  // Flattening the counts until the tree fits keeps the code complete.
  while (huffman_depths(c.data(), n, lengths) > max_length)
    for (uint64_t& v : c) if (v) v = (v + 1) / 2;
}

void tb_canonical_codes(const uint8_t* lengths, int n, uint32_t* codes) {
  uint32_t per_length[TB_MAX_CODE_LENGTH + 1] = {};
  for (int s = 0; s < n; ++s) ++per_length[lengths[s]];
  per_length[0] = 0;
  uint32_t next[TB_MAX_CODE_LENGTH + 1] = {};
  uint32_t code = 0;
  for (int len = 1; len <= TB_MAX_CODE_LENGTH; ++len) {
    code = (code + per_length[len - 1]) << 1;
    next[len] = code;
  }
  for (int s = 0; s < n; ++s) codes[s] = lengths[s] ? next[lengths[s]]++ : 0;
}

namespace {

int used_symbols(const uint8_t* lengths, int n) {
  return int(std::count_if(lengths, lengths + n, [](uint8_t l) { return l != 0; }));
}

// A code of one symbol is decoded without bits, so it is written without any.
void put_symbol(TbBitWriter& w, const uint8_t* lengths, const uint32_t* codes, int used, int s) {
  if (used > 1) tb_put_bits(w, codes[s], lengths[s]);
}

void write_simple(TbBitWriter& w, const uint8_t* lengths, int n) {
  int width = 0;
  for (int s = 0; s < n; ++s) while ((1 << width) <= lengths[s]) ++width;
  tb_put_bits(w, 0, 1);
  tb_put_bits(w, uint32_t(width), 5);
  for (int s = 0; s < n;) {
    tb_put_bits(w, lengths[s], width);
    if (lengths[s++]) continue;
    int r = 0;
    while (r < 15 && s < n && lengths[s] == 0) ++r, ++s;
    tb_put_bits(w, uint32_t(r), 4);
  }
}

}  // namespace

void tb_write_code_lengths(TbBitWriter& w, const uint8_t* lengths, int n) {
  if (used_symbols(lengths, n) == 0) {
    tb_put_bits(w, 1, 1);
    return;
  }
  if (n <= 128) {
    write_simple(w, lengths, n);
    return;
  }
  // Runs of equal lengths become (value, repeat) pairs of codes A and B.
  struct Item { int a, b, extra_bits; uint32_t extra; };
  std::vector<Item> items;
  for (int s = 0; s < n;) {
    int run = 1;
    while (s + run < n && lengths[s + run] == lengths[s]) ++run;
    if (run < 2) {
      items.push_back({lengths[s], -1, 0, 0});
    } else if (run <= 33) {
      items.push_back({32 + lengths[s], run - 2, 0, 0});
    } else {
      int k = 0;
      while ((uint32_t(2) << k) + 33 <= uint32_t(run)) ++k;
      items.push_back({32 + lengths[s], 32 + k, k, uint32_t(run - 33) - (1u << k)});
    }
    s += run;
  }
  uint64_t count_a[64] = {}, count_b[64] = {};
  for (const Item& it : items) {
    ++count_a[it.a];
    if (it.b >= 0) ++count_b[it.b];
  }
  uint8_t pre[128];
  tb_huffman_lengths(count_a, 64, 15, pre);
  tb_huffman_lengths(count_b, 64, 15, pre + 64);
  uint32_t code_a[64], code_b[64];
  tb_canonical_codes(pre, 64, code_a);
  tb_canonical_codes(pre + 64, 64, code_b);
  const int used_a = used_symbols(pre, 64), used_b = used_symbols(pre + 64, 64);
  tb_put_bits(w, 0, 1);
  tb_write_code_lengths(w, pre, 128);
  for (const Item& it : items) {
    put_symbol(w, pre, code_a, used_a, it.a);
    if (it.b < 0) continue;
    put_symbol(w, pre + 64, code_b, used_b, it.b);
    tb_put_bits(w, it.extra, it.extra_bits);
  }
}

namespace {

void put_be32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(v >> (24 - 8 * i));
}

}  // namespace

void tb_assemble_file(const uint32_t* distance, const uint8_t* lengths,
                      const std::vector<TbEncodedBlock>& blocks, uint32_t last_block_size,
                      std::vector<uint8_t>& out) {
  const uint32_t n = uint32_t(blocks.size());
  const uint32_t mask = TB_BLOCK_SIZE - 1;
  out.assign(TB_FIXED_HEADER + 8 * size_t(n), 0);
  std::memcpy(out.data(), tb_banner, TB_BANNER_BYTES);
  out[70] = TB_BLOCK_BITS;
  out[71] = TB_DISTANCES;
  put_be32(out, 72, n);
  put_be32(out, 76, TB_FORMAT);
  for (uint32_t i = 0; i < n; ++i) {
    put_be32(out, TB_FIXED_HEADER + 8 * i, blocks[i].decoded_crc);
    put_be32(out, TB_FIXED_HEADER + 8 * i + 4,
             tb_crc(blocks[i].bytes.data(), blocks[i].bytes.size()));
  }
  TbBitWriter sizes;
  for (const TbEncodedBlock& b : blocks) tb_put_bits(sizes, uint32_t(b.bytes.size()) & mask, TB_BLOCK_BITS);
  tb_put_bits(sizes, last_block_size & mask, TB_BLOCK_BITS);
  for (int i = 0; i < TB_DISTANCES; ++i) tb_put_bits(sizes, distance[i] & mask, TB_BLOCK_BITS);
  out.insert(out.end(), sizes.bytes.begin(), sizes.bytes.end());
  TbBitWriter code;
  tb_write_code_lengths(code, lengths, TB_SYMBOLS);
  out.insert(out.end(), code.bytes.begin(), code.bytes.end());
  const size_t h = out.size() + 4;
  put_be32(out, 64, uint32_t(h));
  out.resize(h);
  put_be32(out, h - 4, tb_crc(out.data(), h - 4));
  for (const TbEncodedBlock& b : blocks) out.insert(out.end(), b.bytes.begin(), b.bytes.end());
}

namespace {

// Candidates: short repeats, the neighbouring squares one rank away (7, 8, 9),
// one step of the piece whose square is the next index digit (56..64: its
// range skips the squares already taken), and multiples of those steps.
constexpr std::array<uint32_t, 240> make_candidates() {
  std::array<uint32_t, 240> c{};
  int n = 0;
  for (uint32_t d = 1; d <= 72; ++d) c[n++] = d;
  for (uint32_t m = 2; m <= 16; ++m)
    for (uint32_t d = 56; d <= 64; ++d) c[n++] = m * d;
  for (uint32_t d : {80u, 96u, 1024u, 2048u, 3136u, 3364u, 3481u, 3600u, 3721u, 3782u,
                     3843u, 3844u, 3906u, 3969u, 4032u, 4096u, 4160u, 6144u})
    c[n++] = d;
  for (uint32_t d = 1; n < 240; ++d) c[n++] = 72 + 8 * d;
  return c;
}
constexpr std::array<uint32_t, 240> CANDIDATES = make_candidates();

constexpr uint32_t MIN_COVER_RUN = 3;

}  // namespace

void tb_choose_distances(const uint8_t* data, size_t size, uint32_t* distance) {
  // Sample up to 128 blocks spread over the table.
  const size_t blocks = (size + TB_BLOCK_SIZE - 1) / TB_BLOCK_SIZE;
  const size_t step = std::max<size_t>(1, blocks / 128);
  std::vector<size_t> sample;
  for (size_t b = 0; b < blocks; b += step) sample.push_back(b);
  const size_t bits = sample.size() * TB_BLOCK_SIZE;
  const size_t words = (bits + 63) / 64;
  constexpr int NC = int(CANDIDATES.size());
  std::vector<std::vector<uint64_t>> cover(NC, std::vector<uint64_t>(words, 0));
  for (int c = 0; c < NC; ++c) {
    const uint32_t d = CANDIDATES[c];
    for (size_t k = 0; k < sample.size(); ++k) {
      const uint8_t* blk = data + sample[k] * TB_BLOCK_SIZE;
      const size_t len = std::min<size_t>(TB_BLOCK_SIZE, size - sample[k] * TB_BLOCK_SIZE);
      size_t i = d;
      while (i < len) {
        size_t j = i;
        while (j < len && blk[j] == blk[j - d]) ++j;
        if (j - i >= MIN_COVER_RUN)
          for (size_t t = i; t < j; ++t) {
            size_t bit = k * TB_BLOCK_SIZE + t;
            cover[c][bit >> 6] |= uint64_t(1) << (bit & 63);
          }
        i = j + 1;
      }
    }
  }
  std::vector<uint64_t> taken(words, 0);
  std::vector<bool> chosen(NC, false);
  for (int slot = 0; slot < TB_DISTANCES; ++slot) {
    int best = -1;
    uint64_t best_gain = 0;
    for (int c = 0; c < NC; ++c) {
      if (chosen[c]) continue;
      uint64_t gain = 0;
      for (size_t w = 0; w < words; ++w) gain += uint64_t(__builtin_popcountll(cover[c][w] & ~taken[w]));
      if (best < 0 || gain > best_gain) best = c, best_gain = gain;
    }
    chosen[best] = true;
    for (size_t w = 0; w < words; ++w) taken[w] |= cover[best][w];
    distance[slot] = CANDIDATES[best];
  }
}

namespace {

struct Token { uint16_t symbol; uint8_t extra_bits; uint32_t extra; };

uint32_t run_length(const uint8_t* blk, uint32_t i, uint32_t d, uint32_t len) {
  uint32_t j = i;
  while (j < len && blk[j] == blk[j - d]) ++j;
  return j - i;
}

// Longest match over the distances at i; returns its length and slot.
uint32_t best_match(const uint8_t* blk, uint32_t i, uint32_t len, const uint32_t* distance, int& slot) {
  uint32_t best = 0;
  for (int s = 0; s < TB_DISTANCES; ++s) {
    if (distance[s] > i) continue;
    uint32_t r = run_length(blk, i, distance[s], len);
    if (r > best) best = r, slot = s;
  }
  return best;
}

void push_match(std::vector<Token>& out, int slot, uint32_t length) {
  uint32_t lc, extra = 0;
  uint8_t k = 0;
  if (length <= 15) {
    lc = length - 1;
  } else {
    k = 1;
    while ((uint32_t(2) << k) + 14 <= length) ++k;
    lc = 14u + k;
    extra = length - 14 - (1u << k);
  }
  out.push_back({uint16_t(256 + 32 * slot + lc), k, extra});
}

// Greedy parse with one step of lazy matching.
void tokenize(const uint8_t* blk, uint32_t len, const uint32_t* distance, std::vector<Token>& out) {
  out.clear();
  uint32_t i = 0;
  while (i < len) {
    int slot = 0;
    uint32_t m = best_match(blk, i, len, distance, slot);
    if (m >= 2 && i + 1 < len) {
      int slot2 = 0;
      if (best_match(blk, i + 1, len, distance, slot2) > m + 1) m = 0;
    }
    if (m < 2) {
      out.push_back({blk[i], 0, 0});
      ++i;
      continue;
    }
    push_match(out, slot, m);
    i += m;
  }
}

}  // namespace

int tb_encode(const uint8_t* data, size_t size, std::vector<uint8_t>& out, TbEncodeStats* stats) {
  if (size == 0) return tb_error(1, TB_ERR_CALL);
  uint32_t distance[TB_DISTANCES];
  tb_choose_distances(data, size, distance);
  const size_t n = (size + TB_BLOCK_SIZE - 1) / TB_BLOCK_SIZE;
  std::vector<std::vector<Token>> tokens(n);
  std::vector<uint64_t> counts(TB_SYMBOLS, 0);
  for (size_t b = 0; b < n; ++b) {
    const uint32_t len = uint32_t(std::min<size_t>(TB_BLOCK_SIZE, size - b * TB_BLOCK_SIZE));
    tokenize(data + b * TB_BLOCK_SIZE, len, distance, tokens[b]);
    for (const Token& t : tokens[b]) ++counts[t.symbol];
  }
  uint8_t lengths[TB_SYMBOLS];
  tb_huffman_lengths(counts.data(), TB_SYMBOLS, TB_MAX_CODE_LENGTH, lengths);
  uint32_t codes[TB_SYMBOLS];
  tb_canonical_codes(lengths, TB_SYMBOLS, codes);
  const int used = used_symbols(lengths, TB_SYMBOLS);

  std::vector<TbEncodedBlock> blocks(n);
  uint32_t stored = 0;
  for (size_t b = 0; b < n; ++b) {
    const uint8_t* blk = data + b * TB_BLOCK_SIZE;
    const uint32_t len = uint32_t(std::min<size_t>(TB_BLOCK_SIZE, size - b * TB_BLOCK_SIZE));
    TbBitWriter w;
    for (const Token& t : tokens[b]) {
      put_symbol(w, lengths, codes, used, t.symbol);
      tb_put_bits(w, t.extra, t.extra_bits);
    }
    // A stream without bits still needs a byte: a size of 0 would mean 2^13.
    if (w.bytes.empty()) w.bytes.push_back(0);
    if (w.bytes.size() >= len) {
      w.bytes.assign(blk, blk + len);
      ++stored;
    }
    blocks[b].bytes = std::move(w.bytes);
    blocks[b].decoded_crc = tb_crc(blk, len);
  }
  const uint32_t last = uint32_t(size - (n - 1) * TB_BLOCK_SIZE);
  tb_assemble_file(distance, lengths, blocks, last, out);
  if (stats) {
    std::memcpy(stats->distance, distance, sizeof distance);
    std::memcpy(stats->lengths, lengths, sizeof lengths);
    std::copy(counts.begin(), counts.end(), stats->symbol_count);
    stats->stored_blocks = stored;
  }
  return 0;
}
