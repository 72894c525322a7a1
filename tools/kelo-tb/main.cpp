// kelo-tb: makes the endgame tablebase files that the engine reads.
#include <cstdio>
#include <cstring>

#include "tools/kelo-tb/commands.h"

namespace {

struct Subcommand {
  const char* name;
  int (*run)(int argc, char** argv);
  const char* usage;
};

constexpr Subcommand subcommands[] = {
    {"generate", cmd_generate, "generate [--compress] DIR CLASS...   solve classes into DIR"},
    {"compress", cmd_compress, "compress ...                          compress tablebase files"},
    {"probe", cmd_probe, "probe DIR FEN|-                       score of a position from DIR's tables"},
};

int usage() {
  std::printf("usage: kelo-tb COMMAND ARGS...\n");
  for (const Subcommand& s : subcommands) std::printf("  kelo-tb %s\n", s.usage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  for (const Subcommand& s : subcommands)
    if (std::strcmp(argv[1], s.name) == 0) return s.run(argc - 2, argv + 2);
  std::printf("unknown command: %s\n", argv[1]);
  return usage();
}
