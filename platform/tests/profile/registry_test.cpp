// The registry store on real files in a temporary folder: keys and values,
// names that ignore case, sizes, enumeration order, listings that see the
// file change between calls, the file format, damaged files, the store's
// directory, and writers in several threads and processes. Longer than our
// files usually are: every case runs on the one store fixture and its
// helpers; the text form alone is tested in registry_format_test.cpp.

#include "platform/profile/registry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unicode/utf8.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "profile/registry_store.h"
#include "testing/files.h"

extern char** environ;

namespace {

namespace reg = platform::registry;
using reg::Status;
using jutest::readWholeFile;
using jutest::ScopedEnv;
using jutest::TempDir;

constexpr char kCurrentUserFile[] = "current_user.reg";
constexpr char kLocalMachineFile[] = "local_machine.reg";

reg::KeyHandle user() { return reg::rootKey(reg::Root::kCurrentUser); }
reg::KeyHandle machine() { return reg::rootKey(reg::Root::kLocalMachine); }

// An open key, closed at the end of the scope.
class Handle {
 public:
  Handle() = default;
  ~Handle() { reg::closeKey(key_); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  reg::KeyHandle* out() {
    reg::closeKey(key_);
    key_ = nullptr;
    return &key_;
  }
  reg::KeyHandle get() const { return key_; }

 private:
  reg::KeyHandle key_ = nullptr;
};

// A value read with the size query first, as callers do; "<status n>" when
// a call fails.
std::u16string query(reg::KeyHandle key, std::u16string_view name) {
  size_t units = 0;
  Status status = reg::queryString(key, name, nullptr, &units);
  if (status != Status::kOk) return u"<status " + std::u16string(1, u'0' + static_cast<int>(status)) + u">";
  std::u16string buffer(units, u'#');
  status = reg::queryString(key, name, buffer.data(), &units);
  EXPECT_EQ(status, Status::kOk);
  EXPECT_EQ(units, buffer.size());
  EXPECT_EQ(buffer.back(), u'\0');
  buffer.pop_back();
  return buffer;
}

// The names of the subkeys (or values) in enumeration order.
std::vector<std::u16string> enumerate(reg::KeyHandle key, bool values) {
  std::vector<std::u16string> names;
  for (uint32_t index = 0;; ++index) {
    char16_t name[600];
    size_t units = 600;
    const Status status = values ? reg::enumValue(key, index, name, &units, nullptr)
                                 : reg::enumKey(key, index, name, &units);
    if (status == Status::kNoMoreItems) break;
    EXPECT_EQ(status, Status::kOk);
    if (status != Status::kOk) break;
    names.emplace_back(name, units);
  }
  return names;
}

std::string utf8(std::u16string_view text) {
  std::string out;
  for (const char16_t unit : text) out += unit < 0x80 ? static_cast<char>(unit) : '?';
  return out;
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { reg::setDirectoryForTesting(dir_.path().c_str()); }
  void TearDown() override { reg::setDirectoryForTesting(""); }

  std::string file(const char* name = kCurrentUserFile) const { return dir_ / name; }

  TempDir dir_;
};

// ---------------------------------------------------------------------------
// Keys and paths.
// ---------------------------------------------------------------------------

TEST_F(RegistryTest, OpenFindsWhatCreateMade) {
  Handle created;
  ASSERT_EQ(reg::createKey(user(), u"Software\\Vendor/Product", created.out()), Status::kOk);
  ASSERT_NE(created.get(), nullptr);
  const struct {
    std::u16string_view path;
    Status expected;
    const char* note;
  } rows[] = {
      {u"", Status::kOk, "the root itself"},
      {u"Software", Status::kOk, "an intermediate key was made"},
      {u"software\\VENDOR", Status::kOk, "case ignored"},
      {u"Software/Vendor/Product", Status::kOk, "'/' separates too"},
      {u"Software\\Vendor\\Product\\", Status::kOk, "one trailing separator"},
      {u"Software\\Vendor\\Other", Status::kNotFound, "last name missing"},
      {u"Missing\\Vendor", Status::kNotFound, "first name missing"},
      {u"\\Software", Status::kInvalid, "leading separator"},
      {u"Software\\\\Vendor", Status::kInvalid, "empty name inside"},
      {u"Software\\\\", Status::kInvalid, "two trailing separators"},
      {u"\\", Status::kInvalid, "only a separator"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    reg::KeyHandle key = reinterpret_cast<reg::KeyHandle>(&created);  // must be replaced
    EXPECT_EQ(reg::openKey(user(), row.path, &key), row.expected);
    EXPECT_EQ(key == nullptr, row.expected != Status::kOk);
    reg::closeKey(key);
  }
  // A path below an open key.
  Handle below;
  EXPECT_EQ(reg::openKey(created.get(), u"", below.out()), Status::kOk);
  Handle vendor;
  ASSERT_EQ(reg::openKey(user(), u"Software\\Vendor", vendor.out()), Status::kOk);
  EXPECT_EQ(reg::openKey(vendor.get(), u"PRODUCT", below.out()), Status::kOk);
  EXPECT_EQ(reg::setString(below.get(), u"v", u"1"), Status::kOk);
  EXPECT_EQ(query(created.get(), u"V"), u"1");
}

TEST_F(RegistryTest, BadArguments) {
  reg::KeyHandle key = nullptr;
  size_t units = 10;
  char16_t buffer[10];
  EXPECT_EQ(reg::openKey(nullptr, u"A", &key), Status::kInvalid);
  EXPECT_EQ(reg::openKey(user(), u"A", nullptr), Status::kInvalid);
  EXPECT_EQ(reg::createKey(nullptr, u"A", &key), Status::kInvalid);
  EXPECT_EQ(reg::createKey(user(), u"A", nullptr), Status::kInvalid);
  EXPECT_EQ(reg::queryString(user(), u"v", buffer, nullptr), Status::kInvalid);
  EXPECT_EQ(reg::queryString(nullptr, u"v", buffer, &units), Status::kInvalid);
  EXPECT_EQ(reg::setString(nullptr, u"v", u"x"), Status::kInvalid);
  EXPECT_EQ(reg::deleteValue(nullptr, u"v"), Status::kInvalid);
  EXPECT_EQ(reg::deleteKey(user(), u""), Status::kInvalid);
  EXPECT_EQ(reg::deleteKey(user(), u"\\"), Status::kInvalid);
  EXPECT_EQ(reg::enumKey(user(), 0, buffer, nullptr), Status::kInvalid);
  EXPECT_EQ(reg::enumValue(user(), 0, buffer, nullptr, nullptr), Status::kInvalid);
  // Nothing was written for any of them.
  EXPECT_TRUE(dir_.entries().empty());
}

TEST_F(RegistryTest, RootsAreSeparateFiles) {
  EXPECT_EQ(reg::setString(user(), u"Where", u"user"), Status::kOk);
  EXPECT_EQ(reg::setString(machine(), u"Where", u"machine"), Status::kOk);
  EXPECT_EQ(query(user(), u"where"), u"user");
  EXPECT_EQ(query(machine(), u"where"), u"machine");
  EXPECT_NE(readWholeFile(file(kCurrentUserFile)).find("\"Where\"=\"user\""), std::string::npos);
  EXPECT_NE(readWholeFile(file(kLocalMachineFile)).find("\"Where\"=\"machine\""), std::string::npos);
}

// ---------------------------------------------------------------------------
// Names: case ignored, case kept.
// ---------------------------------------------------------------------------

TEST_F(RegistryTest, NamesCompareUpperCasedByCodePoint) {
  const struct {
    std::u16string_view stored;
    std::u16string_view asked;
    bool same;
    const char* note;
  } rows[] = {
      {u"Driver", u"DRIVER", true, "ASCII"},
      {u"Ärger", u"äRGER", true, "Latin-1"},
      {u"σοφία", u"ΣΟΦΊΑ", true, "Greek"},
      {u"ς", u"Σ", true, "final sigma upper-cases to sigma"},
      {u"\U00010428", u"\U00010400", true, "Deseret, beyond the BMP"},
      {u"straße", u"STRASSE", false, "no full case folding: one code point each"},
      {u"i", u"\u0130", false, "dotted capital I is not I"},
      {u"\xD800x", u"\xD800X", true, "a lone surrogate stands for itself"},
      {u"\xD800", u"\xDC00", false, "different lone surrogates"},
      {u"ab", u"abc", false, "a prefix"},
      {u"", u"", true, "the unnamed value"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    ASSERT_EQ(reg::setString(user(), row.stored, u"x"), Status::kOk);
    EXPECT_EQ(query(user(), row.asked), row.same ? u"x" : u"<status 1>");
    ASSERT_EQ(reg::deleteValue(user(), row.stored), Status::kOk);
  }
}

TEST_F(RegistryTest, FirstSpellingIsKept) {
  Handle key;
  ASSERT_EQ(reg::createKey(user(), u"Software\\Ärger", key.out()), Status::kOk);
  ASSERT_EQ(reg::createKey(user(), u"SOFTWARE\\äRGER\\Sub", key.out()), Status::kOk);
  EXPECT_EQ(enumerate(user(), false), std::vector<std::u16string>{u"Software"});
  Handle software;
  ASSERT_EQ(reg::openKey(user(), u"software", software.out()), Status::kOk);
  EXPECT_EQ(enumerate(software.get(), false), std::vector<std::u16string>{u"Ärger"});

  ASSERT_EQ(reg::setString(user(), u"Name", u"first"), Status::kOk);
  ASSERT_EQ(reg::setString(user(), u"NAME", u"second"), Status::kOk);
  EXPECT_EQ(enumerate(user(), true), std::vector<std::u16string>{u"Name"});
  EXPECT_EQ(query(user(), u"name"), u"second");
}

// ---------------------------------------------------------------------------
// Values and their sizes.
// ---------------------------------------------------------------------------

TEST_F(RegistryTest, QuerySizes) {
  ASSERT_EQ(reg::setString(user(), u"Five", u"hello"), Status::kOk);
  ASSERT_EQ(reg::setString(user(), u"Empty", u""), Status::kOk);
  const struct {
    std::u16string_view name;
    size_t room;  // SIZE_MAX: null buffer
    Status expected;
    size_t units;
    const char* note;
  } rows[] = {
      {u"Five", SIZE_MAX, Status::kOk, 6, "size query"},
      {u"Five", 0, Status::kMoreData, 6, "no room"},
      {u"Five", 5, Status::kMoreData, 6, "no room for the terminator"},
      {u"Five", 6, Status::kOk, 6, "exact"},
      {u"Five", 7, Status::kOk, 6, "one more"},
      {u"Empty", 0, Status::kMoreData, 1, "empty value, no room"},
      {u"Empty", 1, Status::kOk, 1, "empty value"},
      {u"Missing", 8, Status::kNotFound, 8, "missing: size left alone"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    char16_t buffer[9];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    size_t units = row.room == SIZE_MAX ? 8 : row.room;
    EXPECT_EQ(reg::queryString(user(), row.name, row.room == SIZE_MAX ? nullptr : buffer, &units), row.expected);
    EXPECT_EQ(units, row.units);
    // Nothing is written past the room given, or at all when it is short.
    const size_t written = row.expected == Status::kOk && row.room != SIZE_MAX ? row.units : 0;
    for (size_t i = written; i < 9; ++i) EXPECT_EQ(buffer[i], u'#') << i;
    if (written > 0) {
      EXPECT_EQ(buffer[written - 1], u'\0');
    }
  }
}

TEST_F(RegistryTest, LargeValuesAndNulUnits) {
  std::u16string large(70000, u'x');
  large[65535] = u'\0';  // a unit of zero is data like any other
  large[65536] = u'%';
  ASSERT_EQ(reg::setString(user(), u"Large", large), Status::kOk);
  EXPECT_EQ(query(user(), u"Large"), large);
  size_t units = 0;
  size_t dataUnits = 0;
  char16_t name[6];
  units = 6;
  EXPECT_EQ(reg::enumValue(user(), 0, name, &units, &dataUnits), Status::kOk);
  EXPECT_EQ(dataUnits, 70001u);
}

TEST_F(RegistryTest, SetNeedsTheKey) {
  Handle key;
  ASSERT_EQ(reg::createKey(user(), u"A", key.out()), Status::kOk);
  ASSERT_EQ(reg::deleteKey(user(), u"A"), Status::kOk);
  EXPECT_EQ(reg::setString(key.get(), u"v", u"x"), Status::kNotFound);
}

// ---------------------------------------------------------------------------
// Enumeration.
// ---------------------------------------------------------------------------

TEST_F(RegistryTest, EnumerationKeepsCreationOrder) {
  Handle key;
  for (const char16_t* name : {u"zeta", u"alpha", u"Mid"}) {
    ASSERT_EQ(reg::createKey(user(), name, key.out()), Status::kOk);
    ASSERT_EQ(reg::setString(user(), name, u"v"), Status::kOk);
  }
  const std::vector<std::u16string> order = {u"zeta", u"alpha", u"Mid"};
  EXPECT_EQ(enumerate(user(), false), order);
  EXPECT_EQ(enumerate(user(), true), order);

  // A value set again keeps its place; one deleted and made again goes last.
  ASSERT_EQ(reg::setString(user(), u"ZETA", u"changed"), Status::kOk);
  EXPECT_EQ(enumerate(user(), true), order);
  ASSERT_EQ(reg::deleteValue(user(), u"zeta"), Status::kOk);
  ASSERT_EQ(reg::setString(user(), u"zeta", u"back"), Status::kOk);
  EXPECT_EQ(enumerate(user(), true), (std::vector<std::u16string>{u"alpha", u"Mid", u"zeta"}));
  ASSERT_EQ(reg::deleteKey(user(), u"zeta"), Status::kOk);
  ASSERT_EQ(reg::createKey(user(), u"zeta", key.out()), Status::kOk);
  EXPECT_EQ(enumerate(user(), false), (std::vector<std::u16string>{u"alpha", u"Mid", u"zeta"}));
}

TEST_F(RegistryTest, EnumerationSizes) {
  Handle key;
  ASSERT_EQ(reg::createKey(user(), u"Four", key.out()), Status::kOk);
  ASSERT_EQ(reg::setString(user(), u"Four", u"abcdefg"), Status::kOk);
  const struct {
    size_t room;
    Status expected;
    size_t units;
    const char* note;
  } rows[] = {
      {0, Status::kMoreData, 5, "no room"},
      {4, Status::kMoreData, 5, "no room for the terminator"},
      {5, Status::kOk, 4, "exact"},
      {6, Status::kOk, 4, "one more"},
  };
  for (const bool values : {false, true}) {
    for (const auto& row : rows) {
      SCOPED_TRACE(std::string(values ? "value: " : "key: ") + row.note);
      char16_t buffer[7];
      std::fill(std::begin(buffer), std::end(buffer), u'#');
      size_t units = row.room;
      size_t dataUnits = 0;
      const Status status = values ? reg::enumValue(user(), 0, buffer, &units, &dataUnits)
                                   : reg::enumKey(user(), 0, buffer, &units);
      EXPECT_EQ(status, row.expected);
      EXPECT_EQ(units, row.units);
      if (values) {
        EXPECT_EQ(dataUnits, 8u);
      }
      const size_t written = row.expected == Status::kOk ? 5 : 0;
      for (size_t i = written; i < 7; ++i) EXPECT_EQ(buffer[i], u'#') << i;
      if (written > 0) {
        EXPECT_EQ(std::u16string(buffer, 5), std::u16string(u"Four\0", 5));
      }
    }
  }
  size_t units = 5;
  EXPECT_EQ(reg::enumKey(user(), 0, nullptr, &units), Status::kMoreData) << "no buffer";
  EXPECT_EQ(units, 5u);
  units = 5;
  char16_t buffer[5];
  EXPECT_EQ(reg::enumKey(user(), 1, buffer, &units), Status::kNoMoreItems);
  EXPECT_EQ(reg::enumValue(user(), 1, buffer, &units, nullptr), Status::kNoMoreItems);
  EXPECT_EQ(reg::enumKey(key.get(), 0, buffer, &units), Status::kNoMoreItems) << "a key without subkeys";
  EXPECT_EQ(reg::enumValue(user(), UINT32_MAX, buffer, &units, nullptr), Status::kNoMoreItems);
}

// Sets a file's access and modification times.
void stamp(const std::string& path, struct timespec time) {
  const struct timespec times[2] = {time, time};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

constexpr struct timespec kLongAgo = {1, 0};

// Files of more than `bytes` bytes cannot be written for a scope.
class ScopedFileSizeLimit {
 public:
  explicit ScopedFileSizeLimit(rlim_t bytes) {
    previousHandler_ = signal(SIGXFSZ, SIG_IGN);  // report EFBIG instead of ending the process
    getrlimit(RLIMIT_FSIZE, &saved_);
    struct rlimit limit = saved_;
    limit.rlim_cur = bytes;
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  }
  ~ScopedFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, previousHandler_);
  }
  ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
  ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

 private:
  struct rlimit saved_;
  void (*previousHandler_)(int);
};

// Listing a key by index reads its file again only when the file changed.
TEST_F(RegistryTest, ListingALargeKeyReadsTheFileBoundedTimes) {
  constexpr size_t kValues = 10000;
  std::string text = "vrtools-registry 1\n[Big]\n";
  for (size_t i = 0; i < kValues; ++i) text += "\"v" + std::to_string(i) + "\"=\"x\"\n";
  stamp(dir_.write(kCurrentUserFile, text + "end\n"), kLongAgo);
  Handle key;
  ASSERT_EQ(reg::openKey(user(), u"Big", key.out()), Status::kOk);
  const size_t before = reg::internal::fileReadsForTesting();
  EXPECT_EQ(enumerate(key.get(), true).size(), kValues);
  EXPECT_LE(reg::internal::fileReadsForTesting() - before, 1u);
}

TEST_F(RegistryTest, ListingSeesChangesBetweenCalls) {
  const std::string ab = "vrtools-registry 1\n\"a\"=\"1\"\n\"b\"=\"1\"\nend\n";
  const std::string cd = "vrtools-registry 1\n\"c\"=\"1\"\n\"d\"=\"1\"\nend\n";
  const std::vector<std::u16string> kAB = {u"a", u"b"};
  const std::vector<std::u16string> kCD = {u"c", u"d"};
  // A stamp still to come when the first row first lists its file, and
  // past when it lists it again, as when a change falls within the clock
  // tick of the version that was read.
  struct timespec soon;
  ASSERT_EQ(clock_gettime(CLOCK_REALTIME, &soon), 0);
  soon = {soon.tv_sec + (soon.tv_nsec >= 500000000), (soon.tv_nsec + 500000000) % 1000000000};  // in half a second
  const auto passSoon = [&] {
    struct timespec now;
    while (clock_gettime(CLOCK_REALTIME_COARSE, &now) == 0 &&
           (now.tv_sec < soon.tv_sec || (now.tv_sec == soon.tv_sec && now.tv_nsec <= soon.tv_nsec))) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  };
  const struct {
    struct timespec written;  // the stamp of the file first listed
    std::function<void()> change;
    std::vector<std::u16string> expected;
    const char* note;
  } rows[] = {
      {soon,
       [&] {
         stamp(dir_.write(kCurrentUserFile, cd), soon);
         passSoon();
       },
       kCD, "rewritten in place within the tick of the version read: the same size and stamp"},
      {kLongAgo, [&] { ASSERT_EQ(rename(dir_.write("new", cd).c_str(), file().c_str()), 0); }, kCD,
       "another process renames a new file of the same size over it"},
      {kLongAgo, [&] { dir_.write(kCurrentUserFile, cd + "\n"); }, kCD, "rewritten in place, another size"},
      {kLongAgo, [&] { dir_.write(kCurrentUserFile, cd); }, kCD, "rewritten in place, the same size"},
      {kLongAgo, [&] { ASSERT_EQ(reg::setString(user(), u"e", u"1"), Status::kOk); }, {u"a", u"b", u"e"},
       "a change through the store"},
      {kLongAgo, [&] { ASSERT_EQ(reg::deleteValue(user(), u"a"), Status::kOk); }, {u"b"},
       "the value listed deleted through the store"},
      {kLongAgo,
       [&] {
         ScopedFileSizeLimit limit(10);
         ASSERT_EQ(reg::setString(user(), u"e", u"1"), Status::kIoError);
       },
       kAB, "a change through the store that could not be written"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    stamp(dir_.write(kCurrentUserFile, ab), row.written);
    char16_t name[8];
    size_t units = 8;
    ASSERT_EQ(reg::enumValue(user(), 0, name, &units, nullptr), Status::kOk);
    EXPECT_EQ(std::u16string(name, units), u"a");
    row.change();
    EXPECT_EQ(enumerate(user(), true), row.expected);
  }
}

// ---------------------------------------------------------------------------
// Deleting, and handles of deleted keys.
// ---------------------------------------------------------------------------

TEST_F(RegistryTest, DeleteValuesAndKeys) {
  Handle leaf;
  ASSERT_EQ(reg::createKey(user(), u"A\\B\\C", leaf.out()), Status::kOk);
  ASSERT_EQ(reg::setString(leaf.get(), u"v", u"x"), Status::kOk);

  EXPECT_EQ(reg::deleteValue(leaf.get(), u"missing"), Status::kNotFound);
  EXPECT_EQ(reg::deleteKey(user(), u"A"), Status::kHasSubkeys);
  EXPECT_EQ(reg::deleteKey(user(), u"A\\B"), Status::kHasSubkeys);
  EXPECT_EQ(reg::deleteKey(user(), u"A\\X"), Status::kNotFound);
  EXPECT_EQ(reg::deleteKey(user(), u"a\\b\\c"), Status::kOk) << "a key with values";
  EXPECT_EQ(reg::deleteKey(user(), u"A\\B\\C"), Status::kNotFound) << "gone";

  // The handle of a deleted key answers kNotFound, also once the name is
  // free again for a new key of that name below a deleted parent.
  char16_t buffer[8];
  size_t units = 8;
  Handle other;
  EXPECT_EQ(query(leaf.get(), u"v"), u"<status 1>");
  EXPECT_EQ(reg::setString(leaf.get(), u"v", u"y"), Status::kNotFound);
  EXPECT_EQ(reg::deleteValue(leaf.get(), u"v"), Status::kNotFound);
  EXPECT_EQ(reg::enumKey(leaf.get(), 0, buffer, &units), Status::kNotFound);
  EXPECT_EQ(reg::enumValue(leaf.get(), 0, buffer, &units, nullptr), Status::kNotFound);
  EXPECT_EQ(reg::openKey(leaf.get(), u"", other.out()), Status::kNotFound);
  EXPECT_EQ(reg::createKey(leaf.get(), u"D", other.out()), Status::kNotFound) << "no key is made below it";
  EXPECT_EQ(reg::deleteKey(leaf.get(), u"D"), Status::kNotFound);
  EXPECT_EQ(enumerate(user(), false), std::vector<std::u16string>{u"A"});

  EXPECT_EQ(reg::deleteKey(user(), u"A\\B"), Status::kOk);
  EXPECT_EQ(reg::deleteKey(user(), u"A"), Status::kOk);
  EXPECT_TRUE(enumerate(user(), false).empty());
}

TEST_F(RegistryTest, ClosingIsSafe) {
  reg::closeKey(nullptr);
  reg::closeKey(user());
  reg::closeKey(machine());
  EXPECT_EQ(reg::setString(user(), u"still", u"open"), Status::kOk) << "a root survives closing";

  reg::KeyHandle key = nullptr;
  ASSERT_EQ(reg::createKey(user(), u"K", &key), Status::kOk);
  reg::KeyHandle second = nullptr;
  ASSERT_EQ(reg::openKey(user(), u"K", &second), Status::kOk);
  EXPECT_NE(key, second) << "each open gives its own handle";
  reg::closeKey(key);
  EXPECT_EQ(reg::setString(second, u"v", u"x"), Status::kOk) << "the other handle stays open";
  reg::closeKey(second);
  // A closed handle is refused without being touched, and closing it again
  // frees nothing twice (the sanitizer build would say so).
  EXPECT_EQ(reg::setString(second, u"v", u"y"), Status::kInvalid);
  reg::closeKey(second);
  EXPECT_EQ(query(user(), u"still"), u"open");
}

// ---------------------------------------------------------------------------
// The file format.
// ---------------------------------------------------------------------------

TEST_F(RegistryTest, FileIsReadableText) {
  Handle key;
  ASSERT_EQ(reg::setString(user(), u"Top", u"1"), Status::kOk);
  ASSERT_EQ(reg::createKey(user(), u"Software\\ODBC\\ODBC.INI\\My DSN", key.out()), Status::kOk);
  ASSERT_EQ(reg::setString(key.get(), u"Driver", u"C:\\drivers\\vr.dll"), Status::kOk);
  ASSERT_EQ(reg::setString(key.get(), u"Größe", u"100% \"sure\""), Status::kOk);
  ASSERT_EQ(reg::createKey(user(), u"Software\\Zeta", key.out()), Status::kOk);
  ASSERT_EQ(reg::createKey(user(), u"Control Panel", key.out()), Status::kOk);
  EXPECT_EQ(readWholeFile(file()),
            "vrtools-registry 1\n"
            "\"Top\"=\"1\"\n"
            "\n[Software]\n"
            "\n[Software\\ODBC]\n"
            "\n[Software\\ODBC\\ODBC.INI]\n"
            "\n[Software\\ODBC\\ODBC.INI\\My DSN]\n"
            "\"Driver\"=\"C:\\drivers\\vr.dll\"\n"
            "\"Größe\"=\"100%0025 %0022sure%0022\"\n"
            "\n[Software\\Zeta]\n"
            "\n[Control Panel]\n"
            "\nend\n");
  // Only the store's file and its lock file are left: no temporary files.
  std::vector<std::string> entries = dir_.entries();
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"current_user.reg", "current_user.reg.lock"}));
}

TEST_F(RegistryTest, AnyUtf16RoundTrips) {
  const std::u16string awkward[] = {
      std::u16string(u"nul\0inside", 10),
      u"controls \t\r\n\x1F\x7F end",
      u"%0041 is not A; 100%",
      u"\"quoted\" = [bracketed] \\back/slash",
      u"\xD800 lone high, lone low \xDFFF, low then high \xDC00\xD800",
      u"pair \U0001F600 and \uFFFF \uFEFF",
      u"  blanks around  ",
      u";looks like a comment",
      u"[looks like a key]",
      u"end",
      u"",
  };
  Handle key;
  ASSERT_EQ(reg::createKey(user(), u"K", key.out()), Status::kOk);
  for (const std::u16string& text : awkward) {
    ASSERT_EQ(reg::setString(key.get(), text, text + u"!"), Status::kOk) << utf8(text);
  }
  // Key names hold anything but the separators.
  const std::u16string keyNames[] = {
      u"100% [sure] \"yes\"", u"\xDBFF lone", u"tab\tand\nnewline", u"end", u";x", u"=", u"Ünïcödé \U0001F600",
  };
  for (const std::u16string& name : keyNames) {
    Handle sub;
    ASSERT_EQ(reg::createKey(key.get(), name, sub.out()), Status::kOk) << utf8(name);
    ASSERT_EQ(reg::setString(sub.get(), name, name), Status::kOk);
  }

  // Every call reads the file again, so these see what the file kept.
  for (const std::u16string& text : awkward) EXPECT_EQ(query(key.get(), text), text + u"!") << utf8(text);
  EXPECT_EQ(enumerate(key.get(), true), std::vector<std::u16string>(std::begin(awkward), std::end(awkward)));
  EXPECT_EQ(enumerate(key.get(), false), std::vector<std::u16string>(std::begin(keyNames), std::end(keyNames)));
  for (const std::u16string& name : keyNames) {
    Handle sub;
    ASSERT_EQ(reg::openKey(key.get(), name, sub.out()), Status::kOk) << utf8(name);
    EXPECT_EQ(query(sub.get(), name), name);
  }

  // The file is well-formed UTF-8 and holds no control character but '\n'.
  const std::string text = readWholeFile(file());
  size_t i = 0;
  while (i < text.size()) {
    UChar32 c;
    U8_NEXT(reinterpret_cast<const uint8_t*>(text.data()), i, text.size(), c);
    ASSERT_GE(c, 0) << "ill-formed UTF-8 at " << i;
    ASSERT_TRUE(c >= 0x20 || c == '\n') << "control " << c << " at " << i;
  }
}

TEST_F(RegistryTest, HandWrittenFile) {
  dir_.write(kCurrentUserFile,
             "vrtools-registry 1\r\n"
             "; written by hand\r\n"
             "\"Root\" = \"r\"  \r\n"
             "\r\n"
             "[Software\\Deep/Er]\r\n"
             "\"a\"=\"first\"\r\n"
             "\"A\"=\"second\"\r\n"
             "[Software]\r\n"
             "\"b\"=\"%00e9t%00E9\"\r\n"
             "[]\r\n"
             "\"Root2\"=\"r2\"\r\n"
             "end\r\n"
             "\r\n");
  EXPECT_EQ(query(user(), u"root"), u"r");
  EXPECT_EQ(query(user(), u"root2"), u"r2");
  Handle key;
  ASSERT_EQ(reg::openKey(user(), u"software\\deep\\er", key.out()), Status::kOk);
  EXPECT_EQ(query(key.get(), u"a"), u"second") << "a name given twice keeps the last";
  EXPECT_EQ(enumerate(key.get(), true), std::vector<std::u16string>{u"a"});
  ASSERT_EQ(reg::openKey(user(), u"Software", key.out()), Status::kOk);
  EXPECT_EQ(query(key.get(), u"b"), u"été");
  // A change writes the file in the store's own form.
  ASSERT_EQ(reg::setString(user(), u"new", u"n"), Status::kOk);
  EXPECT_EQ(readWholeFile(file()),
            "vrtools-registry 1\n\"Root\"=\"r\"\n\"Root2\"=\"r2\"\n\"new\"=\"n\"\n"
            "\n[Software]\n\"b\"=\"été\"\n"
            "\n[Software\\Deep]\n"
            "\n[Software\\Deep\\Er]\n\"a\"=\"second\"\n"
            "\nend\n");
}

TEST_F(RegistryTest, ChangesFromOutsideAreSeen) {
  ASSERT_EQ(reg::setString(user(), u"v", u"1"), Status::kOk);
  EXPECT_EQ(query(user(), u"v"), u"1");
  // Another program rewrites the file in place: same size, same second.
  std::string text = readWholeFile(file());
  text[text.find("\"1\"") + 1] = '2';
  dir_.write(kCurrentUserFile, text);
  EXPECT_EQ(query(user(), u"v"), u"2");
  ASSERT_EQ(reg::setString(user(), u"w", u"3"), Status::kOk);
  EXPECT_NE(readWholeFile(file()).find("\"v\"=\"2\""), std::string::npos) << "a change starts from the file";

  // Another store, then the first again.
  TempDir other;
  reg::setDirectoryForTesting(other.path().c_str());
  EXPECT_EQ(query(user(), u"v"), u"<status 1>");
  ASSERT_EQ(reg::setString(user(), u"v", u"other"), Status::kOk);
  reg::setDirectoryForTesting(dir_.path().c_str());
  EXPECT_EQ(query(user(), u"v"), u"2");
  ASSERT_EQ(unlink(file().c_str()), 0);
  EXPECT_EQ(query(user(), u"v"), u"<status 1>") << "a removed file is an empty store";
}

// ---------------------------------------------------------------------------
// Damaged files are reported and left alone.
// ---------------------------------------------------------------------------

TEST_F(RegistryTest, DamagedFilesAreReportedAndKept) {
  const struct {
    std::string content;
    const char* note;
  } rows[] = {
      {"", "empty"},
      {"vrtools-registry 1\n", "no end line"},
      {"vrtools-registry 1\n\"a\"=\"b\"\n", "cut after a value"},
      {"vrtools-registry 1\n\"a\"=\"b", "cut inside a value"},
      {"vrtools-registry 2\nend\n", "another format"},
      {"\"a\"=\"b\"\nend\n", "no header line"},
      {"vrtools-registry 1\ngarbage\nend\n", "a line of nothing known"},
      {"vrtools-registry 1\n\"a\"=\"%00G1\"\nend\n", "bad escape"},
      {"vrtools-registry 1\n\"a\"=\"%00\"\nend\n", "escape cut short"},
      {"vrtools-registry 1\n\"a\"=\"\xFF\"\nend\n", "not UTF-8"},
      {"vrtools-registry 1\n\"a\"=\"\xC0\xAF\"\nend\n", "overlong UTF-8"},
      {"vrtools-registry 1\n\"a\"=\"\xED\xA0\x80\"\nend\n", "a surrogate in UTF-8"},
      {"vrtools-registry 1\n\"a\"\"b\"\nend\n", "no '='"},
      {"vrtools-registry 1\n\"a\"=\"b\" x\nend\n", "text after a value"},
      {"vrtools-registry 1\n[A\\]\nend\n", "trailing separator in a key"},
      {"vrtools-registry 1\n[A\\\\B]\nend\n", "empty key name"},
      {"vrtools-registry 1\nend\n[A]\n", "a key after the end"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    const std::string path = dir_.write(kCurrentUserFile, row.content);
    size_t units = 0;
    char16_t buffer[4];
    Handle key;
    EXPECT_EQ(reg::queryString(user(), u"a", nullptr, &units), Status::kIoError);
    EXPECT_EQ(reg::enumValue(user(), 0, buffer, &units, nullptr), Status::kIoError);
    EXPECT_EQ(reg::openKey(user(), u"A", key.out()), Status::kIoError);
    EXPECT_EQ(reg::createKey(user(), u"A", key.out()), Status::kIoError);
    EXPECT_EQ(reg::setString(user(), u"a", u"new"), Status::kIoError);
    EXPECT_EQ(reg::deleteValue(user(), u"a"), Status::kIoError);
    EXPECT_EQ(readWholeFile(path), row.content) << "never replaced";
  }
}

TEST_F(RegistryTest, EveryCutOfAFileIsReported) {
  Handle key;
  ASSERT_EQ(reg::createKey(user(), u"Software\\Ärger", key.out()), Status::kOk);
  ASSERT_EQ(reg::setString(key.get(), u"Name", u"Wert \U0001F600"), Status::kOk);
  ASSERT_EQ(reg::setString(user(), u"Top", u"%"), Status::kOk);
  const std::string whole = readWholeFile(file());
  for (size_t length = 0; length < whole.size(); ++length) {
    SCOPED_TRACE(length);
    dir_.write(kCurrentUserFile, whole.substr(0, length));
    size_t units = 0;
    const Status status = reg::queryString(user(), u"Top", nullptr, &units);
    // Only the final line break may go missing without loss.
    EXPECT_EQ(status, length == whole.size() - 1 ? Status::kOk : Status::kIoError);
  }
}

// ---------------------------------------------------------------------------
// Where the store lives.
// ---------------------------------------------------------------------------

TEST_F(RegistryTest, DirectoryFromTheEnvironment) {
  reg::setDirectoryForTesting("");
  const std::string home = dir_ / "home";
  const std::string data = dir_ / "data";
  const std::string explicitDir = dir_ / "explicit";
  const struct {
    const char* registryDir;  // null: unset
    const char* dataHome;
    std::string expected;     // empty: no store can be named
    const char* note;
  } rows[] = {
      {explicitDir.c_str(), data.c_str(), explicitDir, "JU_REGISTRY_DIR first"},
      {"", data.c_str(), data + "/vrtools/registry", "empty counts as unset"},
      {nullptr, data.c_str(), data + "/vrtools/registry", "XDG_DATA_HOME"},
      {nullptr, "relative/data", home + "/.local/share/vrtools/registry", "a relative XDG_DATA_HOME is ignored"},
      {nullptr, nullptr, home + "/.local/share/vrtools/registry", "HOME"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    ScopedEnv registryDir("JU_REGISTRY_DIR", row.registryDir ? std::optional<std::string>(row.registryDir)
                                                             : std::nullopt);
    ScopedEnv dataHome("XDG_DATA_HOME", row.dataHome ? std::optional<std::string>(row.dataHome) : std::nullopt);
    ScopedEnv homeDir("HOME", home);
    // Reading an empty store makes nothing; the first write makes the
    // directory, private to the user.
    Handle key;
    EXPECT_EQ(reg::openKey(user(), u"Missing", key.out()), Status::kNotFound);
    EXPECT_EQ(reg::deleteValue(machine(), u"v"), Status::kNotFound) << "a write that changes nothing";
    EXPECT_EQ(reg::createKey(user(), u"", key.out()), Status::kOk) << "the root exists without a file";
    EXPECT_FALSE(jutest::pathExists(row.expected));
    ASSERT_EQ(reg::setString(machine(), u"v", u"x"), Status::kOk);
    EXPECT_TRUE(jutest::pathExists(row.expected + "/" + kLocalMachineFile));
    struct stat st;
    ASSERT_EQ(stat(row.expected.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(query(machine(), u"v"), u"x");
    EXPECT_EQ(system(("rm -rf '" + explicitDir + "' '" + data + "' '" + home + "'").c_str()), 0);
  }
  ScopedEnv registryDir("JU_REGISTRY_DIR", std::nullopt);
  ScopedEnv dataHome("XDG_DATA_HOME", std::nullopt);
  ScopedEnv homeDir("HOME", std::nullopt);
  EXPECT_EQ(reg::setString(user(), u"v", u"x"), Status::kIoError) << "no directory can be named";
  reg::setDirectoryForTesting(std::string(5000, 'd').c_str());
  EXPECT_EQ(reg::setString(user(), u"v", u"x"), Status::kIoError) << "too long: no fallback to the real store";
}

TEST_F(RegistryTest, StoreThatCannotBeWritten) {
  // A file where the directory should be.
  const std::string blocker = dir_.write("blocker", "x");
  reg::setDirectoryForTesting((blocker + "/registry").c_str());
  EXPECT_EQ(reg::setString(user(), u"v", u"x"), Status::kIoError);
  EXPECT_EQ(query(user(), u"v"), u"<status 6>");
}

TEST_F(RegistryTest, ShortWritesStillWriteTheWholeFile) {
  platform::setWriteLimitForTesting(3);
  const Status status = reg::setString(user(), u"value", u"a text longer than three bytes");
  platform::setWriteLimitForTesting(0);
  ASSERT_EQ(status, Status::kOk);
  EXPECT_EQ(query(user(), u"value"), u"a text longer than three bytes");
}

// ---------------------------------------------------------------------------
// Concurrent writers: threads of this process and a second process.
// ---------------------------------------------------------------------------

constexpr int kThreads = 8;
constexpr int kValuesPerThread = 200;
constexpr char kSecondWriterVariable[] = "JU_REGISTRY_SECOND_WRITER";
constexpr char16_t kSharedKey[] = u"Software\\Shared";

std::u16string valueName(const std::u16string& writer, int thread, int index) {
  std::string name = "-" + std::to_string(thread) + "-" + std::to_string(index);
  return writer + std::u16string(name.begin(), name.end());
}

// Each thread writes its own values under one key and reads values of the
// other threads at random; a value once seen must read back whole. Returns
// the number of failures.
int writeConcurrently(const std::u16string& writer) {
  std::atomic<int> failures{0};
  std::atomic<int> written[kThreads] = {};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 random(static_cast<unsigned>(t) * 7919u + 1u);
      reg::KeyHandle key = nullptr;
      if (reg::createKey(reg::rootKey(reg::Root::kCurrentUser), kSharedKey, &key) != Status::kOk) {
        ++failures;
        return;
      }
      for (int i = 0; i < kValuesPerThread; ++i) {
        const std::u16string name = valueName(writer, t, i);
        if (reg::setString(key, name, name + u"=value") != Status::kOk) ++failures;
        written[t].store(i + 1);
        const int other = static_cast<int>(random() % kThreads);
        const int done = written[other].load();
        if (done == 0) continue;
        const std::u16string otherName = valueName(writer, other, static_cast<int>(random() % done));
        char16_t buffer[64];
        size_t units = 64;
        if (reg::queryString(key, otherName, buffer, &units) != Status::kOk ||
            std::u16string(buffer, units - 1) != otherName + u"=value") {
          ++failures;
        }
      }
      reg::closeKey(key);
    });
  }
  for (std::thread& thread : threads) thread.join();
  return failures.load();
}

// The second process: the test binary itself, run with a filter that selects
// only this test and the store's directory in the environment.
TEST(RegistrySecondWriter, WritesWhenAsked) {
  const char* directory = std::getenv(kSecondWriterVariable);
  if (directory == nullptr) GTEST_SKIP() << "runs only as the second process of the concurrency test";
  reg::setDirectoryForTesting(directory);
  EXPECT_EQ(writeConcurrently(u"child"), 0);
}

TEST_F(RegistryTest, ThreadsAndProcessesLoseNoWrite) {
  Handle key;
  ASSERT_EQ(reg::createKey(user(), kSharedKey, key.out()), Status::kOk);

  const std::string filter = "--gtest_filter=RegistrySecondWriter.WritesWhenAsked";
  const std::string variable = std::string(kSecondWriterVariable) + "=" + dir_.path();
  char self[4096];
  const ssize_t selfLength = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(selfLength, 0);
  self[selfLength] = '\0';
  std::vector<char*> childEnvironment;
  for (char** entry = environ; *entry != nullptr; ++entry) childEnvironment.push_back(*entry);
  childEnvironment.push_back(const_cast<char*>(variable.c_str()));
  childEnvironment.push_back(nullptr);
  char* childArguments[] = {self, const_cast<char*>(filter.c_str()), nullptr};
  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, self, nullptr, nullptr, childArguments, childEnvironment.data()), 0);

  EXPECT_EQ(writeConcurrently(u"parent"), 0);
  int childStatus = 0;
  ASSERT_EQ(waitpid(child, &childStatus, 0), child);
  EXPECT_TRUE(WIFEXITED(childStatus) && WEXITSTATUS(childStatus) == 0) << "second writer status " << childStatus;

  // Every value of both processes is there, each once.
  for (const char16_t* writer : {u"parent", u"child"}) {
    for (int t = 0; t < kThreads; ++t) {
      for (int i = 0; i < kValuesPerThread; ++i) {
        const std::u16string name = valueName(writer, t, i);
        ASSERT_EQ(query(key.get(), name), name + u"=value") << utf8(name);
      }
    }
  }
  EXPECT_EQ(enumerate(key.get(), true).size(), size_t{2 * kThreads * kValuesPerThread});
}

}  // namespace
