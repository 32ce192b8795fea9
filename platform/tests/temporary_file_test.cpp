// Temporary files beside their targets, and the leftovers of killed writers.

#include "platform/temporary_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "testing/files.h"

namespace {

using jutest::readWholeFile;
using jutest::TempDir;
namespace pf = platform;

TEST(TemporaryFileName, OnlyTheFormTheWriterMakes) {
  const std::pair<const char*, bool> rows[] = {
      {"a.dll.~4242-0.tmp", true},   {"dir/a.dll.~1-77.tmp", true}, {"d\\a.~9-9.tmp", true},
      {"a.dll.new", false},          {"a.dll.tmp4242-0", false},     {".~4242-0.tmp", false},
      {"a.dll.~-0.tmp", false},      {"a.dll.~4242-.tmp", false},    {"a.dll.~42x2-0.tmp", false},
      {"a.dll.~4242-0.tmpx", false}, {"a.~1234567890-0.tmp", false}, {"", false}};
  for (const auto& [name, made] : rows) EXPECT_EQ(pf::isTemporaryFileName(name), made) << name;
}

// A kept file takes the target's name with exactly its bits, whatever the
// mask; a discarded one leaves nothing; an existing name is never taken.
TEST(TemporaryFile, KeptOrDiscarded) {
  TempDir dir;
  const std::string target = dir.write("a.dll", "old");
  const mode_t saved = umask(077);
  for (const bool keep : {false, true}) {
    pf::TemporaryFile file;
    ASSERT_EQ(file.create(target.c_str(), 0755), pf::kErrorNone);
    EXPECT_TRUE(pf::isTemporaryFileName(file.path()));
    ASSERT_EQ(pf::writeWhole(file.descriptor(), "new", 3), pf::kErrorNone);
    if (keep) {
      ASSERT_EQ(file.keep(false), pf::kErrorNone);
    } else {
      file.discard();
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"a.dll"});
    EXPECT_EQ(readWholeFile(target), keep ? "new" : "old");
  }
  umask(saved);
  struct stat st;
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
}

// Only a leftover whose writer is gone is removed.
TEST(TemporaryFile, StaleLeftoversAreRemoved) {
  TempDir dir;
  const pid_t child = fork();
  if (child == 0) _exit(0);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  pf::TemporaryFile held;
  ASSERT_EQ(held.create((dir / "b.dll").c_str(), 0644), pf::kErrorNone);
  const std::string dead = dir.write("a.dll.~" + std::to_string(child) + "-0.tmp", "x");
  const std::string running = dir.write("a.dll.~1-0.tmp", "x");  // init runs
  const std::string other = dir.write("a.dll.new", "x");
  const std::pair<std::string, pf::ErrorNumber> rows[] = {{dead, pf::kErrorNone},
                                                          {running, pf::kErrorLocked},
                                                          {held.path(), pf::kErrorLocked},
                                                          {other, pf::kErrorInvalidArgument}};
  for (const auto& [path, result] : rows) {
    EXPECT_EQ(pf::removeStaleTemporaryFile(path.c_str()), result) << path;
    EXPECT_EQ(jutest::pathExists(path), result != pf::kErrorNone) << path;
  }
}

}  // namespace
