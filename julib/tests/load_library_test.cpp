// juLoadLibrary and juLoadLibraryW: names as given, or beside the resource
// module.

#include <string>

#include "julib/codepage.h"
#include "julib/threads.h"
#include "platform/library.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "testing/ju_test.h"

namespace {

int seven() { return 7; }

std::string moduleDirectory() {
  char path[4096];
  const size_t n = platform::moduleFileName(juResourceModule.load(), path, sizeof path);
  return std::string(path, platform::directoryLength(std::string_view(path, n)));
}

TEST(LoadLibrary, FlagLoadsBesideTheResourceModule) {
  const platform::FakeFunction functions[] = {{"seven", reinterpret_cast<void*>(&seven)}};
  const std::string companion = moduleDirectory() + "vrprot10.DLL";
  ASSERT_TRUE(platform::registerFakeLibrary(companion.c_str(), functions, 1));
  void* narrow = juLoadLibrary("vrprot", 1);
  void* wide = juLoadLibraryW(u"vrprot", 1);
  EXPECT_EQ(juLoadLibrary("vrprot", 0), nullptr);  // without the flag the name is taken as it is
  platform::unregisterFakeLibrary(companion.c_str());
  ASSERT_NE(narrow, nullptr);
  EXPECT_EQ(narrow, wide);
  auto* fn = reinterpret_cast<int (*)()>(platform::findFunction(static_cast<platform::LibraryHandle>(narrow), "seven"));
  ASSERT_NE(fn, nullptr);
  EXPECT_EQ(fn(), 7);
}

TEST(LoadLibrary, NamesAsGiven) {
  void* libm = juLoadLibrary("libm.so.6", 0);
  EXPECT_NE(libm, nullptr);
  platform::freeLibrary(static_cast<platform::LibraryHandle>(libm));
  EXPECT_EQ(juLoadLibrary(nullptr, 0), nullptr);
  EXPECT_EQ(juLoadLibraryW(nullptr, 1), nullptr);
}

TEST(LoadLibrary, NamesThatDoNotFitAreRefusedNotCut) {
  // A cut name could load another library: a name of 260 bytes or more, or
  // one that does not fit beside the module's directory, loads nothing.
  const std::string longName(300, 'a');
  const platform::FakeFunction none[] = {{"x", nullptr}};
  const std::string cut = longName.substr(0, 259);
  ASSERT_TRUE(platform::registerFakeLibrary(cut.c_str(), none, 0));
  EXPECT_EQ(juLoadLibrary(longName.c_str(), 0), nullptr);
  EXPECT_NE(juLoadLibrary(cut.c_str(), 0), nullptr);
  platform::unregisterFakeLibrary(cut.c_str());
  EXPECT_EQ(juLoadLibrary(longName.c_str(), 1), nullptr);
}

}  // namespace
