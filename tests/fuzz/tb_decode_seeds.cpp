// Writes the seed corpus of the tablebase decoder fuzz target into a folder.
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "egdb/tb_encode.h"
#include "support/tb_synthetic.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::error_code ec;
  std::filesystem::create_directories(argv[1], ec);
  std::vector<std::vector<uint8_t>> inputs;
  inputs.push_back(synthetic_table(3 * TB_BLOCK_SIZE + 1));
  inputs.push_back(synthetic_table(20000, 7));
  inputs.push_back(std::vector<uint8_t>(2 * TB_BLOCK_SIZE, 0));
  std::vector<uint8_t> noise(TB_BLOCK_SIZE + 5);
  std::mt19937 rng(3);
  for (auto& b : noise) b = uint8_t(rng() & 7);
  inputs.push_back(noise);
  for (size_t i = 0; i < inputs.size(); ++i) {
    std::vector<uint8_t> file;
    tb_encode(inputs[i].data(), inputs[i].size(), file);
    std::string path = std::string(argv[1]) + "/seed" + std::to_string(i);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 1;
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
  }
  return 0;
}
