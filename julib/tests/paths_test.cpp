// Path rules: adapting to the volume, full paths, the current directory,
// splitting file names and safe relative paths.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "julib/files.h"
#include "testing/files.h"
#include "testing/ju_test.h"

namespace {

using jutest::ScopedCodePage;
using jutest::ScopedCurrentDirectory;
using jutest::TempDir;
using jutest::wide;

std::string parentOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

// ---------------------------------------------------------------------------
// Adapting to the volume.
// ---------------------------------------------------------------------------

TEST(AdaptPath, CopiesKeepingCase) {
  jutest::ScopedErrorList errors;
  char buffer[kJuPathChars];
  EXPECT_EQ(juAdaptPathToVolume("Dir\\Mixed.TXT", buffer, sizeof buffer, 1), 0);
  EXPECT_STREQ(buffer, "Dir\\Mixed.TXT");
  char16_t wideBuffer[kJuPathChars];
  EXPECT_EQ(juAdaptPathToVolumeW(u"Dir/\u00C9t\u00E9", wideBuffer, kJuPathChars, 1), 0);
  EXPECT_EQ(std::u16string(wideBuffer), u"Dir/\u00C9t\u00E9");
  // In place.
  std::strcpy(buffer, "same");
  EXPECT_EQ(juAdaptPathToVolume(buffer, buffer, sizeof buffer, 0), 0);
  EXPECT_STREQ(buffer, "same");
  EXPECT_TRUE(errors.ids().empty());
}

TEST(AdaptPath, RefusesWhatDoesNotFit) {
  const struct {
    size_t length;
    size_t size;
    int result;
  } rows[] = {
      {0, 1, 0}, {3, 4, 0}, {4, 4, 1}, {5, 4, 1}, {0, 0, 1}, {259, 260, 0}, {260, 260, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.length) + " in " + std::to_string(row.size));
    jutest::ScopedErrorList errors;
    const std::string source(row.length, 'p');
    std::vector<char> buffer(row.size + 1, '#');
    EXPECT_EQ(juAdaptPathToVolume(source.c_str(), buffer.data(), row.size, 0), row.result);
    std::vector<char16_t> wideBuffer(row.size + 1, u'#');
    EXPECT_EQ(juAdaptPathToVolumeW(wide(source).c_str(), wideBuffer.data(), row.size, 0), row.result);
    if (row.result == 0) {
      EXPECT_EQ(std::string(buffer.data()), source);
      EXPECT_TRUE(errors.ids().empty());
    } else {
      EXPECT_EQ(buffer[0], '#');  // nothing copied
      EXPECT_EQ(wideBuffer[0], u'#');
      EXPECT_EQ(errors.ids(), (std::vector<uint16_t>{1524, 1524}));
      EXPECT_EQ(errors.message(0), "File name is too long: '" + source + "'.");
    }
  }
  jutest::ScopedErrorList errors;
  char buffer[4];
  EXPECT_EQ(juAdaptPathToVolume(nullptr, buffer, sizeof buffer, 0), 1);
  EXPECT_EQ(juAdaptPathToVolume("x", nullptr, 4, 0), 1);
  EXPECT_EQ(juAdaptPathToVolumeW(nullptr, nullptr, 4, 0), 1);
  EXPECT_TRUE(errors.ids().empty());
}

// ---------------------------------------------------------------------------
// Full paths.
// ---------------------------------------------------------------------------

class FullPathTest : public jutest::JuTest {
 protected:
  std::string full(const std::string& path, size_t size = kJuPathChars) {
    std::vector<char> buffer(std::max(size, path.size() + 1) + 8, '#');
    std::memcpy(buffer.data(), path.c_str(), path.size() + 1);
    juMakeFullPath(buffer.data(), 1, size);
    return buffer.data();
  }
  std::u16string fullW(const std::u16string& path, size_t size = kJuPathChars) {
    std::vector<char16_t> buffer(std::max(size, path.size() + 1) + 8, u'#');
    std::memcpy(buffer.data(), path.c_str(), (path.size() + 1) * sizeof(char16_t));
    juMakeFullPathW(buffer.data(), size);
    return buffer.data();
  }
  // A directory below the temporary folder whose path has `length` characters.
  std::string dirOfLength(size_t length) {
    const size_t prefix = dir_.path().size() + 1;
    EXPECT_LT(prefix + 255, length + 255);
    const std::string name(length - prefix, static_cast<char>('a' + length % 26));
    return jutest::pathExists(dir_ / name) ? dir_ / name : dir_.makeDir(name);
  }

