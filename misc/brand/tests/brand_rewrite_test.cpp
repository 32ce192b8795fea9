// The rewriting of a file's bytes on buffers: the byte search, the message
// prefix, the search entries by kind and case, and the new file names.

#include <cstring>
#include <string>
#include <vector>

#include "brand.h"
#include "brand_rewrite.h"
#include "front_end_doubles.h"

namespace {

using BrandRewrite = branddoubles::BrandTest;
using std::string_literals::operator""s;

void add(JuArrayPVoid& list, const std::string& name) {
  ASSERT_EQ(list.insertAt(juStrNDup(name.c_str(), name.size()), list.count), 0);
}

// The bytes of `text` in a block of exactly their size, so that a write
// past its end is caught by the sanitizers.
std::vector<char> bytesOf(const std::string& text) { return std::vector<char>(text.begin(), text.end()); }

TEST_F(BrandRewrite, FindBytes) {
  const struct {
    std::string buffer, pattern;
    int64_t expected;
  } rows[] = {
      {"abcabc", "ca", 2},
      {"aab", "ab", 1},              // a first byte that does not go on
      {"abc", "c", 2},               // the last byte
      {"x\0y\0z"s, "\0z"s, 3},       // zeros are bytes like any other
      {"abc", "abcd", -1},           // longer than the buffer
      {"abc", "abc", 0},
      {"", "a", -1},
      {"abc", "", -1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.buffer + "/" + row.pattern);
    EXPECT_EQ(brand::findBytes(row.buffer.data(), row.buffer.size(), row.pattern.data(), row.pattern.size()),
              row.expected);
  }
  EXPECT_EQ(brand::findBytes(nullptr, 3, "a", 1), -1);
}

// The old prefix needs as many zero bytes behind it as the new text is
// longer, plus one; an occurrence followed by text stays.
TEST_F(BrandRewrite, MessagePrefixWithZeroPadding) {
  const std::string old = "[Brisklane][ODBC ";
  const struct {
    std::u16string prefix;
    std::string input, expected;
  } rows[] = {
      {u"ACME", "ab" + old + "\0x"s, "ab[ACME][ODBC \0\0\0\0\0\0x"s},
      {u"ACME", old + "Driver", old + "Driver"},
      {u"ACME", old + "\0"s + old + "\0"s, "[ACME][ODBC \0\0\0\0\0\0[ACME][ODBC \0\0\0\0\0\0"s},
      {u"LONGERPREFIX1", old + "\0\0\0\0x"s, old + "\0\0\0\0x"s},
      {u"LONGERPREFIX1", old + "\0\0\0\0\0"s, "[LONGERPREFIX1][ODBC \0"s},
      {u"Soci\u00E9t\u00E9", old + "\0"s, "[Soci\xC3\xA9t\xC3\xA9][ODBC \0"s},
      {u"ACME", old, old},  // shorter than the pattern: nothing to find
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.input);
    brandrewrite::PrefixRewriter patterns;
    ASSERT_EQ(patterns.prepare(row.prefix.c_str()), 0);
    std::vector<char> chunk = bytesOf(row.input);
    const int expected = chunk.size() >= patterns.length() ? 1 : 0;
    EXPECT_EQ(brand::replaceMessagePrefix(chunk.data(), chunk.size(), patterns.oldPattern(), patterns.length(),
                                          patterns.newPattern(), patterns.length()),
              expected);
    EXPECT_EQ(std::string(chunk.begin(), chunk.end()), row.expected);
  }
}

struct Options {
  std::vector<std::string> search;
  uint32_t versionMode = 0;
  uint32_t suffixMode = 0;
  uint32_t siblingMode = 0;
  const char* provider = "Brisklane Closed XML ADO Provider";
};

