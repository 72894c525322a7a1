// Drives build/kelo through its standard input and output, as an interface
// would, in a fresh temporary working directory.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct EngineProcess {
  int pid = -1;
  int to_engine = -1;
  int from_engine = -1;
  std::string dir;        // the engine's working directory
  std::string pending;    // output read but not yet split into lines
  std::vector<std::string> lines;  // every complete line so far

  // Starts the engine in a new temporary directory (or in dir when given).
  explicit EngineProcess(const std::string& working_dir = "");
  ~EngineProcess();

  void send(const std::string& line);
  // Reads until a line equal to wanted arrives (looking from index from on);
  // false on timeout or exit.
  bool wait_for_line(const std::string& wanted, int timeout_ms = 10000, size_t from = 0);
  // Reads until a line starting with prefix arrives; returns it or "".
  std::string wait_for_prefix(const std::string& prefix, int timeout_ms = 10000,
                              size_t from = 0);
  // Index of the first line from index from that matches, or -1 on timeout.
  long wait_until(const std::function<bool(const std::string&)>& match, size_t from,
                  int timeout_ms);
  // Sends "ping n" and waits for "pong n": all earlier output is then in lines.
  bool sync(int timeout_ms = 10000);
  // Closes the engine's input and waits for it to exit; returns the exit
  // status, or -1 when it did not end within the timeout.
  int close_and_wait(int timeout_ms = 5000);
  // Waits for the process to end by itself; -1 on timeout.
  int wait_exit(int timeout_ms = 5000);
  // Lines received since index from.
  std::vector<std::string> since(size_t from) const;
  void write_file(const std::string& name, const std::string& content) const;
  // A new temporary directory holding one file, for the files the engine
  // reads at start-up (KELO.ini): written before the engine starts.
  static std::string dir_with_file(const std::string& name, const std::string& content);

 private:
  int ping_counter = 0;
  bool read_some(int timeout_ms);
};