  TempDir dir_;
};

TEST_F(FullPathTest, RelativeAndAbsolute) {
  const ScopedCurrentDirectory cwd(dir_.path());
  const std::string c = dir_.path();
  const struct {
    std::string path;
    std::string expected;
    const char* note;
  } rows[] = {
      {"a\\..\\b", c + "/b", "a, two dots, b: the text after the dots replaces"},
      {"a/b/../c", c + "/a/c", "slashes"},
      {"a\\b\\..\\..\\c", c + "/c", "two levels, leftmost first"},
      {"..\\x", parentOf(c) + "/x", "into the parent of the current directory"},
      {"a\\.\\b", c + "/a/./b", "single dots stay"},
      {"a\\..", c + "/a/..", "two dots at the end stay"},
      {"a\\...\\b", c + "/a/.../b", "three dots are a name"},
      {"a/b\\c", c + "/a/b/c", "one separator in the result"},
      {"", c + "/", "empty"},
      {"C:x", c + "/C:x", "no drives: a name"},
      {"C:\\x\\..\\y", c + "/C:/y", "nor with a backslash"},
      {"/abs/../y", "/y", "absolute: collapsed only"},
      {"\\abs\\x\\..\\y", "/abs/y", "backslash absolute"},
      {"/../y", "/y", "nothing before the two dots"},
      {"//server/share/../x", "//server/share/../x", "two separators: left alone"},
      {"\\\\server\\share\\..\\x", "\\\\server\\share\\..\\x", "two backslashes: left alone"},
      {"ab:c\\..\\d", "ab:c\\..\\d", "':' beyond index 1: left alone"},
      {"/a:b/../c", "/a:b/../c", "even when absolute"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(full(row.path), row.expected);
    EXPECT_EQ(fullW(wide(row.path)), wide(row.expected));
  }
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(FullPathTest, TrailBytesAreNoSeparators) {
  const ScopedCurrentDirectory cwd(dir_.path());
  const std::string path = "a\\\x95\\..\\b";  // 0x95 0x5C is one character on page 932
  {
    ScopedCodePage codePage(932);
    EXPECT_EQ(full(path), dir_.path() + "/a/\x95\\../b");
  }
  EXPECT_EQ(full(path), dir_.path() + "/a/b");
}

TEST_F(FullPathTest, BufferBounds) {
  const ScopedCurrentDirectory cwd(dir_.path());
  const std::string c = dir_.path();
  const struct {
    std::string path;
    size_t size;
    std::string expected;
    const char* note;
  } rows[] = {
      {"abcdef", c.size() + 4, c + "/ab", "the relative part is cut to the buffer"},
      {"abcdef", c.size() + 8, c + "/abcdef", "exactly the buffer"},
      {"abcdef", c.size() + 2, c + "/", "room for the joiner only"},
      {"abcdef", c.size() + 1, c, "the directory alone fills the buffer"},
      {"abcdef", c.size(), "abcdef", "the directory does not fit: unchanged"},
      {"abc", 3, "abc", "not terminated inside the buffer: unchanged"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(full(row.path, row.size), row.expected);
    EXPECT_EQ(fullW(wide(row.path), row.size), wide(row.expected));
  }
  char untouched[1] = {'#'};
  juMakeFullPath(untouched, 0, 0);
  EXPECT_EQ(untouched[0], '#');
  juMakeFullPath(nullptr, 0, 260);
  juMakeFullPathW(nullptr, 260);
}

TEST_F(FullPathTest, LongCurrentDirectories) {
  const size_t prefix = dir_.path().size() + 1;
  ASSERT_LT(prefix, 200u) << "temporary folder name too long for this test";
  const struct {
    size_t length;
    std::string path;
    std::string tail;  // after the directory
    const char* note;
  } rows[] = {
      {259, "x", "", "259 characters: the directory alone, nothing appended"},
      {258, "x", "/", "258: the joiner fills the limit"},
      {257, "xy", "/x", "257: one character of the rest"},
      {257, "", "/", "257: an empty rest"},
      {256, "xy", "/xy", "256: all of it"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    const std::string directory = dirOfLength(row.length);
    ASSERT_EQ(directory.size(), row.length);
    const ScopedCurrentDirectory cwd(directory);
    EXPECT_EQ(full(row.path), directory + row.tail);
    EXPECT_EQ(full(row.path, 1000), directory + row.tail);  // 259 characters at most, whatever the buffer
    EXPECT_EQ(fullW(wide(row.path)), wide(directory + row.tail));
  }

  // A character is never cut in half.
  const std::string directory = dirOfLength(257);
  const ScopedCurrentDirectory cwd(directory);
  {
    ScopedCodePage codePage(932);
    EXPECT_EQ(full("\x82\xA0"), directory + "/");
  }
  EXPECT_EQ(full("\x82\xA0"), directory + "/\x82");
  EXPECT_EQ(fullW(u"\U0001F600"), wide(directory + "/"));
  EXPECT_EQ(fullW(u"y\U0001F600"), wide(directory + "/y"));
}

TEST_F(FullPathTest, UnreadableCurrentDirectoryLeavesThePath) {
  // A current directory of 270 characters does not fit the layer's buffers.
  const size_t prefix = dir_.path().size() + 1;
  const std::string first = dir_.makeDir(std::string(200 - prefix, 'p'));
  const std::string second = first + "/" + std::string(69, 'q');
  ASSERT_EQ(mkdir(second.c_str(), 0755), 0);
  ASSERT_EQ(second.size(), 270u);
  const ScopedCurrentDirectory cwd(second);
  EXPECT_EQ(full("x\\..\\y"), "x\\..\\y");
  EXPECT_EQ(fullW(u"x"), u"x");
  char buffer[kJuPathChars] = "#";
  EXPECT_EQ(juGetCurrentDirectory(0, buffer), nullptr);
  EXPECT_STREQ(buffer, "");
}

TEST_F(FullPathTest, CurrentDirectory) {
  const ScopedCurrentDirectory cwd(dir_.path());
  for (int32_t drive : {0, 1, 3, 26}) {
    SCOPED_TRACE(drive);
    char buffer[kJuPathChars];
    EXPECT_EQ(juGetCurrentDirectory(drive, buffer), buffer);
    EXPECT_EQ(std::string(buffer), dir_.path());
    char16_t wideBuffer[kJuPathChars];
    EXPECT_EQ(juGetCurrentDirectoryW(drive, wideBuffer), wideBuffer);
    EXPECT_EQ(std::u16string(wideBuffer), wide(dir_.path()));
  }
  for (int32_t drive : {-1, 27}) {
    SCOPED_TRACE(drive);
    char buffer[kJuPathChars] = "#";
    EXPECT_EQ(juGetCurrentDirectory(drive, buffer), nullptr);
    EXPECT_STREQ(buffer, "");
  }
  EXPECT_EQ(juGetCurrentDirectory(0, nullptr), nullptr);
}

TEST_F(FullPathTest, NonAsciiCurrentDirectory) {
  const std::string directory = dir_.makeDir("\xC3\xA9t\xC3\xA9");
  const ScopedCurrentDirectory cwd(directory);
  EXPECT_EQ(full("a"), directory + "/a");
  EXPECT_EQ(fullW(u"a"), wide(directory + "/a"));
}

// ---------------------------------------------------------------------------
// Splitting file names.
// ---------------------------------------------------------------------------

struct SplitRow {
  std::string path;
  size_t baseSize;
  size_t extensionSize;
  int report;
  std::string directory;
  std::string base;  // "#" when untouched
  std::string extension;
  int result;
  const char* note;
};

void checkSplit(const SplitRow& row) {
  jutest::ScopedErrorList errors;
  std::vector<char> path(row.path.begin(), row.path.end());
  path.push_back('\0');
  // "#" until written.
  std::vector<char> base(row.baseSize + 2, '#');
  base[1] = '\0';
  std::vector<char> extension(row.extensionSize + 2, '#');
  extension[1] = '\0';
  EXPECT_EQ(juSplitFileName(path.data(), base.data(), row.baseSize, extension.data(), row.extensionSize, row.report),
            row.result);
  EXPECT_EQ(std::string(path.data()), row.directory);
  EXPECT_EQ(std::string(base.data()), row.base);
  EXPECT_EQ(std::string(extension.data()), row.extension);
  if (row.result == 1) {
    EXPECT_EQ(errors.ids(), std::vector<uint16_t>{1524});
  } else {
    EXPECT_TRUE(errors.ids().empty());
  }
}

TEST(SplitFileName, Narrow) {
  const SplitRow rows[] = {
      {"c:\\dir\\a.b.c", 260, 260, 1, "c:\\dir\\", "a", "b.c", 0, "two dots: the first ends the base"},
      {"dir/name", 260, 260, 1, "dir/", "name", "", 0, "no extension"},
      {"name.txt", 260, 260, 1, "", "name", "txt", 0, "no directory"},
      {"C:x.txt", 260, 260, 1, "", "C:x", "txt", 0, "no drives: part of the name"},
      {".profile", 260, 260, 1, "", "", "profile", 0, "a leading dot"},
      {"dir\\", 260, 260, 1, "dir\\", "", "", 0, "no name"},
      {"a.b/c", 260, 260, 1, "a.b/", "c", "", 0, "a dot in the directory"},
      {"dir/name.", 260, 260, 1, "dir/", "name", "", 0, "an empty extension"},
      {"", 260, 260, 1, "", "", "", 0, "empty"},
      // Base boundaries.
      {"d/abcd.x", 5, 260, 1, "d/", "abcd", "x", 0, "base fits exactly"},
      {"d/abcd.x", 4, 260, 1, "d/", "abc", "x", 1, "one short: cut and reported"},
      {"d/abcd.x", 4, 260, 0, "d/", "abc", "x", 0, "cut without report"},
      {"d/abcd.x", 1, 260, 1, "d/", "", "x", 1, "room for the terminator only"},
      {"d/abcd.x", 0, 260, 1, "d/", "#", "x", 1, "no room at all"},
      {"d/.x", 0, 260, 1, "d/", "#", "x", 1, "even an empty base needs room"},
      // Extension boundaries: cut quietly.
      {"a.12345", 260, 6, 1, "", "a", "12345", 0, "extension fits exactly"},
      {"a.12345", 260, 5, 1, "", "a", "1234", 0, "extension cut"},
      {"a.12345", 260, 1, 1, "", "a", "", 0, "room for the terminator only"},
      {"a.12345", 260, 0, 1, "", "a", "#", 0, "no room"},
  };
  for (const SplitRow& row : rows) {
    SCOPED_TRACE(row.note);
    checkSplit(row);
  }
}

TEST(SplitFileName, DoubleByte) {
  const SplitRow page932[] = {
      {"a\x95\\b.txt", 260, 260, 1, "", "a\x95\\b", "txt", 0, "trail byte 0x5C is no separator"},
      {"d\\\x82\xA0\x82\xA0.x", 4, 260, 1, "d\\", "\x82\xA0", "x", 1, "a cut keeps whole characters"},
      {"d\\a.\x82\xA0\x82\xA0", 260, 4, 1, "d\\", "a", "\x82\xA0", 0, "in the extension too"},
      // Found by fuzzing: a lead byte swallows the dot after it, and the
      // extension's cut stops before that character.
      {"j\x01ib/.hjip\xff.hj\xfb.", 36, 10, 1, "j\x01ib/", "", "hjip\xff.hj", 0, "cut before a lead byte"},
  };
  {
    ScopedCodePage codePage(932);
    for (const SplitRow& row : page932) {
      SCOPED_TRACE(row.note);
      checkSplit(row);
    }
  }
  checkSplit({"a\x95\\b.txt", 260, 260, 1, "a\x95\\", "b", "txt", 0, "the same bytes on page 1252"});
}

TEST(SplitFileName, ReportNamesTheBase) {
  jutest::ScopedErrorList errors;
  char path[] = "dir\\longname.ext";
  char base[5];
  char extension[8];
  EXPECT_EQ(juSplitFileName(path, base, sizeof base, extension, sizeof extension, 1), 1);
  EXPECT_EQ(errors.message(0), "File name is too long: 'longname'.");
  EXPECT_STREQ(base, "long");
  EXPECT_STREQ(path, "dir\\");
  EXPECT_EQ(juSplitFileName(nullptr, base, sizeof base, extension, sizeof extension, 1), 0);
  EXPECT_STREQ(base, "");
}

TEST(SplitFileName, Wide) {
  jutest::ScopedErrorList errors;
  char16_t path[] = u"c:\\dir\\\U0001F600x.b.c";
  char16_t base[8];
  char16_t extension[8];
  EXPECT_EQ(juSplitFileNameW(path, base, 8, extension, 8, 1), 0);
  EXPECT_EQ(std::u16string(path), u"c:\\dir\\");
  EXPECT_EQ(std::u16string(base), u"\U0001F600x");
  EXPECT_EQ(std::u16string(extension), u"b.c");

  // A cut never keeps half a surrogate pair.
  char16_t pair[] = u"d/\U0001F600.x";
  EXPECT_EQ(juSplitFileNameW(pair, base, 2, extension, 8, 1), 1);
  EXPECT_EQ(std::u16string(base), u"");
  EXPECT_EQ(errors.ids(), std::vector<uint16_t>{1524});
  EXPECT_EQ(errors.message(0), "File name is too long: '\xF0\x9F\x98\x80'.");
}

// ---------------------------------------------------------------------------
// Safe relative paths.
// ---------------------------------------------------------------------------

TEST(SafeRelativePath, Table) {
  const struct {
    const char16_t* path;
    int expected;
    const char* note;
  } rows[] = {
      {u"a\\b", 1, "plain"},
      {u"..\\a", 0, "starts with two dots"},
      {u"a/../b", 0, "two dots between slashes"},
      {u"a\\..\\b", 0, "two dots between backslashes"},
      {u"a\\..", 0, "two dots at the end"},
      {u"..", 0, "only two dots"},
      {u"a\\b..c", 1, "two dots inside a name"},
      {u"a..", 1, "a name ending in two dots"},
      {u"..a", 1, "a name starting with two dots"},
      {u"...", 1, "three dots are a name"},
      {u"a/...", 1, "a segment of three dots"},
      {u"  ..\\x", 0, "after leading spaces"},
      {u"  a", 1, "leading spaces"},
      {u"a ../b", 1, "a space is no separator"},
      {u"/x", 0, "absolute"},
      {u"\\x", 0, "absolute with a backslash"},
      {u"/", 0, "the root"},
      {u"  /x", 0, "absolute after spaces"},
      {u"\\\\server\\share", 0, "two backslashes"},
      {u"//server/share", 0, "two slashes"},
      {u"C:\\x", 0, "a drive and a backslash"},
      {u"C:x", 0, "a drive-relative path"},
      {u"z:", 0, "a drive alone"},
      {u"1:x", 1, "no letter: no drive"},
      {u"ab:c", 1, "a colon later"},
      {u"", 1, "empty"},
      {u" ", 1, "spaces only"},
      {u".", 1, "one dot"},
      {u"a", 1, "one character"},
      {nullptr, 1, "null"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(juIsSafeRelativePathW(row.path), row.expected);
  }
}

}  // namespace
