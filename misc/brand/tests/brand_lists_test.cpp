// The brand object's list builders: comma lists with "##" into the lists.

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "engine/brand.h"
#include "front_end_doubles.h"
#include "testing/allocation_faults.h"

namespace {

using BrandLists = branddoubles::BrandTest;
using branddoubles::entries;
using Names = std::vector<std::string>;

TEST_F(BrandLists, AddFileListReplacesLowerCasesExtendsAndSkipsDuplicates) {
  const std::tuple<const char*, const char*, const char*, Names> rows[] = {
      {"a##x,b", "05", ".dll", {"a05x.dll", "b.dll"}},
      {"AB##X##", "28", ".dll", {"ab28x##.dll"}},  // the first marker only
      {"SETUP.EXE,x.exe,.exe", "28", ".dll", {"setup.exe", "x.exe", ".exe.dll"}},  // ".exe" alone is too short
      {"A.DLL,a.dll", "05", nullptr, {"a.dll"}},   // equal after lower-casing
      {" a , ,,b  ,'c,d'", "05", nullptr, {"a", "b", "'c,d'"}},
      {"ab##", "", ".dll", {"ab##.dll"}},          // no code, or a one-character one:
      {"ab##", "2", ".dll", {"ab##.dll"}},         // the marker stays
      {"\xC3\x89T\xC3\x89##.DLL", "28", nullptr, {"\xC3\xA9t\xC3\xA9" "28.dll"}},
      {nullptr, "05", ".dll", {}},
  };
  for (const auto& [text, code, extension, expected] : rows) {
    brand object("/d");
    EXPECT_EQ(object.addFileList(object.mainFileList, text, code, extension), 1);
    EXPECT_EQ(entries(object.mainFileList), expected) << (text != nullptr ? text : "null");
  }
}

TEST_F(BrandLists, EachAdditionalCodeThenTheDriversCode) {
  brand object("/d");
  std::strcpy(object.driverVersionCode, "28");
  for (const char* code : {"27", "26"}) {
    ASSERT_EQ(object.additionalVersionCodes.insertAt(juStrNDup(code, 2), object.additionalVersionCodes.count), 0);
  }
  EXPECT_EQ(object.addFiles("ab##x,common", ".dll"), 1);
  EXPECT_EQ(entries(object.mainFileList), (Names{"ab27x.dll", "common.dll", "ab26x.dll", "ab28x.dll"}));
  EXPECT_EQ(object.addSearchEntries("ABORA##"), 1);
  EXPECT_EQ(entries(object.searchList), (Names{"abora27", "abora26", "abora28"}));
}

TEST_F(BrandLists, OldVersionInItsShortFormWhenTheSecondCharacterIsADot) {
  const std::pair<const char*, Names> rows[] = {
      {"8.02.0293", {"08.02"}}, {"08.02.0293", {"08.02.0293"}}, {"8.0", {"8.0"}}, {"", {}}};
  for (const auto& [version, expected] : rows) {
    brand object("/d");
    object.infVersionText = juStrNDup(version, std::strlen(version));
    EXPECT_EQ(object.addOldVersion(), 1);
    EXPECT_EQ(entries(object.searchList), expected) << version;
  }
}

TEST_F(BrandLists, AListThatCannotGrowStopsAndKeepsWhatItHas) {
  brand object("/d");
  jutest::failEachAllocation([&](jutest::AllocationFault& fault) {
    object.clearFileList();
    fault.arm();
    const int result = object.addFiles("a,b,c", ".dll");
    EXPECT_EQ(result, fault.disarm() ? 0 : 1);
    if (!fault.fired()) {
      EXPECT_EQ(object.fileCount(), 3u);
    }
  });
}

}  // namespace
