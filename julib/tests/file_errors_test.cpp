// The file-error table, and the system's errors as they reach it.

#include <errno.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "julib/errors.h"
#include "julib/files.h"
#include "platform/files.h"
#include "testing/files.h"
#include "testing/ju_test.h"

namespace {

using jutest::TempDir;

TEST(FileErrors, Table) {
  const struct {
    int32_t number;
    const char* name;
    uint16_t id;
    const char* message;
  } rows[] = {
      {2, "a.txt", 1509, "File not found 'a.txt'."},
      {2, nullptr, 1509, "File not found ''."},
      {9, "a.txt", 1507, "Invalid file handle."},
      {12, "a.txt", 1503, "Not enough memory for this command."},
      {13, "a.txt", 1508, "Access to file denied 'a.txt'."},
      {13, nullptr, 1508, "Access to file denied ''."},
      {24, nullptr, 30045, "The maximum number of files are already open."},
      {36, "a.txt", 1512, "Whole or part of the region has already been locked."},
      {0, "a.txt", 30041, "Error (0) on input or output to a file."},
      {1, nullptr, 30041, "Error (1) on input or output to a file."},
      {28, nullptr, 30041, "Error (28) on input or output to a file."},
      {35, nullptr, 30041, "Error (35) on input or output to a file."},
      {37, nullptr, 30041, "Error (37) on input or output to a file."},
      {38, nullptr, 30041, "Error (38) on input or output to a file."},
      {-1, nullptr, 30041, "Error (-1) on input or output to a file."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.message);
    {
      jutest::ScopedErrorList errors;
      EXPECT_NE(juPostFileError(row.number, row.name), nullptr);
      EXPECT_EQ(errors.ids(), std::vector<uint16_t>{row.id});
      EXPECT_EQ(errors.message(0), row.message);
    }
    jutest::ScopedErrorList errors;
    const std::u16string name = row.name != nullptr ? jutest::wide(row.name) : u"";
    juPostFileErrorW(row.number, row.name != nullptr ? name.c_str() : nullptr);
    EXPECT_EQ(errors.ids(), std::vector<uint16_t>{row.id});
    EXPECT_EQ(errors.message(0), row.message);
  }
}

// The table counts in the C runtime's numbers: a name that is too long on
// Linux (errno 36) must not read as a locked region.
TEST(FileErrors, SystemErrnoValuesAreTranslated) {
  const struct {
    int systemErrno;
    uint16_t id;
    const char* message;
  } rows[] = {
      {ENOENT, 1509, "File not found 'f'."},
      {EBADF, 1507, "Invalid file handle."},
      {ENOMEM, 1503, "Not enough memory for this command."},
      {EACCES, 1508, "Access to file denied 'f'."},
      {EMFILE, 30045, "The maximum number of files are already open."},
      {EDEADLK, 1512, "Whole or part of the region has already been locked."},
      {ENAMETOOLONG, 30041, "Error (38) on input or output to a file."},
      {ENOTEMPTY, 30041, "Error (41) on input or output to a file."},
      {EILSEQ, 30041, "Error (42) on input or output to a file."},
      {EDQUOT, 30041, "Error (28) on input or output to a file."},
      {ENOSPC, 30041, "Error (28) on input or output to a file."},
      {EIO, 30041, "Error (5) on input or output to a file."},
      {ESPIPE, 30041, "Error (29) on input or output to a file."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.message);
    jutest::ScopedErrorList errors;
    juPostFileError(platform::errorNumberOf(row.systemErrno), "f");
    EXPECT_EQ(errors.ids(), std::vector<uint16_t>{row.id});
    EXPECT_EQ(errors.message(0), row.message);
  }
}

class FileErrorsTest : public jutest::JuTest {
 protected:
  TempDir dir_;
};

// Real failures of the system, as the file operations report them.
TEST_F(FileErrorsTest, SeekOnAPipe) {
  const std::string fifo = dir_ / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  char name[kJuPathChars];
  std::snprintf(name, sizeof name, "%s", fifo.c_str());
  JuFileHandle handle = kJuNoFile;
  // Read-write, so the open does not wait for a writer.
  ASSERT_EQ(juFileOpen(name, sizeof name, kJuFileOpenForReading | kJuFileOpenReadWrite, &handle), 0);
  char buffer[4];
  size_t n = 0;
  EXPECT_EQ(juFileRead(handle, 0, buffer, sizeof buffer, &n), 1);
  EXPECT_EQ(juFileWrite(handle, 0, "x", 1), 1);
  EXPECT_EQ(juFileClose(handle), 0);
  EXPECT_EQ(errors_.ids(), (std::vector<uint16_t>{30041, 30041}));
  EXPECT_EQ(errors_.message(0), "Error (29) on input or output to a file.");
}

// The system's "too many open files" arrives as the runtime's 24. Nothing is
// posted while the limit holds: the sanitizers need descriptors of their own.
TEST_F(FileErrorsTest, TooManyOpenFiles) {
  const std::string path = dir_.write("f", "f");
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  std::vector<platform::FileDescriptor> open;
  open.reserve(100);
  rlimit low = saved;
  low.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  platform::ErrorNumber error = platform::kErrorNone;
  while (open.size() < 100) {
    platform::FileDescriptor descriptor = platform::kNoDescriptor;
    error = platform::openFile(path.c_str(), 0, &descriptor);
    if (error != platform::kErrorNone) break;
    open.push_back(descriptor);
  }
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
  for (platform::FileDescriptor descriptor : open) EXPECT_EQ(platform::closeFile(descriptor), platform::kErrorNone);
  EXPECT_LT(open.size(), 64u);
  EXPECT_EQ(error, platform::kErrorTooManyOpen);
  juPostFileError(error, path.c_str());
  EXPECT_EQ(errors_.ids(), std::vector<uint16_t>{30045});
}

}  // namespace
