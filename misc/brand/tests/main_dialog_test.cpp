// The main branding dialog driven by scripted input: every outcome of the
// Brand button, the start-up rows, Cancel and close, Help, Browse, and the
// Welcome dialog before it.

#include "dialog_runs.h"
#include "front_end_doubles.h"
#include "platform/browser.h"

namespace {

using namespace dialogruns;
using MainDialog = branddoubles::BrandTest;

const std::string kNamesMissing = std::string(kError) + ": You must enter a Company and Product Name.";
const std::string kPrefixMissing =
    std::string(kError) + ": You must enter a Message Prefix - maximum length of 30 characters.";
const std::string kBadSuffix = std::string(kError) + ": You must enter a valid suffix [only numbers]";
const std::string kBadVersion = std::string(kError) +
                                ": You must enter a valid version [a decimal of length 5 or 11 with scale of two "
                                "such as 06.00 OR 06.00.00.00]";
const std::string kInvalidInf = std::string(kError) + ": The .inf file is either missing or invalid.";
const DialogStep kOk = DialogStep::press(kError, kBrandAnswerOk);
const DialogStep kYes = DialogStep::press(kInfo, kBrandAnswerYes);
const DialogStep kDone = DialogStep::press(kInfo, kBrandAnswerOk);

std::string question(const char* from, const char* to) {
  return std::string(kInfo) + ": Brand will copy all " + from + "*.* files to " + to +
         "*.*\n \n Do you want to continue?";
}

// A failed check leaves the files and the dialog as they were; a run ends
// the dialog with 0.
TEST_F(MainDialog, EveryOutcomeOfBrand) {
  const std::string prefix31(31, 'p');
  const struct {
    const char* note;
    std::string startup;
    std::map<int32_t, const char*> changes;
    std::vector<DialogStep> answers;  // after Brand
    Texts shown;
    uint32_t status;
    Names after;
  } rows[] = {
      {"no product", "", {{310, ""}}, {kOk}, {kNamesMissing}, 12, kSources},
      {"no company", "", {{309, ""}}, {kOk}, {kNamesMissing}, 12, kSources},
      {"no message prefix", "", {{311, ""}}, {kOk}, {kPrefixMissing}, 13, kSources},
      {"31 characters from the start-up words",
       "M " + prefix31,
       {{311, nullptr}},
       {kOk},
       {kPrefixMissing},
       13,
       kSources},
      {"a suffix with a letter", "-fs", {{313, "3x"}}, {kOk}, {kBadSuffix}, 15, kSources},
      {"no suffix", "-fs", {}, {kOk}, {kBadSuffix}, 15, kSources},
      {"a short version", "-nv", {{314, "6.00"}}, {kOk}, {kBadVersion}, 16, kSources},
      {"a comma in the version", "-nv", {{314, "06,00"}}, {kOk}, {kBadVersion}, 16, kSources},
      {"a reserved prefix",
       "",
       {{301, "vr"}},
       {kYes, kOk},
       {question("vr", "VR"), std::string(kError) + ": This prefix is reserved for Brisklane Technologies use only!  "
                                                    "Choose another prefix, or contact your Account Manager."},
       0,
       kSources},
      {"one letter",
       "",
       {{301, "x"}},
       {kYes, kOk},
       {question("vr", "X"), std::string(kError) + ": Prefix must be two characters!"},
       0,
       kSources},
      {"the question answered No", "", {}, {DialogStep::press(kInfo, kBrandAnswerNo)}, {kConfirm}, 8, kSources},
      {"the question answered Yes", "", {}, {kYes, kDone}, {kConfirm, kSuccess}, 0, kBranded},
      {"520: no message prefix", "520", {{311, nullptr}}, {kYes, kDone}, {kConfirm, kSuccess}, 0, kBranded},
      {"the branding key: its suffix, none checked",
       "-fs",
       {{312, "x CORVANE61"}},
       {kYes, kDone},
       {kConfirm, kSuccess},
       0,
       {"vrone28.bin", "vrtwo28.bin", "vrsix28.bin", "xyone32.bin", "xytwo32.bin", "xysix32.bin"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    const Drivers drivers(row.startup);
    std::vector<DialogStep> steps = filled(drivers, row.changes, false);
    steps.insert(steps.end(), row.answers.begin(), row.answers.end());
    jutest::DialogScript script(steps);
    brand object("/d");
    EXPECT_EQ(runMain(desktop, object), row.after == kSources ? dialogs::kDialogNoInput : 0);
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(boxes(script), row.shown);
    EXPECT_EQ(object.status, row.status);
    EXPECT_EQ(drivers.files(), row.after);
  }
}

// A missing file: Yes cancels (the dialog stays), No brands the others. An
// invalid INF is shown at the start and again at Brand, never branding an
// empty list as a success; a valid one without files brands nothing, well.
TEST_F(MainDialog, MissingFilesAndInvalidInfs) {
  const std::string missing = "Brand Error: The following files are missing:\n vrtwo28.bin.\n Do you want to cancel?";
  const struct {
    const char* inf;
    std::vector<DialogStep> before, after;  // the script around filling and Brand
    Texts shown;
    Names files;
  } rows[] = {
      {kInf,
       {},
       {kYes, DialogStep::press("Brand Error", kBrandAnswerYes)},
       {kConfirm, missing},
       {"vrone28.bin", "vrsix28.bin"}},
      {kInf,
       {},
       {kYes, DialogStep::press("Brand Error", kBrandAnswerNo), kDone},
       {kConfirm, missing, kSuccess},
       {"vrone28.bin", "vrsix28.bin", "xyone28.bin", "xysix28.bin"}},
      {"[START]\nPLATFORM=Linux\n", {kOk}, {kOk}, {kInvalidInf, kInvalidInf}, kSources},
      {"[START]\nPLATFORM=Linux\nVERSION=8.02.0293\n", {}, {kYes, kDone}, {question("", "XY"), kSuccess}, kSources},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.inf);
    const Drivers drivers("", row.inf);
    if (row.inf == kInf) std::remove((drivers.driver + "/vrtwo28.bin").c_str());
    std::vector<DialogStep> steps = row.before;
    for (const DialogStep& step : filled(drivers, {}, false)) steps.push_back(step);
    steps.insert(steps.end(), row.after.begin(), row.after.end());
    jutest::DialogScript script(steps);
    brand object("/d");
    (void)runMain(desktop, object);
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(boxes(script), row.shown);
    EXPECT_EQ(drivers.files(), row.files);
  }
}

// The rows of the modes that are off are hidden; fields hold the object's
// values and take no more than their limits.
TEST_F(MainDialog, StartupRowsFieldsAndLimits) {
  const struct {
    const char* startup;
    std::vector<bool> rowsShown;  // message prefix, suffix, version
    const char* messagePrefix;
  } rows[] = {
      {"", {true, false, false}, ""},
      {"520", {false, false, false}, ""},
      {"-fs", {true, true, false}, ""},
      {"-nv X ACME", {true, false, true}, "ACME"},
      {"SilentInstall 520 -fs", {false, true, false}, ""},
  };
  const std::map<int32_t, size_t> limits = {{301, 2},  {303, 255}, {309, 127}, {310, 63},
                                            {312, 30}, {311, 30},  {313, 2},   {314, 11}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.startup);
    const Drivers drivers(row.startup);
    jutest::DialogScript script({DialogStep::endInput(kMain)});
    Texts seen;
    branddoubles::InputInFront look(script, [&](dialogs::WindowHandle dialog, int32_t) {
      for (const auto& [edit, labels] : std::map<int32_t, int32_t>{{311, 350}, {313, 352}, {314, 354}}) {
        for (int32_t id : {edit, labels, labels + 1})
          seen.push_back(dialogs::isVisible(dialogs::dialogItem(dialog, id)) ? "shown" : "hidden");
      }
      for (const auto& [id, limit] : limits)
        EXPECT_EQ(dialogs::textLimit(dialogs::dialogItem(dialog, id)), limit) << id;
      for (int32_t id : {300, 303, 311}) seen.push_back(jutest::windowTextUtf8(dialogs::dialogItem(dialog, id)));
      return false;  // the script ends the input
    });
    brand object("/start");
    EXPECT_EQ(runMain(desktop, object), dialogs::kDialogNoInput);
    Texts expected;
    for (bool shown : row.rowsShown) expected.insert(expected.end(), 3, shown ? "shown" : "hidden");
    expected.insert(expected.end(), {"Linux  Vers. 8.02.0293", "/start/", row.messagePrefix});
    EXPECT_EQ(seen, expected);
  }
}

// Cancel, the close box and Escape ask "Are you sure?": Yes ends the
// dialog, No keeps it. Silent runs ask nothing: a question counts as No,
// also before a run.
TEST_F(MainDialog, CancelAndSilentRuns) {
  const struct {
    const char* note;
    DialogStep action;
    uint32_t silent;
    int32_t answer;  // 0: no box
  } rows[] = {
      {"Cancel, Yes", DialogStep::press(kMain, dialogs::kCancelCommand), 0, kBrandAnswerYes},
      {"Cancel, No", DialogStep::press(kMain, dialogs::kCancelCommand), 0, kBrandAnswerNo},
      {"close, Yes", DialogStep::close(kMain), 0, kBrandAnswerYes},
      {"Escape, No", DialogStep::pressKey(kMain), 0, kBrandAnswerNo},
      {"silent Cancel", DialogStep::press(kMain, dialogs::kCancelCommand), 1, 0},
      {"silent Brand", DialogStep::press(kMain, dialogs::kOkCommand), 1, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.note);
    const Drivers drivers;
    std::vector<DialogStep> steps = filled(drivers, {}, false);
    steps.back() = row.action;
    if (row.answer != 0) steps.push_back(DialogStep::press("Cancel OEM Branding Tool", row.answer));
    jutest::DialogScript script(steps);
    brand object("/d");
    object.silent = row.silent;
    EXPECT_EQ(runMain(desktop, object), row.answer == kBrandAnswerYes ? 0 : dialogs::kDialogNoInput);
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(boxes(script), row.answer != 0 ? Texts{"Cancel OEM Branding Tool: Are you sure?"} : Texts{});
    EXPECT_EQ(drivers.files(), kSources);
  }
}

void recordAddress(const char* address, void* context) { static_cast<Texts*>(context)->push_back(address); }

// Help, the help key and the context-menu key open the tool's help page.
TEST_F(MainDialog, HelpOpensTheGuide) {
  const std::string page =
      std::string(kJuOnlineHelpBase) + "brisklane-odbc-distribution/page/Using-the-Standalone-Branding-Tool.html";
  const Drivers drivers;
  Texts opened;
  platform::setAddressRecorderForTesting(&recordAddress, &opened);
  jutest::DialogScript script({DialogStep::press(kMain, kBrandHelpButton), DialogStep::endInput(kMain)});
  std::vector<dialogs::Message> keys = {dialogs::Message::kHelp, dialogs::Message::kContextMenu};
  branddoubles::InputInFront help(script, [&](dialogs::WindowHandle dialog, int32_t) {
    if (keys.empty()) return false;
    (void)dialogs::postMessage(dialog, keys.back(), 0, 0);
    keys.pop_back();
    return true;
  });
  brand object("/d");
  EXPECT_EQ(runMain(desktop, object), dialogs::kDialogNoInput);
  platform::setAddressRecorderForTesting(nullptr, nullptr);
  EXPECT_EQ(opened, (Texts{page, page, page}));
}

// Browse: the browser opens on the target directory and shows a new
// selection as its status; the folder chosen becomes the target directory,
// shown with its separator.
TEST_F(MainDialog, BrowseChoosesTheDirectory) {
  const char kBrowser[] = "Browse for Folder";
  const Drivers drivers;
  const std::string chosen = drivers.dir.makeDir("chosen");
  jutest::DialogScript script({DialogStep::press(kMain, kBrandBrowseButton),
                               DialogStep::setField(kBrowser, dialogs::kBrowserSelectionId, chosen),
                               DialogStep::press(kBrowser, dialogs::kOkCommand), DialogStep::endInput(kMain)});
  Texts seen;  // the browser's selection and status; the directory field
  branddoubles::InputInFront look(script, [&](dialogs::WindowHandle dialog, int32_t) {
    for (int32_t id : {dialogs::kBrowserSelectionId, dialogs::kBrowserStatusId, kBrandDirectoryControl}) {
      if (dialogs::dialogItem(dialog, id)) seen.push_back(jutest::windowTextUtf8(dialogs::dialogItem(dialog, id)));
    }
    return false;
  });
  brand object("/d");
  object.setDirectory(drivers.driver.c_str());
  EXPECT_EQ(runMain(desktop, object), dialogs::kDialogNoInput);
  EXPECT_TRUE(script.finished());
  EXPECT_EQ(seen, (Texts{drivers.driver + "/", drivers.driver + "/", "", chosen, chosen, chosen + "/"}));
  EXPECT_STREQ(object.targetDirectory, (chosen + "/").c_str());
}

// The Welcome dialog names the product of the INF in the current directory
// and ends only by Continue.
TEST_F(MainDialog, WelcomeEndsByContinue) {
  const Drivers drivers;
  const jutest::ScopedCurrentDirectory inDrivers(drivers.dir.path());
  jutest::DialogScript script({DialogStep::close("Welcome"), DialogStep::pressKey("Welcome"),
                               DialogStep::press("Welcome", dialogs::kOkCommand)});
  EXPECT_EQ(juDialogBoxResult(desktop, kBrandDialogWelcome, welcomeDlgProc, 0), 1);
  EXPECT_TRUE(script.finished());
  EXPECT_EQ(script.metSummary(),
            Texts{"Welcome: Welcome to the Tarnwell Brisklane Branding Tool for ODBC - 64 bits.  If you have not read "
                  "the Distribution Guide, read the online Help for instructions."});
}

}  // namespace
