// kelo-tb compress FILE...: writes FILE.emd beside each plain table and checks
// that it decodes back to the table.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "egdb/tb_decompress.h"
#include "egdb/tb_encode.h"

#if __has_include("commands.h")
#include "commands.h"
#else
int cmd_compress(int argc, char** argv);
#endif

namespace {

bool read_whole(const char* path, std::vector<uint8_t>& data) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  data.clear();
  uint8_t buf[65536];
  size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + got);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

// Decodes every block of the written file and compares it with the table.
bool verify(const std::string& path, const std::vector<uint8_t>& plain) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::unique_ptr<TbCompressedFile> tb;
  bool ok = tb_read_header(f, tb) == 0;
  auto work = std::make_unique<TbDecodeBlock>();
  std::vector<uint8_t> out(TB_BLOCK_SIZE + 36);
  work->output = out.data();
  work->output_capacity = uint32_t(out.size());
  for (uint32_t b = 0; ok && b < tb->block_count; ++b) {
    ok = tb_read_block(f, *tb, b, *work) == 0 && tb_decode_block(*tb, *work) == 0;
    const size_t at = size_t(b) * TB_BLOCK_SIZE;
    ok = ok && at + work->expected <= plain.size()
         && std::equal(out.begin(), out.begin() + work->expected, plain.begin() + long(at));
  }
  ok = ok && tb && uint64_t(tb->block_count - 1) * TB_BLOCK_SIZE + tb->last_block_size == plain.size();
  std::fclose(f);
  return ok;
}

}  // namespace

int cmd_compress(int argc, char** argv) {
  if (argc < 1) {
    std::printf("usage: kelo-tb compress FILE...\n");
    return 2;
  }
  int failures = 0;
  for (int i = 0; i < argc; ++i) {
    std::vector<uint8_t> plain, packed;
    if (!read_whole(argv[i], plain) || plain.empty()) {
      std::printf("*** Cannot read %s\n", argv[i]);
      ++failures;
      continue;
    }
    tb_encode(plain.data(), plain.size(), packed);
    const std::string out = std::string(argv[i]) + ".emd";
    std::FILE* f = std::fopen(out.c_str(), "wb");
    bool ok = f && std::fwrite(packed.data(), 1, packed.size(), f) == packed.size();
    if (f) ok = std::fclose(f) == 0 && ok;
    if (!ok || !verify(out, plain)) {
      std::printf("*** Cannot write %s\n", out.c_str());
      std::remove(out.c_str());
      ++failures;
      continue;
    }
    std::printf("%s: %zu -> %zu bytes (%.1f%%)\n", out.c_str(), plain.size(), packed.size(),
                100.0 * double(packed.size()) / double(plain.size()));
  }
  return failures ? 1 : 0;
}
