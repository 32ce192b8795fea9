// The branding rules for a version resource's texts and version numbers.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "julib/object.h"
#include "testing/allocation_faults.h"
#include "version_test_support.h"
#include "version_values.h"

namespace {

using versioninfo::Branding;

std::u16string branded(std::u16string_view key, std::u16string_view old, bool hadValue, const Branding& b) {
  char16_t* value = versioninfo::brandedValue(key, old, hadValue, b);
  if (value == nullptr) return u"<null>";
  std::u16string result(value);
  juFree(value);
  return result;
}

TEST(BrandedValue, FollowsTheRuleOfEachKey) {
  const Branding acme{u"Soci\u00E9t\u00E9\u2122 Acme", u"ABCD", u""};
  const Branding maker{u"Someone Else", u"Brisklane", u""};
  const Branding v5{u"Acme", u"ABCD", u"09.01"};
  const Branding v11{u"Acme", u"ABCD", u"09.01.02.03"};
  struct Case {
    const char* note;
    std::u16string key, old;
    bool hadValue;
    Branding branding;
    std::u16string expected;
  };
  const Case cases[] = {
      // Versions.
      {"five characters over two-digit fields", u"FileVersion", u"08.02.0293 (B9999, U9999)", true, v5,
       u"09.01.0293 (B9999, U9999)"},
      {"five characters over a one-digit major", u"FileVersion", u"8.02.0293", true, v5, u"09.01.0293"},
      {"five characters over a longer field", u"ProductVersion", u"108.2002 beta", true, v5, u"09.01 beta"},
      {"five characters over four fields", u"ProductVersion", u"08.02.02.93", true, v5, u"09.01.02.93"},
      {"five characters over a short value", u"FileVersion", u"8", true, v5, u"09.01"},
      {"five characters over a value that is no version", u"FileVersion", u"v8.2", true, v5, u"09.01"},
      {"five characters over an empty value", u"FileVersion", u"", false, v5, u"09.01"},
      {"eleven characters replace the whole value", u"ProductVersion", u"08.02.0293 (B9999)", true, v11,
       u"09.01.02.03"},
      {"no new version keeps the text", u"FileVersion", u"08.02.0293", true, acme, u"08.02.0293"},
      {"version rule only for the two version keys", u"fileversion", u"08.02", true, v5, u"08.02"},
      // Company.
      {"company in UTF-16 whole", u"CompanyName", u"Tarnwell Software Corporation", true, acme,
       u"Soci\u00E9t\u00E9\u2122 Acme"},
      {"the maker's own prefix keeps the maker", u"CompanyName", u"Old", true, maker,
       u"Tarnwell Software Corporation"},
      {"empty company stays empty", u"CompanyName", u"", false, acme, u""},
      // Description.
      {"leading maker words", u"FileDescription", u"Tarnwell Brisklane ODBC Driver", true, acme, u"ABCD ODBC Driver"},
      {"leading maker prefix", u"FileDescription", u"Brisklane ODBC Driver", true, acme, u"ABCD ODBC Driver"},
      {"maker words later on", u"FileDescription", u"ODBC Driver of Tarnwell Brisklane", true, acme,
       u"ODBC Driver of ABCD"},
      {"only the first occurrence", u"FileDescription", u"Tarnwell Brisklane, Tarnwell Brisklane", true, acme,
       u"ABCD, Tarnwell Brisklane"},
      {"a leading B looks for the prefix alone", u"FileDescription", u"Best Tarnwell Brisklane", true, acme,
       u"Best Tarnwell ABCD"},
      {"no maker word", u"FileDescription", u"ODBC Driver", true, acme, u"ODBC Driver"},
      {"the prefix alone without a leading B is no maker word", u"FileDescription", u"ODBC Brisklane", true, acme,
       u"ODBC Brisklane"},
      // Others.
      {"other keys keep their value", u"LegalCopyright", u"(c) Tarnwell Brisklane", true, v11,
       u"(c) Tarnwell Brisklane"},
      {"other empty values stay empty", u"Comments", u"", false, acme, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    EXPECT_EQ(branded(c.key, c.old, c.hadValue, c.branding), c.expected);
  }
}

TEST(BrandedValue, OutOfMemoryGivesNull) {
  const Branding b{u"Acme", u"ABCD", u"09.01"};
  jutest::failEachAllocation([&](jutest::AllocationFault& fault) {
    fault.arm();
    char16_t* value = versioninfo::brandedValue(u"FileDescription", u"Tarnwell Brisklane x", true, b);
    EXPECT_EQ(value == nullptr, fault.disarm());
    juFree(value);
  });
}

TEST(VersionText, FiveOrElevenDigitsInPairs) {
  struct Case {
    std::u16string text;
    bool valid;
  };
  const Case cases[] = {
      {u"06.00", true},     {u"06.00.00.00", true}, {u"6.00", false},       {u"06,00", false},
      {u"06.0a", false},    {u"06.00.00", false},   {u"06.00.00.0x", false}, {u"", false},
      {u"\uFF10\uFF16.00", false},  // full-width digits are no digits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
    EXPECT_EQ(versioninfo::isVersionText(c.text), c.valid);
  }
}

TEST(FixedVersions, HighPartsFromFiveCharactersAllFromEleven) {
  struct Case {
    std::u16string version;
    uint32_t high, low;  // low 0 keeps the pattern
  };
  const Case cases[] = {
      {u"09.01", 0x00090001, 0},
      {u"09.01.02.03", 0x00090001, 0x00020003},
      {u"99.99.99.99", 99 * 65536 + 99, 99 * 65536 + 99},
      {u"00.00", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.version.begin(), c.version.end()));
    const std::vector<uint8_t> pattern = brandtest::patternFixedInfo();
    std::vector<uint8_t> fixed = pattern;
    versioninfo::setFixedVersions(fixed.data(), c.version);
    for (size_t offset : {8, 16}) {  // file version, product version
      EXPECT_EQ(brandtest::dwordAt(fixed.data(), offset), c.high);
      EXPECT_EQ(brandtest::dwordAt(fixed.data(), offset + 4),
                c.low != 0 ? c.low : brandtest::dwordAt(pattern.data(), offset + 4));
    }
    // Nothing else changes.
    for (size_t i = 0; i < fixed.size(); ++i) {
      if (i < 8 || i >= 24) {
        EXPECT_EQ(fixed[i], pattern[i]) << "byte " << i;
      }
    }
  }
}

}  // namespace
