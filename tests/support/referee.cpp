#include "referee.h"

#include <cstdlib>

namespace fs = std::filesystem;

fs::path referee_package() { return fs::path(KELO_REFEREE_DIR) / "node_modules" / "chess.js"; }

std::string referee_missing() {
  if (std::system("command -v node >/dev/null 2>&1") != 0)
    return "node is not installed: tools/install-deps.sh installs it (Debian package nodejs)";
  if (!fs::exists(referee_package() / "package.json"))
    return "chess.js is not installed in " + std::string(KELO_REFEREE_DIR) +
           ": `make test` installs it (npm ci), or `cmake --build <build> --target referee`";
  return "";
}
