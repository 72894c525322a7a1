// Feeds arbitrary bytes as a compressed table: header reader, then every block
// into an output buffer with no spare room beyond the three bytes required.
// The header check value is recomputed on a copy so that mutations reach the
// code lengths and the blocks.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "egdb/tb_decompress.h"

namespace {

void run(const uint8_t* data, size_t size) {
  std::FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!f) return;
  std::unique_ptr<TbCompressedFile> tb;
  if (tb_read_header(f, tb) == 0) {
    auto work = std::make_unique<TbDecodeBlock>();
    std::vector<uint8_t> out(tb->block_size + 3);
    work->output = out.data();
    work->output_capacity = uint32_t(out.size());
    for (uint32_t b = 0; b < tb->block_count && b < 64; ++b)
      if (tb_read_block(f, *tb, b, *work) == 0) tb_decode_block(*tb, *work);
  }
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  run(data, size);
  if (size >= 84) {
    const uint32_t h = (uint32_t(data[64]) << 24) | (data[65] << 16) | (data[66] << 8) | data[67];
    if (h >= 84 && h <= size) {
      std::vector<uint8_t> copy(data, data + size);
      const uint32_t c = tb_crc(copy.data(), h - 4);
      for (int i = 0; i < 4; ++i) copy[h - 4 + i] = uint8_t(c >> (24 - 8 * i));
      run(copy.data(), copy.size());
    }
  }
  return 0;
}
