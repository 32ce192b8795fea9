// The registry route on a real store in a temporary folder: round trips of
// the narrow and UTF-16 forms, listings and their cuts, defaults, long
// values, deletes, key paths that do not fit, the registry helpers, and the
// UTF-16 forms in ANSI mode.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "julib/profile.h"
#include "profile_test_util.h"
#include "testing/allocation_faults.h"
#include "testing/ju_test.h"

namespace {

using jutest::currentUser;
using jutest::keyExists;
using jutest::localMachine;
using jutest::names;
using jutest::regValue;
using jutest::units;

constexpr char kIni[] = "JULIB.INI";
constexpr char16_t kIniW[] = u"JULIB.INI";
const std::u16string kPrefix = u"SOFTWARE\\Volmaresk\\JULIB.INI\\";

class ProfileRegistry : public jutest::JuTest {
 protected:
  jutest::ScopedRegistry registry_;

  static std::string get(const char* section, const char* key, const char* fallback = "", size_t size = 4096) {
    std::vector<char> buffer(size + 1, 'Z');
    const size_t n = juGetPrivateProfileString(section, key, fallback, buffer.data(), size, kIni, 0);
    EXPECT_LT(n, size);
    return std::string(buffer.data(), n);
  }
  static std::u16string getW(const char16_t* section, const char16_t* key, const char16_t* fallback = u"",
                             size_t size = 4096) {
    std::vector<char16_t> buffer(size + 1, u'Z');
    const size_t n = juGetPrivateProfileStringW(section, key, fallback, buffer.data(), size, kIniW, 0);
    EXPECT_LT(n, size);
    return std::u16string(buffer.data(), n);
  }
};

// ---------------------------------------------------------------------------
// Round trips.
// ---------------------------------------------------------------------------

TEST_F(ProfileRegistry, NarrowAndWideRoundTripNonAsciiText) {
  // 1252 bytes: e acute, u umlaut, the euro sign.
  ASSERT_EQ(juWritePrivateProfileString("Sekti\xF6n", "Gr\xFC\xDF", "caf\xE9 \x80", kIni, 0), 0);
  EXPECT_EQ(get("Sekti\xF6n", "Gr\xFC\xDF"), "caf\xE9 \x80");
  EXPECT_EQ(getW(u"Sekti\u00F6n", u"Gr\u00FC\u00DF"), u"caf\u00E9 \u20AC");
  EXPECT_EQ(regValue(currentUser(), kPrefix + u"Sekti\u00F6n", u"Gr\u00FC\u00DF"), u"caf\u00E9 \u20AC");

  // UTF-16 keeps what the ANSI code page cannot; the narrow form shows '?'.
  ASSERT_EQ(juWritePrivateProfileStringW(u"Sekti\u00F6n", u"Nihongo", u"\u65E5\u672C \u00E9", kIniW, 0), 0);
  EXPECT_EQ(getW(u"Sekti\u00F6n", u"Nihongo"), u"\u65E5\u672C \u00E9");
  EXPECT_EQ(get("Sekti\xF6n", "Nihongo"), "?? \xE9");
  ASSERT_EQ(juWritePrivateProfileStringW(u"S", u"Nihongo", u"\u65E5\u672C \u00E9", kIniW, 0), 0);
  jutest::ScopedCodePage sjis(932);
  EXPECT_EQ(get("S", "Nihongo"), "\x93\xFA\x96\x7B ?");
  ASSERT_EQ(juWritePrivateProfileString("S", "Sjis", "\x93\xFA", kIni, 0), 0);
  EXPECT_EQ(getW(u"S", u"Sjis"), u"\u65E5");
}

TEST_F(ProfileRegistry, RowsReachTheirRoots) {
  ASSERT_EQ(juWritePrivateProfileString("Driver", "Setup", "x.so", "ODBCINST.INI", 0), 0);
  EXPECT_EQ(regValue(localMachine(), u"SOFTWARE\\ODBC\\ODBCINST.INI\\Driver", u"Setup"), u"x.so");
  ASSERT_EQ(juWritePrivateProfileStringW(u"Desktop", u"Wall", u"blue", u"C:\\WINDOWS\\CONTROL.INI", 0), 0);
  EXPECT_EQ(regValue(currentUser(), u"Control Panel\\Desktop", u"Wall"), u"blue");
  ASSERT_EQ(juWritePrivateProfileString("Sub", "K", "v", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\", 1), 0);
  EXPECT_EQ(regValue(localMachine(), u"SOFTWARE\\Test\\Sub", u"K"), u"v");
  EXPECT_EQ(get(nullptr, nullptr, "none"), "none");  // JULIB.INI itself is still empty
}

// ---------------------------------------------------------------------------
// Reads.
// ---------------------------------------------------------------------------

TEST_F(ProfileRegistry, DefaultsForWhatIsMissing) {
  ASSERT_EQ(juWritePrivateProfileString("S", "K", "v", kIni, 0), 0);
  EXPECT_EQ(get("S", "Missing", "dflt"), "dflt");
  EXPECT_EQ(get("Missing", "K", "dflt"), "dflt");
  EXPECT_EQ(get("Missing", nullptr, "dflt"), "dflt");  // a list without names
  EXPECT_EQ(get("S", "Missing", nullptr), "");
  EXPECT_EQ(getW(u"S", u"Missing", u"dflt"), u"dflt");
  EXPECT_EQ(getW(u"S", u"Missing", nullptr), u"");
  // The default is cut like a value, to whole characters.
  char buffer[4];
  EXPECT_EQ(juGetPrivateProfileString("S", "Missing", "abcdef", buffer, 4, kIni, 0), 3u);
  EXPECT_STREQ(buffer, "abc");
  jutest::ScopedCodePage sjis(932);
  EXPECT_EQ(juGetPrivateProfileString("S", "Missing", "\x82\xA0\x82\xA2", buffer, 4, kIni, 0), 2u);
  EXPECT_STREQ(buffer, "\x82\xA0");
}

// A value longer than the first buffer is read whole, never taken for a
// missing one.
TEST_F(ProfileRegistry, LongValuesAreReadWhole) {
  const std::string longValue(3000, 'x');
  ASSERT_EQ(juWritePrivateProfileString("S", "Long", longValue.c_str(), kIni, 0), 0);
  EXPECT_EQ(get("S", "Long", "dflt", 4096), longValue);
  EXPECT_EQ(getW(u"S", u"Long", u"dflt", 4096), std::u16string(3000, u'x'));
  EXPECT_EQ(get("S", "Long", "dflt", 101), longValue.substr(0, 100));  // cut to the buffer
}

// Subkeys "ab" and "cd": a list of 6 units and its last terminator.
TEST_F(ProfileRegistry, SubkeyListingsAndTheirCuts) {
  ASSERT_EQ(juWritePrivateProfileString("ab", "k", "1", kIni, 0), 0);
  ASSERT_EQ(juWritePrivateProfileString("cd", "k", "1", kIni, 0), 0);
  const struct {
    size_t size;
    size_t result;
    const char* text;  // the first `size` units
  } rows[] = {
      {1, 0, "\0"},                    // a terminator only
      {2, 0, "\0\0"},                  // cut: nothing fits
      {3, 1, "\0\0\0"},                // cut: "ab" needs 4 with the list's end
      {4, 2, "ab\0\0"},                // cut, "ab" kept
      {6, 4, "ab\0\0\0\0"},            // cut: "cd\0" fits, the list's end does not
      {7, 6, "ab\0cd\0\0"},            // exactly fits: complete
      {8, 6, "ab\0cd\0\0"},            // one more
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.size);
    for (const char* section : {static_cast<const char*>(nullptr), ""}) {
      char buffer[16];
      std::memset(buffer, 'Z', sizeof buffer);
      EXPECT_EQ(juGetPrivateProfileString(section, "ignored", "dflt", buffer, row.size, kIni, 0), row.result);
      const size_t shown = row.size < 7 ? row.size : 7;
      EXPECT_EQ(units(buffer, shown), std::string(row.text, shown));
      EXPECT_EQ(buffer[row.size], 'Z');  // nothing past the buffer
    }
    char16_t wide[16];
    std::fill(wide, wide + 16, u'Z');
    EXPECT_EQ(juGetPrivateProfileStringW(nullptr, nullptr, u"dflt", wide, row.size, kIniW, 0), row.result);
    const size_t shown = row.size < 7 ? row.size : 7;
    EXPECT_EQ(units(wide, shown), std::u16string(row.text, row.text + shown));
    EXPECT_EQ(wide[row.size], u'Z');
  }
  char untouched = 'Z';
  EXPECT_EQ(juGetPrivateProfileString(nullptr, nullptr, "dflt", &untouched, 0, kIni, 0), 0u);
  EXPECT_EQ(untouched, 'Z');
}

TEST_F(ProfileRegistry, ValueNameListings) {
  // A value too long for the listing's old 512-byte data buffer comes first:
  // it must not end the listing.
  ASSERT_EQ(juWritePrivateProfileString("S", "Big", std::string(600, 'v').c_str(), kIni, 0), 0);
  ASSERT_EQ(juWritePrivateProfileString("S", "K\xE9", "1", kIni, 0), 0);
  EXPECT_EQ(get("S", nullptr), std::string("Big\0K\xE9\0", 7));
  EXPECT_EQ(get("S", ""), std::string("Big\0K\xE9\0", 7));
  EXPECT_EQ(getW(u"S", nullptr), std::u16string(u"Big\0K\u00E9\0", 7));
  char buffer[8];
  EXPECT_EQ(juGetPrivateProfileString("S", nullptr, "", buffer, 8, kIni, 0), 7u);  // exactly fits
  EXPECT_EQ(juGetPrivateProfileString("S", nullptr, "", buffer, 7, kIni, 0), 5u);  // cut
  EXPECT_EQ(units(buffer, 7), std::string("Big\0\0\0\0", 7));
}

// A listing is bounded by the caller's buffer, not by a fixed one.
TEST_F(ProfileRegistry, LongListingsFitLargeBuffers) {
  std::string expected;
  for (int i = 0; i < 300; ++i) {
    const std::string name = "Key" + std::to_string(1000 + i);
    ASSERT_EQ(juWritePrivateProfileString("Many", name.c_str(), "1", kIni, 0), 0);
    expected += name + '\0';
  }
  ASSERT_GT(expected.size(), 2048u);
  EXPECT_EQ(get("Many", nullptr, "", 4096), expected);
  std::vector<char16_t> wide(4096);
  EXPECT_EQ(juGetPrivateProfileStringW(u"Many", nullptr, u"", wide.data(), 4096, kIniW, 0), expected.size());
}

// ---------------------------------------------------------------------------
// Writes and deletes.
// ---------------------------------------------------------------------------

TEST_F(ProfileRegistry, EmptyValueDeletesTheValue) {
  ASSERT_EQ(juWritePrivateProfileString("S", "K", "v", kIni, 0), 0);
  ASSERT_EQ(juWritePrivateProfileString("S", "Other", "w", kIni, 0), 0);
  EXPECT_EQ(juWritePrivateProfileString("S", "K", "", kIni, 0), 0);
  EXPECT_EQ(get("S", "K", "gone"), "gone");
  EXPECT_EQ(get("S", "Other"), "w");
  EXPECT_EQ(juWritePrivateProfileStringW(u"S", u"Other", nullptr, kIniW, 0), 0);
  EXPECT_EQ(get("S", "Other", "gone"), "gone");
  // What does not exist is deleted already.
  EXPECT_EQ(juWritePrivateProfileString("S", "K", nullptr, kIni, 0), 0);
  EXPECT_EQ(juWritePrivateProfileString("NoSuchSection", "K", "", kIni, 0), 0);
}

TEST_F(ProfileRegistry, NullKeyDeletesTheSectionsSubtree) {
  ASSERT_EQ(juWritePrivateProfileString("Tree", "K", "v", kIni, 0), 0);
  ASSERT_EQ(juWritePrivateProfileString("Tree\\Sub\\Deep", "K", "v", kIni, 0), 0);
  ASSERT_EQ(juWritePrivateProfileString("Tree\\Sub2", "K", "v", kIni, 0), 0);
  ASSERT_EQ(juWritePrivateProfileString("Sibling", "K", "v", kIni, 0), 0);
  EXPECT_EQ(juWritePrivateProfileString("Tree", nullptr, nullptr, kIni, 0), 0);
  EXPECT_FALSE(keyExists(currentUser(), kPrefix + u"Tree"));
  EXPECT_EQ(get("Sibling", "K"), "v");
  // A section of several keys deletes only the last one's tree.
  ASSERT_EQ(juWritePrivateProfileStringW(u"A\\B\\C", u"K", u"v", kIniW, 0), 0);
  EXPECT_EQ(juWritePrivateProfileStringW(u"A\\B", u"", nullptr, kIniW, 0), 0);
  EXPECT_FALSE(keyExists(currentUser(), kPrefix + u"A\\B"));
  EXPECT_TRUE(keyExists(currentUser(), kPrefix + u"A"));
  // A null or empty section deletes nothing; a missing one is deleted already.
  EXPECT_EQ(juWritePrivateProfileString(nullptr, nullptr, nullptr, kIni, 0), 0);
  EXPECT_EQ(juWritePrivateProfileString("", nullptr, nullptr, kIni, 0), 0);
  EXPECT_EQ(get("Sibling", "K"), "v");
  EXPECT_EQ(juWritePrivateProfileString("NoSuchSection", nullptr, nullptr, kIni, 0), 0);
}

// The 512-character key path: a section that does not fit is refused, never
// cut (a cut path would name another key).
TEST_F(ProfileRegistry, KeyPathsThatDoNotFitFail) {
  const size_t room = 511 - kPrefix.size();
  const std::string fits(room, 's');
  const std::string tooLong(room + 1, 's');
  EXPECT_EQ(juWritePrivateProfileString(fits.c_str(), "K", "v", kIni, 0), 0);
  EXPECT_EQ(get(fits.c_str(), "K", "dflt"), "v");
  EXPECT_EQ(juWritePrivateProfileString(tooLong.c_str(), "K", "v", kIni, 0), 1);
  EXPECT_EQ(get(tooLong.c_str(), "K", "dflt"), "dflt");
  EXPECT_EQ(get(nullptr, nullptr), fits + '\0');  // nothing was written under a cut name

  const std::u16string fitsW(room, u's');
  const std::u16string tooLongW(room + 1, u's');
  EXPECT_EQ(getW(fitsW.c_str(), u"K", u"dflt"), u"v");
  EXPECT_EQ(juWritePrivateProfileStringW(tooLongW.c_str(), u"K", u"v", kIniW, 0), 1);
  EXPECT_EQ(getW(tooLongW.c_str(), u"K", u"dflt"), u"dflt");
}

// Every allocation of a read may fail: the read then gives the default and
// reports out of memory, and nothing leaks.
TEST_F(ProfileRegistry, ReadsSurviveFailedAllocations) {
  const std::string longValue(3000, 'x');  // beyond every buffer held in place
  ASSERT_EQ(juWritePrivateProfileString("S", "Long", longValue.c_str(), kIni, 0), 0);
  const std::string longSection(400, 's');
  static char narrow[4096];
  static char16_t wide[4096];
  static char missing[16];
  jutest::failEachAllocation(
      [&](jutest::AllocationFault& fault) {
        jutest::ScopedErrorList errors;
        // Nothing but the reads allocates while the fault is armed.
        fault.arm();
        const size_t narrowLength = juGetPrivateProfileString("S", "Long", "dflt", narrow, 4096, kIni, 0);
        const size_t wideLength = juGetPrivateProfileStringW(u"S", u"Long", u"dflt", wide, 4096, kIniW, 0);
        const size_t missingLength =
            juGetPrivateProfileString(longSection.c_str(), "K", "dflt", missing, 16, kIni, 0);
        const bool failed = fault.disarm();
        const std::string narrowText(narrow, narrowLength);
        const std::u16string wideText(wide, wideLength);
        if (!failed) {
          EXPECT_EQ(narrowText, longValue);
          EXPECT_EQ(wideText, std::u16string(3000, u'x'));
          EXPECT_GT(fault.nth(), 3u);  // the reads did allocate
          return;
        }
        EXPECT_TRUE(narrowText == longValue || narrowText == "dflt");
        EXPECT_TRUE(wideText == std::u16string(3000, u'x') || wideText == u"dflt");
        EXPECT_EQ(std::string(missing, missingLength), "dflt");
        EXPECT_EQ(errors.ids(), std::vector<uint16_t>{kJuMsgOutOfMemory});
        ASSERT_LT(fault.nth(), 50u);
      },
      /*limit=*/50);
}

// ---------------------------------------------------------------------------
// The registry helpers.
// ---------------------------------------------------------------------------

TEST_F(ProfileRegistry, RegGetStringW) {
  ASSERT_EQ(juWritePrivateProfileStringW(u"S", u"K", u"hello", kIniW, 0), 0);
  const std::u16string key = kPrefix + u"S";
  const struct {
    size_t size;
    size_t result;
    const char16_t* text;
  } rows[] = {
      {16, 5, u"hello"}, {6, 5, u"hello"},  // exactly fits
      {5, kJuRegGetStringFailed, u""},      // no room for the terminator
      {1, kJuRegGetStringFailed, u""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.size);
    char16_t buffer[17];
    std::fill(buffer, buffer + 17, u'Z');
    EXPECT_EQ(juRegGetStringW(currentUser(), key.c_str(), u"K", buffer, row.size), row.result);
    EXPECT_EQ(std::u16string(buffer), row.text);
    EXPECT_EQ(buffer[row.size], u'Z');
  }
  char16_t untouched = u'Z';
  EXPECT_EQ(juRegGetStringW(currentUser(), key.c_str(), u"K", &untouched, 0), kJuRegGetStringFailed);
  EXPECT_EQ(untouched, u'Z');
  char16_t buffer[8];
  EXPECT_EQ(juRegGetStringW(currentUser(), key.c_str(), u"Missing", buffer, 8), kJuRegGetStringFailed);
  EXPECT_EQ(juRegGetStringW(currentUser(), u"No\\Such\\Key", u"K", buffer, 8), kJuRegGetStringFailed);
}

TEST_F(ProfileRegistry, RegDeleteKeyTree) {
  for (const char16_t* section : {u"T\\A\\B", u"T\\A\\C", u"T\\D", u"Keep"}) {
    ASSERT_EQ(juWritePrivateProfileStringW(section, u"K", u"v", kIniW, 0), 0);
  }
  platform::registry::KeyHandle parent = nullptr;
  ASSERT_EQ(platform::registry::openKey(currentUser(), kPrefix, &parent), platform::registry::Status::kOk);
  // A null or empty name never deletes the parent's subkeys.
  juRegDeleteKeyTree(parent, nullptr);
  juRegDeleteKeyTree(parent, "");
  juRegDeleteKeyTreeW(parent, u"");
  EXPECT_TRUE(keyExists(currentUser(), kPrefix + u"T\\A\\B"));
  juRegDeleteKeyTree(parent, "Missing");
  juRegDeleteKeyTree(parent, "T");
  EXPECT_FALSE(keyExists(currentUser(), kPrefix + u"T"));
  EXPECT_TRUE(keyExists(currentUser(), kPrefix + u"Keep"));
  // A subkey the ANSI code page cannot name is deleted with its parent.
  ASSERT_EQ(juWritePrivateProfileStringW(u"U\\\u65E5\u672C", u"K", u"v", kIniW, 0), 0);
  juRegDeleteKeyTree(parent, "U");
  EXPECT_FALSE(keyExists(currentUser(), kPrefix + u"U"));
  juRegDeleteKeyTreeW(parent, u"Keep");
  EXPECT_FALSE(keyExists(currentUser(), kPrefix + u"Keep"));
  platform::registry::closeKey(parent);
}

// ---------------------------------------------------------------------------
// ANSI mode: the UTF-16 forms go through the narrow ones.
// ---------------------------------------------------------------------------

TEST_F(ProfileRegistry, AnsiModeKeepsWholeListsAndCountsWithoutTheTerminator) {
  jutest::ScopedAnsiMode ansi;
  ASSERT_EQ(juWritePrivateProfileStringW(u"ab", u"K\u00E9", u"caf\u00E9", kIniW, 0), 0);
  ASSERT_EQ(juWritePrivateProfileStringW(u"cd", u"K", u"v", kIniW, 0), 0);
  EXPECT_EQ(get("ab", "K\xE9"), "caf\xE9");
  EXPECT_EQ(getW(u"ab", u"K\u00E9"), u"caf\u00E9");
  EXPECT_EQ(getW(nullptr, nullptr), std::u16string(u"ab\0cd\0", 6));
  char16_t buffer[8];
  EXPECT_EQ(juGetPrivateProfileStringW(nullptr, nullptr, u"", buffer, 7, kIniW, 0), 6u);
  EXPECT_EQ(units(buffer, 7), std::u16string(u"ab\0cd\0\0", 7));
  EXPECT_EQ(juGetPrivateProfileStringW(nullptr, nullptr, u"", buffer, 6, kIniW, 0), 4u);  // cut
  EXPECT_EQ(units(buffer, 6), std::u16string(u"ab\0\0\0\0", 6));
  EXPECT_EQ(juGetPrivateProfileStringW(u"ab", u"Missing", u"dflt", buffer, 8, kIniW, 0), 4u);
  // A text the ANSI code page cannot hold is refused, not written as '?'.
  EXPECT_EQ(juWritePrivateProfileStringW(u"ab", u"K", u"\u65E5", kIniW, 0), 1);
  EXPECT_EQ(juWritePrivateProfileStringW(u"\u65E5", u"K", u"v", kIniW, 0), 1);
  EXPECT_EQ(get(nullptr, nullptr), std::string("ab\0cd\0", 6));
  EXPECT_EQ(getW(u"\u65E5", u"K", u"dflt"), u"dflt");
}

}  // namespace
