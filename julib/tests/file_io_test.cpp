// Opening, reading, writing and closing real files through file handles.
// Longer than our files usually are: every case runs on the
// one fixture of real files and handles in a temporary folder.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "julib/cstring.h"
#include "julib/files.h"
#include "platform/files.h"
#include "testing/allocation_faults.h"
#include "testing/files.h"
#include "testing/ju_test.h"
#include "testing/process.h"

namespace {

using jutest::readWholeFile;
using jutest::ScopedCurrentDirectory;
using jutest::ScopedEnv;
using jutest::TempDir;
using jutest::wide;

constexpr uint32_t kRead = kJuFileOpenForReading;
constexpr uint32_t kWrite = kJuFileOpenForWriting;

class FileIoTest : public jutest::JuTest {
 protected:
  // Opens `path` (a copy in a kJuPathChars buffer); the handle, 0 on failure.
  JuFileHandle open(const std::string& path, uint32_t flags) {
    std::vector<char> name(std::max(path.size() + 1, kJuPathChars), '\0');
    std::memcpy(name.data(), path.c_str(), path.size() + 1);
    JuFileHandle handle = 7;
    const int result = juFileOpen(name.data(), name.size(), flags, &handle);
    EXPECT_EQ(result == 0, handle != kJuNoFile) << path;
    return handle;
  }
  std::string readAll(JuFileHandle handle, size_t count = 1 << 20) {
    std::string out(count, '\0');
    size_t n = 0;
    EXPECT_EQ(juFileRead(handle, 0, out.data(), count, &n), 0);
    out.resize(n);
    return out;
  }

