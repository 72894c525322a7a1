// The input thread and the ring of input lines it hands to the main thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

struct Session;

constexpr int QUEUE_SLOTS = 64;
// An xboard line keeps at most 255 characters; a UCI "position" line lists
// every move of the game and is kept whole up to this size.
constexpr int LINE_BYTES = 8192;
constexpr int XBOARD_LINE_CHARS = 255;

struct CommandQueue {
  char lines[QUEUE_SLOTS][LINE_BYTES];
  int32_t write_index = 0;
  int32_t read_index = 0;
  std::atomic<bool> has_lines{false};  // the one field read without the lock
  std::mutex lock;
  std::condition_variable arrived;  // a line was queued, or input ended
};

extern CommandQueue command_queue;

// Copies a whole line buffer into the ring, waiting while all 64
// slots are pending so that no line is lost or overwritten.
void enqueue_line(const char* buffer);

// Reads standard input line by line until it ends; the session's protocol
// and mode tell which lines stop a search before they are queued.
void input_thread(Session* s);

// Interprets queued lines one at a time, holding the lock for each whole
// command; ends the process once input has ended and every line is done.
[[noreturn]] void command_loop(Session& s);

// Whether a line raises the stop flag before it is queued: in xboard a
// search runs under the queue lock and cannot read the line itself; a UCI
// search runs on the engine's thread and "stop" is read as any line.
bool stops_search(const Session& s, const char* line);
