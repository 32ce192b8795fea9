// The branding INF reader on INF files in temporary folders.

#include <string>
#include <tuple>
#include <vector>

#include "engine/brand.h"
#include "front_end_doubles.h"
#include "testing/files.h"
#include "testing/temp_dir.h"

namespace {

using BrandInf = branddoubles::BrandTest;
using branddoubles::entries;
using Names = std::vector<std::string>;

std::string text(const char* field) { return field != nullptr ? field : "<null>"; }

const std::string kStart = "[START]\nPLATFORM=Win64\nVERSION=8.02.0293\n";

// An INF beside the program, read.
struct Read {
  explicit Read(const std::string& inf, uint32_t versionMode = 0) : object("/d") {
    dir.write("vrbrand.inf", inf);
    object.versionMode = versionMode;
    object.readInf(dir.path().c_str());
  }
  jutest::TempDir dir;
  brand object;
};

TEST_F(BrandInf, ValidityAndTheStartSection) {
  // INF; driver code, platform text, sibling mode, source prefix, additional codes.
  const std::tuple<std::string, const char*, const char*, uint32_t, const char*, Names> rows[] = {
      {kStart, "00", "Win64  Vers. 8.02.0293", 0, "", {}},  // valid: nothing listed, reading stops at COMMON
      {kStart + "DRVVER=2803\nPRODUCT=the corvane kit\n", "28", "Win64  Vers. 8.02.0293", 1, "KJ", {}},
      {kStart + "PRODUCT=Lanthorne\nADDITIONAL_DRVVERS=27,2x,26,2\n", "00", "Win64  Vers. 8.02.0293", 1, "KJ",
       {"27", "26"}},
      {kStart + "[FILES]\nCOMMON=x\n", "00", "Win64  Vers. 8.02.0293", 0, "x", {}},  // a one-character prefix
      {"[START]\nVERSION=8.02.0293\n", "", "<null>", 0, "", {}},
      {"[START]\nPLATFORM=Win64\nVERSION=\n", "", "Win64  Vers. ", 0, "", {}},
  };
  for (const auto& [inf, driverCode, platform, sibling, sourcePrefix, additionalCodes] : rows) {
    SCOPED_TRACE(inf);
    Read read(inf);
    EXPECT_STREQ(read.object.driverVersionCode, driverCode);
    EXPECT_EQ(text(read.object.platformText), platform);
    EXPECT_EQ(read.object.siblingMode, sibling);
    EXPECT_STREQ(brandSourcePrefix, sourcePrefix);
    EXPECT_EQ(entries(read.object.additionalVersionCodes), additionalCodes);
  }
}

TEST_F(BrandInf, EveryListLandsInItsPlace) {
  Read read(kStart + "DRVVER=28\nADDITIONAL_DRVVERS=27\nRZMVER=05\n[FILES]\nCOMMON=AB##x\nOPTIONAL=abopt\n"
                     "DRIVERS=abora##\nRZM=abrzm##\nRZMICUVER=422\nDTC=abdtc\nSETUP=absetup.exe\nRPLC=ABORA##\n"
                     "CLSIDS={1234567A-0000}\nINIFILES=abini\nHELP=abhelp\nOTHEREXTENSION=.cnt\n",
            1);
  const brand& o = read.object;
  EXPECT_EQ(entries(o.mainFileList),
            (Names{"ab27x.dll", "ab28x.dll", "abopt.dll", "abora27.dll", "abora28.dll", "abrzm05.dll", "abicu422.dll",
                   "abdtc.dll", "absetup.exe", "abini.ini", "abhelp.hlp", "abhelp.cnt"}));
  EXPECT_EQ(entries(o.optionalFileList), Names{"abopt.dll"});
  EXPECT_EQ(entries(o.searchList), (Names{"08.02", "abora27", "abora28", "{1234567a-0000}"}));
  EXPECT_EQ(o.helpIndex, 10u);
  EXPECT_EQ(o.helpCount, 1u);
  EXPECT_STREQ(brandSourcePrefix, "AB");
  EXPECT_EQ(text(o.rzmList), "abrzm##,ABICU422");  // the ICU version keeps its three characters
  EXPECT_EQ(text(o.xmlProviderName), "Brisklane Closed XML ADO Provider");
}

// Values are read whole and as UTF-8, however long.
TEST_F(BrandInf, LongAndNonAsciiValuesStayWhole) {
  std::string common = "\xC3\x89T\xC3\x89##";
  for (int i = 0; i < 400; ++i) common += ",name" + std::to_string(i);
  Read read(kStart + "DRVVER=28\n[FILES]\nCOMMON=" + common + "\nXMLVEN=" + std::string(3000, 'x') + "\n");
  ASSERT_EQ(read.object.fileCount(), 401u);
  EXPECT_STREQ(read.object.fileName(0), "\xC3\xA9t\xC3\xA9" "28.dll");
  EXPECT_EQ(text(read.object.xmlProviderName), std::string(3000, 'x'));
}

// The program's directory first, then the current directory.
TEST_F(BrandInf, FoundBesideTheProgramElseInTheCurrentDirectory) {
  jutest::TempDir program;
  jutest::TempDir current;
  // Found whatever the case of its name, as the driver files are.
  program.write("VRBRAND.INF", "[START]\nPLATFORM=Beside\nVERSION=1\n");
  current.write("vrbrand.inf", "[START]\nPLATFORM=Current\nVERSION=1\n");
  jutest::ScopedCurrentDirectory inCurrent(current.path());
  const std::pair<std::string, const char*> rows[] = {{program.path(), "Beside  Vers. 1"},
                                                      {program.path() + "/", "Beside  Vers. 1"},
                                                      {program.path() + "/none", "Current  Vers. 1"},
                                                      {"", "Current  Vers. 1"}};
  for (const auto& [directory, platform] : rows) {
    brand object("/d");
    object.readInf(directory.c_str());
    EXPECT_EQ(text(object.platformText), platform) << directory;
  }
}

}  // namespace
