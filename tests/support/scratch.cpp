#include "scratch.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr const char* ROOT_PREFIX = "kelo-test-";

fs::path root;

// The process id in a root's name "kelo-test-PID", or 0 for any other name.
pid_t owner_of(const std::string& name) {
  const std::string prefix = ROOT_PREFIX;
  if (name.compare(0, prefix.size(), prefix) != 0 || name.size() == prefix.size()) return 0;
  pid_t pid = 0;
  for (size_t i = prefix.size(); i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9' || pid > 100000000) return 0;
    pid = pid * 10 + (name[i] - '0');
  }
  return pid;
}

}  // namespace

void remove_stale_roots(const fs::path& base) {
  std::error_code ec;
  for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
    const pid_t pid = owner_of(it->path().filename().string());
    // EPERM: the process runs under another user, so it is alive.
    if (pid > 0 && kill(pid, 0) != 0 && errno == ESRCH) {
      std::error_code ignored;
      fs::remove_all(it->path(), ignored);
    }
  }
}

void scratch_begin() {
  const fs::path base = fs::temp_directory_path();
  remove_stale_roots(base);
  root = base / (ROOT_PREFIX + std::to_string(getpid()));
  fs::remove_all(root);  // a root of an earlier process with this id
  fs::create_directories(root);
  setenv("TMPDIR", root.c_str(), 1);
}

void scratch_end() {
  if (root.empty()) return;
  const char* keep = std::getenv("KELO_KEEP_TEMP");
  if (keep && *keep && std::string(keep) != "0") {
    std::fprintf(stderr, "temporary files kept in %s\n", root.c_str());
    return;
  }
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

const fs::path& scratch_root() { return root; }

std::string scratch_dir(const std::string& prefix) {
  std::string pattern = root.string();
  pattern += '/';
  pattern += prefix;
  pattern += "-XXXXXX";
  if (!mkdtemp(pattern.data())) {
    std::perror(pattern.c_str());
    std::abort();
  }
  return pattern;
}
