// The version-resource rewriter end to end: real DLLs built by the mingw
// tools, rewritten in a temporary folder and read back by pefile.
#include <gtest/gtest.h>

#include <string>

#include "testing/files.h"
#include "testing/pe_fixtures.h"
#include "testing/temp_dir.h"
#include "version/update_version_info.h"

namespace {

TEST(VersionUpdate, RewritesTheFirstVersionResourceOfRealLibraries) {
  struct Case {
    std::string fixture, resource, table;
  };
  const Case cases[] = {
      {jutest::peFixture("last.dll"), "16/1/1033", "040904B0"},     // .rsrc last
      {jutest::peFixture("reloc.dll"), "16/1/1033", "040904B0"},    // .reloc after .rsrc
      {jutest::peFixture("overlay.dll"), "16/1/1033", "040904B0"},  // trailing data
      {jutest::peFixture("signed.dll"), "16/1/1033", "040904B0"},   // certificate removed
      {jutest::peFixture("signed_last.dll"), "16/1/1033", "040904B0"},  // certificate right behind .rsrc
      {BRAND_NAMED_VERSION_DLL, "16/ALPHA/1031", "040704B0"},       // named, first of two languages
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fixture);
    jutest::TempDir dir;
    const std::string path = dir.write("xyora32.dll", jutest::readWholeFile(c.fixture));
    CUpdateVersionInfoResourceApp app;
    app.filePath = path.c_str();
    app.newVersion = u"09.01";
    ASSERT_NE(app.update(u"Soci\u00E9t\u00E9\u2122", u"ABCD"), 0);

    // Every other resource, the overlay and the checksum as pefile sees them.
    const auto* bytes = reinterpret_cast<const char*>(app.outputBuffer.data());
    const std::string written = dir.write("version.bin", std::string(bytes, app.outputBuffer.length()));
    int status = -1;
    EXPECT_EQ(jutest::runPeCheck({"compare", c.fixture, path, c.resource + "=" + written}, &status), "ok\n");
    EXPECT_EQ(status, 0);
    const std::string dump = jutest::peDump(path);
    const std::string table = "string " + c.table + " ";
    for (const std::string& line : {table + "CompanyName=Soci\u00E9t\u00E9\u2122", table + "FileDescription=ABCD ODBC Driver",
                                    table + "FileVersion=09.01.0293 (B9999, U9999)", "translation 0x0" + c.table.substr(1, 3) + " 0x04b0",
                                    std::string("fixed FileVersionMS 0x00090001"), std::string("fixed FileVersionLS 0x00000125"),
                                    std::string("fixed ProductVersionMS 0x00090001")}) {
      EXPECT_NE(dump.find(line + "\n"), std::string::npos) << line << "\n" << dump;
    }
  }
}

TEST(VersionUpdate, LeavesTheFileAsItWasOnFailure) {
  jutest::TempDir dir;
  const std::u16string longCompany(40000, u'c');
  struct Case {
    const char* note;
    std::string content;
    const char16_t* company;
  };
  const Case cases[] = {
      {"no version resource", jutest::readWholeFile(jutest::peFixture("strings.dll")), u"Acme"},
      {"not a PE file", "MZ but nothing more", u"Acme"},
      {"a new resource wLength cannot hold", jutest::readWholeFile(jutest::peFixture("last.dll")), longCompany.c_str()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    const std::string path = dir.write("file.dll", c.content);
    CUpdateVersionInfoResourceApp app;
    app.filePath = path.c_str();
    EXPECT_EQ(app.update(c.company, u"ABCD"), 0);
    EXPECT_EQ(jutest::readWholeFile(path), c.content);
  }
  const std::string missingPath = dir / "missing.dll";
  CUpdateVersionInfoResourceApp missing;
  missing.filePath = missingPath.c_str();
  EXPECT_EQ(missing.update(u"Acme", u"ABCD"), 0);
}

}  // namespace
