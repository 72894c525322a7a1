// The recorded xboard session (tests/data/xboard_session.txt) replayed
// against build/kelo: the output, its time-dependent fields masked, must
// equal the recording byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/scratch.h"

namespace fs = std::filesystem;

namespace {

std::string read_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Where the two texts first differ, with the lines before it for context.
std::string first_difference(const std::string& expected, const std::string& actual) {
  const std::vector<std::string> e = split_lines(expected), a = split_lines(actual);
  size_t i = 0;
  while (i < e.size() && i < a.size() && e[i] == a[i]) ++i;
  std::ostringstream out;
  out << "first difference at line " << i + 1 << ":\n";
  for (size_t c = i >= 3 ? i - 3 : 0; c < i; ++c) out << "    " << e[c] << "\n";
  out << "  recorded: " << (i < e.size() ? e[i] : "(end of the recording)") << "\n";
  out << "  replayed: " << (i < a.size() ? a[i] : "(end of the output)") << "\n";
  if (i == e.size() && i == a.size()) out << "  (the line ends differ)\n";
  return out.str();
}

TEST(XboardReplay, SessionMatchesTheRecording) {
  ASSERT_EQ(std::system("command -v node >/dev/null 2>&1"), 0)
      << "node is not installed: tools/install-deps.sh installs it (Debian package nodejs)";
  const fs::path data = fs::path(KELO_SOURCE_DIR) / "tests" / "data";
  const std::string dir = scratch_dir("kelo-replay");
  const std::string out = dir + "/session.out";
  const std::string command = "cd '" + dir + "' && timeout 300 node '" + KELO_SOURCE_DIR +
                              "/tests/e2e/xboard_replay.cjs' '" + KELO_BINARY + "' '" +
                              (data / "xboard_session.txt").string() + "' '" + out + "'";
  EXPECT_EQ(std::system(command.c_str()), 0);
  const std::string recorded = read_bytes(data / "xboard_session.golden");
  const std::string replayed = read_bytes(out);
  ASSERT_FALSE(recorded.empty());
  EXPECT_TRUE(recorded == replayed) << first_difference(recorded, replayed);
  fs::remove_all(dir);
}

}  // namespace
