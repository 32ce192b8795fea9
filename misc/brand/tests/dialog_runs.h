// Runs of the main dialog for the tests: a driver directory with its INF,
// the dialog run on it, the steps that fill its fields, and the message
// boxes a script met.
#ifndef BRAND_TESTS_DIALOG_RUNS_H
#define BRAND_TESTS_DIALOG_RUNS_H

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "dialogs/brand_dialogs.h"
#include "dialogs/dialog_reporter.h"
#include "engine/brand.h"
#include "engine/command_line.h"
#include "julib/window.h"
#include "testing/dialog_script.h"
#include "testing/files.h"

namespace dialogruns {

namespace dialogs = platform::dialogs;
using jutest::DialogStep;
using Names = std::set<std::string>;
using Texts = std::vector<std::string>;

inline constexpr char kMain[] = "Tarnwell Brisklane ODBC OEM Driver Branding Tool";
inline constexpr char kError[] = "OEM Branding Tool Error";
inline constexpr char kInfo[] = "OEM Branding Tool";
inline constexpr char kConfirm[] =
    "OEM Branding Tool: Brand will copy all vr*.* files to XY*.*\n \n Do you want to continue?";
inline constexpr char kSuccess[] = "OEM Branding Tool: Brand was successful.";
inline constexpr char kInf[] =
    "[START]\nPLATFORM=Linux\nVERSION=8.02.0293\nDRVVER=28\n[FILES]\nLIBEXTENSION=.bin\nCOMMON=vrone##,vrtwo##,vrsix##"
    "\n";
inline const Names kSources = {"vrone28.bin", "vrtwo28.bin", "vrsix28.bin"};
inline const Names kBranded = {"vrone28.bin", "vrtwo28.bin", "vrsix28.bin",
                               "xyone28.bin", "xytwo28.bin", "xysix28.bin"};

// Three files to brand (long enough for a message prefix, and no libraries:
// no version resource to rewrite), the INF beside the program and the saved
// command line, for one run of the dialog.
struct Drivers {
  explicit Drivers(const std::string& startup = "", const char* inf = kInf) {
    dir.write("vrbrand.inf", inf);
    driver = dir.makeDir("driver");
    for (const std::string& name : kSources) dir.write("driver/" + name, std::string(64, 'x'));
    std::snprintf(brandProgramDirectory, sizeof brandProgramDirectory, "%s", dir.path().c_str());
    std::snprintf(brandCommandLine, sizeof brandCommandLine, "%s", startup.c_str());
  }
  ~Drivers() { brandProgramDirectory[0] = brandCommandLine[0] = 0; }
  Drivers(const Drivers&) = delete;
  Drivers& operator=(const Drivers&) = delete;

  Names files() const {
    Names out;
    for (const auto& file : jutest::readTree(driver)) out.insert(file.first);
    return out;
  }

  jutest::TempDir dir;
  std::string driver;
};

// Runs the main dialog owned by `desktop` with `object`, reporting through
// the dialogs; its end code.
inline intptr_t runMain(dialogs::WindowHandle desktop, brand& object) {
  DialogReporter reporter(desktop);
  const BrandReporterScope shown(object, &reporter);
  return juDialogBoxResult(desktop, kBrandDialogMain, brandDlgProc, reinterpret_cast<intptr_t>(&object));
}

// The message boxes a script met: "caption: text".
inline Texts boxes(const jutest::DialogScript& script) {
  Texts out;
  for (const jutest::MetDialog& met : script.met()) {
    if (met.caption != kMain && met.caption != "Copying Files" && !met.statics.empty()) {
      out.push_back(met.caption + ": " + met.statics[0]);
    }
  }
  return out;
}

// The fields a run needs typed (message-prefix mode), `changes` typed
// instead (null: left as it is), then Brand; Yes to its question when
// `confirmed`.
inline std::vector<DialogStep> filled(const Drivers& drivers, std::map<int32_t, const char*> changes = {},
                                      bool confirmed = true) {
  std::map<int32_t, const char*> fields = {{kBrandPrefixControl, "xy"},
                                           {kBrandDirectoryControl, drivers.driver.c_str()},
                                           {kBrandCompanyControl, "Acme"},
                                           {kBrandProductControl, "Prod"},
                                           {kBrandMessagePrefixControl, "Acme"}};
  for (const auto& [id, text] : changes) fields[id] = text;
  std::vector<DialogStep> steps;
  for (const auto& [id, text] : fields) {
    if (text != nullptr) steps.push_back(DialogStep::setField(kMain, id, text));
  }
  steps.push_back(DialogStep::press(kMain, dialogs::kOkCommand));
  if (confirmed) steps.push_back(DialogStep::press(kInfo, kBrandAnswerYes));
  return steps;
}

}  // namespace dialogruns

#endif  // BRAND_TESTS_DIALOG_RUNS_H
