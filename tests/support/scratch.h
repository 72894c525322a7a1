// Temporary folders of the tests. Each test process keeps all of them under
// one root of its own, which it removes when it ends, pass or fail; a root
// left by a process that died (a crash, a timeout) is removed by the next
// test process to start. KELO_KEEP_TEMP=1 keeps the root and prints its path.
#pragma once

#include <filesystem>
#include <string>

// Creates the root under the system's temporary directory, removes those of
// dead test processes, and points TMPDIR at the new root so that
// std::filesystem::temp_directory_path() and child processes use it.
void scratch_begin();
// Removes the root (or reports it when KELO_KEEP_TEMP is set).
void scratch_end();
// The root of this process; scratch_begin() must have run.
const std::filesystem::path& scratch_root();
// A new empty folder under the root, its name starting with prefix.
std::string scratch_dir(const std::string& prefix);
// The roots under base left by processes that no longer run.
void remove_stale_roots(const std::filesystem::path& base);
