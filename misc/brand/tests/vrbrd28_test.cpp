// vrbrd28 end to end: the built program brands copies of the example driver
// directory in each mode of its command line. Every file of the directory
// afterwards is compared with the bytes expected (names, message prefixes
// and versions replaced, the rest as it was), version resources also with
// the pefile checker; then the faults: a directory it cannot write, a
// missing source, a full disk.

#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "front_end_doubles.h"
#include "testing/files.h"
#include "testing/pe_fixtures.h"
#include "testing/run_program.h"
#include "testing/temp_dir.h"
#include "version/update_version_info.h"

namespace {

namespace fs = std::filesystem;
using Vrbrd28 = branddoubles::BrandTest;

const std::string kProgram = VRBRD28_PROGRAM;
const std::string kExample = JU_EXAMPLE_DRIVERS;

// The example's files in the order of its INF's main list.
const char* const kFiles[] = {"vrbas28.dll", "vrutl28.dll", "vrmsg28.dll", "vrora28.dll",
                              "vrsetup.exe", "vrodbc.ini",  "vrhelp28.hlp", "vrhelp28.cnt"};

struct Mode {
  const char* name;
  std::vector<std::string> words;  // after the program name; "DIR" is the driver directory
  const char* inf;
  const char* messagePrefix;       // null: "520" (no message prefix)
  bool suffix, version, replaceInstall, silent;
};

// A copy of the example: driver/, tools/ and the INF as vrbrand.inf.
void copyExample(const jutest::TempDir& dir, const char* inf) {
  fs::copy(kExample + "/driver", dir / "driver", fs::copy_options::recursive);
  fs::copy(kExample + "/tools", dir / "tools", fs::copy_options::recursive);
  fs::copy_file(kExample + "/" + inf, dir / "vrbrand.inf");
}

// Each occurrence of `from` replaced by `to` (of the same length).
using Swaps = std::vector<std::pair<std::string, std::string>>;
std::string swapped(std::string bytes, const Swaps& swaps) {
  for (const auto& [from, to] : swaps) {
    EXPECT_EQ(from.size(), to.size()) << from;
    for (size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at + to.size())) {
      bytes.replace(at, from.size(), to);
    }
  }
  return bytes;
}

std::string newName(const std::string& name, const Mode& mode) {
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0) return name;
  std::string out = "xy" + name.substr(2);
  const size_t code = out.find("28");
  if (mode.suffix && code != std::string::npos) out.replace(code, 2, "32");
  return out;
}

// What the tool is expected to write for `name`, from the example's bytes.
std::string expectedBytes(const std::string& name, const Mode& mode, const std::string& source) {
  const std::string suffix = mode.suffix ? "32" : "28";
  const std::string extension = name.substr(name.find('.'));
  Swaps swaps;
  if (extension == ".dll" || extension == ".ini") {
    swaps = {{"VRORA28.DLL", "XYORA28.DLL"}, {"VRBAS28.DLL", "XYBAS28.DLL"}};
  }
  if (extension == ".dll") {
    swaps.insert(swaps.end(), {{"-4C3B-", "-5859-"},
                               {"Brisklane Closed XML ADO Provider", std::string("Acme XML Provider\0ML ADO Provider", 33)},
                               {"vrbas28.dll", "xybas" + suffix + ".dll"},
                               {"vrutl28.dll", "xyutl" + suffix + ".dll"}});
    if (mode.version) swaps.push_back({"Version 08.02", "Version 09.01"});
    if (std::string(mode.inf) == "sibling.inf") swaps.push_back({std::string("vrora28\0", 8), "xyora" + suffix + '\0'});
  }
  if (extension == ".cnt") swaps = {{"VRHELP28.HLP", "XYHELP28.HLP"}};
  if (mode.messagePrefix != nullptr && extension != ".ini" && extension != ".cnt") {
    const std::string old = "[Brisklane][ODBC ";
    const std::string fresh = "[" + std::string(mode.messagePrefix) + "][ODBC ";
    const size_t length = std::max(old.size(), fresh.size()) + 1;
    swaps.push_back({old + std::string(length - old.size(), '\0'), fresh + std::string(length - fresh.size(), '\0')});
  }
  return swapped(source, swaps);
}

