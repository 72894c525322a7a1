// Writes the seed corpus of the FEN and move generation fuzz target: ordinary
// positions with every special move, and the odd set-ups the constructor
// accepts with a message.
#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::error_code ec;
  std::filesystem::create_directories(argv[1], ec);
  const char* fens[] = {
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - - 0 1",
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
      "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
      "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
      "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
      "4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1",
      "8/8/8/8/8/8/8/8 w - - 0 1",
      "4k3/8/8/8/8/8/8/KKK5 w - - 0 1",
      "kk6/8/8/8/8/8/8/4K3 b - - 0 1",
      "P3k3/8/8/8/8/8/8/p3K3 w - - 0 1",
      "pppkpppp/8/8/8/8/8/8/PPPPKPPP b - - 0 1",
      "4k3/8/8/8/8/8/8/4K3 w KQkq - 0 1",
      "4k3/8/8/8/8/8/8/4R1K1 w - - 0 1",
      "4k3/8/8/8/8/8/8/4K3 w - e6 0 1",
      "r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1",
      "QQQQQQQQ/QQQQQQQQ/8/8/8/8/qqqqqqqq/qqqqqqqk w - - 0 1",
  };
  int i = 0;
  for (const char* fen : fens) {
    std::string path = std::string(argv[1]) + "/seed" + std::to_string(i++);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 1;
    std::fputs(fen, f);
    std::fclose(f);
  }
  return 0;
}
