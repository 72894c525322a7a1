// chess.js, the independent move referee of the end-to-end tests.
#pragma once

#include <filesystem>
#include <string>

// The chess.js package folder that `make test` installs in the build
// directory with npm ci (tests/referee/package-lock.json pins its version).
std::filesystem::path referee_package();
// Empty when the referee is installed, else what is missing and how to get it.
std::string referee_missing();
