// kelo-tb generate [--compress] DIR CLASS...: solves each named class (or
// "all" for every class of three and four pieces) and writes DIR/CLASS.nbw
// (white to move) and DIR/CLASS.nbb (black to move).
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "egdb/tb_encode.h"
#include "egdb/tb_generate.h"
#include "tools/kelo-tb/commands.h"

namespace {

bool write_table(const std::string& path, const std::vector<int8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

}  // namespace

int cmd_generate(int argc, char** argv) {
  int arg = 0;
  bool compress = false;
  if (arg < argc && std::strcmp(argv[arg], "--compress") == 0) {
    compress = true;
    ++arg;
  }
  if (argc - arg < 2) {
    std::printf("usage: kelo-tb generate [--compress] DIR CLASS...\n");
    return 2;
  }
  std::string dir = argv[arg++];
  std::vector<int> classes;
  for (; arg < argc; ++arg) {
    if (std::strcmp(argv[arg], "all") == 0) {
      for (int c = 1; c <= TB_GENERATE_MAX_CLASS; ++c) classes.push_back(c);
      continue;
    }
    int c = tb_class_by_name(argv[arg]);
    if (c < 0) {
      std::printf("unknown class: %s\n", argv[arg]);
      return 2;
    }
    if (c > TB_GENERATE_MAX_CLASS) {
      std::printf("%s: only classes of three and four pieces can be generated\n", argv[arg]);
      return 2;
    }
    classes.push_back(c);
  }
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    std::printf("cannot create directory %s\n", dir.c_str());
    return 1;
  }

  static TbSolved solved;  // too large for the stack
  for (int c : classes) {
    auto start = std::chrono::steady_clock::now();
    std::string error;
    if (!tb_generate_class(solved, c, error)) {
      std::printf("%s: %s\n", tb_class_info[c].name, error.c_str());
      return 1;
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const char* ext[2] = {".nbw", ".nbb"};
    for (int side = 0; side < 2; ++side) {
      std::string path = (std::filesystem::path(dir) / tb_class_info[c].name).string() + ext[side];
      const std::vector<int8_t>& table = solved.table[c][side];
      bool written;
      if (compress) {
        // The block-compressed form, under the plain name with ".emd" added.
        std::vector<uint8_t> packed;
        path += ".emd";
        written = tb_encode(reinterpret_cast<const uint8_t*>(table.data()), table.size(), packed) == 0 &&
                  write_table(path, std::vector<int8_t>(packed.begin(), packed.end()));
      } else {
        written = write_table(path, table);
      }
      if (!written) {
        std::printf("cannot write %s\n", path.c_str());
        return 1;
      }
    }
    std::printf("%s: %u + %u bytes written (%.2f s)\n", tb_class_info[c].name, tb_class_info[c].size[0],
                tb_class_info[c].size[1], seconds);
  }
  return 0;
}
