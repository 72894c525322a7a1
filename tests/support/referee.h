// chess.js, the independent move referee of the end-to-end tests.
#pragma once

#include <filesystem>

// Installs chess.js once beside the engine binary (npm) and returns the
// package folder; it lacks package.json when the install failed.
std::filesystem::path referee_package();
