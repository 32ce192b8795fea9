// The branding INF reader on INF files in temporary folders.

#include <cstring>
#include <string>
#include <vector>

#include "brand.h"
#include "front_end_doubles.h"
#include "testing/files.h"
#include "testing/temp_dir.h"

namespace {

using BrandInf = branddoubles::BrandTest;
using Names = std::vector<std::string>;

Names entries(const JuArrayPVoid& list) {
  Names out;
  for (uint64_t i = 0; i < list.count; ++i) out.emplace_back(static_cast<const char*>(list.pointerAt(i)));
  return out;
}

std::string text(const char* field) { return field != nullptr ? field : "<null>"; }

const char kStart[] = "[START]\nPLATFORM=Win64\nVERSION=8.02.0293\n";

// What one INF gives.
struct Read {
  explicit Read(const std::string& inf, uint32_t versionMode = 0) : object("/d") {
    dir.write("vrbrand.inf", inf);
    object.versionMode = versionMode;
    object.readInf(dir.path().c_str());
  }
  jutest::TempDir dir;
  brand object;
};

TEST_F(BrandInf, ValidityNeedsPlatformAndVersion) {
  const struct {
    std::string inf;
    const char* driverCode;
    const char* platform;
  } rows[] = {
      {kStart, "00", "Win64  Vers. 8.02.0293"},
      {std::string(kStart) + "DRVVER=2803\n", "28", "Win64  Vers. 8.02.0293"},  // a code is two characters
      {"[START]\nVERSION=8.02.0293\n", "", "<null>"},
      {"[START]\nPLATFORM=Win64\nVERSION=\n", "", "Win64  Vers. "},
      {"", "", "<null>"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.inf);
    Read read(row.inf);
    EXPECT_STREQ(read.object.driverVersionCode, row.driverCode);
    EXPECT_EQ(text(read.object.platformText), row.platform);
  }
}

TEST_F(BrandInf, EveryListLandsInItsPlace) {
  Read read(std::string(kStart) +
            "DRVVER=28\nADDITIONAL_DRVVERS=27,26\nRZMVER=05\n"
            "[FILES]\nCOMMON=AB##x\nOPTIONAL=abopt##\nDRIVERS=abora##\nRZM=abrzm##\nRZMICUVER=422\n"
            "DTC=abdtc\nSETUP=absetup.exe\nRPLC=ABORA##\nCLSIDS={1234567A-0000-0000-0000-000000000000}\n"
            "INIFILES=abini\nXMLVEN=Acme XML Provider\nHELP=abhelp\nOTHEREXTENSION=.cnt\n");
  const brand& o = read.object;
  EXPECT_EQ(entries(o.mainFileList),
            (Names{"ab27x.dll", "ab26x.dll", "ab28x.dll", "abopt27.dll", "abopt26.dll", "abopt28.dll", "abora27.dll",
                   "abora26.dll", "abora28.dll", "abrzm05.dll", "abicu422.dll", "abdtc.dll", "absetup.exe",
                   "abini.ini", "abhelp.hlp", "abhelp.cnt"}));
  EXPECT_EQ(entries(o.optionalFileList), (Names{"abopt27.dll", "abopt26.dll", "abopt28.dll"}));
  EXPECT_EQ(entries(o.searchList),
            (Names{"abora27", "abora26", "abora28", "{1234567a-0000-0000-0000-000000000000}"}));
  EXPECT_EQ(o.helpIndex, 14u);
  EXPECT_EQ(o.helpCount, 1u);
  EXPECT_STREQ(brandSourcePrefix, "AB");
  EXPECT_EQ(text(o.rzmList), "abrzm##,ABICU422");  // the ICU version keeps its three characters
  EXPECT_EQ(text(o.xmlProviderName), "Acme XML Provider");
  EXPECT_STREQ(o.rzmVersionCode, "05");
  EXPECT_EQ(o.siblingMode, 0u);
}

TEST_F(BrandInf, ProductTextAndSourcePrefix) {
  const struct {
    std::string lines;  // START after PLATFORM and VERSION, then FILES
    uint32_t sibling;
    const char* sourcePrefix;
    const char* rzmList;
  } rows[] = {
      {"PRODUCT=Corvane Tools\n[FILES]\nCOMMON=ab\n", 1, "KJ", ",KJICU00"},
      {"PRODUCT=the lanthorne kit\n[FILES]\nCOMMON=ab\n", 1, "KJ", ",KJICU00"},
      {"[FILES]\nCOMMON=x\n", 0, "x", ",xICU00"},
      {"[FILES]\nCOMMON=\n", 0, "", "<null>"},          // reading stops at an empty COMMON
      {"[FILES]\nCOMMON=.\nDRIVERS=cd\n", 0, ".", ",.ICU00"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.lines);
    Read read(kStart + row.lines);
    EXPECT_EQ(read.object.siblingMode, row.sibling);
    EXPECT_STREQ(brandSourcePrefix, row.sourcePrefix);
    EXPECT_EQ(text(read.object.rzmList), row.rzmList);
  }
  Read defaults(std::string(kStart) + "[FILES]\nCOMMON=ab\n");
  EXPECT_EQ(text(defaults.object.productText), "Tarnwell Brisklane Branding Tool for ODBC - 64 bits");
  EXPECT_EQ(text(defaults.object.xmlProviderName), "Brisklane Closed XML ADO Provider");
  EXPECT_EQ(text(defaults.object.libraryExtension), ".dll");
}

TEST_F(BrandInf, AdditionalCodesAreTwoDigitsAndACommaEach) {
  const struct {
    const char* value;
    Names codes;
  } rows[] = {{"27,26", {"27", "26"}}, {"27,26,", {"27", "26"}}, {"27,2x,26", {"27", "26"}},
              {"27,2", {"27"}},        {"2726", {}},             {"ab,27", {"27"}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.value);
    Read read(std::string(kStart) + "ADDITIONAL_DRVVERS=" + row.value + "\n");
    EXPECT_EQ(entries(read.object.additionalVersionCodes), row.codes);
  }
}

TEST_F(BrandInf, VersionModeSearchesTheOldVersion) {
  Read read(std::string(kStart) + "[FILES]\nCOMMON=ab\nRPLC=abora\n", 1);
  EXPECT_EQ(entries(read.object.searchList), (Names{"08.02", "abora"}));
}

// Values are read whole and as UTF-8, however long.
TEST_F(BrandInf, LongAndNonAsciiValuesStayWhole) {
  std::string common = "\xC3\x89T\xC3\x89##";
  for (int i = 0; i < 400; ++i) common += ",name" + std::to_string(i);
  Read read(std::string(kStart) + "DRVVER=28\n[FILES]\nCOMMON=" + common + "\nXMLVEN=" + std::string(3000, 'x') + "\n");
  ASSERT_EQ(read.object.fileCount(), 401u);
  EXPECT_STREQ(read.object.fileName(0), "\xC3\xA9t\xC3\xA9" "28.dll");
  EXPECT_STREQ(read.object.fileName(400), "name399.dll");
  EXPECT_EQ(text(read.object.xmlProviderName), std::string(3000, 'x'));
}

// The program's directory first, then the current directory.
TEST_F(BrandInf, FoundBesideTheProgramElseInTheCurrentDirectory) {
  jutest::TempDir program;
  jutest::TempDir current;
  program.write("vrbrand.inf", "[START]\nPLATFORM=Beside\nVERSION=1\n");
  current.write("vrbrand.inf", "[START]\nPLATFORM=Current\nVERSION=1\n");
  jutest::ScopedCurrentDirectory inCurrent(current.path());
  const struct {
    std::string programDirectory;
    const char* platform;
  } rows[] = {{program.path(), "Beside  Vers. 1"},
              {program.path() + "/", "Beside  Vers. 1"},
              {current.path() + "/none", "Current  Vers. 1"},
              {"", "Current  Vers. 1"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.programDirectory);
    brand object("/d");
    object.readInf(row.programDirectory.c_str());
    EXPECT_EQ(text(object.platformText), row.platform);
  }
}

}  // namespace
