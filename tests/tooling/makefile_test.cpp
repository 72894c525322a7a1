// When the Makefile runs cmake: driven with a stand-in cmake that records its
// configure calls and makes the files a configured build directory has.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/scratch.h"

namespace fs = std::filesystem;

namespace {

// Configures as cmake would: CMakeCache.txt first (a failed run leaves it),
// then, on success, the build Makefile and the list of parts left out. A
// file CMakeFiles/old in the directory shows whether it was emptied first.
constexpr const char* FAKE_CMAKE = R"(#!/bin/sh
case "$1" in --build|--install) exit 0 ;; esac
echo "$*" >> "$WORK/cmake.log"
while [ $# -gt 0 ]; do [ "$1" = -B ] && dir=$2; shift; done
mkdir -p "$dir/CMakeFiles"
touch "$dir/CMakeCache.txt"
[ -f "$WORK/fail" ] && exit 1
touch "$dir/Makefile"
cat "$WORK/left-out" > "$dir/kelo-left-out" 2>/dev/null || : > "$dir/kelo-left-out"
)";

class MakefileTest : public testing::Test {
 protected:
  void SetUp() override {
    work_ = scratch_dir("kelo-make");
    fs::create_directories(work_ / "bin");
    fs::create_directories(work_ / "tools");
    write("bin/cmake", FAKE_CMAKE);
    write("bin/ctest", "#!/bin/sh\n");
    write("tools/install-deps.sh", "#!/bin/sh\n");
    for (const char* f : {"bin/cmake", "bin/ctest", "tools/install-deps.sh"})
      fs::permissions(work_ / f, fs::perms::owner_all);
  }
  void write(const std::string& name, const std::string& text) {
    std::ofstream(work_ / name) << text;
  }
  // Runs make with the given target and variables, and none inherited from a
  // make that runs the tests; true when it succeeded.
  bool make(const std::string& args) {
    const std::string command = "cd '" + work_.string() +
                                "' && unset MAKEFLAGS MFLAGS MAKELEVEL CXX_CHOICE WERROR BUILD; WORK='" +
                                work_.string() +
                                "' PATH='" + (work_ / "bin").string() + "':\"$PATH\" make -s -f '" +
                                KELO_SOURCE_DIR + "/Makefile' " + args + " >> make.out 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  std::vector<std::string> configures() const {
    std::vector<std::string> lines;
    std::ifstream in(work_ / "cmake.log");
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::string output() const {
    std::ifstream in(work_ / "make.out");
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void mark_cache() const { std::ofstream(work_ / "build/CMakeFiles/old") << "x"; }
  bool cache_was_emptied() const { return !fs::exists(work_ / "build/CMakeFiles/old"); }
  fs::path work_;
};

TEST_F(MakefileTest, ConfiguresOnceThenOnlyWhenTheCompilerChanges) {
  ASSERT_TRUE(make("engine CXX_CHOICE=/opt/a/clang++")) << output();
  ASSERT_EQ(configures().size(), 1u);
  EXPECT_NE(configures()[0].find("-DCMAKE_CXX_COMPILER=/opt/a/clang++"), std::string::npos);
  EXPECT_EQ(configures()[0].find("KELO_WERROR"), std::string::npos);
  ASSERT_TRUE(make("engine CXX_CHOICE=/opt/a/clang++"));
  ASSERT_TRUE(make("all CXX_CHOICE=/opt/a/clang++"));
  EXPECT_EQ(configures().size(), 1u);

  // CMake keeps the compiler of its first run: the cache must go.
  mark_cache();
  ASSERT_TRUE(make("engine CXX_CHOICE=/opt/b/g++"));
  ASSERT_EQ(configures().size(), 2u);
  EXPECT_NE(configures()[1].find("-DCMAKE_CXX_COMPILER=/opt/b/g++"), std::string::npos);
  EXPECT_TRUE(cache_was_emptied());

  mark_cache();
  ASSERT_TRUE(make("engine CXX_CHOICE=/opt/b/g++ WERROR=1"));
  ASSERT_EQ(configures().size(), 3u);
  EXPECT_NE(configures()[2].find("-DKELO_WERROR=ON"), std::string::npos);
  EXPECT_TRUE(cache_was_emptied());
}

TEST_F(MakefileTest, AFailedOrIncompleteConfigurationIsRunAgain) {
  write("fail", "");
  EXPECT_FALSE(make("engine CXX_CHOICE=/opt/a/clang++"));
  ASSERT_TRUE(fs::exists(work_ / "build/CMakeCache.txt"));  // left by the failed run
  fs::remove(work_ / "fail");
  ASSERT_TRUE(make("engine CXX_CHOICE=/opt/a/clang++")) << output();
  EXPECT_EQ(configures().size(), 2u);
  ASSERT_TRUE(make("engine CXX_CHOICE=/opt/a/clang++"));
  EXPECT_EQ(configures().size(), 2u);

  fs::remove(work_ / "build/Makefile");
  ASSERT_TRUE(make("engine CXX_CHOICE=/opt/a/clang++"));
  EXPECT_EQ(configures().size(), 3u);
  fs::remove(work_ / "build/CMakeCache.txt");
  ASSERT_TRUE(make("engine CXX_CHOICE=/opt/a/clang++"));
  EXPECT_EQ(configures().size(), 4u);
}

TEST_F(MakefileTest, TestsConfigureAgainWhenPartsWereLeftOut) {
  write("left-out", "tests (libgtest-dev)");
  ASSERT_TRUE(make("engine CXX_CHOICE=/opt/a/clang++"));  // the engine alone needs nothing more
  ASSERT_EQ(configures().size(), 1u);
  // Still missing after the set-up: make test stops and says what.
  EXPECT_FALSE(make("test CXX_CHOICE=/opt/a/clang++"));
  EXPECT_EQ(configures().size(), 2u);
  EXPECT_NE(output().find("Still left out after tools/install-deps.sh: tests (libgtest-dev)"),
            std::string::npos)
      << output();
  // Installed now: the next configuration finds it, and the tests run.
  fs::remove(work_ / "left-out");
  ASSERT_TRUE(make("test CXX_CHOICE=/opt/a/clang++")) << output();
  EXPECT_EQ(configures().size(), 3u);
  ASSERT_TRUE(make("test CXX_CHOICE=/opt/a/clang++")) << output();
  EXPECT_EQ(configures().size(), 3u);
}

// OpenBench builds with `make EXE=PATH CXX=COMPILER`: the engine alone, in a
// directory of its own, with that compiler; without EXE, CXX changes nothing.
TEST_F(MakefileTest, ExeBuildsTheEngineAtThatPathWithCxx) {
  fs::create_directories(work_ / "build-openbench");
  write("build-openbench/kelo", "engine");  // what the build would leave
  ASSERT_TRUE(make("EXE=ob-kelo CXX=/opt/c/g++ CXX_CHOICE=/opt/a/clang++")) << output();
  ASSERT_EQ(configures().size(), 1u);
  EXPECT_NE(configures()[0].find("-B build-openbench -DCMAKE_BUILD_TYPE=Release "
                                 "-DCMAKE_CXX_COMPILER=/opt/c/g++"),
            std::string::npos)
      << configures()[0];
  EXPECT_TRUE(fs::exists(work_ / "ob-kelo"));

  ASSERT_TRUE(make("CXX=/opt/c/g++ CXX_CHOICE=/opt/a/clang++")) << output();
  ASSERT_EQ(configures().size(), 2u);
  EXPECT_NE(configures()[1].find("-B build -DCMAKE_BUILD_TYPE=Release "
                                 "-DCMAKE_CXX_COMPILER=/opt/a/clang++"),
            std::string::npos)
      << configures()[1];
}

}  // namespace
