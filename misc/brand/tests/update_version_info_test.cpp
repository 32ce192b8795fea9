// The version-resource rewriter on byte buffers: a whole resource branded,
// what is dropped, and every way it fails.
#include <gtest/gtest.h>

#include <string>

#include "testing/allocation_faults.h"
#include "version/update_version_info.h"
#include "version_test_support.h"

namespace {

using brandtest::Bytes;
using brandtest::makeResource;

const brandtest::Strings kMakerStrings = {{u"CompanyName", u"Tarnwell Software Corporation"},
                                          {u"FileDescription", u"Tarnwell Brisklane ODBC Driver"},
                                          {u"FileVersion", u"08.02.0293 (B9999, U9999)"},
                                          {u"Comments", u""}};

// rewrite() over `input`; the new resource, or empty when it failed.
Bytes rewrite(const Bytes& input, const char16_t* version, const char16_t* company, const char16_t* prefix = u"ABCD") {
  CUpdateVersionInfoResourceApp app;
  app.newVersion = version;
  EXPECT_TRUE(app.inputBuffer.append(input.data(), input.size()));
  if (app.rewrite(company, prefix) == 0) return {};
  return Bytes(app.outputBuffer.data(), app.outputBuffer.data() + app.outputBuffer.length());
}

TEST(VersionRewrite, BrandsTheStringsAndTheFixedVersions) {
  const Bytes fixed = brandtest::patternFixedInfo();
  struct Case {
    const char16_t* version;
    const char16_t* fileVersion;  // the FileVersion text after
    uint32_t high, low;           // of the file and product versions after; 0: as before
  };
  const Case cases[] = {
      {nullptr, u"08.02.0293 (B9999, U9999)", 0, 0},
      {u"09.01", u"09.01.0293 (B9999, U9999)", 0x00090001, 0},
      {u"09.01.02.03", u"09.01.02.03", 0x00090001, 0x00020003},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fileVersion, c.fileVersion + std::char_traits<char16_t>::length(c.fileVersion)));
    Bytes expectedFixed = fixed;
    for (size_t at : {8, 12, 16, 20}) {
      const uint32_t part = at % 8 == 0 ? c.high : c.low;
      for (size_t i = 0; i < 4 && part != 0; ++i) expectedFixed[at + i] = static_cast<uint8_t>(part >> 8 * i);
    }
    const brandtest::Strings expected = {{u"CompanyName", u"Soci\u00E9t\u00E9\u2122"},
                                         {u"FileDescription", u"ABCD ODBC Driver"},
                                         {u"FileVersion", c.fileVersion},
                                         {u"Comments", u""}};
    // The whole resource as the writer lays it out: key and translation kept.
    EXPECT_EQ(rewrite(makeResource(u"040904B0", kMakerStrings, fixed), c.version, u"Soci\u00E9t\u00E9\u2122"),
              makeResource(u"040904B0", expected, expectedFixed));
  }
}

// VarFileInfo first, then a StringFileInfo of two tables: the first table
// alone is written, VarFileInfo after it with the translation of its key.
TEST(VersionRewrite, KeepsOnlyTheFirstTable) {
  versioninfo::VersionBuffer buffer;
  versioninfo::NodeWriter writer(&buffer);
  const Bytes fixed = brandtest::patternFixedInfo();
  const uint8_t translation[4] = {0x07, 0x04, 0xE4, 0x04};
  writer.begin(52, 0, u"VS_VERSION_INFO");
  writer.value(fixed.data(), fixed.size());
  writer.begin(0, 1, u"VarFileInfo");
  writer.begin(4, 0, u"Translation");
  writer.value(translation, 4);
  writer.end();
  writer.end();
  writer.begin(0, 1, u"StringFileInfo");
  for (const char16_t* key : {u"0c0a04E4", u"040704E4"}) {
    writer.begin(0, 1, key);
    writer.begin(9, 1, u"CompanyName");
    writer.text(key);
    writer.end();
    writer.end();
  }
  writer.end();
  writer.end();
  ASSERT_EQ(writer.status(), versioninfo::WriteStatus::kOk);
  EXPECT_EQ(rewrite(Bytes(buffer.data(), buffer.data() + buffer.length()), nullptr, u"Acme"),
            makeResource(u"0c0a04E4", {{u"CompanyName", u"Acme"}}));
}

TEST(VersionRewrite, FailsOnBadVersionsDamageAndOverlongNodes) {
  const Bytes good = makeResource(u"040904B0", kMakerStrings);
  Bytes noStringFileInfo = good;
  noStringFileInfo[92 + 6] = 'X';  // "StringFileInfo" renamed
  Bytes badKey = good;
  badKey[128 + 6] = 'G';  // the table key "G40904B0" names no translation
  const std::u16string longCompany(40000, u'c');
  struct Case {
    const char* note;
    Bytes input;
    const char16_t* version;
    const char16_t* company;
  };
  const Case cases[] = {
      {"version too short", good, u"9.01", u"Acme"},
      {"version with a comma", good, u"09,01", u"Acme"},
      {"version of 8 characters", good, u"09.01.02", u"Acme"},
      {"no StringFileInfo", noStringFileInfo, nullptr, u"Acme"},
      {"table key not hexadecimal", badKey, nullptr, u"Acme"},
      {"damaged", Bytes(good.begin(), good.end() - 1), nullptr, u"Acme"},
      {"empty", {}, nullptr, u"Acme"},
      {"a String past 65535 bytes", good, nullptr, longCompany.c_str()},
  };
  ASSERT_FALSE(rewrite(good, u"09.01", u"Acme").empty());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    EXPECT_TRUE(rewrite(c.input, c.version, c.company).empty());
  }
}

TEST(VersionRewrite, OutOfMemoryFails) {
  const Bytes input = makeResource(u"040904B0", kMakerStrings);
  const Bytes expected = rewrite(input, u"09.01", u"Acme");
  jutest::failEachAllocation([&](jutest::AllocationFault& fault) {
    CUpdateVersionInfoResourceApp app;
    app.newVersion = u"09.01";
    ASSERT_TRUE(app.inputBuffer.append(input.data(), input.size()));
    fault.arm();
    const int result = app.rewrite(u"Acme", u"ABCD");
    EXPECT_EQ(result == 0, fault.disarm());
    if (result != 0) {
      EXPECT_EQ(Bytes(app.outputBuffer.data(), app.outputBuffer.data() + app.outputBuffer.length()), expected);
    }
  });
}

}  // namespace