  TempDir dir_;
};

std::string pattern(size_t n) {
  std::string out(n, '\0');
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return out;
}

// ---------------------------------------------------------------------------
// Open flags.
// ---------------------------------------------------------------------------

TEST_F(FileIoTest, CreateWriteReadBack) {
  const std::string path = dir_ / "out.bin";
  const JuFileHandle handle = open(path, kWrite);
  ASSERT_NE(handle, kJuNoFile);
  EXPECT_EQ(juFileWrite(handle, kJuFileCurrentPosition, "hello\n", 6), 0);
  EXPECT_EQ(juFileClose(handle), 0);
  EXPECT_EQ(readWholeFile(path), "hello\n");  // bytes as written: no newline translation

  // Creating again truncates.
  const JuFileHandle again = open(path, kWrite);
  EXPECT_EQ(juFileClose(again), 0);
  EXPECT_EQ(readWholeFile(path), "");
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(FileIoTest, OpenOutcomes) {
  const std::string existing = dir_.write("existing.txt", "data");
  const std::string sub = dir_.makeDir("sub");
  const struct {
    std::string path;
    uint32_t flags;
    bool opens;
    uint16_t message;  // when it fails
    const char* note;
  } rows[] = {
      {existing, kRead, true, 0, "read an existing file"},
      {dir_ / "missing.txt", kRead, false, 30040, "read a missing file"},
      {dir_ / "missing.txt", kRead | kJuFileOpenReadWrite, false, 30040, "read-write a missing file"},
      {dir_ / "no/such/dir.txt", kWrite, false, 1501, "create in a missing directory"},
      {existing, kWrite | kJuFileOpenExclusive, false, 1501, "exclusive create of an existing file"},
      {dir_ / "fresh.txt", kWrite | kJuFileOpenExclusive, true, 0, "exclusive create of a new file"},
      {sub, kRead, false, 30040, "a directory is not a file"},
      {sub, kWrite, false, 1501, "nor can one be created over it"},
      {dir_ / "made.txt", kRead | kJuFileOpenCreateMissing, true, 0, "create when missing"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    jutest::ScopedErrorList errors;
    const JuFileHandle handle = open(row.path, row.flags);
    EXPECT_EQ(handle != kJuNoFile, row.opens);
    if (row.opens) {
      EXPECT_TRUE(errors.ids().empty());
      EXPECT_EQ(juFileClose(handle), 0);
    } else {
      EXPECT_EQ(errors.ids(), std::vector<uint16_t>{row.message});
      EXPECT_NE(errors.message(0).find(row.path), std::string::npos) << errors.message(0);
    }
  }
  EXPECT_TRUE(jutest::pathExists(dir_ / "made.txt"));
  EXPECT_EQ(readWholeFile(existing), "data");
}

TEST_F(FileIoTest, ReadOnlyOpenCannotWrite) {
  const JuFileHandle handle = open(dir_.write("r.txt", "abc"), kRead);
  ASSERT_NE(handle, kJuNoFile);
  EXPECT_EQ(juFileWrite(handle, 0, "x", 1), 1);
  EXPECT_EQ(errors_.ids(), std::vector<uint16_t>{1507});  // EBADF: not open for writing
  EXPECT_EQ(juFileClose(handle), 0);
}

TEST_F(FileIoTest, AppendWritesAtTheEnd) {
  const std::string path = dir_.write("log.txt", "one;");
  const JuFileHandle handle = open(path, kRead | kJuFileOpenReadWrite | kJuFileOpenAppend);
  ASSERT_NE(handle, kJuNoFile);
  EXPECT_EQ(juFileWrite(handle, 0, "two;", 4), 0);  // the offset cannot move an appending write
  EXPECT_EQ(juFileClose(handle), 0);
  EXPECT_EQ(readWholeFile(path), "one;two;");
}

TEST_F(FileIoTest, ReadOnlyCreation) {
  const std::string path = dir_ / "locked.txt";
  const JuFileHandle handle = open(path, kWrite | kJuFileOpenCreateReadOnly);
  ASSERT_NE(handle, kJuNoFile);
  // The open that created it may still write.
  EXPECT_EQ(juFileWrite(handle, kJuFileCurrentPosition, "kept", 4), 0);
  EXPECT_EQ(juFileClose(handle), 0);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
  EXPECT_EQ(juGetFileType(path.c_str()), kJuFileReadOnly);
  EXPECT_EQ(juFileExists(path.c_str()), 1);
  EXPECT_EQ(readWholeFile(path), "kept");

  // Without the flag a new file is writable.
  const std::string plain = dir_ / "plain.txt";
  EXPECT_EQ(juFileClose(open(plain, kWrite)), 0);
  EXPECT_EQ(juGetFileType(plain.c_str()), kJuFileRegular);
}

TEST_F(FileIoTest, DeleteOnClose) {
  for (uint32_t flags : {kWrite | kJuFileOpenDeleteOnClose, kRead | kJuFileOpenReadWrite | kJuFileOpenDeleteOnClose}) {
    SCOPED_TRACE(flags);
    const std::string path = dir_.write("scratch.tmp", "");
    const JuFileHandle handle = open(path, flags);
    ASSERT_NE(handle, kJuNoFile);
    // The name is gone while the handle still works.
    EXPECT_EQ(juFileExists(path.c_str()), 0);
    EXPECT_EQ(juFileWrite(handle, 0, "temporary", 9), 0);
    EXPECT_EQ(readAll(handle), "temporary");
    EXPECT_EQ(juFileClose(handle), 0);
    EXPECT_FALSE(jutest::pathExists(path));
  }
  EXPECT_TRUE(dir_.entries().empty());
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(FileIoTest, SharingByAdvisoryLocks) {
  const std::string path = dir_.write("shared.txt", "x");
  const JuFileHandle denyAll = open(path, kRead | kJuFileOpenDenyAll);
  ASSERT_NE(denyAll, kJuNoFile);
  {
    jutest::ScopedErrorList errors;
    EXPECT_EQ(open(path, kRead | kJuFileOpenDenyWriters), kJuNoFile);
    EXPECT_EQ(open(path, kRead | kJuFileOpenDenyAll), kJuNoFile);
    EXPECT_EQ(errors.ids(), (std::vector<uint16_t>{30040, 30040}));
  }
  // Opens without a share flag are never refused.
  const JuFileHandle plain = open(path, kRead);
  EXPECT_NE(plain, kJuNoFile);
  const JuFileHandle unrestricted = open(path, kRead | kJuFileOpenDenyAll | kJuFileOpenCreateReadOnly);
  EXPECT_NE(unrestricted, kJuNoFile);
  EXPECT_EQ(juFileClose(denyAll), 0);

  // Deny-writers opens share with each other, and keep deny-all out.
  const JuFileHandle first = open(path, kRead | kJuFileOpenDenyWriters);
  const JuFileHandle second = open(path, kRead | kJuFileOpenDenyWriters);
  EXPECT_NE(first, kJuNoFile);
  EXPECT_NE(second, kJuNoFile);
  {
    jutest::ScopedErrorList errors;
    EXPECT_EQ(open(path, kRead | kJuFileOpenDenyAll), kJuNoFile);
  }
  for (JuFileHandle handle : {plain, unrestricted, first, second}) EXPECT_EQ(juFileClose(handle), 0);
  const JuFileHandle afterwards = open(path, kRead | kJuFileOpenDenyAll);
  EXPECT_NE(afterwards, kJuNoFile);
  EXPECT_EQ(juFileClose(afterwards), 0);
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(FileIoTest, WideNames) {
  const std::string path = dir_ / "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC.txt";
  std::u16string name = wide(path);
  name.resize(kJuPathChars, u'\0');
  JuFileHandle handle = kJuNoFile;
  ASSERT_EQ(juFileOpenW(name.data(), name.size(), kWrite, &handle), 0);
  EXPECT_EQ(juFileWriteTextW(handle, kJuFileCurrentPosition, u"w", 1, 1), 0);
  EXPECT_EQ(juFileClose(handle), 0);
  EXPECT_EQ(readWholeFile(path), "w");

  // An unpaired surrogate names no file.
  std::u16string bad = wide(dir_ / "x") + u'\xD800';
  bad.resize(kJuPathChars, u'\0');
  EXPECT_EQ(juFileOpenW(bad.data(), bad.size(), kWrite, &handle), 1);
  EXPECT_EQ(handle, kJuNoFile);
  EXPECT_EQ(errors_.ids(), std::vector<uint16_t>{1501});
}

// ---------------------------------------------------------------------------
// Names of 260 characters or more are refused, never cut.
// ---------------------------------------------------------------------------

TEST_F(FileIoTest, LongNamesAreRefusedNotCut) {
  // A file whose path has exactly 259 characters, and names one longer.
  const size_t prefix = dir_.path().size() + 1;
  ASSERT_LT(prefix, 250u) << "temporary folder name too long for this test";
  const std::string exact = dir_.write(std::string(259 - prefix, 'f'), "precious");
  ASSERT_EQ(exact.size(), 259u);
  const std::string longer = exact + "x";

  const JuFileHandle fits = open(exact, kRead);
  EXPECT_NE(fits, kJuNoFile);
  EXPECT_EQ(juFileClose(fits), 0);

  const struct {
    uint32_t flags;
    const char* note;
  } rows[] = {
      {kRead, "read"},
      {kWrite, "create or truncate"},
      {kRead | kJuFileOpenReadWrite | kJuFileOpenCreateMissing, "read-write, create when missing"},
      {kRead | kJuFileOpenDeleteOnClose, "delete on close"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    jutest::ScopedErrorList errors;
    EXPECT_EQ(open(longer, row.flags), kJuNoFile);
    EXPECT_EQ(errors.ids(), std::vector<uint16_t>{1524});
    EXPECT_EQ(errors.message(0), "File name is too long: '" + longer + "'.");
    EXPECT_EQ(readWholeFile(exact), "precious");  // the 259-character cut was left alone
  }

  // UTF-16 names count units.
  std::u16string name = wide(longer);
  name.resize(300, u'\0');
  JuFileHandle handle = kJuNoFile;
  EXPECT_EQ(juFileOpenW(name.data(), name.size(), kWrite, &handle), 1);
  EXPECT_EQ(errors_.ids(), std::vector<uint16_t>{1524});
  EXPECT_EQ(readWholeFile(exact), "precious");
}

// ---------------------------------------------------------------------------
// Temporary files.
// ---------------------------------------------------------------------------

TEST_F(FileIoTest, TemporaryFiles) {
  const ScopedEnv tmp("TMPDIR", dir_.path());
  for (uint32_t temporary : {kJuFileOpenTemporary, kJuFileOpenTemporaryOtherDrive}) {
    SCOPED_TRACE(temporary);
    char name[kJuPathChars] = "ignored";
    JuFileHandle handle = kJuNoFile;
    ASSERT_EQ(juFileOpen(name, sizeof name, temporary | kJuFileOpenReadWrite, &handle), 0);
    const std::string made = name;
    EXPECT_EQ(made.rfind(dir_.path() + "/ju", 0), 0u) << made;
    EXPECT_EQ(made.size(), dir_.path().size() + 1 + 2 + 6);
    EXPECT_EQ(juFileWrite(handle, kJuFileCurrentPosition, "run", 3), 0);
    EXPECT_EQ(juFileClose(handle), 0);
    EXPECT_EQ(readWholeFile(made), "run");
    EXPECT_EQ(juFileDelete(name), 0);
  }

  // Two temporary files never share a name.
  char first[kJuPathChars] = "";
  char second[kJuPathChars] = "";
  JuFileHandle a = kJuNoFile;
  JuFileHandle b = kJuNoFile;
  ASSERT_EQ(juFileOpen(first, sizeof first, kJuFileOpenTemporary | kJuFileOpenReadWrite, &a), 0);
  ASSERT_EQ(juFileOpen(second, sizeof second, kJuFileOpenTemporary | kJuFileOpenReadWrite, &b), 0);
  EXPECT_STRNE(first, second);
  EXPECT_EQ(juFileClose(a), 0);
  EXPECT_EQ(juFileClose(b), 0);

  // Wide form.
  char16_t wideName[kJuPathChars] = u"";
  ASSERT_EQ(juFileOpenW(wideName, kJuPathChars, kJuFileOpenTemporary | kJuFileOpenReadWrite, &a), 0);
  EXPECT_EQ(std::u16string(wideName).rfind(wide(dir_.path() + "/ju"), 0), 0u);
  EXPECT_EQ(juFileClose(a), 0);
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(FileIoTest, TemporaryNameIsMadeAbsolute) {
  dir_.makeDir("rel");
  const ScopedCurrentDirectory cwd(dir_.path());
  const ScopedEnv tmp("TMPDIR", "rel");
  char name[kJuPathChars] = "";
  JuFileHandle handle = kJuNoFile;
  ASSERT_EQ(juFileOpen(name, sizeof name, kJuFileOpenTemporary | kJuFileOpenReadWrite, &handle), 0);
  EXPECT_EQ(std::string(name).rfind(dir_.path() + "/rel/ju", 0), 0u) << name;
  EXPECT_EQ(juFileClose(handle), 0);
}

TEST_F(FileIoTest, TemporaryFailures) {
  {
    SCOPED_TRACE("the temporary directory does not exist");
    const std::string missing = dir_ / "missing";
    const ScopedEnv tmp("TMPDIR", missing);
    jutest::ScopedErrorList errors;
    char name[kJuPathChars] = "";
    JuFileHandle handle = 5;
    EXPECT_EQ(juFileOpen(name, sizeof name, kJuFileOpenTemporary | kJuFileOpenReadWrite, &handle), 1);
    EXPECT_EQ(handle, kJuNoFile);
    EXPECT_EQ(std::string(name), missing + "/");
    EXPECT_EQ(errors.ids(), std::vector<uint16_t>{30040});
    EXPECT_EQ(errors.message(0), "Cannot open file '" + missing + "/'.");
  }
  {
    SCOPED_TRACE("the name buffer cannot hold the name");
    const ScopedEnv tmp("TMPDIR", dir_.path());
    jutest::ScopedErrorList errors;
    const size_t needed = dir_.path().size() + 1 + 8 + 1;
    std::vector<char> name(needed - 1, 'z');
    JuFileHandle handle = kJuNoFile;
    EXPECT_EQ(juFileOpen(name.data(), name.size(), kJuFileOpenTemporary | kJuFileOpenCreate, &handle), 1);
    EXPECT_EQ(errors.ids(), std::vector<uint16_t>{1501});
    EXPECT_EQ(std::string(name.data()), dir_.path() + "/");  // within the buffer
    EXPECT_TRUE(dir_.entries().empty());                     // nothing left behind

    jutest::ScopedErrorList exact;
    name.assign(needed, 'z');
    EXPECT_EQ(juFileOpen(name.data(), name.size(), kJuFileOpenTemporary | kJuFileOpenCreate, &handle), 0);
    EXPECT_EQ(juFileClose(handle), 0);
    EXPECT_EQ(dir_.entries().size(), 1u);
  }
}

// ---------------------------------------------------------------------------
// Looking along PATH.
// ---------------------------------------------------------------------------

TEST_F(FileIoTest, ReadsLookAlongPath) {
  dir_.makeDir("bin1");
  dir_.makeDir("bin2");
  dir_.makeDir("bin2/sub");
  dir_.makeDir("work");
  dir_.write("bin2/tool.cfg", "found");
  dir_.write("bin2/sub/deep.cfg", "deep");
  const ScopedCurrentDirectory cwd(dir_ / "work");
  const ScopedEnv path("PATH", dir_ / "none" + "::" + dir_ / "bin1" + ":" + dir_ / "bin2/");

  const JuFileHandle tool = open("tool.cfg", kRead | kJuFileOpenSearchPath);
  ASSERT_NE(tool, kJuNoFile);
  EXPECT_EQ(readAll(tool), "found");
  EXPECT_EQ(juFileClose(tool), 0);
  const JuFileHandle deep = open("sub\\deep.cfg", kRead | kJuFileOpenSearchPath);
  ASSERT_NE(deep, kJuNoFile);
  EXPECT_EQ(readAll(deep), "deep");
  EXPECT_EQ(juFileClose(deep), 0);
  EXPECT_TRUE(errors_.ids().empty());

  const struct {
    const char* name;
    uint32_t flags;
    uint16_t message;
    const char* note;
  } refused[] = {
      {"tool.cfg", kRead, 30040, "without the flag"},
      {"sub/new.cfg", kWrite | kJuFileOpenSearchPath, 1501, "a create is never moved along PATH"},
      {"sub/new.cfg", kRead | kJuFileOpenCreateMissing | kJuFileOpenSearchPath, 30040, "nor a create-when-missing"},
  };
  for (const auto& row : refused) {
    SCOPED_TRACE(row.note);
    jutest::ScopedErrorList errors;
    EXPECT_EQ(open(row.name, row.flags), kJuNoFile);
    EXPECT_EQ(errors.ids(), std::vector<uint16_t>{row.message});
  }
  EXPECT_EQ(dir_.entries("bin2/sub"), std::vector<std::string>{"deep.cfg"});

  // An absolute name is not joined to the directories.
  jutest::ScopedErrorList errors;
  EXPECT_EQ(open("/tool.cfg", kRead | kJuFileOpenSearchPath), kJuNoFile);
  EXPECT_EQ(errors.ids(), std::vector<uint16_t>{30040});
}

TEST_F(FileIoTest, LongPathValue) {
  dir_.makeDir("late");
  dir_.write("late/tool.cfg", "late");
  const ScopedCurrentDirectory cwd(dir_.path());
  // Well beyond the first 2048 bytes read.
  std::string value;
  while (value.size() < 5000) value += dir_ / "nothing" + std::to_string(value.size()) + ":";
  value += dir_ / "late";
  const ScopedEnv path("PATH", value);
  const JuFileHandle handle = open("tool.cfg", kRead | kJuFileOpenSearchPath);
  ASSERT_NE(handle, kJuNoFile);
  EXPECT_EQ(readAll(handle), "late");
  EXPECT_EQ(juFileClose(handle), 0);

  char16_t name[kJuPathChars] = u"tool.cfg";
  JuFileHandle wideHandle = kJuNoFile;
  ASSERT_EQ(juFileOpenW(name, kJuPathChars, kRead | kJuFileOpenSearchPath, &wideHandle), 0);
  EXPECT_EQ(juFileClose(wideHandle), 0);
  EXPECT_TRUE(errors_.ids().empty());
}

// ---------------------------------------------------------------------------
// Reading.
// ---------------------------------------------------------------------------

TEST_F(FileIoTest, ReadsAtOffsetsAndTheCurrentPosition) {
  const JuFileHandle handle = open(dir_.write("digits.txt", "0123456789"), kRead);
  ASSERT_NE(handle, kJuNoFile);
  const struct {
    uint64_t offset;
    size_t count;
    const char* expected;
    const char* note;
  } rows[] = {
      {2, 3, "234", "at an offset"},
      {kJuFileCurrentPosition, 3, "567", "on from where the last read ended"},
      {kJuFileCurrentPosition, 10, "89", "short at the end"},
      {kJuFileCurrentPosition, 10, "", "nothing after the end"},
      {0, 0, "", "count 0"},
      {9, 1, "9", "last byte"},
      {10, 1, "", "at the end"},
      {1000, 4, "", "beyond the end"},
      {(uint64_t{1} << 32) + 2, 3, "", "offsets are 64-bit: 2^32 + 2 is not 2"},
      {3, 2, "34", "back from there"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    char buffer[16] = {};
    size_t n = 99;
    EXPECT_EQ(juFileRead(handle, row.offset, buffer, row.count, &n), 0);
    EXPECT_EQ(std::string(buffer, n), row.expected);
  }
  EXPECT_EQ(juFileClose(handle), 0);
  EXPECT_TRUE(errors_.ids().empty());
}

// A count of 2^32 bytes is not taken as 0 (which would look like the end of
// the file); the read gives what the file holds.
TEST_F(FileIoTest, CountsAreNotCutTo32Bits) {
  const JuFileHandle handle = open(dir_.write("three.txt", "abc"), kRead);
  ASSERT_NE(handle, kJuNoFile);
  std::vector<char> buffer(16);
  for (uint64_t count : {uint64_t{1} << 32, (uint64_t{1} << 32) + 1}) {
    size_t n = 0;
    EXPECT_EQ(juFileRead(handle, 0, buffer.data(), static_cast<size_t>(count), &n), 0);
    EXPECT_EQ(std::string(buffer.data(), n), "abc");
  }
  EXPECT_EQ(juFileClose(handle), 0);
}

TEST_F(FileIoTest, NoNameOrHandle) {
  char name[kJuPathChars] = "x";
  JuFileHandle handle = 3;
  EXPECT_EQ(juFileOpen(name, 0, kRead, &handle), 1);
  EXPECT_EQ(handle, kJuNoFile);
  EXPECT_EQ(juFileOpen(nullptr, kJuPathChars, kWrite, &handle), 1);
  EXPECT_EQ(juFileOpen(name, sizeof name, kRead, nullptr), 1);
  EXPECT_EQ(juFileOpenW(nullptr, kJuPathChars, kRead, &handle), 1);
  EXPECT_EQ(errors_.ids(), (std::vector<uint16_t>{30040, 1501, 30040, 30040}));
  EXPECT_EQ(errors_.message(0), "Cannot open file ''.");
}

TEST_F(FileIoTest, BadHandles) {
  const JuFileHandle handle = open(dir_.write("a.txt", "a"), kRead);
  ASSERT_EQ(juFileClose(handle), 0);
  const struct {
    JuFileHandle handle;
    const char* note;
  } rows[] = {
      {handle, "closed already"},
      {kJuNoFile, "no file"},
      {0x7FFFFFF0u, "beyond every descriptor"},
      {0xFFFFFFFFu, "beyond int"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    jutest::ScopedErrorList errors;
    char buffer[4];
    size_t n = 99;
    EXPECT_EQ(juFileRead(row.handle, kJuFileCurrentPosition, buffer, sizeof buffer, &n), 1);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(juFileRead(row.handle, 0, buffer, sizeof buffer, &n), 1);
    EXPECT_EQ(juFileWrite(row.handle, 3, "x", 1), 1);
    std::vector<uint16_t> expected{1507, 1507, 1507};
    if (row.handle != kJuNoFile) {
      EXPECT_EQ(juFileClose(row.handle), 1);
      expected.push_back(1507);
    }
    EXPECT_EQ(errors.ids(), expected);
  }
  EXPECT_EQ(juFileClose(kJuNoFile), 0);
  EXPECT_EQ(juFileWrite(kJuNoFile, 0, "x", 0), 0);  // count 0 writes nothing
  EXPECT_TRUE(errors_.ids().empty());
}

// ---------------------------------------------------------------------------
// Writing.
// ---------------------------------------------------------------------------

TEST_F(FileIoTest, WritesAtOffsets) {
  const std::string path = dir_ / "w.bin";
  const JuFileHandle handle = open(path, kWrite);
  ASSERT_NE(handle, kJuNoFile);
  EXPECT_EQ(juFileWrite(handle, 5, "abc", 3), 0);
  EXPECT_EQ(juFileWrite(handle, kJuFileCurrentPosition, "de", 2), 0);
  EXPECT_EQ(juFileWrite(handle, 0, "X", 1), 0);
  EXPECT_EQ(juFileClose(handle), 0);
  EXPECT_EQ(readWholeFile(path), std::string("X\0\0\0\0abcde", 10));
}

TEST_F(FileIoTest, LargeWriteReadsBack) {
  for (size_t n : {size_t{65534}, size_t{65535}, size_t{70000}, size_t{3 * 65534 + 1}}) {
    SCOPED_TRACE(n);
    const std::string data = pattern(n);
    const std::string path = dir_ / ("big" + std::to_string(n));
    const JuFileHandle handle = open(path, kWrite);
    ASSERT_NE(handle, kJuNoFile);
    EXPECT_EQ(juFileWrite(handle, kJuFileCurrentPosition, data.data(), n), 0);
    EXPECT_EQ(juFileClose(handle), 0);
    EXPECT_EQ(readWholeFile(path), data);
  }
  EXPECT_TRUE(errors_.ids().empty());
}

// Short writes are continued for the rest.
TEST_F(FileIoTest, ShortWritesAreContinued) {
  const std::string data = pattern(70000);
  for (size_t limit : {size_t{1}, size_t{7}, size_t{4096}, size_t{65533}}) {
    SCOPED_TRACE(limit);
    const std::string path = dir_ / ("short" + std::to_string(limit));
    const JuFileHandle handle = open(path, kWrite);
    ASSERT_NE(handle, kJuNoFile);
    platform::setWriteLimitForTesting(limit);
    const size_t n = limit == 1 ? 3000 : data.size();
    const int result = juFileWrite(handle, kJuFileCurrentPosition, data.data(), n);
    platform::setWriteLimitForTesting(0);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(juFileClose(handle), 0);
    EXPECT_EQ(readWholeFile(path), data.substr(0, n));
  }
  EXPECT_TRUE(errors_.ids().empty());
}

// The process's file-size limit stops a write where it is, which shows where
// the pieces of a write begin: 65534 bytes, then the rest.
TEST_F(FileIoTest, WritesThatMakeNoProgress) {
  const std::string data = pattern(140000);
  const struct {
    rlim_t limit;
    size_t count;
    uint16_t message;  // 0: success
    const char* note;
  } rows[] = {
      {70000, 70000, 0, "pieces of 65534 and 4466 bytes fit exactly"},
      {65533, 70000, 30041, "the first piece stops one byte short"},
      {65534, 70000, 1506, "the second piece writes nothing: the first had 65534 bytes"},
      {65535, 70000, 30041, "the second piece writes one byte"},
      {69999, 70000, 30041, "the second piece stops one byte short"},
      {131068, 140000, 1506, "the third piece writes nothing"},
      {0, 1, 1506, "nothing at all"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    jutest::ScopedErrorList errors;
    const std::string path = dir_ / ("limited" + std::to_string(row.limit));
    const JuFileHandle handle = open(path, kWrite);
    ASSERT_NE(handle, kJuNoFile);
    int result;
    {
      const jutest::FileSizeLimit limit(row.limit);
      result = juFileWrite(handle, kJuFileCurrentPosition, data.data(), row.count);
    }
    EXPECT_EQ(juFileClose(handle), 0);
    EXPECT_EQ(result, row.message == 0 ? 0 : 1);
    EXPECT_EQ(errors.ids(), row.message == 0 ? std::vector<uint16_t>{} : std::vector<uint16_t>{row.message});
    if (row.message == 30041) {
      EXPECT_EQ(errors.message(0), "Error (27) on input or output to a file.");
    }
    const std::string written = readWholeFile(path);
    EXPECT_EQ(written.size(), std::min<size_t>(row.limit, row.count));
    EXPECT_EQ(written, data.substr(0, written.size()));
  }
}

// A whole write is one piece whatever its size: a limit that juFileWrite's
// second piece would meet with nothing written cuts it short instead.
TEST_F(FileIoTest, WholeWritesAreOnePiece) {
  const std::string data = pattern(3 * 65534 + 1);
  const std::tuple<rlim_t, size_t, uint16_t> rows[] = {
      {RLIM_INFINITY, 0, 0},     // all of it
      {RLIM_INFINITY, 4096, 0},  // short writes are continued
      {65534, 0, 30041},         // cut where juFileWrite's first piece ends
      {0, 0, 1506},              // nothing at all
  };
  for (const auto& [sizeLimit, writeLimit, message] : rows) {
    SCOPED_TRACE(std::to_string(sizeLimit) + ", " + std::to_string(writeLimit));
    jutest::ScopedErrorList errors;
    const std::string path = dir_ / ("whole" + std::to_string(sizeLimit) + "_" + std::to_string(writeLimit));
    const JuFileHandle handle = open(path, kWrite);
    ASSERT_NE(handle, kJuNoFile);
    int result;
    {
      const jutest::FileSizeLimit limit(sizeLimit);
      platform::setWriteLimitForTesting(writeLimit);
      result = juFileWriteWhole(handle, kJuFileCurrentPosition, data.data(), data.size());
      platform::setWriteLimitForTesting(0);
    }
    EXPECT_EQ(juFileClose(handle), 0);
    EXPECT_EQ(result, message == 0 ? 0 : 1);
    EXPECT_EQ(errors.ids(), message == 0 ? std::vector<uint16_t>{} : std::vector<uint16_t>{message});
    EXPECT_EQ(readWholeFile(path), data.substr(0, std::min<size_t>(sizeLimit, data.size())));
  }
}

TEST_F(FileIoTest, FullDevice) {
  const JuFileHandle handle = open("/dev/full", kRead | kJuFileOpenReadWrite);
  if (handle == kJuNoFile) GTEST_SKIP() << "no /dev/full here";
  EXPECT_EQ(juFileWrite(handle, kJuFileCurrentPosition, "x", 1), 1);
  EXPECT_EQ(errors_.ids(), std::vector<uint16_t>{1506});
  EXPECT_EQ(errors_.message(0), "Insufficient disk space.");
  EXPECT_EQ(juFileClose(handle), 0);
}

// ---------------------------------------------------------------------------
// Writing UTF-16 text.
// ---------------------------------------------------------------------------

std::string repeat(const std::string& text, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) out += text;
  return out;
}

TEST_F(FileIoTest, WriteTextConverts) {
  const std::u16string exactText(768, u'\u00E9');  // 1536 UTF-8 bytes: exactly the stack buffer
  const std::u16string longText(769, u'\u00E9');   // 1538 bytes: through a block
  const struct {
    std::u16string text;
    int utf8;
    uint32_t codePage;
    std::string expected;
    const char* note;
  } rows[] = {
      {u"caf\u00E9", 1, 1252, "caf\xC3\xA9", "UTF-8"},
      {u"caf\u00E9", 0, 1252, "caf\xE9", "ANSI 1252"},
      {u"\u4E2D!", 0, 1252, "?!", "no mapping in 1252"},
      {u"\u3042", 0, 932, "\x82\xA0", "ANSI 932"},
      {u"\U0001F600", 1, 1252, "\xF0\x9F\x98\x80", "supplementary character"},
      {exactText, 1, 1252, repeat("\xC3\xA9", 768), "1536 bytes"},
      {longText, 1, 1252, repeat("\xC3\xA9", 769), "1538 bytes"},
      {longText, 0, 1252, repeat("\xE9", 769), "769 bytes of ANSI"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    jutest::ScopedCodePage codePage(row.codePage);
    const std::string path = dir_ / "text.txt";
    const JuFileHandle handle = open(path, kWrite);
    ASSERT_NE(handle, kJuNoFile);
    EXPECT_EQ(juFileWriteTextW(handle, kJuFileCurrentPosition, row.text.data(), row.text.size(), row.utf8), 0);
    EXPECT_EQ(juFileClose(handle), 0);
    EXPECT_EQ(readWholeFile(path), row.expected);
  }
  EXPECT_TRUE(errors_.ids().empty());
}

TEST_F(FileIoTest, WriteTextEdges) {
  const std::string path = dir_ / "edges.txt";
  const JuFileHandle handle = open(path, kWrite);
  ASSERT_NE(handle, kJuNoFile);
  EXPECT_EQ(juFileWriteTextW(handle, kJuFileCurrentPosition, u"abc", 0, 1), 0);  // nothing
  EXPECT_EQ(juFileWriteTextW(handle, 2, u"xy", 2, 1), 0);                        // at an offset
  EXPECT_EQ(juFileWriteTextW(handle, kJuFileCurrentPosition, nullptr, 1, 1), 1);
  EXPECT_EQ(errors_.ids(), std::vector<uint16_t>{30041});
  EXPECT_EQ(juFileClose(handle), 0);
  EXPECT_EQ(readWholeFile(path), std::string("\0\0xy", 4));

  // A failed write of the converted text reports as a write does.
  jutest::ScopedErrorList errors;
  EXPECT_EQ(juFileWriteTextW(handle, kJuFileCurrentPosition, u"abc", 3, 1), 1);
  EXPECT_EQ(errors.ids(), std::vector<uint16_t>{1507});
}

// Text without a UTF-8 form fails whole with file error 42: nothing of it is
// written, wherever the unpaired surrogate stands.
TEST_F(FileIoTest, WriteTextRefusesUnpairedSurrogates) {
  const struct {
    std::u16string text;
    const char* note;
  } rows[] = {{u"a\xD800", "a lead surrogate at the end"},
              {u"\xDC00z", "a trail surrogate alone"},
              {std::u16string(2000, u'x') + u'\xD800', "beyond the stack buffer"}};
  for (const auto& [text, note] : rows) {
    SCOPED_TRACE(note);
    jutest::ScopedErrorList errors;
    const std::string path = dir_ / "surrogate.txt";
    const JuFileHandle handle = open(path, kWrite);
    EXPECT_EQ(juFileWriteTextW(handle, kJuFileCurrentPosition, text.data(), text.size(), 1), 1);
    EXPECT_EQ(juFileClose(handle), 0);
    EXPECT_EQ(readWholeFile(path), "");
    EXPECT_EQ(errors.ids(), std::vector<uint16_t>{30041});
    EXPECT_EQ(errors.message(0), "Error (42) on input or output to a file.");
  }
}

// ---------------------------------------------------------------------------
// Allocation failures: every way through ends in success or the documented
// failure, with nothing leaked.
// ---------------------------------------------------------------------------

// Runs `operation` with the 1st, 2nd, ... allocation failing until none
// fails; `check` sees the result and whether a fault fired.
template <typename Operation, typename Check>
void failEachAllocation(Operation operation, Check check) {
  jutest::failEachAllocation(
      [&](jutest::AllocationFault& fault) {
        jutest::ScopedErrorList errors;
        fault.arm();
        const int result = operation();
        const bool fired = fault.disarm();
        check(result, fired, errors.ids());
      },
      /*limit=*/50);
}

// The operations run with no allocation of the test's own (the library's
// operator new fails too).
TEST_F(FileIoTest, AllocationFailures) {
  const std::u16string longText(2000, u'x');
  const std::string path = dir_ / "fault.txt";
  std::vector<char> name(path.begin(), path.end());
  name.push_back('\0');
  failEachAllocation(
      [&] {
        JuFileHandle handle = kJuNoFile;
        if (juFileOpen(name.data(), name.size(), kWrite, &handle) != 0) return 2;
        const int result = juFileWriteTextW(handle, kJuFileCurrentPosition, longText.data(), longText.size(), 1);
        (void)juFileClose(handle);  // a failed close would show among the ids
        return result;
      },
      [&](int result, bool fired, const std::vector<uint16_t>& ids) {
        EXPECT_EQ(result, fired ? 1 : 0);
        if (fired) {
          EXPECT_EQ(ids, std::vector<uint16_t>{kJuMsgOutOfMemory});
        } else {
          EXPECT_EQ(readWholeFile(path), std::string(2000, 'x'));
        }
      });

  dir_.makeDir("late");
  dir_.write("late/tool.cfg", "late");
  const ScopedCurrentDirectory cwd(dir_.path());
  std::string value;
  while (value.size() < 3000) value += dir_ / "nothing:";
  const ScopedEnv pathValue("PATH", value + dir_ / "late");
  failEachAllocation(
      [&] {
        char16_t tool[kJuPathChars] = u"tool.cfg";
        JuFileHandle handle = kJuNoFile;
        const int result = juFileOpenW(tool, kJuPathChars, kRead | kJuFileOpenSearchPath, &handle);
        (void)juFileClose(handle);  // a failed close would show among the ids
        return result;
      },
      [&](int result, bool fired, const std::vector<uint16_t>& ids) {
        EXPECT_EQ(result, fired ? 1 : 0);
        if (fired) {
          EXPECT_EQ(ids, (std::vector<uint16_t>{30040, kJuMsgOutOfMemory}));
        }
      });

  // Long UTF-16 names are converted in a block of their own.
  const std::string deep = dir_.makeDir(std::string(250, 'd'));
  const std::u16string from = wide(dir_.write(std::string(250, 'd') + "/" + std::string(250, 'a'), "moved"));
  const std::string to = deep + "/" + std::string(250, 'b');
  const std::u16string wideTo = wide(to);
  failEachAllocation([&] { return juFileRenameW(from.c_str(), wideTo.c_str()); },
                     [&](int result, bool fired, const std::vector<uint16_t>& ids) {
                       EXPECT_EQ(result, fired ? 1 : 0);
                       if (fired) {
                         EXPECT_EQ(ids, (std::vector<uint16_t>{30042, kJuMsgOutOfMemory}));
                       }
                     });
  EXPECT_EQ(readWholeFile(to), "moved");
}

}  // namespace
