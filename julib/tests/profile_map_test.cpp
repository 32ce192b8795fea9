// Mapping INI names to routes: the nine known names with and without
// directories, leading parts, case, registry paths, double-byte names, and
// the bounded key path.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "julib/profile.h"
#include "profile_test_util.h"
#include "testing/ju_test.h"

namespace {

using jutest::currentUser;
using jutest::localMachine;

enum class RootIs { kNone, kUser, kMachine };

struct MapRow {
  const char* name;
  uint32_t paths;
  JuProfileRoute route;
  RootIs root;
  const char* key;
  const char* note;
};

constexpr JuProfileRoute kRegistry = kJuProfileRouteRegistry;
constexpr JuProfileRoute kFile = kJuProfileRouteIniFile;
constexpr JuProfileRoute kInstaller = kJuProfileRouteInstaller;

const MapRow kMapRows[] = {
    // The nine rows.
    {"ODBC.INI", 0, kInstaller, RootIs::kUser, "SOFTWARE\\ODBC\\ODBC.INI\\", "installer"},
    {"ODBCINST.INI", 0, kRegistry, RootIs::kMachine, "SOFTWARE\\ODBC\\ODBCINST.INI\\", ""},
    {"CONTROL.INI", 0, kRegistry, RootIs::kUser, "Control Panel\\", ""},
    {"EXCHANGE.INI", 0, kRegistry, RootIs::kUser, "SOFTWARE\\Volmaresk\\EXCHANGE.INI\\", ""},
    {"EXCHINST.INI", 0, kRegistry, RootIs::kMachine, "SOFTWARE\\Volmaresk\\EXCHINST.INI\\", ""},
    {"VREXP15.INI", 0, kRegistry, RootIs::kUser, "SOFTWARE\\Volmaresk\\VREXP15.INI\\", ""},
    {"JULIB.INI", 0, kRegistry, RootIs::kUser, "SOFTWARE\\Volmaresk\\JULIB.INI\\", ""},
    {"Volmaresk.INI", 0, kRegistry, RootIs::kMachine, "SOFTWARE\\Volmaresk\\", ""},
    {"BRISKLANE.INI", 0, kRegistry, RootIs::kMachine, "SOFTWARE\\Brisklane\\", ""},
    // Directories are dropped, with either separator.
    {"C:\\Windows\\ODBC.INI", 0, kInstaller, RootIs::kUser, "SOFTWARE\\ODBC\\ODBC.INI\\", "backslash"},
    {"/etc/vrtools/JULIB.INI", 0, kRegistry, RootIs::kUser, "SOFTWARE\\Volmaresk\\JULIB.INI\\", "slash"},
    {"a/b\\BRISKLANE.INI", 1, kRegistry, RootIs::kMachine, "SOFTWARE\\Brisklane\\", "mixed"},
    {"C:\\dir\\", 0, kFile, RootIs::kNone, nullptr, "empty file part"},
    // The search is case-sensitive and must start where a name starts.
    {"odbc.ini", 0, kFile, RootIs::kNone, nullptr, "lower case"},
    {"volmaresk.ini", 0, kFile, RootIs::kNone, nullptr, "lower case"},
    {"ODBC", 0, kInstaller, RootIs::kUser, "SOFTWARE\\ODBC\\ODBC.INI\\", "leading part: first row"},
    {"EXCH", 0, kRegistry, RootIs::kUser, "SOFTWARE\\Volmaresk\\EXCHANGE.INI\\", "first row with the part"},
    {"EXCHI", 0, kRegistry, RootIs::kMachine, "SOFTWARE\\Volmaresk\\EXCHINST.INI\\", ""},
    {"INST.INI", 0, kFile, RootIs::kNone, nullptr, "starts inside ODBCINST.INI"},
    {"INI", 0, kFile, RootIs::kNone, nullptr, "first found inside ODBC.INI"},
    {"JULIB.INI.bak", 0, kFile, RootIs::kNone, nullptr, "longer than the name"},
    {"", 0, kFile, RootIs::kNone, nullptr, "empty"},
    // Registry paths, only with the flag.
    {"HKEY_LOCAL_MACHINE\\SOFTWARE\\X\\", 1, kRegistry, RootIs::kMachine, "SOFTWARE\\X\\", ""},
    {"HKEY_LOCAL_MACHINE\\SOFTWARE\\X\\", 0, kFile, RootIs::kNone, nullptr, "no flag"},
    {"HKEY_CURRENT_USER\\Software\\Y", 7, kRegistry, RootIs::kUser, "Software\\Y", "any flag value"},
    {"HKEY_CURRENT_USER\\", 1, kRegistry, RootIs::kUser, "", "the root itself"},
    {"HKEY_CURRENT_USER", 1, kFile, RootIs::kNone, nullptr, "no backslash"},
    {"HKEY_CURRENT_USER/Software", 1, kFile, RootIs::kNone, nullptr, "registry paths use '\\'"},
    {"hkey_current_user\\Software", 1, kFile, RootIs::kNone, nullptr, "case"},
    {"HKEY_USERS\\Software", 1, kFile, RootIs::kNone, nullptr, "other roots"},
};

JuRegKey expectedRoot(RootIs root) {
  switch (root) {
    case RootIs::kUser:
      return currentUser();
    case RootIs::kMachine:
      return localMachine();
    case RootIs::kNone:
      break;
  }
  return nullptr;
}

std::u16string widen(const char* ascii) { return std::u16string(ascii, ascii + std::strlen(ascii)); }

TEST(ProfileMap, NamesAndPaths) {
  for (const MapRow& row : kMapRows) {
    SCOPED_TRACE(std::string(row.name) + " paths=" + std::to_string(row.paths) + " " + row.note);
    JuRegKey root = nullptr;
    char key[512] = "untouched";
    EXPECT_EQ(juMapProfileToRegistry(&root, key, sizeof key, row.name, row.paths), row.route);
    EXPECT_EQ(root, expectedRoot(row.root));
    EXPECT_STREQ(key, row.key != nullptr ? row.key : "untouched");

    JuRegKey wideRoot = nullptr;
    char16_t wideKey[512] = u"untouched";
    EXPECT_EQ(juMapProfileToRegistryW(&wideRoot, wideKey, 512, widen(row.name).c_str(), row.paths), row.route);
    EXPECT_EQ(wideRoot, expectedRoot(row.root));
    EXPECT_EQ(std::u16string(wideKey), widen(row.key != nullptr ? row.key : "untouched"));
  }
}

TEST(ProfileMap, NullNameAndOutputsAreFiles) {
  JuRegKey root = nullptr;
  char key[8] = "x";
  EXPECT_EQ(juMapProfileToRegistry(&root, key, sizeof key, nullptr, 1), kFile);
  EXPECT_EQ(juMapProfileToRegistryW(&root, nullptr, 0, nullptr, 1), kFile);
  // Null outputs are skipped, the route is still told.
  EXPECT_EQ(juMapProfileToRegistry(nullptr, nullptr, 0, "JULIB.INI", 0), kRegistry);
  EXPECT_EQ(juMapProfileToRegistryW(nullptr, nullptr, 0, u"ODBC.INI", 0), kInstaller);
}

// The key path is cut to its buffer, always terminated.
TEST(ProfileMap, KeyPathBuffer) {
  const std::string prefix = "SOFTWARE\\Volmaresk\\JULIB.INI\\";
  const struct {
    size_t size;
    size_t kept;
  } rows[] = {{1, 0}, {2, 1}, {prefix.size(), prefix.size() - 1}, {prefix.size() + 1, prefix.size()}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.size);
    char key[64];
    std::memset(key, 'Z', sizeof key);
    ASSERT_EQ(juMapProfileToRegistry(nullptr, key, row.size, "JULIB.INI", 0), kRegistry);
    EXPECT_EQ(std::string(key), prefix.substr(0, row.kept));
    EXPECT_EQ(key[row.size], 'Z');  // nothing past the buffer

    char16_t wideKey[64];
    std::fill(wideKey, wideKey + 64, u'Z');
    ASSERT_EQ(juMapProfileToRegistryW(nullptr, wideKey, row.size, u"JULIB.INI", 0), kRegistry);
    EXPECT_EQ(std::u16string(wideKey), widen(prefix.substr(0, row.kept).c_str()));
    EXPECT_EQ(wideKey[row.size], u'Z');
  }
  char untouched = 'Z';
  EXPECT_EQ(juMapProfileToRegistry(nullptr, &untouched, 0, "JULIB.INI", 0), kRegistry);
  EXPECT_EQ(untouched, 'Z');
}

// In code page 932 the byte 0x5C after a lead byte is the second half of a
// character, not a directory separator.
TEST(ProfileMap, DoubleByteNamesStepWholeCharacters) {
  const char* name = "\x95\x5CJULIB.INI";  // U+8868 then "JULIB.INI" in 932
  {
    jutest::ScopedCodePage sjis(932);
    EXPECT_EQ(juMapProfileToRegistry(nullptr, nullptr, 0, name, 0), kFile);
    EXPECT_EQ(juMapProfileToRegistry(nullptr, nullptr, 0, "\x95\x5C\\JULIB.INI", 0), kRegistry);
  }
  // In 1252 the same bytes are a bullet and a backslash.
  EXPECT_EQ(juMapProfileToRegistry(nullptr, nullptr, 0, name, 0), kRegistry);
}

}  // namespace
