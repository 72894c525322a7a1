// Writes the seed corpus of the command interpreter fuzz target: short
// sessions that reach every row of the command table.
#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::error_code ec;
  std::filesystem::create_directories(argv[1], ec);
  const char* sessions[] = {
      "xboard\nprotover 2\nping 1\nnew\ne2e4\nundo\nundo\nforce\nplayother\nresult 1-0 {x}\n",
      "new\nlevel 40 5 0\ngo\nd7d5\nst 1\ngo\nexit\nanalyze\nexit\n",
      "level 0 2:30 5\nsetboard 4k3/P7/8/8/8/8/8/4K3 w - - 0 1\na7a8q\ngo\nperft 2\n",
      "setboard 8/8/8/8/8/8/8/8 w - - 0 1\ngo\nperft 2\ndisplay\npeoneval\nundo\n",
      "setboard 4k3/8/8/8/8/8/8/4K3 w KQkq - 0 1\ne1g1\ne1c1\ngo\nundo\ndisplay\n",
      "setboard P3k3/8/8/8/8/8/8/p3K3 w - - 0 1\ngo\ngo\nundo\nundo\nperft 1\n",
      "setboard 4k3/8/8/8/8/8/8/4R1K1 w - - 0 1\ngo\ngo\ngo\nundo\n",
      "makebook games.pgn\nmakebook missing.pgn\nmakebook \n",
      "level 99999999999999999999 99999999999:9999999999 99999:99999\ngo\ngo\n",
      "st 99999999999999999\ngo\nst -5\ngo\nlevel -3 -1 -1\ngo\n",
  };
  int i = 0;
  for (const char* s : sessions) {
    std::string path = std::string(argv[1]) + "/seed" + std::to_string(i++);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 1;
    std::fputs(s, f);
    std::fclose(f);
  }
  return 0;
}
