// The brand object's list builders: comma lists with "##" into the main,
// optional and search lists.

#include <cstring>
#include <string>
#include <vector>

#include "brand.h"
#include "front_end_doubles.h"
#include "julib/object.h"
#include "testing/allocation_faults.h"

namespace {

using BrandLists = branddoubles::BrandTest;

std::vector<std::string> entries(const JuArrayPVoid& list) {
  std::vector<std::string> out;
  for (uint64_t i = 0; i < list.count; ++i) out.emplace_back(static_cast<const char*>(list.pointerAt(i)));
  return out;
}

TEST_F(BrandLists, AddFileListReplacesLowerCasesExtendsAndSkipsDuplicates) {
  using Names = std::vector<std::string>;
  const struct {
    const char* text;
    const char* code;
    const char* extension;
    Names expected;
  } rows[] = {
      {"a##x,b", "05", ".dll", {"a05x.dll", "b.dll"}},
      {"AB##X##", "28", ".dll", {"ab28x##.dll"}},          // the first marker only
      {"SETUP.EXE,x.exe,.exe", "28", ".dll", {"setup.exe", "x.exe", ".exe.dll"}},  // ".exe" alone is too short
      {"A.DLL,a.dll", "05", nullptr, {"a.dll"}},           // equal after lower-casing
      {" a , ,,b  ", "05", nullptr, {"a", "b"}},           // blanks and empty items
      {"'a,b',c", "05", nullptr, {"'a,b'", "c"}},          // commas inside quotes
      {"ab##", "", ".dll", {"ab##.dll"}},                  // no code: the marker stays
      {"ab##", "2", ".dll", {"ab##.dll"}},                 // a one-character code too
      {"\xC3\x89T\xC3\x89##.DLL", "28", nullptr, {"\xC3\xA9t\xC3\xA9" "28.dll"}},
      {"", "05", ".dll", {}},
      {nullptr, "05", ".dll", {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text != nullptr ? row.text : "null");
    brand object("/d");
    JuArrayPVoid list;
    EXPECT_EQ(object.addFileList(list, row.text, row.code, row.extension), 1);
    EXPECT_EQ(entries(list), row.expected);
    list.freeAll();
  }
}

TEST_F(BrandLists, AddFilesTakesEachAdditionalCodeThenTheDriversCode) {
  brand object("/d");
  std::strcpy(object.driverVersionCode, "28");
  for (const char* code : {"27", "26"}) {
    ASSERT_EQ(object.additionalVersionCodes.insertAt(juStrNDup(code, 2), object.additionalVersionCodes.count), 0);
  }
  EXPECT_EQ(object.addFiles("ab##x,common", ".dll"), 1);
  EXPECT_EQ(entries(object.mainFileList),
            (std::vector<std::string>{"ab27x.dll", "common.dll", "ab26x.dll", "ab28x.dll"}));
  EXPECT_EQ(object.addOptionalFiles("ab##x", ".dll"), 1);
  EXPECT_EQ(entries(object.optionalFileList), (std::vector<std::string>{"ab27x.dll", "ab26x.dll", "ab28x.dll"}));
  EXPECT_EQ(object.addSearchEntries("ABORA##,{X}"), 1);
  EXPECT_EQ(entries(object.searchList), (std::vector<std::string>{"abora27", "{x}", "abora26", "abora28"}));
  EXPECT_EQ(object.fileCount(), 4u);
  EXPECT_STREQ(object.fileName(3), "ab28x.dll");
  EXPECT_EQ(object.fileName(4), nullptr);
  EXPECT_STREQ(object.searchEntry(1), "{x}");
  EXPECT_EQ(object.clearFileList(), 1);
  EXPECT_EQ(object.clearSearchList(), 1);
  EXPECT_EQ(object.fileCount(), 0u);
  EXPECT_EQ(object.searchEntry(0), nullptr);
}

TEST_F(BrandLists, OldVersionInItsShortFormWhenTheSecondCharacterIsADot) {
  const struct {
    const char* version;
    std::vector<std::string> expected;
  } rows[] = {
      {"8.02.0293", {"08.02"}},
      {"08.02.0293", {"08.02.0293"}},
      {"8.0", {"8.0"}},  // no fourth character to take
      {"8.", {"8."}},
      {"", {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.version);
    brand object("/d");
    object.infVersionText = juStrNDup(row.version, std::strlen(row.version));
    EXPECT_EQ(object.addOldVersion(), 1);
    EXPECT_EQ(entries(object.searchList), row.expected);
  }
}

TEST_F(BrandLists, AListThatCannotGrowStopsAndKeepsWhatItHas) {
  brand object("/d");
  jutest::failEachAllocation([&](jutest::AllocationFault& fault) {
    object.clearFileList();
    fault.arm();
    const int result = object.addFiles("a,b,c", ".dll");
    const bool fired = fault.disarm();
    EXPECT_EQ(result, fired ? 0 : 1);
    if (!fired) EXPECT_EQ(object.fileCount(), 3u);
  });
}

}  // namespace
