#include "engine_process.h"
#include "scratch.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

int64_t steady_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

EngineProcess::EngineProcess(const std::string& working_dir) {
  if (working_dir.empty()) {
    dir = scratch_dir("kelo-e2e");
  } else {
    dir = working_dir;
  }
  int in_pipe[2], out_pipe[2];
  if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0) std::abort();
  pid = fork();
  if (pid == 0) {
    dup2(in_pipe[0], 0);
    dup2(out_pipe[1], 1);
    close(in_pipe[1]);
    close(out_pipe[0]);
    if (chdir(dir.c_str()) != 0) _exit(127);
    // A sanitized engine would end on a refused allocation; the engine itself
    // handles one (the table request halves until memory suffices).
    std::string asan = "allocator_may_return_null=1";
    if (const char* given = std::getenv("ASAN_OPTIONS")) asan = std::string(given) + ":" + asan;
    setenv("ASAN_OPTIONS", asan.c_str(), 1);
    // KELO_TEST_BINARY runs the tests against another build of the engine.
    const char* binary = std::getenv("KELO_TEST_BINARY");
    if (!binary || !*binary) binary = KELO_BINARY;
    execl(binary, binary, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  to_engine = in_pipe[1];
  from_engine = out_pipe[0];
  signal(SIGPIPE, SIG_IGN);
}

EngineProcess::~EngineProcess() {
  if (to_engine >= 0) close(to_engine);
  if (pid > 0 && wait_exit(2000) == -1) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  if (from_engine >= 0) close(from_engine);
}

void EngineProcess::send(const std::string& line) {
  std::string text = line + "\n";
  ssize_t written = write(to_engine, text.data(), text.size());
  (void)written;
}

bool EngineProcess::read_some(int timeout_ms) {
  pollfd p{from_engine, POLLIN, 0};
  if (poll(&p, 1, timeout_ms) <= 0) return false;
  char buf[4096];
  ssize_t n = read(from_engine, buf, sizeof buf);
  if (n <= 0) return false;
  pending.append(buf, size_t(n));
  size_t nl;
  while ((nl = pending.find('\n')) != std::string::npos) {
    lines.push_back(pending.substr(0, nl));
    pending.erase(0, nl + 1);
  }
  return true;
}

long EngineProcess::wait_until(const std::function<bool(const std::string&)>& match,
                               size_t from, int timeout_ms) {
  const int64_t deadline = steady_ms() + timeout_ms;
  size_t checked = from;
  for (;;) {
    for (; checked < lines.size(); ++checked)
      if (match(lines[checked])) return long(checked);
    int64_t left = deadline - steady_ms();
    if (left <= 0) return -1;
    pollfd p{from_engine, POLLIN, 0};
    if (poll(&p, 1, int(left)) <= 0) return -1;
    if (!read_some(0)) return -1;  // the engine closed its output
  }
}

std::string EngineProcess::wait_for_prefix(const std::string& prefix, int timeout_ms,
                                           size_t from) {
  long i = wait_until([&](const std::string& l) { return l.compare(0, prefix.size(), prefix) == 0; },
                      from, timeout_ms);
  return i < 0 ? "" : lines[size_t(i)];
}

bool EngineProcess::wait_for_line(const std::string& wanted, int timeout_ms, size_t from) {
  return wait_until([&](const std::string& l) { return l == wanted; }, from, timeout_ms) >= 0;
}

bool EngineProcess::sync(int timeout_ms) {
  int n = ++ping_counter + 900000;
  send("ping " + std::to_string(n));
  return wait_for_line("pong " + std::to_string(n), timeout_ms);
}

int EngineProcess::wait_exit(int timeout_ms) {
  const int64_t deadline = steady_ms() + timeout_ms;
  for (;;) {
    int status;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      // Drain what the engine wrote before it ended.
      while (read_some(0)) {
      }
      pid = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (steady_ms() >= deadline) return -1;
    read_some(10);
  }
}

int EngineProcess::close_and_wait(int timeout_ms) {
  close(to_engine);
  to_engine = -1;
  return wait_exit(timeout_ms);
}

std::vector<std::string> EngineProcess::since(size_t from) const {
  return std::vector<std::string>(lines.begin() + long(from), lines.end());
}

std::string EngineProcess::dir_with_file(const std::string& name, const std::string& content) {
  const std::string made = scratch_dir("kelo-e2e");
  std::ofstream(made + "/" + name, std::ios::binary) << content;
  return made;
}

void EngineProcess::write_file(const std::string& name, const std::string& content) const {
  std::ofstream(dir + "/" + name, std::ios::binary) << content;
}
