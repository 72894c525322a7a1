// Writes the seed corpus of the book builder fuzz target: PGN games with
// tags, comments, annotations, promotions, castling and every result.
#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::error_code ec;
  std::filesystem::create_directories(argv[1], ec);
  const char* games[] = {
      "[Event \"Test\"]\n[White \"A\"]\n\n1. e4 e5 2. Nf3 Nc6 3. Bb5 a6 4. Ba4 Nf6 5. O-O Be7 1-0\n",
      "1.d4 d5 2.c4 e6 3.Nc3 Nf6 4.Bg5 Be7 5.e3 O-O 6.Nf3 Nbd7 {a comment} 7.Rc1 c6 1/2-1/2\n",
      "1. e4 d5 2. exd5 Qxd5 3. Nc3 Qa5 4. d4 Nf6 5. Nf3 Bf5 6. Ne5 c6 7. Bc4 e6 0-1\r\n",
      "1. f4 e5 2. fxe5 d6 3. exd6 Bxd6 4. Nf3 g5 5. g3 g4 6. Nh4 Ne7 7. d4 Ng6 8. Nxg6 hxg6 *\n",
      "1. a4 b5 2. axb5 a6 3. bxa6 Bb7 4. axb7 Nc6 5. bxa8=Q Qxa8 6. Rxa8+ Kd8 1-0\n",
      "1. e4 e5 2. Qh5 Nc6 3. Bc4 Nf6?? 4. Qxf7# 1-0\n1. Nf3 Nf6 2. g3 g6 3. Bg2 Bg7 4. O-O O-O *\n",
      "12. Nbd2 R1e8 13. Raxd1 Ngf6 14. e8=N b1=R 0-1\n",
  };
  int i = 0;
  for (const char* g : games) {
    std::string path = std::string(argv[1]) + "/seed" + std::to_string(i++);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 1;
    std::fputs(g, f);
    std::fclose(f);
  }
  return 0;
}
