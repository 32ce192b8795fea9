// Finding a library the process has loaded already, without loading it.

#include <gtest/gtest.h>

#include "platform/library.h"

namespace {

TEST(LoadedLibraryTest, FindsOnlyWhatIsLoaded) {
  // libc is in every process.
  platform::LibraryHandle libc = platform::findLoadedLibrary("libc.so.6");
  ASSERT_NE(libc, nullptr);
  EXPECT_NE(platform::findFunction(libc, "strlen"), nullptr);
  platform::freeLibrary(libc);
  EXPECT_EQ(platform::findLoadedLibrary("libno-such-library.so"), nullptr);
  EXPECT_EQ(platform::findLoadedLibrary(nullptr), nullptr);
}

TEST(LoadedLibraryTest, TheDriverManagerIsFoundOnceLoadedAndNeverLoadedByTheAsking) {
  // unixODBC (by its Windows name), which nothing in this program uses
  // until it is loaded here: asked twice, the first ask did not load it.
  constexpr char kDriverManager[] = "odbc32.dll";
  ASSERT_EQ(platform::findLoadedLibrary(kDriverManager), nullptr);
  EXPECT_EQ(platform::findLoadedLibrary(kDriverManager), nullptr);
  platform::LibraryHandle loaded = platform::loadLibrary(kDriverManager);
  ASSERT_NE(loaded, nullptr);
  platform::LibraryHandle found = platform::findLoadedLibrary("ODBC32.DLL");
  EXPECT_EQ(found, loaded);
  // Its own SQLGetInfo, as the loaded handle gives it.
  EXPECT_NE(platform::findFunction(found, "SQLGetInfo"), nullptr);
  EXPECT_EQ(platform::findFunction(found, "SQLGetInfo"), platform::findFunction(loaded, "SQLGetInfo"));
  platform::freeLibrary(found);
  platform::freeLibrary(loaded);
}

TEST(LoadedLibraryTest, AFakeStandsInAsForLoading) {
  const platform::FakeFunction none[] = {{"x", nullptr}};
  ASSERT_TRUE(platform::registerFakeLibrary("libodbc.so.2", none, 0));
  EXPECT_NE(platform::findLoadedLibrary("ODBC32.DLL"), nullptr);
  EXPECT_EQ(platform::fakeLibraryLoads("libodbc.so.2"), 1u);
  platform::unregisterFakeLibrary("libodbc.so.2");
}

}  // namespace
