// Loading libraries: the system loader, the Windows-name map, the fakes of
// tests, and the pure path rules under them.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "platform/library.h"
#include "platform/paths.h"

namespace {

TEST(Paths, DirectoryAndFileName) {
  struct Row {
    const char* path;
    size_t directory;
    const char* file;
  };
  const Row rows[] = {
      {"", 0, ""},
      {"name.dll", 0, "name.dll"},
      {"/usr/lib/x.so", 9, "x.so"},
      {"C:\\drivers\\vr.dll", 11, "vr.dll"},
      {"mixed\\and/both", 10, "both"},
      {"trailing/", 9, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(platform::directoryLength(row.path), row.directory);
    EXPECT_EQ(platform::fileName(row.path), row.file);
  }
}

int fakeAnswer() { return 42; }

TEST(Library, SystemLoaderBindsFunctions) {
  platform::LibraryHandle libm = platform::loadLibrary("libm.so.6");
  ASSERT_NE(libm, nullptr);
  auto* cosine = reinterpret_cast<double (*)(double)>(platform::findFunction(libm, "cos"));
  ASSERT_NE(cosine, nullptr);
  EXPECT_EQ(cosine(0.0), 1.0);
  EXPECT_EQ(platform::findFunction(libm, "no_such_function_here"), nullptr);
  platform::freeLibrary(libm);
  EXPECT_EQ(platform::loadLibrary("libno-such-library.so"), nullptr);
  EXPECT_EQ(platform::loadLibrary(""), nullptr);
  EXPECT_EQ(platform::loadLibrary(nullptr), nullptr);
}

TEST(Library, FakesStandInAndWindowsNamesAreMapped) {
  const platform::FakeFunction functions[] = {{"answer", reinterpret_cast<void*>(&fakeAnswer)}};
  // Registered under the Linux name; loaded by the Windows one, any case.
  ASSERT_TRUE(platform::registerFakeLibrary("libodbcinst.so.2", functions, 1));
  platform::LibraryHandle installer = platform::loadLibrary("C:\\Windows\\System32\\ODBCCP32.DLL");
  ASSERT_NE(installer, nullptr);
  auto* answer = reinterpret_cast<int (*)()>(platform::findFunction(installer, "answer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(platform::findFunction(installer, "missing"), nullptr);
  EXPECT_EQ(platform::fakeLibraryLoads("odbccp32.dll"), 1u);
  platform::freeLibrary(installer);  // a fake is never unloaded
  platform::unregisterFakeLibrary("libodbcinst.so.2");
  EXPECT_EQ(platform::fakeLibraryLoads("libodbcinst.so.2"), 0u);
}

TEST(Library, BackslashesReachTheSystemAsSlashes) {
  const platform::FakeFunction none[] = {{"x", nullptr}};
  ASSERT_TRUE(platform::registerFakeLibrary("/opt/vr/lib.so", none, 0));
  EXPECT_NE(platform::loadLibrary("\\opt\\vr\\lib.so"), nullptr);
  platform::unregisterFakeLibrary("/opt/vr/lib.so");
}

}  // namespace
