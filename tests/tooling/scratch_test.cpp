// The tests' temporary folders: where they go, and that nothing stays behind.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/scratch.h"

namespace fs = std::filesystem;

namespace {

TEST(Scratch, FoldersAreNewAndUnderTheRootOfThisProcess) {
  const fs::path root = scratch_root();
  ASSERT_FALSE(root.empty());
  EXPECT_EQ(root.filename(), "kelo-test-" + std::to_string(getpid()));
  // Code that asks the system for its temporary directory, and child
  // processes, land there too.
  EXPECT_EQ(fs::temp_directory_path(), root);
  EXPECT_EQ(std::system(("test \"$TMPDIR\" = '" + root.string() + "'").c_str()), 0);
  const fs::path a = scratch_dir("kelo-x"), b = scratch_dir("kelo-x");
  EXPECT_NE(a, b);
  for (const fs::path& p : {a, b}) {
    EXPECT_EQ(p.parent_path(), root);
    EXPECT_TRUE(fs::is_directory(p));
    EXPECT_TRUE(fs::is_empty(p));
  }
}

TEST(Scratch, RootsOfDeadProcessesAreRemovedOthersKept) {
  const fs::path base = scratch_dir("kelo-base");
  // A test process that makes its root and a folder in it, then dies without
  // its clean-up, as a crash or a timeout would end it.
  const pid_t child = fork();
  if (child == 0) {
    setenv("TMPDIR", base.c_str(), 1);
    scratch_begin();
    std::ofstream(scratch_dir("kelo-left") + "/file") << "x";
    _exit(0);
  }
  ASSERT_GT(child, 0);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  const fs::path dead = base / ("kelo-test-" + std::to_string(child));
  ASSERT_TRUE(fs::is_directory(dead));

  const fs::path alive = base / ("kelo-test-" + std::to_string(getpid()));
  const fs::path others[] = {alive, base / "kelo-test-12x", base / "kelo-test-", base / "kelo-tests",
                             base / "elsewhere"};
  for (const fs::path& p : others) fs::create_directories(p);
  remove_stale_roots(base);
  EXPECT_FALSE(fs::exists(dead));
  for (const fs::path& p : others) EXPECT_TRUE(fs::is_directory(p)) << p;
}

// Run again as a child with KELO_SCRATCH_CHILD set, this test makes folders
// and fails; the parent checks that the failing program left nothing.
TEST(Scratch, AFailingTestProgramLeavesNothing) {
  if (std::getenv("KELO_SCRATCH_CHILD")) {
    std::ofstream(scratch_dir("kelo-child") + "/file") << "x";
    std::ofstream(fs::temp_directory_path() / "loose") << "x";
    ADD_FAILURE() << "failing on purpose";
    return;
  }
  const fs::path base = scratch_dir("kelo-base");
  const fs::path self = fs::read_symlink("/proc/self/exe");
  const fs::path out = scratch_root() / "child.out";
  const std::string command = "KELO_SCRATCH_CHILD=1 TMPDIR='" + base.string() + "' '" +
                              self.string() +
                              "' --gtest_filter=Scratch.AFailingTestProgramLeavesNothing > '" +
                              out.string() + "' 2>&1";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);  // the child's test did fail
  EXPECT_TRUE(fs::is_empty(base));
}

}  // namespace
