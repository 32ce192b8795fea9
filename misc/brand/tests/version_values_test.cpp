// The branding rules for a version resource's texts and version numbers.
#include <gtest/gtest.h>

#include <string>

#include "julib/object.h"
#include "version/version_values.h"

namespace {

using versioninfo::Branding;

TEST(BrandedValue, FollowsTheRuleOfEachKey) {
  const Branding acme{u"Soci\u00E9t\u00E9\u2122 Acme", u"ABCD", u""};
  const Branding maker{u"Someone", u"Brisklane", u""};
  const Branding v5{u"Acme", u"ABCD", u"09.01"};
  const Branding v11{u"Acme", u"ABCD", u"09.01.02.03"};
  struct Case {
    std::u16string key, old;
    bool hadValue;
    Branding branding;
    std::u16string expected;
  };
  const Case cases[] = {
      {u"FileVersion", u"08.02.0293 (B9999, U9999)", true, v5, u"09.01.0293 (B9999, U9999)"},
      {u"FileVersion", u"8.02.0293", true, v5, u"09.01.0293"},  // the whole leading field, not 5 characters
      {u"FileVersion", u" 5.1.2600.3319", true, v5, u" 09.01.2600.3319"},  // blanks before it stay
      {u"ProductVersion", u"108.2002 beta", true, v5, u"09.01 beta"},
      {u"ProductVersion", u"08.02.02.93", true, v5, u"09.01.02.93"},
      {u"FileVersion", u"8", true, v5, u"09.01"},      // short: no field to keep a tail of
      {u"FileVersion", u"v8.2", true, v5, u"09.01"},   // no leading field
      {u"FileVersion", u"", false, v5, u"09.01"},
      {u"ProductVersion", u"08.02.0293 (B9999)", true, v11, u"09.01.02.03"},
      {u"FileVersion", u"08.02.0293", true, acme, u"08.02.0293"},
      {u"fileversion", u"08.02", true, v5, u"08.02"},
      {u"CompanyName", u"Tarnwell Software Corporation", true, acme, u"Soci\u00E9t\u00E9\u2122 Acme"},
      {u"CompanyName", u"Old", true, maker, u"Tarnwell Software Corporation"},
      {u"CompanyName", u"", false, acme, u""},
      {u"FileDescription", u"Tarnwell Brisklane ODBC Driver", true, acme, u"ABCD ODBC Driver"},
      {u"FileDescription", u"Brisklane ODBC Driver", true, acme, u"ABCD ODBC Driver"},
      {u"FileDescription", u"ODBC Driver of Tarnwell Brisklane", true, acme, u"ODBC Driver of ABCD"},
      {u"FileDescription", u"Tarnwell Brisklane, Tarnwell Brisklane", true, acme, u"ABCD, Tarnwell Brisklane"},
      {u"FileDescription", u"Best Tarnwell Brisklane", true, acme, u"Best Tarnwell ABCD"},  // leading B
      {u"FileDescription", u"ODBC Brisklane", true, acme, u"ODBC Brisklane"},
      {u"LegalCopyright", u"(c) Tarnwell Brisklane", true, v11, u"(c) Tarnwell Brisklane"},
      {u"Comments", u"", false, acme, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key.begin(), c.key.end()) + " " + std::string(c.old.begin(), c.old.end()));
    char16_t* value = versioninfo::brandedValue(c.key, c.old, c.hadValue, c.branding);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(std::u16string(value), c.expected);
    juFree(value);
  }
}

}  // namespace
