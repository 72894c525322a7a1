#include "frontend/command_queue.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "frontend/interpreter.h"
#include "position/clock.h"
#include "frontend/session.h"
#include "frontend/uci.h"
#include "frontend/xboard.h"

CommandQueue command_queue;

namespace {

std::atomic<bool> input_ended{false};

// Lines read for the queue, and lines the main thread has taken from it: an
// analysis must not start while a line is on its way, since the stop that
// line raised may have come before the analysis cleared the flag.
std::atomic<uint64_t> lines_read{0};
uint64_t lines_taken = 0;

// Runs the analysis of the current position under the queue lock, as a
// command of its own; a line that arrives meanwhile stops it.
void run_analysis(Session& s) {
  CommandQueue& q = command_queue;
  std::lock_guard<std::mutex> guard(q.lock);
  stop_search.store(0);
  if (lines_read.load() != lines_taken || input_ended.load()) return;
  s.analysis_due = !analyse(s);
}

// Reads one line into buffer, at most `most` characters; the rest of a
// longer line is read and dropped. The line end (LF or CR LF) is removed. The end is
// found by counting bytes, so a NUL inside a line cuts only its text, never
// the line after it. Returns false at end of input with nothing read.
bool read_line(char* buffer, size_t most) {
  std::memset(buffer, 0, LINE_BYTES);
  size_t n = 0;
  bool any = false;
  for (int c; (c = std::getc(stdin)) != EOF;) {
    any = true;
    if (c == '\n') break;
    if (n < most) buffer[n++] = char(c);
  }
  if (!any) return false;
  if (n > 0 && buffer[n - 1] == '\r') buffer[--n] = 0;
  return true;
}

// Waits up to 10 ms for a queued line or the end of input; true if either
// came. A wake-up lost to a race costs no more than the 10 ms.
bool wait_for_line() {
  CommandQueue& q = command_queue;
  std::unique_lock<std::mutex> guard(q.lock);
  return q.arrived.wait_for(guard, std::chrono::milliseconds(10),
                            [] { return command_queue.has_lines.load() || input_ended.load(); });
}

}  // namespace

bool stops_search(const Session& s, const char* line) {
  if (s.protocol.load() == Protocol::UCI) return false;
  if (s.analysis_mode.load()) return std::strcmp(line, ".") != 0;
  return std::strncmp(line, "result", 6) == 0 || line[0] == '?' ||
         std::strncmp(line, "hint", 4) == 0;
}

void enqueue_line(const char* buffer) {
  CommandQueue& q = command_queue;
  for (;;) {
    bool full;
    {
      std::lock_guard<std::mutex> guard(q.lock);
      full = q.has_lines.load() && q.write_index == q.read_index;
      if (!full) {
        std::memcpy(q.lines[q.write_index], buffer, LINE_BYTES);
        q.write_index = (q.write_index + 1) % QUEUE_SLOTS;
        q.has_lines.store(true);
      }
    }
    if (!full) {
      q.arrived.notify_one();
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void input_thread(Session* s) {
  static char buffer[LINE_BYTES];
  // The lines after "uci" are read by the UCI front end, which takes them
  // whole; the switch is seen here, before the main thread has made it.
  bool uci = false;
  while (read_line(buffer, uci ? LINE_BYTES - 1 : XBOARD_LINE_CHARS)) {
    if (std::strcmp(buffer, "uci") == 0) uci = true;
    // A status request while analysing is answered here: queued, it would
    // wait behind the analysis it may not stop.
    if (s->analysis_mode.load() && std::strcmp(buffer, ".") == 0) {
      write_status(*s);
      continue;
    }
    ++lines_read;
    if (stops_search(*s, buffer)) raise_stop();
    // Read on at once: while a command runs, enqueue_line waits for the lock,
    // so that no more than this one line is read ahead of it.
    enqueue_line(buffer);
  }
  // Not under the lock: an analysis holds it until stopped. A wake-up lost
  // to the race costs the command loop one 10 ms wait.
  input_ended.store(true);
  // An analysis has no deadline: without further input it would never end.
  if (s->analysis_mode.load()) raise_stop();
  command_queue.arrived.notify_one();
}

void command_loop(Session& s) {
  CommandQueue& q = command_queue;
  for (;;) {
    bool ended = input_ended.load();
    if (q.has_lines.load()) {
      {
        std::lock_guard<std::mutex> guard(q.lock);
        ++lines_taken;
        interpret_command(s, q.lines[q.read_index]);
        q.read_index = (q.read_index + 1) % QUEUE_SLOTS;
        q.has_lines.store(q.read_index != q.write_index);
      }
      continue;  // every pending line is worked off before the loop sleeps
    }
    if (s.analysis_due && !ended) {
      // Lines sent together with the one that made the analysis due (a
      // "ping" after "analyze") are taken before it starts, as they would
      // stop it at once.
      if (wait_for_line()) continue;
      run_analysis(s);
      continue;
    } else if (ended) {
      if (s.protocol.load() == Protocol::UCI)
        uci_input_ended(s);
      else
        stop_pondering(s);
      std::fflush(stdout);
      std::_Exit(0);
    }
    wait_for_line();
  }
}
