// The brand object: its catalogue, setters, prefix and version-code checks.

#include <cstring>
#include <string>
#include <tuple>

#include "engine/brand.h"
#include "app/brand_module.h"
#include "front_end_doubles.h"
#include "julib/threads.h"

namespace {

using BrandObject = branddoubles::BrandTest;

std::u16string message(uint16_t id) {
  char16_t buffer[kJuMessageUnits];
  return std::u16string(buffer, juLoadMessage(buffer, id));
}

TEST_F(BrandObject, CatalogueHoldsTheToolsTextsBeforeTheLibrarys) {
  EXPECT_EQ(message(kBrandMsgInfFileName), u".\\vrbrand.inf");
  EXPECT_EQ(message(kBrandMsgFilesMissing), u"The following files are missing:\n %s.\n Do you want to cancel?");
  EXPECT_EQ(message(30190), u"Out of memory.");  // the library's, through the same module
}

TEST_F(BrandObject, SettersValidateAndStore) {
  const std::tuple<const char16_t*, int, const char16_t*> versions[] = {
      {u"06.00", 0, u"06.00"}, {u"06.00.00.00", 0, u"06.00.00.00"}, {u"6.00", 1, u""}, {u"06,00", 1, u"06,00"},
      {u"06.00.00,00", 1, u"06.00.00,00"}, {u"06.00.00.000", 1, u""},
      {u"\u0660\u0666.00", 1, u"\u0660\u0666.00"}};  // other scripts' digits are no "0"-"9"
  for (const auto& [version, result, stored] : versions) {
    brand object("/d");
    EXPECT_EQ(object.setVersion(version), result) << jutest::toUtf8(version);
    EXPECT_EQ(std::u16string(object.newVersion), stored);
  }
  for (const auto& [suffix, result] : {std::pair{"32", 0}, {"3x", 1}, {"x2", 1}, {"3", 1}}) {
    brand object("/d");
    EXPECT_EQ(object.setSuffix(suffix), result) << suffix;
    EXPECT_STREQ(object.suffix, suffix);  // stored also when rejected
  }
  const char* directories[][2] = {{"/a/b", "/a/b/"}, {"/a/b\\", "/a/b/"}, {"/a/b/", "/a/b/"}, {"a\\b", "a/b/"}, {"", "/s/"}};
  for (const auto& [given, stored] : directories) {
    brand object("/s");
    object.setDirectory(given);
    EXPECT_STREQ(object.targetDirectory, stored) << given;
  }
  // Command-line words are UTF-8 and keep every character in UTF-16.
  brand object("/d");
  object.setCompanyName("Soci\xC3\xA9t\xC3\xA9\xE2\x84\xA2 \xF0\x9F\x98\x80");
  EXPECT_EQ(std::u16string(object.companyName), u"Soci\u00E9t\u00E9\u2122 \U0001F600");
}

// Reserved prefixes first, then the length in characters, then characters
// that cannot stand in a file name.
TEST_F(BrandObject, RunRefusesReservedAndMisSizedPrefixes) {
  const std::tuple<const char*, uint32_t, uint32_t> rows[] = {
      {"vr", 0, 5},     {"Kj", 0, 5}, {"ju", 1, 5}, {"WY", 1, 5},   {"VRX", 0, 6}, {"X", 0, 6},
      {"", 0, 6},       {nullptr, 0, 6},            {"vr", 1, 0},   {"XY", 0, 0},  {"./", 0, 7},
      {"X\\", 0, 7},    {"X:", 0, 7}, {"X ", 0, 7}, {"X\t", 0, 7}, {"\xC3\x89\xC3\x89", 0, 7},
      {"\xC3\x89", 0, 6}, {"A-", 0, 0}};
  for (const auto& [prefix, versionMode, status] : rows) {
    brand object("/nonexistent");
    object.setFilePrefix(prefix);
    object.versionMode = versionMode;
    EXPECT_EQ(object.run(), status == 0 ? 1 : 0);
    EXPECT_EQ(object.status, status) << (prefix != nullptr ? prefix : "null") << versionMode;
  }
}

TEST_F(BrandObject, VersionCodesMatchOnlyWholeTwoCharacterCodes) {
  brand object("/d");
  std::strcpy(object.driverVersionCode, "28");
  std::strcpy(object.rzmVersionCode, "5");  // one character: matches nothing
  ASSERT_EQ(object.additionalVersionCodes.insertAt(juStrNDup("27", 2), 0), 0);
  for (const auto& [pair, result] : {std::pair{"28", 1}, {"27", 1}, {"26", 0}, {"5x", 0}, {"5", 0}}) {
    EXPECT_EQ(object.isVersionCode(pair), result) << pair;
  }
  std::strcpy(object.driverVersionCode, "");
  EXPECT_EQ(object.isVersionCode("\0\0"), 0);  // an empty code is no pair of zeros
  EXPECT_EQ(std::string() + brand::hexDigit(9) + brand::hexDigit(10) + brand::hexDigit(0x10F), "9AF");
}

}  // namespace
