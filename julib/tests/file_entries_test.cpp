// Deleting, renaming and testing real files by name.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "julib/files.h"
#include "testing/files.h"
#include "testing/ju_test.h"

namespace {

using jutest::pathExists;
using jutest::readWholeFile;
using jutest::TempDir;
using jutest::wide;

class FileEntriesTest : public jutest::JuTest {
 protected:
  TempDir dir_;
};

// ---------------------------------------------------------------------------
// Deleting.
// ---------------------------------------------------------------------------

TEST_F(FileEntriesTest, Delete) {
  const std::string file = dir_.write("a.txt", "a");
  const std::string readOnly = dir_.write("ro.txt", "r", 0444);
  const std::string sub = dir_.makeDir("sub");
  const std::string backslashed = dir_.write("sub/b.txt", "b");
  const struct {
    std::string path;
    int result;
    bool goneAfterwards;
    const char* note;
  } rows[] = {
      {file, 0, true, "a file"},
      {readOnly, 0, true, "a read-only file (its directory is writable)"},
      {dir_.path() + "\\sub\\b.txt", 0, true, "backslash separators"},
      {dir_ / "missing.txt", 0, true, "a missing file counts as deleted"},
      {dir_ / "nowhere/missing.txt", 0, true, "so does one in a missing directory"},
      {file + "/x", 0, true, "and one below a file"},
      {sub, 1, false, "a directory is not deleted"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    jutest::ScopedErrorList errors;
    EXPECT_EQ(juFileDelete(row.path.c_str()), row.result);
    EXPECT_EQ(!pathExists(row.path), row.goneAfterwards);
    if (row.result == 0) {
      EXPECT_TRUE(errors.ids().empty());
    } else {
      EXPECT_EQ(errors.ids(), std::vector<uint16_t>{1502});
      EXPECT_EQ(errors.message(0), "Cannot delete file: '" + row.path + "'.");
    }
  }
  EXPECT_FALSE(pathExists(backslashed));
}

TEST_F(FileEntriesTest, DeleteWide) {
  const std::string file = dir_.write("\xC3\xA9.txt", "x");
  EXPECT_EQ(juFileDeleteW(wide(file).c_str()), 0);
  EXPECT_FALSE(pathExists(file));
  EXPECT_EQ(juFileDeleteW(wide(file).c_str()), 0);
  EXPECT_EQ(juFileDeleteW(nullptr), 1);
  EXPECT_EQ(juFileDelete(nullptr), 1);
  EXPECT_EQ(errors_.ids(), (std::vector<uint16_t>{1502, 1502}));
}

// A name one character beyond the limit is refused, never cut to the name of
// another file that would then be deleted.
TEST_F(FileEntriesTest, DeleteRefusesLongNames) {
  const size_t prefix = dir_.path().size() + 1;
  ASSERT_LT(prefix, 250u);
  const std::string exact = dir_.write(std::string(259 - prefix, 'd'), "keep");
  EXPECT_EQ(juFileDelete((exact + "x").c_str()), 1);
  EXPECT_EQ(juFileDeleteW(wide(exact + "y").c_str()), 1);
  EXPECT_EQ(errors_.ids(), (std::vector<uint16_t>{1524, 1524}));
  EXPECT_EQ(readWholeFile(exact), "keep");
  EXPECT_EQ(juFileDelete(exact.c_str()), 0);
  EXPECT_FALSE(pathExists(exact));
}

// ---------------------------------------------------------------------------
// Renaming.
// ---------------------------------------------------------------------------

TEST_F(FileEntriesTest, Rename) {
  const std::string from = dir_.write("old.txt", "content");
  const std::string to = dir_ / "new.txt";
  EXPECT_EQ(juFileRename(from.c_str(), to.c_str()), 0);
  EXPECT_FALSE(pathExists(from));
  EXPECT_EQ(readWholeFile(to), "content");

  EXPECT_EQ(juFileRenameW(wide(to).c_str(), wide(dir_ / "\xC3\xA9.txt").c_str()), 0);
  EXPECT_EQ(readWholeFile(dir_ / "\xC3\xA9.txt"), "content");
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(FileEntriesTest, RenameFailures) {
  const std::string source = dir_.write("source.txt", "source");
  const std::string target = dir_.write("target.txt", "target");
  const struct {
    std::string from;
    std::string to;
    const char* note;
  } rows[] = {
      {source, target, "an existing name is never replaced"},
      {dir_ / "missing.txt", dir_ / "other.txt", "a missing file"},
      {source, dir_ / "no/dir/x.txt", "into a missing directory"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    {
      jutest::ScopedErrorList errors;
      EXPECT_EQ(juFileRename(row.from.c_str(), row.to.c_str()), 1);
      EXPECT_EQ(errors.ids(), std::vector<uint16_t>{30042});
      EXPECT_EQ(errors.message(0), "Cannot rename '" + row.from + "' to '" + row.to + "'.");
    }
    jutest::ScopedErrorList errors;
    EXPECT_EQ(juFileRenameW(wide(row.from).c_str(), wide(row.to).c_str()), 1);
    EXPECT_EQ(errors.ids(), std::vector<uint16_t>{30042});
  }
  EXPECT_EQ(readWholeFile(source), "source");
  EXPECT_EQ(readWholeFile(target), "target");

  jutest::ScopedErrorList errors;
  EXPECT_EQ(juFileRename(nullptr, target.c_str()), 1);
  EXPECT_EQ(errors.message(0), "Cannot rename '' to '" + target + "'.");
}

TEST_F(FileEntriesTest, RenameChecksLengthOfNarrowNames) {
  const size_t prefix = dir_.path().size() + 1;
  ASSERT_LT(prefix, 250u);
  const std::string source = dir_.write("s", "s");
  const std::string fits = dir_ / std::string(259 - prefix, 'n');
  const std::string tooLong = fits + "n";
  EXPECT_EQ(juFileRename(source.c_str(), tooLong.c_str()), 1);
  EXPECT_EQ(errors_.ids(), std::vector<uint16_t>{1524});
  EXPECT_EQ(errors_.message(0), "File name is too long: '" + tooLong + "'.");
  EXPECT_TRUE(pathExists(source));
  EXPECT_EQ(juFileRename(source.c_str(), fits.c_str()), 0);
  EXPECT_EQ(readWholeFile(fits), "s");

  // The UTF-16 form renames the names as they are.
  EXPECT_EQ(juFileRenameW(wide(fits).c_str(), wide(tooLong).c_str()), 0);
  EXPECT_EQ(readWholeFile(tooLong), "s");
}

// ---------------------------------------------------------------------------
// Existence.
// ---------------------------------------------------------------------------

TEST_F(FileEntriesTest, Exists) {
  const struct {
    std::string path;
    int expected;
    const char* note;
  } rows[] = {
      {dir_.write("f", ""), 1, "file"},
      {dir_.write("r", "", 0444), 1, "read-only file"},
      {dir_.makeDir("d"), 0, "a directory is no file"},
      {dir_ / "missing", 0, "missing"},
      {"", 0, "empty"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(juFileExists(row.path.c_str()), row.expected);
    EXPECT_EQ(juFileExistsW(wide(row.path).c_str()), row.expected);
  }
  EXPECT_EQ(juFileExists(nullptr), 0);
  EXPECT_EQ(juFileExistsW(nullptr), 0);
}

}  // namespace
