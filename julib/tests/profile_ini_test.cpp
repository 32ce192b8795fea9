// The plain INI route on real files in a temporary folder: the narrow and
// UTF-16 forms agree on one UTF-8 file, cuts keep whole characters, listings
// and their cuts, small buffers, deletes, results of writes, and the UTF-16
// forms in ANSI mode.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "julib/profile.h"
#include "profile_test_util.h"
#include "testing/ju_test.h"

namespace {

using jutest::readWholeFile;
using jutest::units;
using jutest::wide;

class ProfileIni : public jutest::JuTest {
 protected:
  jutest::ScopedRegistry registry_;  // so that no stray request reaches the user's store
  jutest::TempDir dir_;
  std::string file_ = dir_ / "test.ini";
  std::u16string fileW_ = wide(file_);

  std::string get(const char* section, const char* key, const char* fallback = "", size_t size = 1024) {
    std::vector<char> buffer(size + 1, 'Z');
    const size_t n = juGetPrivateProfileString(section, key, fallback, buffer.data(), size, file_.c_str(), 0);
    EXPECT_EQ(buffer[size], 'Z');
    return std::string(buffer.data(), n);
  }
  std::u16string getW(const char16_t* section, const char16_t* key, const char16_t* fallback = u"",
                      size_t size = 1024) {
    std::vector<char16_t> buffer(size + 1, u'Z');
    const size_t n = juGetPrivateProfileStringW(section, key, fallback, buffer.data(), size, fileW_.c_str(), 0);
    EXPECT_EQ(buffer[size], u'Z');
    return std::u16string(buffer.data(), n);
  }
};

TEST_F(ProfileIni, NarrowAndWideAgreeOnOneUtf8File) {
  ASSERT_EQ(juWritePrivateProfileString("Sekti\xF6n", "Gr\xFC\xDF", "caf\xE9 \x80", file_.c_str(), 0), 0);
  EXPECT_NE(readWholeFile(file_).find("caf\xC3\xA9 \xE2\x82\xAC"), std::string::npos) << readWholeFile(file_);
  EXPECT_EQ(get("Sekti\xF6n", "Gr\xFC\xDF"), "caf\xE9 \x80");
  EXPECT_EQ(getW(u"Sekti\u00F6n", u"Gr\u00FC\u00DF"), u"caf\u00E9 \u20AC");

  ASSERT_EQ(juWritePrivateProfileStringW(u"Sekti\u00F6n", u"Wide", u"\u65E5\u672C\u8A9E \u00FC", fileW_.c_str(), 0),
            0);
  EXPECT_NE(readWholeFile(file_).find("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xC3\xBC"), std::string::npos);
  EXPECT_EQ(getW(u"Sekti\u00F6n", u"Wide"), u"\u65E5\u672C\u8A9E \u00FC");
  EXPECT_EQ(get("Sekti\xF6n", "Wide"), "??? \xFC");
  ASSERT_EQ(juWritePrivateProfileStringW(u"S", u"Wide", u"\u65E5\u672C\u8A9E \u00FC", fileW_.c_str(), 0), 0);
  jutest::ScopedCodePage sjis(932);
  EXPECT_EQ(get("S", "Wide"), "\x93\xFA\x96\x7B\x8C\xEA ?");
  ASSERT_EQ(juWritePrivateProfileString("S", "Sjis", "\x93\xFA", file_.c_str(), 0), 0);
  EXPECT_EQ(getW(u"S", u"Sjis"), u"\u65E5");
}

// A file name with non-ASCII characters is the same file in both forms.
TEST_F(ProfileIni, FileNamesAreUtf8) {
  const std::string name = dir_ / "n\xC3\xA4me.ini";  // UTF-8 bytes, as the system stores them
  ASSERT_EQ(juWritePrivateProfileStringW(u"S", u"K", u"v", wide(name).c_str(), 0), 0);
  char buffer[8];
  EXPECT_EQ(juGetPrivateProfileString("S", "K", "", buffer, 8, name.c_str(), 0), 1u);
  EXPECT_STREQ(buffer, "v");
}

// Cuts of narrow results keep whole double-byte characters.
TEST_F(ProfileIni, NarrowCutsKeepWholeCharacters) {
  ASSERT_EQ(juWritePrivateProfileStringW(u"S", u"K", u"\u65E5\u672Cx", fileW_.c_str(), 0), 0);
  jutest::ScopedCodePage sjis(932);  // 2 + 2 + 1 bytes
  const struct {
    size_t size;
    size_t result;
    const char* text;
  } rows[] = {{2, 0, ""}, {3, 2, "\x93\xFA"}, {4, 2, "\x93\xFA"}, {5, 4, "\x93\xFA\x96\x7B"},
              {6, 5, "\x93\xFA\x96\x7Bx"}, {7, 5, "\x93\xFA\x96\x7Bx"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.size);
    const std::string got = get("S", "K", "", row.size);
    EXPECT_EQ(got.size(), row.result);
    EXPECT_EQ(got, row.text);
  }
}

// Sections "ab" and "cd": a list of 6 units and its last terminator.
TEST_F(ProfileIni, ListingsAndTheirCuts) {
  ASSERT_EQ(juWritePrivateProfileString("ab", "k1", "1", file_.c_str(), 0), 0);
  ASSERT_EQ(juWritePrivateProfileString("ab", "k2", "2", file_.c_str(), 0), 0);
  ASSERT_EQ(juWritePrivateProfileString("cd", "k", "1", file_.c_str(), 0), 0);
  EXPECT_EQ(get("ab", nullptr), std::string("k1\0k2\0", 6));
  EXPECT_EQ(getW(u"ab", nullptr), std::u16string(u"k1\0k2\0", 6));
  const struct {
    size_t size;
    size_t result;
    bool cut;
  } rows[] = {{2, 0, true}, {3, 1, true}, {6, 4, true}, {7, 6, false}, {8, 6, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.size);
    char buffer[16];
    std::memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(juGetPrivateProfileString(nullptr, nullptr, "", buffer, row.size, file_.c_str(), 0), row.result);
    // Two terminators end the list, or the buffer when it was cut.
    const size_t end = row.cut ? row.size : row.result + 1;
    EXPECT_EQ(buffer[end - 1], 0);
    EXPECT_EQ(buffer[end - 2], 0);
    EXPECT_EQ(buffer[row.size], 'Z');
    if (row.result == 6) {
      EXPECT_EQ(units(buffer, 7), std::string("ab\0cd\0\0", 7));
    }
    if (row.size == 6) {
      EXPECT_EQ(units(buffer, 6), std::string("ab\0\0\0\0", 6));
    }

    char16_t wideBuffer[16];
    std::fill(wideBuffer, wideBuffer + 16, u'Z');
    EXPECT_EQ(juGetPrivateProfileStringW(nullptr, nullptr, u"", wideBuffer, row.size, fileW_.c_str(), 0),
              row.result);
    EXPECT_EQ(wideBuffer[end - 1], 0);
    EXPECT_EQ(wideBuffer[end - 2], 0);
    EXPECT_EQ(wideBuffer[row.size], u'Z');
  }
}

// Buffers of fewer than two units, on every route.
TEST_F(ProfileIni, TinyBuffers) {
  ASSERT_EQ(juWritePrivateProfileString("ab", "k", "value", file_.c_str(), 0), 0);
  ASSERT_EQ(juWritePrivateProfileString("ab", "k", "value", "JULIB.INI", 0), 0);
  for (const std::string& name : {file_, std::string("JULIB.INI")}) {
    for (const char* key : {"k", static_cast<const char*>(nullptr)}) {
      SCOPED_TRACE(name + (key != nullptr ? " value" : " list"));
      char buffer[2] = {'Z', 'Z'};
      EXPECT_EQ(juGetPrivateProfileString("ab", key, "dflt", buffer, 0, name.c_str(), 0), 0u);
      EXPECT_EQ(buffer[0], 'Z');
      EXPECT_EQ(juGetPrivateProfileString("ab", key, "dflt", buffer, 1, name.c_str(), 0), 0u);
      EXPECT_EQ(buffer[0], 0);
      EXPECT_EQ(buffer[1], 'Z');
      EXPECT_EQ(juGetPrivateProfileString("ab", key, "dflt", nullptr, 16, name.c_str(), 0), 0u);
      char16_t wideBuffer[2] = {u'Z', u'Z'};
      EXPECT_EQ(juGetPrivateProfileStringW(u"ab", key != nullptr ? u"k" : nullptr, u"dflt", wideBuffer, 1,
                                           wide(name).c_str(), 0),
                0u);
      EXPECT_EQ(wideBuffer[0], 0);
      EXPECT_EQ(wideBuffer[1], u'Z');
    }
  }
}

TEST_F(ProfileIni, DefaultsAndDeletes) {
  EXPECT_EQ(get("S", "K", "dflt"), "dflt");  // no file yet
  EXPECT_EQ(get("S", "K", nullptr), "");
  ASSERT_EQ(juWritePrivateProfileString("S", "K", "v", file_.c_str(), 0), 0);
  ASSERT_EQ(juWritePrivateProfileString("S", "Other", "w", file_.c_str(), 0), 0);
  EXPECT_EQ(juWritePrivateProfileString("S", "K", nullptr, file_.c_str(), 0), 0);
  EXPECT_EQ(get("S", "K", "gone"), "gone");
  EXPECT_EQ(get("S", "Other"), "w");
  EXPECT_EQ(juWritePrivateProfileStringW(u"S", nullptr, nullptr, fileW_.c_str(), 0), 0);
  EXPECT_EQ(get("S", "Other", "gone"), "gone");
}

// A key that exists reads as its value in every form, also an empty one.
TEST_F(ProfileIni, EmptyValuesAreValues) {
  dir_.write("test.ini", "[S]\nBlank= \nQuoted=\"\"\n");
  ASSERT_EQ(juWritePrivateProfileString("S", "Written", "", file_.c_str(), 0), 0);
  for (const char* key : {"Blank", "Quoted", "Written"}) {
    SCOPED_TRACE(key);
    EXPECT_EQ(get("S", key, "dflt"), "");
    EXPECT_EQ(getW(u"S", wide(key).c_str(), u"dflt"), u"");
    jutest::ScopedAnsiMode ansi;
    EXPECT_EQ(getW(u"S", wide(key).c_str(), u"dflt"), u"");
  }
}

// Every route reports 0 on success and 1 on failure.
TEST_F(ProfileIni, WriteResults) {
  const std::string missingDir = dir_ / "no/such/dir/x.ini";
  EXPECT_EQ(juWritePrivateProfileString("S", "K", "v", missingDir.c_str(), 0), 1);
  EXPECT_EQ(juWritePrivateProfileStringW(u"S", u"K", u"v", wide(missingDir).c_str(), 0), 1);
  EXPECT_EQ(juWritePrivateProfileString("S", "K=", "v", file_.c_str(), 0), 1);  // would read back as another key
  EXPECT_EQ(juWritePrivateProfileString("S", "K", "v", nullptr, 0), 1);
  EXPECT_EQ(juWritePrivateProfileString("S", "K", "v", file_.c_str(), 0), 0);
}

// Only the exact names route elsewhere: "odbc.ini" is a file of its own,
// while JULIB.INI in any directory is the registry.
TEST_F(ProfileIni, RoutesByName) {
  const std::string lower = dir_ / "odbc.ini";
  ASSERT_EQ(juWritePrivateProfileString("S", "K", "v", lower.c_str(), 0), 0);
  EXPECT_NE(readWholeFile(lower).find("K=v"), std::string::npos);
  const std::string registryName = dir_ / "JULIB.INI";
  ASSERT_EQ(juWritePrivateProfileString("S", "K", "v", registryName.c_str(), 0), 0);
  EXPECT_FALSE(jutest::pathExists(registryName));
  EXPECT_EQ(jutest::regValue(jutest::currentUser(), u"SOFTWARE\\Volmaresk\\JULIB.INI\\S", u"K"), u"v");
}

// ANSI mode: lists keep every name, counts leave the terminator out, and a
// text the code page cannot hold is refused.
TEST_F(ProfileIni, AnsiMode) {
  ASSERT_EQ(juWritePrivateProfileStringW(u"S\u00E9", u"K1", u"caf\u00E9", fileW_.c_str(), 0), 0);
  ASSERT_EQ(juWritePrivateProfileStringW(u"S\u00E9", u"K2", u"\u65E5", fileW_.c_str(), 0), 0);
  jutest::ScopedAnsiMode ansi;
  EXPECT_EQ(getW(u"S\u00E9", nullptr), std::u16string(u"K1\0K2\0", 6));
  EXPECT_EQ(getW(u"S\u00E9", u"K1"), u"caf\u00E9");
  EXPECT_EQ(getW(u"S\u00E9", u"K2"), u"?");  // read through the code page
  char16_t buffer[6];
  EXPECT_EQ(juGetPrivateProfileStringW(u"S\u00E9", nullptr, u"", buffer, 6, fileW_.c_str(), 0), 4u);
  EXPECT_EQ(units(buffer, 6), std::u16string(u"K1\0\0\0\0", 6));
  EXPECT_EQ(juWritePrivateProfileStringW(u"S\u00E9", u"K3", u"\u65E5", fileW_.c_str(), 0), 1);
  EXPECT_EQ(juWritePrivateProfileStringW(u"S\u00E9", u"K3", u"ok \u20AC", fileW_.c_str(), 0), 0);
  EXPECT_EQ(getW(u"S\u00E9", u"K3"), u"ok \u20AC");
}

}  // namespace
