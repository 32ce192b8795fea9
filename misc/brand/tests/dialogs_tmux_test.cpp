// The dialogs in a real terminal: the built vrbrd28 without words runs in a
// detached tmux session on a copy of the example directory, driven by
// send-keys and read by capture-pane through a whole branding run; the
// console mode then brands a second copy with the same fields, and both
// directories must be the same byte for byte.

#include <chrono>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "testing/files.h"
#include "testing/run_program.h"
#include "testing/temp_dir.h"

namespace {

namespace fs = std::filesystem;

const std::string kProgram = VRBRD28_PROGRAM;
const std::string kExample = JU_EXAMPLE_DRIVERS;

void copyExample(const std::string& to) {
  fs::create_directories(to);
  fs::copy(kExample + "/driver", to + "/driver", fs::copy_options::recursive);
  fs::copy(kExample + "/tools", to + "/tools", fs::copy_options::recursive);
  fs::copy_file(kExample + "/vrbrand.inf", to + "/vrbrand.inf");
}

// A tmux server of the test's own (its socket in a temporary folder) with
// one session of fixed size.
class Tmux {
 public:
  explicit Tmux(std::string socket) : socket_(std::move(socket)) {}
  ~Tmux() { (void)run({"kill-server"}); }
  Tmux(const Tmux&) = delete;
  Tmux& operator=(const Tmux&) = delete;

  jutest::ProgramResult run(std::vector<std::string> words) const {
    jutest::ProgramRun program;
    program.words = {"/usr/bin/env", "tmux", "-S", socket_};
    program.words.insert(program.words.end(), words.begin(), words.end());
    return jutest::runProgram(program);
  }

  // The visible screen.
  std::string screen() const { return run({"capture-pane", "-p", "-t", "brand"}).output; }

  // Waits until the screen shows `text` (ten seconds at most); the screen
  // last read.
  std::string waitFor(const std::string& text) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string shown;
    while ((shown = screen()).find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "the screen never showed \"" << text << "\":\n" << shown;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return shown;
  }

  // Types `line` and Enter.
  void type(const std::string& line) const {
    if (!line.empty()) {
      EXPECT_EQ(run({"send-keys", "-t", "brand", "-l", line}).exitCode, 0);
    }
    EXPECT_EQ(run({"send-keys", "-t", "brand", "Enter"}).exitCode, 0);
  }

 private:
  std::string socket_;
};

// The number the screen gives the field labelled `label` ("  3) Company Name ...").
std::string fieldNumber(const std::string& screen, const std::string& label) {
  std::smatch match;
  if (!std::regex_search(screen, match, std::regex("(\\d+)\\) " + label + " "))) {
    ADD_FAILURE() << "no field " << label << " in\n" << screen;
    return "0";
  }
  return match[1];
}

TEST(DialogsInTmux, BrandAsTheConsoleDoes) {
  jutest::TempDir dir;
  Tmux session(dir / "tmux.sock");
  if (session.run({"-V"}).exitCode != 0) GTEST_SKIP() << "tmux is not installed";
  const std::string dialogCopy = dir / "dialogs";
  const std::string consoleCopy = dir / "console";
  copyExample(dialogCopy);
  copyExample(consoleCopy);

  // The INF is read from the current directory: the copy. The shell line
  // keeps the pane, with the exit code, after the program ends.
  const std::string command = "'" + kProgram + "'; echo \"vrbrd28 ended: $?\"; exec sleep 600";
  ASSERT_EQ(
      session.run({"new-session", "-d", "-s", "brand", "-x", "120", "-y", "50", "-c", dialogCopy, command}).exitCode,
      0);
  session.waitFor("Welcome to the Tarnwell Brisklane Branding Tool for ODBC - 64 bits.");
  session.type("");  // Continue, the default button

  const std::string main = session.waitFor("Tarnwell Brisklane ODBC OEM Driver Branding Tool");
  const struct {
    const char* label;
    std::string typed, shown;  // the prefix's edit takes capitals
  } fields[] = {{"New Prefix", "xy", "XY"},
                {"Driver Dir", dialogCopy + "/driver", dialogCopy + "/driver"},
                {"Company Name", "Acme Corp", "Acme Corp"},
                {"Product Name", "Acme ODBC", "Acme ODBC"},
                {"Message Prefix", "Acme", "Acme"}};
  for (const auto& field : fields) {
    session.type(fieldNumber(main, field.label) + " " + field.typed);
    session.waitFor("[" + field.shown + "]");
  }
  session.type("b");
  session.waitFor("Brand will copy all vr*.* files to XY*.*");
  session.type("y");
  session.type("");  // typed ahead while the run is busy: it must not press the copy's Cancel
  session.waitFor("Brand was successful.");
  session.type("");  // OK
  session.waitFor("vrbrd28 ended: 0");

  jutest::ProgramRun console;
  console.words = {kProgram, "xy", consoleCopy + "/driver", "Acme Corp", "Acme ODBC", "MP", "Acme"};
  console.directory = consoleCopy;
  console.input = "\n";
  const jutest::ProgramResult result = jutest::runProgram(console);
  ASSERT_EQ(result.exitCode, 0) << result.output << result.errors;

  const std::map<std::string, std::string> byDialogs = jutest::readTree(dialogCopy);
  EXPECT_EQ(byDialogs.count("driver/xyora28.dll"), 1u);
  EXPECT_TRUE(byDialogs == jutest::readTree(consoleCopy)) << "the dialogs and the console branded differently";
}

}  // namespace