// The version resource rewritten as the tool should have had it done.
std::string rewritten(const jutest::TempDir& scratch, const std::string& bytes, const Mode& mode) {
  const std::string path = scratch.write("expected.dll", bytes);
  CUpdateVersionInfoResourceApp app;
  app.filePath = path.c_str();
  const std::u16string prefix = jutest::wide(mode.messagePrefix);
  if (mode.version) app.newVersion = u"09.01";
  EXPECT_NE(app.update(u"Acme Corp", prefix.c_str()), 0);
  return jutest::readWholeFile(path);
}

// A PE file's bytes with its checksum field zeroed: the tool puts the right
// checksum into every PE file it writes, which pefile checks apart.
std::string withoutChecksum(std::string bytes) {
  if (bytes.size() < 0x40 || bytes.compare(0, 2, "MZ") != 0) return bytes;
  const uint32_t pe = static_cast<uint8_t>(bytes[0x3C]) | static_cast<uint8_t>(bytes[0x3D]) << 8;
  const size_t field = pe + 4 + 20 + 64;
  if (field + 4 <= bytes.size()) bytes.replace(field, 4, 4, '\0');
  return bytes;
}

jutest::ProgramResult runTool(const jutest::TempDir& dir, std::vector<std::string> words, const std::string& input) {
  jutest::ProgramRun run;
  run.words = {kProgram};
  for (std::string& word : words) run.words.push_back(word == "DIR" ? dir / "driver" : word);
  run.input = input;
  run.directory = dir.path();
  return jutest::runProgram(run);
}

const char kBox[] =
    "\n\n\n*-------------------------------------------------------*\n"
    "|  Branding Complete.                                   |\n"
    "*-------------------------------------------------------*\n\n\n\nPress any key to exit...";

