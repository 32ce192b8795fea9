// The message catalogue, ANSI mode and module file names.

#include <fstream>
#include <regex>
#include <string>

#include "julib/threads.h"
#include "platform/ansi.h"
#include "platform/process.h"
#include "testing/ju_test.h"

namespace {

std::u16string load(uint16_t id) {
  char16_t buffer[kJuMessageUnits];
  buffer[0] = 0xFFFF;
  size_t n = juLoadMessage(buffer, id);
  EXPECT_EQ(buffer[n], 0);
  return std::u16string(buffer, n);
}

// Every row of the source is found by its own id with its exact text, and
// the generated table is sorted with unique ids.
TEST(Catalogue, EveryRowOfTheSourceIsFound) {
  std::ifstream source(JULIB_CATALOGUE_SOURCE);
  ASSERT_TRUE(source) << JULIB_CATALOGUE_SOURCE;
  const std::regex row(R"re(^(\d+) [A-Za-z0-9]+ "(.*)"\s*$)re");
  std::string line;
  size_t rows = 0;
  while (std::getline(source, line)) {
    std::smatch m;
    if (!std::regex_match(line, m, row)) continue;
    ++rows;
    const auto id = static_cast<uint16_t>(std::stoi(m[1]));
    SCOPED_TRACE(line);
    EXPECT_EQ(jutest::toUtf8(load(id)), m[2].str());
  }
  EXPECT_EQ(rows, juLibraryMessages.count);
  for (size_t i = 1; i < juLibraryMessages.count; ++i)
    EXPECT_LT(juLibraryMessages.rows[i - 1].id, juLibraryMessages.rows[i].id);
}

TEST(Catalogue, KnownTextsAndMissingIds) {
  EXPECT_EQ(load(2701), u"Number too large: %s1");
  EXPECT_EQ(load(2739), u"Unknown codepage. ");  // the trailing blank is part of it
  EXPECT_EQ(load(30190), u"Out of memory.");
  EXPECT_EQ(load(4), u"");
  EXPECT_EQ(load(9999), u"");
}

TEST(Catalogue, LoadingIsBoundedAndTerminated) {
  char16_t small[6];
  EXPECT_EQ(juLoadStringW(&juLibraryModule, 2701, small, 6), 5u);
  EXPECT_EQ(std::u16string(small), u"Numbe");
  EXPECT_EQ(juLoadStringW(&juLibraryModule, 2701, small, 0), 0u);
  EXPECT_EQ(juLoadStringW(nullptr, 2701, small, 6), 0u);  // no module, no text
  EXPECT_EQ(small[0], 0);

  char narrow[kJuMessageUnits];
  EXPECT_EQ(juLoadStringA(narrow, 2708), 54u);
  EXPECT_STREQ(narrow, "Invalid hexadecimal character found during conversion.");
  EXPECT_EQ(juLoadStringA(narrow, 4), 0u);
  EXPECT_STREQ(narrow, "");
}

// ANSI mode makes the wide loads go through the ANSI code page.
class AnsiMode : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setReportedWindowsVersionForTesting(5, 0, 0);
    juAnsiMode.store(-1);
  }
  void TearDown() override {
    platform::setReportedWindowsVersionForTesting(10, 0, 0);
    juAnsiMode.store(-1);
    platform::setAnsiCodePage(1252);
  }
};

TEST_F(AnsiMode, IsDeterminedOnceFromTheWindowsVersion) {
  EXPECT_EQ(juIsWindowsVersion51OrLater(), 0);
  EXPECT_EQ(juGetAnsiMode(), 1);
  platform::setReportedWindowsVersionForTesting(10, 0, 0);
  EXPECT_EQ(juGetAnsiMode(), 1);  // set once, then kept
  juAnsiMode.store(-1);
  EXPECT_EQ(juGetAnsiMode(), 0);
  EXPECT_EQ(juIsWindowsVersionAtLeast(10, 0, 0), 1);
  EXPECT_EQ(juIsWindowsVersionAtLeast(10, 1, 0), 0);
}

TEST_F(AnsiMode, LoadsConvertThroughTheAnsiCodePage) {
  const platform::MessageRow rows[] = {{7, u"caf\u00E9 \u20AC"}};
  const platform::MessageTable table = {rows, 1};
  const platform::Module module = {"test", nullptr, {&table, nullptr, nullptr, nullptr}};
  char16_t buffer[16];
  ASSERT_EQ(juGetAnsiMode(), 1);
  EXPECT_EQ(juLoadStringW(&module, 7, buffer, 16), 6u);
  EXPECT_EQ(std::u16string(buffer), u"caf\u00E9 \u20AC");  // both exist in 1252
  ASSERT_TRUE(platform::setAnsiCodePage(932));
  EXPECT_EQ(juLoadStringW(&module, 7, buffer, 16), 6u);
  EXPECT_EQ(std::u16string(buffer), u"caf? ?");  // neither exists in 932
}

TEST(ModuleFileName, NamesTheRunningProgram) {
  char16_t path[1024];
  size_t n = juGetModuleFileNameW(&juLibraryModule, path, 1024);
  ASSERT_GT(n, 0u);
  const std::string utf8 = jutest::toUtf8(path, n);
  EXPECT_EQ(utf8.front(), '/');
  EXPECT_NE(utf8.find("catalogue_test"), std::string::npos) << utf8;
  char16_t cut[5];
  EXPECT_EQ(juGetModuleFileNameW(nullptr, cut, 5), 4u);
  EXPECT_EQ(cut[4], 0);
}

}  // namespace
