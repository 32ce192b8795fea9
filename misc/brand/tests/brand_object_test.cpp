// The brand object: its catalogue, setters and validation, the prefix and
// version-code tests.

#include <cstring>
#include <string>

#include "brand.h"
#include "brand_module.h"
#include "front_end_doubles.h"
#include "julib/threads.h"
#include "testing/allocation_faults.h"

namespace {

using BrandObject = branddoubles::BrandTest;

std::u16string message(uint16_t id) {
  char16_t buffer[kJuMessageUnits];
  return std::u16string(buffer, juLoadMessage(buffer, id));
}

TEST_F(BrandObject, CatalogueHoldsTheToolsTextsBeforeTheLibrarys) {
  EXPECT_EQ(message(kBrandMsgInfFileName), u".\\vrbrand.inf");
  EXPECT_EQ(message(kBrandMsgFilesMissing), u"The following files are missing:\n %s.\n Do you want to cancel?");
  EXPECT_EQ(message(418), u"The .inf file is either missing or invalid.");
  EXPECT_EQ(message(408), u"");                // status 8 shows 411
  EXPECT_EQ(message(30190), u"Out of memory.");  // the library's, through the same module
}

TEST_F(BrandObject, SetVersionAcceptsTwoOrFourPairs) {
  struct Row {
    const char16_t* text;
    int result;
    const char16_t* stored;  // the new version afterwards
  } rows[] = {
      {u"06.00", 0, u"06.00"},
      {u"06.00.00.00", 0, u"06.00.00.00"},
      {u"6.00", 1, u""},                 // length: not stored
      {u"06.00.00.000", 1, u""},
      {u"06,00", 1, u"06,00"},            // form: stored although rejected
      {u"06.0x", 1, u"06.0x"},
      {u"06.00.00,00", 1, u"06.00.00,00"},
      {u"\u0660\u0666.00", 1, u"\u0660\u0666.00"},  // other scripts' digits are no "0"-"9"
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(jutest::toUtf8(row.text));
    brand object("/d");
    EXPECT_EQ(object.setVersion(row.text), row.result);
    EXPECT_EQ(std::u16string(object.newVersion), row.stored);
  }
}

TEST_F(BrandObject, SetSuffixStoresEveryText) {
  const struct {
    const char* text;
    int result;
  } rows[] = {{"32", 0}, {"3x", 1}, {"x2", 1}, {"3", 1}, {"", 1}, {"321", 0}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    brand object("/d");
    EXPECT_EQ(object.setSuffix(row.text), row.result);
    EXPECT_STREQ(object.suffix, row.text);
  }
}

TEST_F(BrandObject, SetDirectoryEndsWithOneSeparator) {
  const struct {
    const char* text;
    const char* stored;
  } rows[] = {{"/data/drv", "/data/drv\\"}, {"/data/drv\\", "/data/drv\\"}, {"/data/drv/", "/data/drv/"},
              {"", "/start\\"}, {nullptr, "/start\\"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text != nullptr ? row.text : "null");
    brand object("/start");
    object.setDirectory(row.text);
    EXPECT_STREQ(object.targetDirectory, row.stored);
  }
}

// Command-line words are UTF-8 and keep every character in UTF-16.
TEST_F(BrandObject, TextsFromUtf8KeepTheirCharacters) {
  brand object("/d");
  object.setCompanyName("Soci\xC3\xA9t\xC3\xA9\xE2\x84\xA2 \xF0\x9F\x98\x80");
  object.setMessagePrefix("\xC5\x81\xC3\xB3\x64\xC5\xBA");
  EXPECT_EQ(std::u16string(object.companyName), u"Soci\u00E9t\u00E9\u2122 \U0001F600");
  EXPECT_EQ(std::u16string(object.messagePrefix), u"\u0141\u00F3d\u017A");
  EXPECT_EQ(object.setVersion("09.01"), 0);
  EXPECT_EQ(std::u16string(object.newVersion), u"09.01");
}

TEST_F(BrandObject, SetterOutOfMemoryLeavesTheFieldNull) {
  brand object("/d");
  jutest::failEachAllocation([&](jutest::AllocationFault& fault) {
    fault.arm();
    object.setCompanyName(u"Acme");
    const bool fired = fault.disarm();
    EXPECT_EQ(object.companyName == nullptr, fired);
  });
  EXPECT_EQ(errors_.ids().back(), 30190);
}

// The prefix checks of a run: reserved ones first, then the length.
TEST_F(BrandObject, RunRefusesReservedAndMisSizedPrefixes) {
  const struct {
    const char* prefix;
    uint32_t versionMode;
    uint32_t status;
  } rows[] = {
      {"vr", 0, kBrandStatusReservedPrefix}, {"Kj", 0, kBrandStatusReservedPrefix},
      {"ju", 1, kBrandStatusReservedPrefix}, {"WY", 1, kBrandStatusReservedPrefix},
      {"VRX", 0, kBrandStatusPrefixLength},  {"X", 0, kBrandStatusPrefixLength},
      {"", 0, kBrandStatusPrefixLength},     {nullptr, 0, kBrandStatusPrefixLength},
      {"vr", 1, kBrandStatusSuccess},        {"XY", 0, kBrandStatusSuccess},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.prefix != nullptr ? row.prefix : "null") + " version mode " +
                 std::to_string(row.versionMode));
    brand object("/nonexistent");
    object.setFilePrefix(row.prefix);
    object.versionMode = row.versionMode;
    EXPECT_EQ(object.run(), row.status == kBrandStatusSuccess ? 1 : 0);
    EXPECT_EQ(object.status, row.status);
  }
}

TEST_F(BrandObject, VersionCodesMatchOnlyWholeTwoCharacterCodes) {
  brand object("/d");
  std::strcpy(object.driverVersionCode, "28");
  std::strcpy(object.rzmVersionCode, "5");  // one character: matches nothing
  ASSERT_EQ(object.additionalVersionCodes.insertAt(juStrNDup("27", 2), 0), 0);
  const struct {
    const char* pair;
    int result;
  } rows[] = {{"28", 1}, {"27", 1}, {"26", 0}, {"5", 0}, {"5x", 0}, {"2", 0}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.pair);
    EXPECT_EQ(object.isVersionCode(row.pair), row.result);
  }
  std::strcpy(object.driverVersionCode, "");
  EXPECT_EQ(object.isVersionCode("\0\0"), 0);  // an empty code is no pair of zeros
}

TEST_F(BrandObject, HexDigitOfLowByte) {
  EXPECT_EQ(brand::hexDigit(0), '0');
  EXPECT_EQ(brand::hexDigit(9), '9');
  EXPECT_EQ(brand::hexDigit(10), 'A');
  EXPECT_EQ(brand::hexDigit(15), 'F');
  EXPECT_EQ(brand::hexDigit(0x10B), 'B');
}

}  // namespace
