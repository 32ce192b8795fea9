// The rewriting of a file's bytes on buffers: the byte searches, the message
// prefix, the search entries by kind, case and extension, the new names.

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "engine/brand.h"
#include "rewrite/rewriters.h"
#include "front_end_doubles.h"

namespace {

using BrandRewrite = branddoubles::BrandTest;
using std::string_literals::operator""s;

void add(JuArrayPVoid& list, const std::string& name) {
  ASSERT_EQ(list.insertAt(juStrNDup(name.c_str(), name.size()), list.count), 0);
}

// A block of exactly the text's size: a write past its end is caught by the
// sanitizers.
std::vector<char> bytesOf(const std::string& text) { return std::vector<char>(text.begin(), text.end()); }

TEST_F(BrandRewrite, FindBytes) {
  const std::tuple<std::string, std::string, int64_t> rows[] = {
      {"abcabc", "ca", 2}, {"aab", "ab", 1}, {"abc", "c", 2},  {"x\0y\0z"s, "\0z"s, 3},
      {"abc", "abc", 0},   {"abc", "abcd", -1}, {"", "a", -1}, {"abc", "", -1}};
  for (const auto& [buffer, pattern, expected] : rows) {
    EXPECT_EQ(brand::findBytes(buffer.data(), buffer.size(), pattern.data(), pattern.size()), expected) << pattern;
  }
}

// At every place of a buffer, across the blocks the search takes at a time,
// in any case, never past the end.
TEST_F(BrandRewrite, FindNoCase) {
  for (size_t at = 0; at + 4 <= 40; ++at) {
    SCOPED_TRACE(at);
    const std::vector<char> bytes = bytesOf(std::string(40, 'A').replace(at, 4, at % 2 == 0 ? "aBcD" : "AbCd"));
    EXPECT_EQ(brandrewrite::findNoCase(bytes.data(), bytes.data() + 40, "ABCD", 4), bytes.data() + at);
    EXPECT_EQ(brandrewrite::findNoCase(bytes.data(), bytes.data() + at + 3, "ABCD", 4), nullptr);
  }
}

// The old prefix needs as many zero bytes behind it as the new text is
// longer, plus one; an occurrence followed by text stays.
TEST_F(BrandRewrite, MessagePrefixWithZeroPadding) {
  const std::string old = "[Brisklane][ODBC ";
  const std::tuple<std::u16string, std::string, std::string> rows[] = {
      {u"ACME", "ab" + old + "\0x"s, "ab[ACME][ODBC \0\0\0\0\0\0x"s},
      {u"ACME", old + "Driver", old + "Driver"},
      {u"ACME", old + "\0"s + old + "\0"s, "[ACME][ODBC \0\0\0\0\0\0[ACME][ODBC \0\0\0\0\0\0"s},
      {u"LONGERPREFIX1", old + "\0\0\0\0x"s, old + "\0\0\0\0x"s},
      {u"LONGERPREFIX1", old + "\0\0\0\0\0"s, "[LONGERPREFIX1][ODBC \0"s},
      {u"Soci\u00E9t\u00E9", old + "\0"s, "[Soci\xC3\xA9t\xC3\xA9][ODBC \0"s},
      {u"ACME", old, old}};  // shorter than the pattern
  for (const auto& [prefix, input, expected] : rows) {
    SCOPED_TRACE(input);
    brandrewrite::PrefixRewriter patterns;
    ASSERT_EQ(patterns.prepare(prefix.c_str()), 0);
    std::vector<char> chunk = bytesOf(input);
    const size_t l = patterns.length();
    EXPECT_EQ(brand::replaceMessagePrefix(chunk.data(), chunk.size(), patterns.oldPattern(), l, patterns.newPattern(), l),
              chunk.size() >= l ? 1 : 0);
    EXPECT_EQ(std::string(chunk.begin(), chunk.end()), expected);
  }
}

// Options of a row: the search entries, version mode, suffix mode, sibling
// mode, the XML provider name, the new file name.
struct Options {
  std::vector<std::string> search;
  uint32_t versionMode = 0, suffixMode = 0, siblingMode = 0;
  const char* provider = "Brisklane Closed XML ADO Provider";
  const char* newName = "xyora28.dll";
};

// The current file is abora28.dll (a HELP entry abhelp), the prefix XY, the
// new version 09.01, the suffix 32.
TEST_F(BrandRewrite, SearchEntries) {
  const std::string clsid = "{12345678-1234-ABCD-1234-123456789012}";
  const std::string branded = "{12345678-1234-5859-1234-123456789012}";  // "X" 0x58, "Y" 0x59
  const std::string xml = "brisklane closed xml ado provider";
  const std::tuple<const char*, Options, std::string, std::string> rows[] = {
      {"upper case", {}, "ABORA28.DLL\0"s, "XYORA28.DLL\0"s},
      {"each occurrence keeps its case", {}, "abora28.dll\0ABORA28.DLL\0"s, "xyora28.dll\0XYORA28.DLL\0"s},
      {"a bare name stays", {{"abora28"}}, "abora28\0"s, "abora28\0"s},
      {"... but not for a sibling", {{"abora28"}, 0, 0, 1}, "abora28\0"s, "xyora28\0"s},
      {"suffix in lower-case names", {{}, 0, 1}, "abora28.dll\0ABORA28.DLL"s, "xyora32.dll\0XYORA28.DLL"s},
      {"help file name", {{"abhelp"}}, "abhelpxx.hlp\0abhelp.hl\0"s, "xyhelpxx.hlp\0abhelp.hl\0"s},
      {"a suffix never before index 2", {{"ab"}, 0, 1, 1}, "ab.x\0ab1.x\0abcd.x"s, "xy.x\0xy1.x\0xy32.x"s},
      {"clsid", {{clsid}}, "<" + clsid + ">", "<" + branded + ">"},
      {"a braced entry shorter than a clsid", {{"{ab}"}}, "{AB}{ab}", "{AB}{ab}"},
      {"one character", {{"a"}}, "xxa", "xxa"},
      {"provider as shipped", {{xml}}, "Brisklane Closed XML ADO Provider", "Brisklane Closed XML ADO Provider"},
      {"provider", {{xml}, 0, 0, 0, "Acme XML"}, "Brisklane Closed XML ADO Provider|" + xml,
       "Acme XML\0 Closed XML ADO Provider|acme xml\0 closed xml ado provider"s},
      {"provider longer than the chunk's rest", {{xml}, 0, 0, 0, "A provider name longer than the maker's own one"},
       "..Brisklane Closed XML ADO Provider", "..A provider name longer than the m"},
      {"version", {{"08.02"}, 1}, "V08.02.0293 08.02", "V09.01.0293 09.01"},
      {"version in its long form", {{"08.02.0293"}, 1}, "V08.02.0293 08.02", "V09.01.0293 08.02"},
      {"a version outside version mode is a name", {{"08.02"}}, "08.02", "XY.02"},
      {".ini: the search list", {{"absrch"}, 0, 0, 0, nullptr, "xy.ini"}, "ABSRCH|ABORA28.DLL", "XYSRCH|ABORA28.DLL"},
      {".cnt: the HELP entries", {{"absrch"}, 0, 0, 0, nullptr, "xy.cnt"}, "ABSRCH|ABHELP", "ABSRCH|XYHELP"},
      {"other: none", {{"absrch"}, 0, 0, 0, nullptr, "xy.dll.bak"}, "ABSRCH|ABORA28.DLL", "ABSRCH|ABORA28.DLL"},
      {"a rewrite makes an occurrence of a later entry", {{"abora28", "axyo"}}, "AABORA28.DLL\0"s,
       "XYYORA28.DLL\0"s},
      {"... but not of an earlier one", {{"axyo", "abora28"}}, "AABORA28.DLL\0"s, "AXYORA28.DLL\0"s},
  };
  // Entries with more different first pairs than the pair filter has
  // buckets share them: the same result. The extra entries occur nowhere.
  for (const bool crowded : {false, true}) {
    for (const auto& [note, options, input, expected] : rows) {
      SCOPED_TRACE(std::string(note) + (crowded ? ", crowded" : ""));
      brand object("/d");
      object.setFilePrefix("XY");
      ASSERT_EQ(object.setSuffix("32") + object.setVersion(u"09.01"), 0);
      std::strcpy(object.driverVersionCode, "28");
      object.versionMode = options.versionMode;
      object.suffixMode = options.suffixMode;
      object.siblingMode = options.siblingMode;
      juFree(object.xmlProviderName);
      object.xmlProviderName =
          options.provider != nullptr ? juStrNDup(options.provider, std::strlen(options.provider)) : nullptr;
      for (const std::string& entry : options.search) add(object.searchList, entry);
      for (char c = '0'; crowded && c <= '9'; ++c) add(object.searchList, std::string("q") + c + "~~");
      add(object.mainFileList, "abora28.dll");
      add(object.mainFileList, "abhelp");
      object.helpIndex = object.helpCount = 1;
      object.currentFile = object.fileName(0);
      std::vector<char> chunk = bytesOf(input);
      EXPECT_EQ(object.replaceNames(chunk.data(), chunk.size(), options.newName, "XY"), 1);
      EXPECT_EQ(std::string(chunk.begin(), chunk.end()), expected);
    }
  }
}

TEST_F(BrandRewrite, NewFileNames) {
  const std::tuple<const char*, const char*, uint32_t, uint32_t, const char*> rows[] = {
      {"abora28.dll", "XY", 0, 0, "xyora28.dll"},  {"absetup.exe", "XY", 0, 0, "absetup.exe"},
      {"ABSETUP.EXE", "XY", 0, 0, "ABSETUP.EXE"},  {"abxxkj.dll", "XY", 0, 0, "abxxxy.dll"},
      {"abora28.dll", "XY", 1, 0, "xyora32.dll"},  {"ab28.dll", "XY", 1, 0, "xy32.dll"},
      {"abora28.dll", "28", 1, 0, "28ora32.dll"},  // the prefix is no version code
      {"abcrvn28.dll", "XY", 0, 1, "xyod28.dll"},  {"crvncrvn.dll", "XY", 0, 1, "xyod.dll"},
      {"abcrvn", "XY", 0, 1, "xycrvn"},            // a "crvn" that ends the name stays
      {"a", "XY", 0, 0, "x"}};
  for (const auto& [listed, prefix, suffixMode, corvane61Mode, expected] : rows) {
    brand object("/d");
    object.setFilePrefix(prefix);
    ASSERT_EQ(object.setSuffix("32"), 0);
    std::strcpy(object.driverVersionCode, "28");
    object.suffixMode = suffixMode;
    object.corvane61Mode = corvane61Mode;
    char* name = object.newFileName(listed);
    EXPECT_STREQ(name, expected) << listed;
    juFree(name);
  }
}

}  // namespace