// Inside a library's bytes; the current file is abora28.dll, the prefix XY,
// the new version 09.01, the suffix 32.
TEST_F(BrandRewrite, SearchEntriesByKindAndCase) {
  const std::string clsid = "{12345678-1234-ABCD-1234-123456789012}";
  const std::string branded = "{12345678-1234-5859-1234-123456789012}";  // "X" 0x58, "Y" 0x59
  const struct {
    const char* note;
    Options setup;
    std::string input, expected;
  } rows[] = {
      {"upper case", {}, "ABORA28.DLL\0"s, "XYORA28.DLL\0"s},
      {"lower case", {}, "abora28.dll\0"s, "xyora28.dll\0"s},
      {"each occurrence keeps its case", {}, "abora28.dll\0ABORA28.DLL\0"s, "xyora28.dll\0XYORA28.DLL\0"s},
      {"a bare name stays", {{"abora28"}}, "abora28\0"s, "abora28\0"s},
      {"... but not for a sibling", {{"abora28"}, 0, 0, 1}, "abora28\0"s, "xyora28\0"s},
      {"suffix in lower-case names", {{}, 0, 1}, "abora28.dll\0ABORA28.DLL"s, "xyora32.dll\0XYORA28.DLL"s},
      {"help file name", {{"abhelp"}}, "abhelpxx.hlp\0abhelp.hl\0"s, "xyhelpxx.hlp\0abhelp.hl\0"s},
      {"a suffix never before index 2", {{"ab"}, 0, 1, 1}, "ab.x\0ab1.x\0abcd.x"s, "xy.x\0xy1.x\0xy32.x"s},
      {"clsid", {{clsid}}, "<" + clsid + ">", "<" + branded + ">"},
      {"clsid in lower case", {{"{abcdefab-1234-abcd-1234-123456789012}"}},
       "{abcdefab-1234-abcd-1234-123456789012}", "{abcdefab-1234-5859-1234-123456789012}"},
      {"a braced entry shorter than a clsid", {{"{ab}"}}, "{AB}{ab}", "{AB}{ab}"},
      {"one character", {{"a"}}, "xxa", "xxa"},
      {"provider as shipped", {{"brisklane closed xml ado provider"}}, "Brisklane Closed XML ADO Provider",
       "Brisklane Closed XML ADO Provider"},
      {"provider", {{"brisklane closed xml ado provider"}, 0, 0, 0, "Acme XML"},
       "Brisklane Closed XML ADO Provider|brisklane closed xml ado provider",
       "Acme XML\0 Closed XML ADO Provider|acme xml\0 closed xml ado provider"s},
      {"provider longer than the chunk's rest",
       {{"brisklane closed xml ado provider"}, 0, 0, 0, "A provider name longer than the maker's own one"},
       "..Brisklane Closed XML ADO Provider", "..A provider name longer than the m"},
      {"version", {{"08.02"}, 1}, "V08.02.0293 08.02", "V09.01.0293 09.01"},
      {"version in its long form", {{"08.02.0293"}, 1}, "V08.02.0293 08.02", "V09.01.0293 08.02"},
      {"a version outside version mode is a name", {{"08.02"}}, "08.02", "XY.02"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    brand object("/d");
    object.setFilePrefix("XY");
    ASSERT_EQ(object.setSuffix("32"), 0);
    ASSERT_EQ(object.setVersion(u"09.01"), 0);
    std::strcpy(object.driverVersionCode, "28");
    object.versionMode = row.setup.versionMode;
    object.suffixMode = row.setup.suffixMode;
    object.siblingMode = row.setup.siblingMode;
    juFree(object.xmlProviderName);
    object.xmlProviderName = juStrNDup(row.setup.provider, std::strlen(row.setup.provider));
    for (const std::string& entry : row.setup.search) add(object.searchList, entry);
    add(object.mainFileList, "abora28.dll");
    object.currentFile = object.fileName(0);
    std::vector<char> chunk = bytesOf(row.input);
    EXPECT_EQ(object.replaceNames(chunk.data(), chunk.size(), "xyora28.dll", "XY"), 1);
    EXPECT_EQ(std::string(chunk.begin(), chunk.end()), row.expected);
  }
}

// Which entries a file holds goes by its new name's extension.
TEST_F(BrandRewrite, EntriesByExtension) {
  const struct {
    const char* newName;
    std::string expected;
  } rows[] = {
      {"xyora28.dll", "XYSRCH|XYORA28.DLL|ABHELP"},
      {"xyora28.ini", "XYSRCH|ABORA28.DLL|ABHELP"},
      {"xyhelp.cnt", "ABSRCH|ABORA28.DLL|XYHELP"},
      {"xyora28.txt", "ABSRCH|ABORA28.DLL|ABHELP"},
      {"xyora28.dll.bak", "ABSRCH|ABORA28.DLL|ABHELP"},
  };
  brand object("/d");
  object.setFilePrefix("XY");
  add(object.searchList, "absrch");
  add(object.mainFileList, "abora28.dll");
  add(object.mainFileList, "abhelp");
  object.helpIndex = 1;
  object.helpCount = 1;
  object.currentFile = object.fileName(0);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.newName);
    std::vector<char> chunk = bytesOf("ABSRCH|ABORA28.DLL|ABHELP");
    EXPECT_EQ(object.replaceNames(chunk.data(), chunk.size(), row.newName, "XY"), 1);
    EXPECT_EQ(std::string(chunk.begin(), chunk.end()), row.expected);
  }
}

TEST_F(BrandRewrite, NewFileNames) {
  const struct {
    const char* listed;
    const char* prefix;
    uint32_t suffixMode, corvane61Mode;
    const char* expected;
  } rows[] = {
      {"abora28.dll", "XY", 0, 0, "xyora28.dll"},
      {"absetup.exe", "XY", 0, 0, "absetup.exe"},
      {"ABSETUP.EXE", "XY", 0, 0, "ABSETUP.EXE"},
      {"abxxkj.dll", "XY", 0, 0, "abxxxy.dll"},
      {"abora28.dll", "XY", 1, 0, "xyora32.dll"},
      {"ab28.dll", "XY", 1, 0, "xy32.dll"},
      {"abora28.dll", "28", 1, 0, "28ora32.dll"},  // the prefix is no version code
      {"abcrvn28.dll", "XY", 0, 1, "xyod28.dll"},
      {"crvncrvn.dll", "XY", 0, 1, "xyod.dll"},
      {"abcrvn", "XY", 0, 1, "xycrvn"},  // a "crvn" that ends the name stays
      {"a", "XY", 0, 0, "x"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.listed);
    brand object("/d");
    object.setFilePrefix(row.prefix);
    ASSERT_EQ(object.setSuffix("32"), 0);
    std::strcpy(object.driverVersionCode, "28");
    object.suffixMode = row.suffixMode;
    object.corvane61Mode = row.corvane61Mode;
    char* name = object.newFileName(row.listed);
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, row.expected);
    juFree(name);
  }
}

}  // namespace
