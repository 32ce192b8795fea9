// Runs of the main dialog for the tests: a driver directory with its INF,
// the dialog run on it, the fields a run needs, and the boxes a script met.
#ifndef BRAND_TESTS_DIALOG_RUNS_H
#define BRAND_TESTS_DIALOG_RUNS_H

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "brand.h"
#include "brand_dialogs.h"
#include "julib/window.h"
#include "startup.h"
#include "testing/dialog_script.h"
#include "testing/temp_dir.h"

namespace dialogruns {

namespace dialogs = platform::dialogs;
namespace fs = std::filesystem;
using jutest::DialogStep;
using Names = std::set<std::string>;
using Texts = std::vector<std::string>;

inline constexpr char kMain[] = "Tarnwell Brisklane ODBC OEM Driver Branding Tool";
inline constexpr char kError[] = "OEM Branding Tool Error";
inline constexpr char kInfo[] = "OEM Branding Tool";
inline constexpr char kConfirm[] = "OEM Branding Tool: Brand will copy all vr*.* files to XY*.*\n \n Do you want to continue?";
inline constexpr char kSuccess[] = "OEM Branding Tool: Brand was successful.";

// Three files to brand.
inline constexpr char kInf[] =
    "[START]\nPLATFORM=Linux\nVERSION=8.02.0293\nDRVVER=28\n"
    "[FILES]\nLIBEXTENSION=.bin\nCOMMON=vrone##,vrtwo##,vrsix##\n";

// A driver directory of three files of 64 bytes (so a message-prefix run
// copies them, with no version resource to rewrite) and the INF beside the
// program, for one run of the dialog.
struct Drivers {
  explicit Drivers(const std::string& startup = "", const char* inf = kInf) {
    dir.write("vrbrand.inf", inf);
    driver = dir.makeDir("driver");
    for (const char* name : {"vrone28.bin", "vrtwo28.bin", "vrsix28.bin"}) {
      dir.write(std::string("driver/") + name, std::string(64, 'x'));
    }
    std::snprintf(brandProgramDirectory, sizeof brandProgramDirectory, "%s", dir.path().c_str());
    std::snprintf(brandCommandLine, sizeof brandCommandLine, "%s", startup.c_str());
  }
  ~Drivers() {
    brandProgramDirectory[0] = 0;
    brandCommandLine[0] = 0;
  }
  Drivers(const Drivers&) = delete;
  Drivers& operator=(const Drivers&) = delete;

  Names files() const {
    Names out;
    for (const auto& entry : fs::directory_iterator(driver)) out.insert(entry.path().filename().string());
    return out;
  }

  jutest::TempDir dir;
  std::string driver;
};

// Runs the main dialog owned by `desktop` with `object`; its end code.
inline intptr_t runMain(dialogs::WindowHandle desktop, brand& object) {
  object.setOwnerWindow(desktop);
  return juDialogBoxResult(desktop, kBrandDialogMain, brandDlgProc, reinterpret_cast<intptr_t>(&object));
}

// The message boxes a script met: "caption: text".
inline Texts boxes(const jutest::DialogScript& script) {
  Texts out;
  for (const jutest::MetDialog& met : script.met()) {
    if (met.caption == kMain || met.caption == "Copying Files" || met.statics.empty()) continue;
    out.push_back(met.caption + ": " + met.statics[0]);
  }
  return out;
}

inline const Names kSources = {"vrone28.bin", "vrtwo28.bin", "vrsix28.bin"};
inline const Names kBranded = {"vrone28.bin", "vrtwo28.bin", "vrsix28.bin", "xyone28.bin", "xytwo28.bin", "xysix28.bin"};

// The steps that fill the fields a run needs (message-prefix mode) and
// press Brand.
inline std::vector<DialogStep> filledAndBrand(const Drivers& drivers) {
  return {DialogStep::setField(kMain, kBrandPrefixControl, "xy"),
          DialogStep::setField(kMain, kBrandDirectoryControl, drivers.driver),
          DialogStep::setField(kMain, kBrandCompanyControl, "Acme"),
          DialogStep::setField(kMain, kBrandProductControl, "Prod"),
          DialogStep::setField(kMain, kBrandMessagePrefixControl, "Acme"),
          DialogStep::press(kMain, dialogs::kOkCommand),
          DialogStep::press(kInfo, kBrandAnswerYes)};
}

}  // namespace dialogruns

#endif  // BRAND_TESTS_DIALOG_RUNS_H
