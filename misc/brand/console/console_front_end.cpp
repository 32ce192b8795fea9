// The console front end: the positional words into the brand object, the
// run, and the report by its status.

#include "console/console_front_end.h"

#include <cstring>

#include "console/console.h"
#include "console/console_reporter.h"
#include "engine/brand.h"
#include "engine/command_line.h"
#include "julib/cstring.h"
#include "julib/object.h"
#include "text/ascii.h"
#include "text/brand_text.h"

namespace {

// A message prefix takes 1 to 30 characters.
constexpr size_t kMessagePrefixCharacters = 30;

// Characters of UTF-8 text: its bytes other than continuation bytes.
size_t characterCount(const char* text) {
  size_t count = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    if ((*p & 0xC0) != 0x80) ++count;
  }
  return count;
}

void upperAscii(char* text) {
  for (; *text != 0; ++text) *text = brandtext::upperAscii(*text);
}

// The console of one run: its texts unless silent, and the words in turn.
class Console {
 public:
  Console(brand& object, const char* const* words, int count) : object_(object), words_(words), count_(count) {}

  void say(const char* text) const {
    if (object_.silent == 0) brandPrint(text);
  }

  // Ends the run with `status` and `text`: exit code 1.
  int fail(uint32_t status, const char* text) const {
    object_.status = status;
    say(text);
    return 1;
  }

  // The next positional word; false (reported) when it does not fit.
  bool next() {
    if (nextArgument(word, sizeof word, words_, count_, &index_) == 0) return true;
    say("A word of the command line is too long\n");
    return false;
  }

  char word[kBrandCommandLineSize];

 private:
  brand& object_;
  const char* const* words_;
  int count_;
  int index_ = 1;
};

// The suffix word: suffix mode goes on with two digits. A word that is not
// two digits leaves the suffix as it was, so a CORVANE61 run keeps "32".
void takeSuffix(brand& object, const char* word) {
  char* previous = brandtext::copy(object.suffix);
  if (object.setSuffix(word) == 0) {
    object.suffixMode = 1;
  } else if (object.suffixMode != 0) {
    (void)object.setSuffix(previous);  // known to be valid: suffix mode was on
  }
  juFree(previous);
}

// The new version word: dropped silently when it is not a version. False
// when the old version cannot be put in the search list.
bool takeVersion(brand& object, const char* word) {
  if (object.setVersion(word) != 0) return true;
  object.versionMode = 1;
  return object.addOldVersion() != 0;
}

void reportSuccess(const Console& console) {
  console.say("\n\n\n");
  console.say("*-------------------------------------------------------*\n");
  console.say("|  Branding Complete.                                   |\n");
  console.say("*-------------------------------------------------------*\n");
  console.say("\n\n\n");
  console.say("Press any key to exit...");
}

}  // namespace

int runConsole(brand& object, const char* programDirectory, const char* const* words, int count, int entries) {
  Console console(object, words, count);
  // A silent run keeps the engine's own reporter, which shows nothing.
  ConsoleReporter reporter;
  const BrandReporterScope shown(object, object.silent == 0 ? &reporter : nullptr);
  object.resetOptions();
  object.readInf(programDirectory);
  if (object.driverVersionCode[0] == 0) return console.fail(kBrandStatusInfInvalid, "The .inf file is invalid\n");

  if (!console.next()) return 1;
  upperAscii(console.word);
  object.setFilePrefix(console.word);

  if (!console.next()) return 1;
  if (juGetFileType(console.word) != kJuFileDirectory) {
    return console.fail(kBrandStatusDirectory, "Invalid directory was specified\n");
  }
  object.setDirectory(console.word);

  if (!console.next()) return 1;
  if (console.word[0] == 0) return console.fail(kBrandStatusNamesMissing, "no company name was specified\n");
  object.setCompanyName(console.word);
  if (!console.next()) return 1;
  if (console.word[0] == 0) return console.fail(kBrandStatusNamesMissing, "no product name was specified\n");
  object.setProductName(console.word);

  if (!console.next()) return 1;
  // Entries after the mode word: the suffix, then the version.
  int suffixAt = 7;
  if (std::strcmp(console.word, "520") == 0) {
    object.messagePrefixMode = 0;
  } else if (entries >= 7) {
    if (std::strcmp(console.word, "CORVANE61") == 0) object.setCorvane61Mode();
    object.messagePrefixMode = 1;
    if (!console.next()) return 1;
    const size_t characters = characterCount(console.word);
    if (characters == 0 || characters > kMessagePrefixCharacters) {
      return console.fail(kBrandStatusMessagePrefix, "Invalid Message Prefix specified.\n");
    }
    object.setMessagePrefix(console.word);
    suffixAt = 8;
  } else {
    object.messagePrefixMode = 0;
    return console.fail(kBrandStatusMessagePrefix, "invalid message prefix specified\n");
  }
  if (entries >= suffixAt) {
    if (!console.next()) return 1;
    takeSuffix(object, console.word);
  }
  if (entries >= suffixAt + 1) {
    if (!console.next()) return 1;
    if (!takeVersion(object, console.word)) return console.fail(object.status, "error setting search list\n");
  }
  // Words after these are ignored.

  object.status = kBrandStatusSuccess;
  const int ran = object.run();
  // A run that stopped without a status ran out of memory (on the error list).
  if (object.status == kBrandStatusSuccess && ran != 0) {
    reportSuccess(console);
    if (object.silent == 0) {
      char answer[6];
      (void)brandReadLine(answer, sizeof answer);  // any line, or the end of the input
    }
    return 0;
  }
  if (isRefusedSetting(object.status)) console.say("invalid argument\n");
  return 1;
}