TEST_F(Vrbrd28, BrandsTheExampleInEveryMode) {
  const std::vector<std::string> base = {"xy", "DIR", "Acme Corp", "Acme ODBC"};
  auto words = [&](std::vector<std::string> more) {
    std::vector<std::string> out = base;
    out.insert(out.end(), more.begin(), more.end());
    return out;
  };
  const Mode modes[] = {
      {"520", words({"520"}), "vrbrand.inf", nullptr, false, false, false, false},
      {"520 with suffix and version", words({"520", "32", "09.01"}), "vrbrand.inf", nullptr, true, true, false, false},
      {"message prefix", words({"MP", "Acme"}), "vrbrand.inf", "Acme", false, false, false, false},
      {"message prefix with suffix and version", words({"MP", "Acme", "32", "09.01"}), "vrbrand.inf", "Acme", true,
       true, false, false},
      {"a 30-character message prefix", words({"MP", "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234"}), "vrbrand.inf",
       "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234", false, false, false, false},
      {"CORVANE61", words({"CORVANE61", "Acme"}), "vrbrand.inf", "Acme", true, false, false, false},
      {"SilentInstall", words({"SilentInstall", "520"}), "vrbrand.inf", nullptr, false, false, false, true},
      {"ReplaceInstall", words({"MP", "Acme", "ReplaceInstall"}), "vrbrand.inf", "Acme", false, false, true, false},
      {"sibling product", words({"520"}), "sibling.inf", nullptr, false, false, false, false},
  };
  for (const Mode& mode : modes) {
    SCOPED_TRACE(mode.name);
    jutest::TempDir dir, scratch;
    copyExample(dir, mode.inf);
    const std::map<std::string, std::string> before = jutest::readTree(dir.path());
    const jutest::ProgramResult result = runTool(dir, mode.words, "\n");
    EXPECT_EQ(result.exitCode, 0) << result.errors;

    std::map<std::string, std::string> expected = before;
    std::string console;
    for (const std::string name : kFiles) {
      const bool fromTools = mode.replaceInstall && name == "vrsetup.exe";
      const std::string source = (fromTools ? "tools/" : "driver/") + name;
      const std::string target = (fromTools ? "tools/" : "driver/") + newName(name, mode);
      std::string bytes = expectedBytes(name, mode, before.at(source));
      if (mode.messagePrefix != nullptr && name.find(".dll") != std::string::npos) {
        bytes = rewritten(scratch, bytes, mode);
      }
      if (mode.replaceInstall && !fromTools) expected.erase(source);
      expected[target] = bytes;
      console += "Branding: " + name + " -> " + newName(name, mode) + " ... Done\n";
    }
    EXPECT_EQ(result.output, mode.silent ? "" : console + kBox);
    const std::map<std::string, std::string> after = jutest::readTree(dir.path());
    for (const auto& [path, bytes] : expected) {
      SCOPED_TRACE(path);
      ASSERT_EQ(after.count(path), 1u);
      EXPECT_TRUE(withoutChecksum(after.at(path)) == withoutChecksum(bytes));
      // Every PE file the tool wrote carries its right checksum.
      if (before.count(path) == 0 && after.at(path).compare(0, 2, "MZ") == 0) {
        EXPECT_EQ(jutest::peDump(dir / path).find("checksum ok"), 0u);
      }
    }
    EXPECT_EQ(after.size(), expected.size());

    // The version resource, read back by pefile.
    const std::string dump = jutest::peDump(dir / ("driver/" + newName("vrora28.dll", mode)));
    const bool branded = mode.messagePrefix != nullptr;
    const std::string prefix = branded ? mode.messagePrefix : "";
    for (const std::string& line :
         {std::string("CompanyName=") + (branded ? "Acme Corp" : "Tarnwell Software Corporation"),
          "FileDescription=" + (branded ? prefix : "Tarnwell Brisklane") + " ODBC Oracle Wire Protocol",
          std::string("FileVersion=") + (branded && mode.version ? "09.01" : "08.02") + ".0293 (B9999, U9999)"}) {
      EXPECT_NE(dump.find("string 040904B0 " + line + "\n"), std::string::npos) << line << "\n" << dump;
    }
  }
}

