// The engine's folders are layers: a file includes headers of its own folder
// and of the folders below it, never of one above, so that the search and
// everything under it know nothing of the protocol a front end speaks.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Layer {
  const char* folder;
  std::set<std::string> may_include;  // folders; empty for a front end, which may include anything
};

const std::vector<Layer> LAYERS = {
    {"position", {"position"}},
    {"eval", {"position", "eval"}},
    {"search", {"position", "eval", "search"}},
    {"book", {"position", "eval", "book"}},
    {"egdb", {"position", "egdb"}},
    {"engine", {"position", "eval", "search", "book", "egdb", "engine"}},
    {"frontend", {}},
};

struct Include {
  std::string file;    // relative to the source root, as "search/think.cpp"
  std::string header;  // as written, as "frontend/config.h"
};

// The quoted includes of one file; a header named without a folder is one
// beside the file.
std::vector<std::string> quoted_includes(const fs::path& path) {
  static const std::regex include(R"(^\s*#\s*include\s*"([^"]+)\")");
  std::vector<std::string> headers;
  std::ifstream in(path);
  std::string line;
  std::smatch m;
  while (std::getline(in, line))
    if (std::regex_search(line, m, include)) headers.push_back(m[1]);
  return headers;
}

// Every include of a layer's sources that reaches a folder the layer may not
// include from; the count of files read goes to *files.
std::vector<Include> upward_includes(const fs::path& root, const Layer& layer, int* files) {
  std::vector<Include> found;
  const fs::path dir = root / layer.folder;
  if (!fs::is_directory(dir)) return found;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    const std::string ext = entry.path().extension().string();
    if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
    ++*files;
    const std::string file = fs::relative(entry.path(), root).generic_string();
    for (const std::string& header : quoted_includes(entry.path())) {
      const size_t slash = header.find('/');
      if (slash == std::string::npos || layer.may_include.empty()) continue;
      if (!layer.may_include.count(header.substr(0, slash))) found.push_back({file, header});
    }
  }
  return found;
}

TEST(Layers, NoFileIncludesAHeaderOfALayerAboveIt) {
  const fs::path root = KELO_SOURCE_DIR;
  int files = 0;
  for (const Layer& layer : LAYERS)
    for (const Include& inc : upward_includes(root, layer, &files)) {
      ADD_FAILURE() << inc.file << " includes \"" << inc.header << "\", from a layer above "
                    << layer.folder << "/";
    }
  // Without sources read the test would pass on nothing.
  EXPECT_GT(files, 50);
}

// Each front end uses only what lies below it: neither includes the other's
// headers nor the dispatcher above both, and what both share includes none.
TEST(Layers, TheFrontEndsDoNotCallEachOther) {
  const fs::path root = KELO_SOURCE_DIR;
  const std::string uci = "frontend/uci.h", above = "frontend/interpreter.h";
  const std::vector<std::string> xboard = {"frontend/xboard.h", "frontend/xboard_commands.h"};
  struct Side {
    std::vector<std::string> files;
    std::vector<std::string> banned;
  } sides[] = {
      {{"frontend/uci.cpp", "frontend/uci.h"}, {xboard[0], xboard[1], above}},
      {{"frontend/xboard.cpp", "frontend/xboard.h", "frontend/xboard_commands.cpp",
        "frontend/xboard_commands.h"},
       {uci, above}},
      {{"frontend/session_ops.cpp", "frontend/session_ops.h"}, {uci, xboard[0], xboard[1], above}},
  };
  for (const Side& side : sides)
    for (const std::string& file : side.files) {
      ASSERT_TRUE(fs::exists(root / file)) << file;
      for (const std::string& header : quoted_includes(root / file))
        for (const std::string& banned : side.banned)
          EXPECT_NE(header, banned) << file << " includes " << header;
    }
}

}  // namespace
