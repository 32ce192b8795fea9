// The main dialog's start-up words: the modes and the message prefix a
// dialog run is started with.

#include <string>

#include "engine/brand.h"
#include "front_end_doubles.h"
#include "dialogs/main_dialog.h"

namespace {

using StartupWords = branddoubles::BrandTest;

TEST_F(StartupWords, SetTheModesAndTheMessagePrefix) {
  const struct {
    const char* line;
    uint32_t messagePrefixMode, suffixMode, versionMode;
    const char16_t* messagePrefix;
  } rows[] = {
      {"", 1, 0, 0, u""},
      {"520", 0, 0, 0, u""},
      {"-fs", 1, 1, 0, u""},
      {"-nv X ACME", 1, 0, 1, u"ACME"},  // the third word is the prefix
      {"X", 1, 0, 0, u""},               // no word after it: no prefix
      {"-fs 520 -nv", 0, 1, 1, u""},
      {"520 M ACME", 1, 0, 0, u"ACME"},  // a later word turns the mode on again
      {"M 520", 1, 0, 0, u"520"},        // the word after a mode word is the prefix
      {"a b c d", 1, 0, 0, u"b"},        // three words at most: d is not read
      {"-nv -fs 520 X Y", 0, 1, 1, u""},
      {"  520    -fs ", 0, 1, 0, u""},  // runs of blanks
      {"-FS -NV", 1, 0, 0, u"-NV"},     // the words are compared exactly
      // The switches are the command line's, not start-up words.
      {"SilentInstall 520", 0, 0, 0, u""},
      {"silentinstall REPLACEINSTALL M ACME", 1, 0, 0, u"ACME"},
      {"ReplaceInstall -nv X Y", 1, 0, 1, u"Y"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    brand object("/d");
    takeStartupWords(object, row.line);
    EXPECT_EQ(object.messagePrefixMode, row.messagePrefixMode);
    EXPECT_EQ(object.suffixMode, row.suffixMode);
    EXPECT_EQ(object.versionMode, row.versionMode);
    EXPECT_EQ(std::u16string(object.messagePrefix), row.messagePrefix);
  }
}

// The branding key's suffix goes with the key: a run without it is back to
// the suffix mode and suffix it had before.
TEST_F(StartupWords, ResetOptionsUndoesTheBrandingKey) {
  const struct {
    uint32_t suffixMode;
    const char* suffix;
  } rows[] = {{0, ""}, {1, "45"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.suffix);
    brand object("/d");
    object.suffixMode = row.suffixMode;
    (void)object.setSuffix(row.suffix);
    for (int twice = 0; twice < 2; ++twice) {
      object.setCorvane61Mode();
      EXPECT_EQ(object.suffixMode, 1u);
      EXPECT_STREQ(object.suffix, "32");
    }
    object.resetOptions();
    EXPECT_EQ(object.corvane61Mode, 0u);
    EXPECT_EQ(object.suffixMode, row.suffixMode);
    EXPECT_STREQ(object.suffix, row.suffix);
    object.suffixMode = 1;  // a reset without the key changes nothing else
    object.resetOptions();
    EXPECT_EQ(object.suffixMode, 1u);
  }
}

}  // namespace