TEST_F(Vrbrd28, FaultsAreReportedAndLeaveTheSourcesAlone) {
  const std::vector<std::string> words = {"xy", "DIR", "Acme Corp", "Acme ODBC", "MP", "Acme"};
  const struct {
    const char* name;
    void (*prepare)(const jutest::TempDir& dir, jutest::ProgramRun& run);
    const char* said;  // a line of the console output
  } rows[] = {
      {"a target directory the tool cannot write",
       [](const jutest::TempDir& dir, jutest::ProgramRun& run) {
         fs::permissions(dir.path(), fs::perms(0755));
         fs::permissions(dir / "driver", fs::perms(0555));
         if (geteuid() == 0) run.user = 65534;  // root writes anywhere: run as nobody
       },
       "could not be copied"},
      {"a target name taken by a directory",
       [](const jutest::TempDir& dir, jutest::ProgramRun&) { fs::create_directory(dir / "driver/xybas28.dll"); },
       "could not be copied"},
      {"a missing source, cancelled at the question",
       [](const jutest::TempDir& dir, jutest::ProgramRun&) { fs::remove(dir / "driver/vrutl28.dll"); },
       "The following files are missing:\n vrutl28.dll.\n Do you want to cancel? [Yes] "},
      {"a full disk",
       [](const jutest::TempDir&, jutest::ProgramRun& run) { run.fileSizeLimit = 1024; },
       "could not be copied"},
      {"the file-size limit, its signal at the default",
       [](const jutest::TempDir&, jutest::ProgramRun& run) {
         run.fileSizeLimit = 1024;
         run.sizeSignal = true;
       },
       "could not be copied"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    jutest::TempDir dir;
    copyExample(dir, "vrbrand.inf");
    jutest::ProgramRun run;
    run.words = {kProgram};
    for (const std::string& word : words) run.words.push_back(word == "DIR" ? dir / "driver" : word);
    run.directory = dir.path();
    row.prepare(dir, run);
    const std::map<std::string, std::string> before = jutest::readTree(dir.path());
    const jutest::ProgramResult result = jutest::runProgram(run);
    fs::permissions(dir / "driver", fs::perms(0755));
    EXPECT_EQ(result.exitCode, 1) << result.output << result.errors;
    EXPECT_NE(result.output.find(row.said), std::string::npos) << result.output;
    EXPECT_EQ(result.output.find("Branding Complete"), std::string::npos);
    EXPECT_TRUE(jutest::readTree(dir.path()) == before) << "a file changed or was left behind";
  }
}

// A file the user chose to go on without is skipped without a word, and the
// run still counts as gone through.
TEST_F(Vrbrd28, AnAbsentFileIsSkippedWithoutAWord) {
  jutest::TempDir dir;
  copyExample(dir, "vrbrand.inf");
  fs::remove(dir / "driver/vrutl28.dll");
  const jutest::ProgramResult result = runTool(dir, {"xy", "DIR", "Acme Corp", "Acme ODBC", "520"}, "n\n\n");
  EXPECT_EQ(result.exitCode, 0) << result.errors;
  const std::string question = "The following files are missing:\n vrutl28.dll.\n Do you want to cancel? [Yes] ";
  EXPECT_EQ(result.output.find(question), 0u) << result.output;
  EXPECT_EQ(result.output.find("vrutl28", question.size()), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("Branding: vrora28.dll -> xyora28.dll ... Done\n"), std::string::npos);
  EXPECT_NE(result.output.find("Branding Complete"), std::string::npos);
}

// A run needs the whole set of words, and a command line of at most 1999
// bytes (the words after the program's name, joined by blanks).
TEST_F(Vrbrd28, TakesWholeCommandLinesThatFit) {
  const std::vector<std::string> words = {"xy", "DIR", "Acme Corp", "Acme ODBC", "520", "32", "09.01"};
  const struct {
    const char* name;
    size_t lineBytes;  // 0: the words without an eighth (ignored) one
    size_t words;
    int exitCode;
    const char* said;   // on standard error
    const char* shown;  // on standard output
  } rows[] = {
      // The end of the input ends the dialogs at once.
      {"four words: the dialogs", 0, 4, 1, "", "| Welcome |"},
      {"1999 bytes", 1999, 7, 0, "", "Branding Complete"},
      {"2000 bytes", 2000, 7, 1, "The command line is too long: at most 1999 bytes are taken", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    jutest::TempDir dir;
    copyExample(dir, "vrbrand.inf");
    std::vector<std::string> used(words.begin(), words.begin() + row.words);
    size_t length = 0;
    for (const std::string& word : used) length += (word == "DIR" ? (dir / "driver").size() : word.size()) + 1;
    if (row.lineBytes != 0) used.push_back(std::string(row.lineBytes - length, 'w'));
    const jutest::ProgramResult result = runTool(dir, used, "");
    EXPECT_EQ(result.exitCode, row.exitCode) << result.output;
    EXPECT_NE(result.errors.find(row.said), std::string::npos) << result.errors;
    EXPECT_NE(result.output.find(row.shown), std::string::npos) << result.output;
  }
}

// The version-information functions are the program's exports.
TEST(Vrbrd28Exports, AreDynamicSymbolsOfTheProgram) {
  FILE* pipe = popen(("nm -D --defined-only '" + kProgram + "'").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string symbols;
  char line[512];
  while (fgets(line, sizeof line, pipe) != nullptr) symbols += line;
  EXPECT_EQ(pclose(pipe), 0);
  for (const char* name : {" T getCompanyNameString\n", " T getFileVersionString\n", " T getFileVersionStringW\n"}) {
    EXPECT_NE(symbols.find(name), std::string::npos) << name << symbols;
  }
}

}  // namespace
