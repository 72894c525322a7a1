// The input thread and the ring of input lines it hands to the main thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

struct Position;

constexpr int QUEUE_SLOTS = 64;
constexpr int LINE_BYTES = 256;

struct CommandQueue {
  char lines[QUEUE_SLOTS][LINE_BYTES];
  int32_t write_index = 0;
  int32_t read_index = 0;
  std::atomic<bool> has_lines{false};  // the one field read without the lock
  std::mutex lock;
};

extern CommandQueue command_queue;

// Copies a whole 256-byte line buffer into the ring, waiting while all 64
// slots are pending so that no line is lost or overwritten.
void enqueue_line(const char* buffer);

// Reads standard input line by line until it ends.
void input_thread();

// Interprets queued lines one at a time, holding the lock for each whole
// command; ends the process once input has ended and every line is done.
[[noreturn]] void command_loop(Position& pos);

// Whether a line raises the stop flag before it is queued.
bool stops_search(const char* line);

// Analysis mode lets every line but "." stop the running search.
extern std::atomic<bool> analysis_mode;
// Main thread only: the current position is still to be analysed (set on
// entering analysis mode and by every change of the position, cleared when an
// analysis reaches the iteration limit). The command loop runs it whenever
// no line is pending.
extern bool analysis_due;
