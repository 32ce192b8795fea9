// File-name extensions and file types of real paths.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <unicode/ustring.h>

#include "julib/cstring.h"
#include "platform/ansi.h"
#include "testing/ju_test.h"

namespace {

using Kind = JuCodePageKind;
constexpr ptrdiff_t kNone = -1;

template <typename Unit>
ptrdiff_t offsetOf(const Unit* found, const Unit* text) {
  return found == nullptr ? kNone : found - text;
}

using jutest::ScopedCodePage;

std::u16string fromUtf8(const std::string& text) {
  std::u16string out(text.size() + 1, u'\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8(out.data(), static_cast<int32_t>(out.size()), &length, text.data(),
                static_cast<int32_t>(text.size()), &status);
  EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
  out.resize(static_cast<size_t>(length));
  return out;
}

// ---------------------------------------------------------------------------
// Extensions.
// ---------------------------------------------------------------------------

struct ExtensionRow {
  uint32_t codePage;
  const char* path;
  ptrdiff_t expected;
  const char* note;
};

TEST(FileExtension, Narrow) {
  const ExtensionRow rows[] = {
      {1252, "dir.d\\file", kNone, "only dot lies in a directory name"},
      {1252, "dir.d/file", kNone, "'/' separates as well"},
      {1252, "a.b.c", 3, "last of two dots"},
      {1252, "c:\\x\\y.txt", 6, "after the last separator"},
      {1252, "dir/f.tar.gz", 9, "slash path"},
      {1252, "file.", 4, "empty extension"},
      {1252, ".profile", 0, "leading dot"},
      {1252, "file", kNone, "no dot"},
      {1252, "", kNone, "empty"},
      {932, "a.b\x95\\c", 1, "trail byte 0x5C is no separator"},
      {1252, "a.b\x95\\c", kNone, "the same bytes on page 1252"},
      {932, "a.\x95.", 1, "trail byte '.' is no dot"},
      {1252, "a.\x95.", 3, "the same bytes on page 1252"},
  };
  for (const ExtensionRow& row : rows) {
    SCOPED_TRACE(row.note);
    ScopedCodePage codePage(row.codePage);
    EXPECT_EQ(offsetOf(juStrFindExtension(row.path, Kind::kAnsi), row.path), row.expected);
  }
}

TEST(FileExtension, NarrowCounted) {
  const char* path = "a.b.c";
  EXPECT_EQ(offsetOf(juStrNFindExtension(path, 3, Kind::kAnsi), path), 1);
  EXPECT_EQ(offsetOf(juStrNFindExtension(path, 4, Kind::kAnsi), path), 3);
  EXPECT_EQ(juStrNFindExtension(path, 0, Kind::kAnsi), nullptr);
  const char* utf8 = "\xC3\xA9t\xC3\xA9.txt";
  EXPECT_EQ(offsetOf(juStrFindExtension(utf8, Kind::kUtf8), utf8), 5);
}

TEST(FileExtension, Wide) {
  const struct {
    const char16_t* path;
    ptrdiff_t expected;
    const char* note;
  } rows[] = {
      {u"dir.d\\file", kNone, "only dot lies in a directory name"},
      {u"dir.d/file", kNone, "'/' separates as well"},
      {u"a.b.c", 3, "last dot"},
      {u"c:\\x\\y.txt", 6, "after the last separator"},
      {u"x.\U0001F600", 1, "extension of a supplementary character"},
      {u".profile", 0, "leading dot"},
      {u"", kNone, "empty"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(offsetOf(juWStrFindExtension(row.path), row.path), row.expected);
  }
}

// ---------------------------------------------------------------------------
// File types.
// ---------------------------------------------------------------------------

class FileTypeTest : public jutest::JuTest {
 protected:
  void SetUp() override {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/jutypeXXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    ASSERT_NE(mkdtemp(buffer.data()), nullptr);
    dir_ = buffer.data();
  }
  void TearDown() override {
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
      if (::rmdir(it->c_str()) != 0) ::unlink(it->c_str());
    }
    ::rmdir(dir_.c_str());
  }

  std::string makeFile(const std::string& name, mode_t mode = 0644) {
    const std::string path = dir_ + "/" + name;
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    EXPECT_GE(fd, 0) << path;
    if (fd >= 0) ::close(fd);
    EXPECT_EQ(::chmod(path.c_str(), mode), 0);
    created_.push_back(path);
    return path;
  }
  std::string makeDir(const std::string& name) {
    const std::string path = dir_ + "/" + name;
    EXPECT_EQ(::mkdir(path.c_str(), 0755), 0);
    created_.push_back(path);
    return path;
  }

  std::string dir_;
  std::vector<std::string> created_;
};

TEST_F(FileTypeTest, KindsOfPaths) {
  const std::string file = makeFile("plain.txt");
  const std::string readOnly = makeFile("locked.txt", 0444);
  const std::string sub = makeDir("sub");
  const std::string inner = makeFile("sub/inner.dat");
  const std::string nonAscii = makeFile("\xC3\xA9t\xC3\xA9.txt");
  const struct {
    std::string path;
    int32_t expected;
    const char* note;
  } rows[] = {
      {file, kJuFileRegular, "regular file"},
      {readOnly, kJuFileReadOnly, "read-only file"},
      {sub, kJuFileDirectory, "directory"},
      {dir_, kJuFileDirectory, "directory made by the test"},
      {dir_ + "/missing", kJuFileMissing, "missing"},
      {dir_ + "/PLAIN.TXT", kJuFileMissing, "names keep their case"},
      {dir_ + "\\sub\\inner.dat", kJuFileRegular, "backslash separators"},
      {nonAscii, kJuFileRegular, "UTF-8 name"},
      {"..", kJuFileDirectory, "parent"},
      {"", kJuFileMissing, "empty path"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(juGetFileType(row.path.c_str()), row.expected);
    EXPECT_EQ(juGetFileTypeW(fromUtf8(row.path).c_str()), row.expected);
  }
  EXPECT_EQ(juGetFileType(nullptr), kJuFileMissing);
  EXPECT_EQ(juGetFileTypeW(nullptr), kJuFileMissing);
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(FileTypeTest, UnpairedSurrogateIsMissing) {
  makeFile("x");
  std::u16string path = fromUtf8(dir_ + "/x");
  EXPECT_EQ(juGetFileTypeW(path.c_str()), kJuFileRegular);
  path += u'\xD800';
  EXPECT_EQ(juGetFileTypeW(path.c_str()), kJuFileMissing);
}

// Paths longer than 259 characters are looked up cut to their first 259.
TEST_F(FileTypeTest, LongPathsAreCut) {
  const size_t prefix = dir_.size() + 1;
  // Both names must fit the system's 255-byte name limit.
  ASSERT_LT(prefix, 250u) << "temporary directory name too long for this test";
  const std::string exact(259 - prefix, 'a');  // path of exactly 259 characters
  const std::string over(260 - prefix, 'b');   // path of 260 characters
  const std::string exactPath = makeFile(exact);
  const std::string overPath = makeFile(over);
  ASSERT_EQ(exactPath.size(), 259u);
  ASSERT_EQ(overPath.size(), 260u);

  const struct {
    std::string path;
    int32_t expected;
    const char* note;
  } rows[] = {
      {exactPath, kJuFileRegular, "259 characters looked up whole"},
      {exactPath + "xyz", kJuFileRegular, "longer path: its first 259 characters name the file"},
      {overPath, kJuFileMissing, "260 characters: the last one is cut"},
      {overPath.substr(0, 259), kJuFileMissing, "what is looked up instead"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    EXPECT_EQ(juGetFileType(row.path.c_str()), row.expected);
    EXPECT_EQ(juGetFileTypeW(fromUtf8(row.path).c_str()), row.expected);
  }
}

}  // namespace
