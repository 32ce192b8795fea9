// Helpers of the converter tests: small td_ converters that ICU does not
// ship, built with makeconv (icu-devtools) into a temporary ICU data
// directory, and a reader of what a test posted.
#ifndef JULIB_TESTS_CONVERTER_TEST_UTIL_H
#define JULIB_TESTS_CONVERTER_TEST_UTIL_H

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unicode/putil.h>
#include <unicode/ucnv.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "julib/errors.h"
#include "testing/ju_test.h"

extern char** environ;

namespace jutest {

// Two tiny converters for td_ ids. td_ebcdic037_0e is EBCDIC-like: 0x41 is
// U+00A0 as in EBCDIC 037, so ASCII bytes must go through the converter.
// td_hangulksc5601_2r4 keeps ASCII as it is (and maps 0xA1 to U+00E9), so
// its text may take the ASCII fast path.
inline std::string tdUcm(const char* name, bool ebcdic) {
  std::string text = std::string("<code_set_name> \"") + name +
                     "\"\n"
                     "<mb_cur_max> 1\n"
                     "<mb_cur_min> 1\n"
                     "<uconv_class> \"SBCS\"\n"
                     "<subchar> \\x3F\n"
                     "CHARMAP\n";
  char line[32];
  if (ebcdic) {
    text +=
        "<U0000> \\x00 |0\n"
        "<U0020> \\x40 |0\n"
        "<U00A0> \\x41 |0\n"
        "<U00E9> \\x51 |0\n"
        "<U0041> \\xC1 |0\n"
        "<U0042> \\xC2 |0\n"
        "<U0043> \\xC3 |0\n";
  } else {
    for (int b = 0; b < 0x80; ++b) {
      std::snprintf(line, sizeof line, "<U%04X> \\x%02X |0\n", b, b);
      text += line;
    }
    text += "<U00E9> \\xA1 |0\n";
  }
  return text + "END CHARMAP\n";
}

inline constexpr int64_t kTdEbcdicId = 2000005040;  // td_ebcdic037_0e
inline constexpr int64_t kTdAsciiId = 2000005044;   // td_hangulksc5601_2r4
inline constexpr int64_t kMissingId = 2000005047;   // td_kanjieuc_0u: never built

// The data directory with the two converters, made once per test program
// and removed at exit. Its failure text, or "" when ICU finds them.
class TdConverters {
 public:
  static const std::string& install() {
    static TdConverters instance;
    return instance.failure_;
  }

 private:
  TdConverters() {
    char pattern[] = "/tmp/ju_icudata_XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
      failure_ = "no temporary directory";
      return;
    }
    root_ = pattern;
    // ICU looks for loose converter files in a folder named for its data.
    packageDir_ = root_ + "/" + U_ICUDATA_NAME;
    if (mkdir(packageDir_.c_str(), 0700) != 0) {
      failure_ = "cannot make " + packageDir_;
      return;
    }
    for (const bool ebcdic : {true, false}) {
      const char* name = ebcdic ? "td_ebcdic037_0e" : "td_hangulksc5601_2r4";
      const std::string ucm = root_ + "/" + name + ".ucm";
      FILE* file = std::fopen(ucm.c_str(), "w");
      if (file == nullptr) {
        failure_ = "cannot write " + ucm;
        return;
      }
      const std::string text = tdUcm(name, ebcdic);
      std::fwrite(text.data(), 1, text.size(), file);
      std::fclose(file);
      files_.push_back(ucm);
      files_.push_back(packageDir_ + "/" + name + ".cnv");
      if (!makeconv(ucm)) return;
    }
    u_setDataDirectory(root_.c_str());
  }

  ~TdConverters() {
    for (const std::string& file : files_) std::remove(file.c_str());
    if (!packageDir_.empty()) rmdir(packageDir_.c_str());
    if (!root_.empty()) rmdir(root_.c_str());
  }

  bool makeconv(const std::string& ucm) {
    std::string program = "makeconv";
    std::string flag = "-d";
    std::vector<char*> argv = {program.data(), flag.data(), packageDir_.data(), const_cast<char*>(ucm.c_str()),
                               nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "makeconv", nullptr, nullptr, argv.data(), environ) != 0) {
      failure_ = "makeconv (package icu-devtools) is not installed";
      return false;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      failure_ = "makeconv failed on " + ucm;
      return false;
    }
    return true;
  }

  std::string root_;
  std::string packageDir_;
  std::vector<std::string> files_;
  std::string failure_;
};

// A posted error as a test sees it.
struct Posted {
  uint16_t id;
  bool warning;
  std::string sqlState;
  std::string message;

  bool operator==(const Posted& other) const {
    return id == other.id && warning == other.warning && sqlState == other.sqlState && message == other.message;
  }
};

inline void PrintTo(const Posted& p, std::ostream* os) {
  *os << "{" << p.id << (p.warning ? " warning " : " error ") << p.sqlState << " \"" << p.message << "\"}";
}

inline std::vector<Posted> posted(ScopedErrorList& errors) {
  std::vector<Posted> out;
  for (uint64_t i = 0; i < errors->count; ++i) {
    JuError* error = errors->at(i);
    out.push_back({error->messageId, error->isWarning(), error->sqlState(), errors.message(i)});
  }
  return out;
}

// The catalogue texts of the conversion outcomes, for the expected rows.
inline Posted truncatedWarning() { return {2735, true, "01004", "String data translation caused data truncation."}; }
inline Posted substitutedWarning() { return {2736, true, "01000", "String data code page conversion failed."}; }
inline Posted conversionError() { return {2737, false, "HY000", "String data code page conversion failed."}; }
inline Posted unknownCodePage(const std::string& what) { return {2739, false, "HY000", "Unknown codepage. " + what}; }

}  // namespace jutest

#endif  // JULIB_TESTS_CONVERTER_TEST_UTIL_H
