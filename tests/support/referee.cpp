#include "referee.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace fs = std::filesystem;

fs::path referee_package() {
  const fs::path home = fs::path(KELO_BINARY).parent_path() / "chess_referee";
  const fs::path package = home / "node_modules" / "chess.js";
  if (fs::exists(package / "package.json")) return package;
  const fs::path staging = home.string() + ".staging." + std::to_string(getpid());
  fs::create_directories(staging);
  const std::string command = "npm install --prefix '" + staging.string() +
                              "' --no-audit --no-fund --silent chess.js@1.4.0 >/dev/null 2>&1";
  if (std::system(command.c_str()) == 0) {
    std::error_code ignored;
    fs::rename(staging, home, ignored);  // a concurrent install may have won
  }
  fs::remove_all(staging);
  return package;
}
