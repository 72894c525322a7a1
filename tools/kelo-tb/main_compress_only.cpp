// Temporary entry point for this branch alone; the full kelo-tb dispatcher
// replaces it.
#include <cstdio>
#include <cstring>

int cmd_compress(int argc, char** argv);

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "compress") == 0) return cmd_compress(argc - 1, argv + 1);
  std::printf("usage: kelo-tb compress FILE...\n");
  return 2;
}
