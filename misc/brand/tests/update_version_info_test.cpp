// The version-resource rewriter: the branding of a whole resource on byte
// buffers, then end to end on DLLs built by the mingw tools and read back by
// an independent PE reader.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "testing/allocation_faults.h"
#include "update_version_info.h"
#include "version_test_support.h"

namespace {

using brandtest::makeResource;
using brandtest::Strings;

const Strings kMakerStrings = {
    {u"CompanyName", u"Tarnwell Software Corporation"},
    {u"FileDescription", u"Tarnwell Brisklane ODBC Driver"},
    {u"FileVersion", u"08.02.0293 (B9999, U9999)"},
    {u"Comments", u""},
    {u"ProductVersion", u"8.02.0293"},
    {u"LegalCopyright", u"(c) Tarnwell"},
};

struct Rewritten {
  int result = 0;
  std::vector<uint8_t> resource;
};

Rewritten rewrite(const std::vector<uint8_t>& input, const char16_t* version, const char16_t* company,
                  const char16_t* prefix) {
  CUpdateVersionInfoResourceApp app;
  app.newVersion = version;
  EXPECT_TRUE(app.inputBuffer.append(input.data(), input.size()));
  Rewritten out;
  out.result = app.rewrite(company, prefix);
  if (out.result != 0) out.resource.assign(app.outputBuffer.data(), app.outputBuffer.data() + app.outputBuffer.length());
  return out;
}

TEST(VersionRewrite, BrandsEveryStringAndTheFixedVersion) {
  struct Case {
    const char* note;
    const char16_t* version;
    const char16_t* company;
    const char16_t* prefix;
    Strings expected;
    uint32_t high, low;  // 0: as before
  };
  const Case cases[] = {
      {"no new version: company and description only",
       nullptr,
       u"Soci\u00E9t\u00E9\u2122",
       u"ABCD",
       {{u"CompanyName", u"Soci\u00E9t\u00E9\u2122"},
        {u"FileDescription", u"ABCD ODBC Driver"},
        {u"FileVersion", u"08.02.0293 (B9999, U9999)"},
        {u"Comments", u"<none>"},
        {u"ProductVersion", u"8.02.0293"},
        {u"LegalCopyright", u"(c) Tarnwell"}},
       0,
       0},
      {"five characters: leading fields and the high parts",
       u"09.01",
       u"Acme",
       u"ACME",
       {{u"CompanyName", u"Acme"},
        {u"FileDescription", u"ACME ODBC Driver"},
        {u"FileVersion", u"09.01.0293 (B9999, U9999)"},
        {u"Comments", u"<none>"},
        {u"ProductVersion", u"09.01.0293"},
        {u"LegalCopyright", u"(c) Tarnwell"}},
       0x00090001,
       0},
      {"eleven characters: whole texts and all parts",
       u"09.01.02.03",
       u"Acme",
       u"Brisklane",
       {{u"CompanyName", u"Tarnwell Software Corporation"},
        {u"FileDescription", u"Brisklane ODBC Driver"},
        {u"FileVersion", u"09.01.02.03"},
        {u"Comments", u"<none>"},
        {u"ProductVersion", u"09.01.02.03"},
        {u"LegalCopyright", u"(c) Tarnwell"}},
       0x00090001,
       0x00020003},
  };
  const std::vector<uint8_t> input = makeResource(u"040904B0", kMakerStrings);
  const std::vector<uint8_t> pattern = brandtest::patternFixedInfo();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    const Rewritten out = rewrite(input, c.version, c.company, c.prefix);
    ASSERT_NE(out.result, 0);
    EXPECT_EQ(brandtest::readStrings(out.resource), c.expected);
    versioninfo::VersionInfoReader reader;
    ASSERT_EQ(reader.read(out.resource.data(), out.resource.size()), versioninfo::ReadStatus::kOk);
    EXPECT_EQ(brandtest::toU16(reader.tableKey()), u"040904B0");
    for (size_t offset : {8, 16}) {
      EXPECT_EQ(brandtest::dwordAt(reader.fixedInfo(), offset), c.high != 0 ? c.high : brandtest::dwordAt(pattern.data(), offset));
      EXPECT_EQ(brandtest::dwordAt(reader.fixedInfo(), offset + 4),
                c.low != 0 ? c.low : brandtest::dwordAt(pattern.data(), offset + 4));
    }
    // Translation 0x0409, code page 0x04B0, from the key.
    EXPECT_EQ(brandtest::dwordAt(out.resource.data(), out.resource.size() - 4), 0x04B00409u);
  }
}

// VarFileInfo first, then a StringFileInfo of two tables: the first table
// alone is written, VarFileInfo last.
TEST(VersionRewrite, KeepsOnlyTheFirstTable) {
  versioninfo::VersionBuffer buffer;
  versioninfo::NodeWriter writer(&buffer);
  const std::vector<uint8_t> fixed = brandtest::patternFixedInfo();
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
  const std::vector<uint8_t> input(buffer.data(), buffer.data() + buffer.length());

  const Rewritten out = rewrite(input, nullptr, u"Acme", u"ACME");
  ASSERT_NE(out.result, 0);
  EXPECT_EQ(out.resource, makeResource(u"0c0a04E4", {{u"CompanyName", u"Acme"}}));
}

TEST(VersionRewrite, FailsWithoutWritingAnything) {
  const std::vector<uint8_t> good = makeResource(u"040904B0", kMakerStrings);
  std::vector<uint8_t> noStringFileInfo = good;
  noStringFileInfo[92 + 6] = 'X';  // "StringFileInfo" renamed
  std::vector<uint8_t> damaged = good;
  damaged[0] = 0xFF;  // root longer than the resource
  const std::u16string longCompany(40000, u'c');
  struct Case {
    const char* note;
    std::vector<uint8_t> input;
    const char16_t* version;
    const char16_t* company;
  };
  const Case cases[] = {
      {"version too short", good, u"9.01", u"Acme"},
      {"version with a comma", good, u"09,01", u"Acme"},
      {"version of 8 characters", good, u"09.01.02", u"Acme"},
      {"no StringFileInfo", noStringFileInfo, nullptr, u"Acme"},
      {"damaged resource", damaged, nullptr, u"Acme"},
      {"empty resource", {}, nullptr, u"Acme"},
      {"company too long for wLength", good, nullptr, longCompany.c_str()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    EXPECT_EQ(rewrite(c.input, c.version, c.company, u"ACME").result, 0);
  }
}

TEST(VersionRewrite, OutOfMemoryFails) {
  const std::vector<uint8_t> input = makeResource(u"040904B0", kMakerStrings);
  const std::vector<uint8_t> expected = rewrite(input, u"09.01", u"Acme", u"ACME").resource;
  jutest::failEachAllocation([&](jutest::AllocationFault& fault) {
    CUpdateVersionInfoResourceApp app;
    app.newVersion = u"09.01";
    ASSERT_TRUE(app.inputBuffer.append(input.data(), input.size()));
    fault.arm();
    const int result = app.rewrite(u"Acme", u"ACME");
    EXPECT_EQ(result == 0, fault.disarm());
    if (result != 0) {
      EXPECT_EQ(std::vector<uint8_t>(app.outputBuffer.data(), app.outputBuffer.data() + app.outputBuffer.length()),
                expected);
    }
  });
}

}  // namespace
