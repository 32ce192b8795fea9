// The computer's and user's names, environment variables and true texts.

#include <gtest/gtest.h>
#include <pwd.h>
#include <sched.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "julib/files.h"
#include "testing/files.h"
#include "testing/ju_test.h"

namespace {

using jutest::ScopedEnv;
using jutest::wide;

std::string systemHostName() {
  char name[256] = {};
  EXPECT_EQ(gethostname(name, sizeof name - 1), 0);
  return name;
}

std::string systemUserName() {
  const passwd* entry = getpwuid(geteuid());
  return entry != nullptr ? entry->pw_name : "";
}

std::string shortName(const std::string& host) { return host.substr(0, std::min<size_t>(host.find('.'), 15)); }

using NarrowGetter = int (*)(char*, size_t);
using WideGetter = int (*)(char16_t*, size_t);

struct NameCase {
  NarrowGetter narrow;
  WideGetter wideForm;
  std::string expected;
  const char* note;
};

TEST(SystemNames, MatchTheSystem) {
  jutest::ScopedErrorList errors;
  const std::string user = systemUserName();
  if (user.empty()) GTEST_SKIP() << "no password entry for this user";
  const NameCase cases[] = {
      {juGetComputerNameDns, juGetComputerNameDnsW, systemHostName(), "host name"},
      {juGetComputerName, juGetComputerNameW, shortName(systemHostName()), "short computer name"},
      {juGetUserName, juGetUserNameW, user, "user name"},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.note);
    ASSERT_FALSE(c.expected.empty());
    const size_t n = c.expected.size();
    // Buffer sizes around the name's length: a shorter buffer gets a cut name.
    for (size_t size : {n + 1, n + 10, n, size_t{2}, size_t{1}}) {
      SCOPED_TRACE(size);
      std::vector<char> buffer(size + 1, '#');
      EXPECT_EQ(c.narrow(buffer.data(), size), 0);
      EXPECT_EQ(std::string(buffer.data()), c.expected.substr(0, size - 1));
      EXPECT_EQ(buffer[size], '#');
      std::vector<char16_t> wideBuffer(size + 1, u'#');
      EXPECT_EQ(c.wideForm(wideBuffer.data(), size), 0);
      EXPECT_EQ(std::u16string(wideBuffer.data()), wide(c.expected.substr(0, size - 1)));
      EXPECT_EQ(wideBuffer[size], u'#');
    }
    char untouched[2] = {'#', '#'};
    EXPECT_EQ(c.narrow(untouched, 0), 0);
    EXPECT_EQ(untouched[0], '#');
    EXPECT_EQ(c.narrow(nullptr, 10), 0);
    char16_t wideUntouched[2] = {u'#', u'#'};
    EXPECT_EQ(c.wideForm(wideUntouched, 0), 0);
    EXPECT_EQ(wideUntouched[0], u'#');
    EXPECT_EQ(c.wideForm(nullptr, 10), 0);
  }
  EXPECT_TRUE(errors.ids().empty());
}

// A host name of several labels, in a host-name namespace of this process
// alone (where the system allows one).
TEST(SystemNames, ShortNameIsTheFirstLabel) {
  if (unshare(CLONE_NEWUTS) != 0) GTEST_SKIP() << "no namespace for host names here";
  const struct {
    const char* host;
    const char* dns;
    const char* shortForm;
  } rows[] = {
      {"build.example.org", "build.example.org", "build"},
      {"a-very-long-host-name.example.org", "a-very-long-host-name.example.org", "a-very-long-hos"},
      {"exactly15-chars", "exactly15-chars", "exactly15-chars"},
      {"sixteen-chars-xy", "sixteen-chars-xy", "sixteen-chars-x"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.host);
    ASSERT_EQ(sethostname(row.host, std::strlen(row.host)), 0);
    char buffer[64];
    EXPECT_EQ(juGetComputerNameDns(buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, row.dns);
    EXPECT_EQ(juGetComputerName(buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, row.shortForm);
    char16_t wideBuffer[64];
    EXPECT_EQ(juGetComputerNameW(wideBuffer, 64), 0);
    EXPECT_EQ(std::u16string(wideBuffer), wide(row.shortForm));
  }
}

// ---------------------------------------------------------------------------
// Environment.
// ---------------------------------------------------------------------------

TEST(GetEnv, BufferBounds) {
  const ScopedEnv set("JU_FILES_TEST", "value");
  const ScopedEnv empty("JU_FILES_EMPTY", "");
  const ScopedEnv missing("JU_FILES_MISSING", std::nullopt);
  const struct {
    const char* name;
    size_t size;
    bool found;
    const char* note;
  } rows[] = {
      {"JU_FILES_TEST", 6, true, "exactly the value and its terminator"},
      {"JU_FILES_TEST", 100, true, "a larger buffer"},
      {"JU_FILES_TEST", 5, false, "one short: null"},
      {"JU_FILES_TEST", 0, false, "no buffer"},
      {"JU_FILES_EMPTY", 10, false, "an empty value is missing"},
      {"JU_FILES_MISSING", 10, false, "missing"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    std::vector<char> buffer(row.size + 1, '#');
    buffer[row.size] = '\0';
    char* result = juGetEnv(row.name, buffer.data(), row.size);
    EXPECT_EQ(result, row.found ? buffer.data() : nullptr);
    if (row.found) {
      EXPECT_STREQ(buffer.data(), "value");
    } else if (row.size > 0 && std::strcmp(row.name, "JU_FILES_TEST") == 0) {
      EXPECT_EQ(buffer[0], '#');  // a value that does not fit leaves the buffer alone
    }

    std::vector<char16_t> wideBuffer(row.size + 1, u'#');
    char16_t* wideResult = juGetEnvW(wide(row.name).c_str(), wideBuffer.data(), row.size);
    EXPECT_EQ(wideResult, row.found ? wideBuffer.data() : nullptr);
    if (row.found) {
      EXPECT_EQ(std::u16string(wideBuffer.data()), u"value");
    } else if (row.size > 0) {
      EXPECT_EQ(wideBuffer[0], u'#');
    }
  }
  char buffer[8];
  EXPECT_EQ(juGetEnv(nullptr, buffer, sizeof buffer), nullptr);
  EXPECT_EQ(juGetEnv("JU_FILES_TEST", nullptr, 8), nullptr);
  EXPECT_EQ(juGetEnvW(nullptr, nullptr, 8), nullptr);
}

TEST(GetEnv, Utf8Values) {
  const ScopedEnv accented("JU_FILES_UTF8", "\xC3\xA9t\xC3\xA9");
  const ScopedEnv invalid("JU_FILES_BAD", "a\xFF");
  char16_t wideBuffer[8];
  EXPECT_NE(juGetEnvW(u"JU_FILES_UTF8", wideBuffer, 4), nullptr);  // 3 units and a terminator
  EXPECT_EQ(std::u16string(wideBuffer), u"\u00E9t\u00E9");
  EXPECT_EQ(juGetEnvW(u"JU_FILES_UTF8", wideBuffer, 3), nullptr);
  EXPECT_EQ(juGetEnvW(u"JU_FILES_BAD", wideBuffer, 8), nullptr);
  char buffer[8];
  EXPECT_NE(juGetEnv("JU_FILES_UTF8", buffer, 6), nullptr);  // narrow values are bytes: 5 and a NUL
  EXPECT_STREQ(buffer, "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(juGetEnv("JU_FILES_UTF8", buffer, 5), nullptr);
  EXPECT_NE(juGetEnv("JU_FILES_BAD", buffer, 8), nullptr);
}

TEST(GetEnv, LongValues) {
  // Beyond the first buffer the value is read into.
  for (size_t n : {size_t{1023}, size_t{1024}, size_t{5000}}) {
    SCOPED_TRACE(n);
    const std::string value(n, 'v');
    const ScopedEnv set("JU_FILES_LONG", value);
    std::vector<char16_t> buffer(n + 1);
    ASSERT_NE(juGetEnvW(u"JU_FILES_LONG", buffer.data(), buffer.size()), nullptr);
    EXPECT_EQ(std::u16string(buffer.data()), wide(value));
    EXPECT_EQ(juGetEnvW(u"JU_FILES_LONG", buffer.data(), n), nullptr);
  }
}

// ---------------------------------------------------------------------------
// True texts.
// ---------------------------------------------------------------------------

TEST(IsTrueText, Table) {
  const struct {
    const char* text;
    int expected;
  } rows[] = {
      {"1", 1},  {"10", 1},  {"T", 1},   {"true", 1},   {"tRUE", 1}, {"Txyz", 1}, {"on", 1},
      {"ON", 1}, {"oN", 1},  {"On ", 1}, {"onward", 1}, {"off", 0},  {"OFF", 0},  {"o", 0},
      {"0", 0},  {"yes", 0}, {"", 0},    {" 1", 0},     {"n", 0},    {"F", 0},    {nullptr, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text != nullptr ? row.text : "null");
    EXPECT_EQ(juIsTrueText(row.text), row.expected);
  }
}

}  // namespace
